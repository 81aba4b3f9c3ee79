// Socket error codes to English text, and the socket layer's exception.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/ErrorCodes.h"

namespace tarnwick::net {

// The English text of a socket error code ("Connection refused" for 10061); codes outside
// the table give "Not a WinSock error".
std::string WinsockErrorText(int code);

// The socket layer's exception: carries only a message.
class ESocketException : public std::runtime_error {
  public:
    explicit ESocketException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tarnwick::net

namespace tarnwick::net {

// printf-style formatting into a string (for the formatted error texts).
std::string Sprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tarnwick::net

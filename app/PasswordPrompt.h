// The password prompt of tarnwick-cli: a saved server that keeps no password asks for it on
// the user's terminal, which does not echo what is typed.
#pragma once

#include <unistd.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace tarnwick::cli {

inline constexpr const char* kPasswordPrompt = "Password: ";
// Bytes kept of a typed password; the rest of an overlong line is read and dropped.
inline constexpr std::size_t kMaxPasswordLength = 1024;

// Asks for a password with `prompt`; messages may go to `err`. No value: nothing was given
// (end of input before any byte, or the terminal could not be read).
using PasswordPrompt =
    std::function<std::optional<std::string>(std::string_view prompt, std::ostream& err)>;

// Reads the line from the terminal `terminal` (the controlling terminal by default), with
// its echo off while the line is typed and restored afterwards, also when a signal ends the
// program meanwhile. When the terminal cannot be opened the line is read from `fallbackFd`
// (standard input), the prompt going to `err`; that is read without echo too when it is a
// terminal. The password is never written anywhere.
class TerminalPasswordPrompt {
  public:
    explicit TerminalPasswordPrompt(std::string terminal = "/dev/tty",
                                    int fallbackFd = STDIN_FILENO)
        : terminal_(std::move(terminal)), fallbackFd_(fallbackFd) {}

    std::optional<std::string> operator()(std::string_view prompt, std::ostream& err) const;

  private:
    std::string terminal_;
    int fallbackFd_;
};

// One line read byte by byte from fd (which may be a pipe or a terminal): without its line
// end, cut to kMaxPasswordLength. No value at the end of input before any byte.
std::optional<std::string> ReadSecretLine(int fd);

}  // namespace tarnwick::cli

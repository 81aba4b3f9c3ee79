// TCustomLineWSocket: the optional line mode of the socket. Until line mode is built it
// passes everything straight through; it overrides HandleMessage, NotifyDataAvailable,
// NotifySessionClosed, GetRcvdCount and RawReceive when it is.
#pragma once

#include "net/SocksWSocket.h"

namespace tarnwick::net {

class TCustomLineWSocket : public TCustomSocksWSocket {
  public:
    TCustomLineWSocket() = default;
};

}  // namespace tarnwick::net

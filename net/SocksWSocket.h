// TCustomSocksWSocket: the SOCKS client layer of the socket. Until the SOCKS client is
// built it passes everything straight through to TCustomWSocket; it overrides Connect,
// Listen, ResetDefaults and the notification hooks when it is.
#pragma once

#include "net/CustomWSocket.h"

namespace tarnwick::net {

class TCustomSocksWSocket : public TCustomWSocket {
  public:
    TCustomSocksWSocket() = default;
};

}  // namespace tarnwick::net

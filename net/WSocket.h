// The socket component used by the rest of the program: TWSocket adds nothing to the
// class chain TCustomWSocket -> TCustomSocksWSocket -> TCustomLineWSocket ->
// TCustomSyncWSocket; it is the one class users create.
#pragma once

#include "net/CustomWSocket.h"
#include "net/LineWSocket.h"
#include "net/Resolver.h"
#include "net/SocketErrors.h"
#include "net/SocksWSocket.h"
#include "net/SyncWSocket.h"
#include "net/WSockBuf.h"

namespace tarnwick::net {

class TWSocket : public TCustomSyncWSocket {
  public:
    TWSocket() = default;
};

}  // namespace tarnwick::net

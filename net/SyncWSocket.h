// TCustomSyncWSocket: the wait operations of the socket (pumping until a flag is set).
// Passes everything straight through until those operations are built.
#pragma once

#include "net/LineWSocket.h"

namespace tarnwick::net {

class TCustomSyncWSocket : public TCustomLineWSocket {
  public:
    TCustomSyncWSocket() = default;
};

}  // namespace tarnwick::net

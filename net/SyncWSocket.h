// TCustomSyncWSocket: the wait operations of the socket: pump messages until a flag is
// set, optionally bounded by a time-out.
#pragma once

#include <functional>

#include "net/LineWSocket.h"

namespace tarnwick::net {

// What a wait returns when it ran out of time or the application is ending.
inline constexpr int kSyncWaitTimedOut = 12001;

class TCustomSyncWSocket : public TCustomLineWSocket {
  public:
    TCustomSyncWSocket() = default;

    // Milliseconds a wait may last; 0 (the default) waits without limit.
    int WaitTimeout() const { return waitTimeout_; }
    void SetWaitTimeout(int ms) { waitTimeout_ = ms; }

    // Pumps messages until doneFlag is true (0), or the time-out passed or the
    // application or this thread's pump is ending (12001). Handlers of this and other
    // sockets run meanwhile.
    virtual int WaitForFlag(const bool& doneFlag);
    // doneFlag := false, runs proc when given, then waits for doneFlag.
    virtual int RunAndWait(const std::function<void()>& proc, bool& doneFlag);

  private:
    int waitTimeout_ = 0;
    uint64_t timeStop_ = 0;
};

}  // namespace tarnwick::net

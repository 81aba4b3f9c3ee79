// TCustomSyncWSocket: waiting for a flag while the event loop keeps running.
#include "net/SyncWSocket.h"

#include "platform/EventLoop.h"
#include "platform/TickCount.h"

namespace tarnwick::net {

namespace {

// A wait sleeps at most this long between pumps when nothing is ready.
constexpr int kSyncWaitSliceMs = 10;

}  // namespace

int TCustomSyncWSocket::WaitForFlag(const bool& doneFlag) {
    auto& loop = platform::EventLoop::Current();
    timeStop_ =
        platform::GetTickCount() + static_cast<uint64_t>(waitTimeout_ > 0 ? waitTimeout_ : 0);
    while (!doneFlag) {
        if (waitTimeout_ > 0 && platform::GetTickCount() > timeStop_) return kSyncWaitTimedOut;
        if (loop.QuitRequested() || Terminated()) return kSyncWaitTimedOut;
        // Sleeps until something is ready (or a slice passed), then handles it.
        loop.WaitAndPump(kSyncWaitSliceMs);
    }
    return 0;
}

int TCustomSyncWSocket::RunAndWait(const std::function<void()>& proc, bool& doneFlag) {
    doneFlag = false;
    if (proc) proc();
    return WaitForFlag(doneFlag);
}

}  // namespace tarnwick::net

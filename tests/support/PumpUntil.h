// Waiting in tests without sleeping: pump the calling thread's event loop until a
// condition holds or a deadline passes.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/EventLoop.h"
#include "platform/TickCount.h"

namespace tarnwick::testing {

inline constexpr int kDefaultDeadlineMs = 5000;

// Pumps until condition() is true; false when deadlineMs passed first.
inline bool PumpUntil(const std::function<bool()>& condition, int deadlineMs = kDefaultDeadlineMs) {
    auto& loop = platform::EventLoop::Current();
    const uint64_t stop = platform::GetTickCount() + static_cast<uint64_t>(deadlineMs);
    while (!condition()) {
        if (platform::GetTickCount() >= stop) return false;
        loop.WaitAndPump(5);
    }
    return true;
}

// Pumps for about durationMs whatever happens (to show that something does NOT happen).
inline void PumpFor(int durationMs) {
    auto& loop = platform::EventLoop::Current();
    const uint64_t stop = platform::GetTickCount() + static_cast<uint64_t>(durationMs);
    while (platform::GetTickCount() < stop) loop.WaitAndPump(5);
}

}  // namespace tarnwick::testing

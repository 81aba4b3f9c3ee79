#include "session/WindowTimer.h"

#include <algorithm>
#include <chrono>

#include "platform/TickCount.h"

namespace tarnwick::session {

namespace {

constexpr uint32_t kMsgTimer = platform::kMsgUser + 1;
constexpr uint64_t kUsPerMs = 1000;

uint64_t NowUs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// The first point of the tick grid at or after `us`.
uint64_t NextGridPoint(uint64_t us) {
    return (us + kSystemTickUs - 1) / kSystemTickUs * kSystemTickUs;
}

}  // namespace

uint64_t RoundToSystemTicksUs(uint32_t intervalMs) {
    const uint64_t us = static_cast<uint64_t>(intervalMs) * kUsPerMs;
    const uint64_t ticks = us == 0 ? 1 : (us + kSystemTickUs - 1) / kSystemTickUs;
    return ticks * kSystemTickUs;
}

TLoopTimerSource::TLoopTimerSource() : loop_(platform::EventLoop::Current()) {
    target_ = loop_.RegisterTarget([this](const platform::Message& m) {
        if (m.msg == kMsgTimer && m.timer == timer_) Fired();
    });
}

TLoopTimerSource::~TLoopTimerSource() {
    Stop();
    loop_.UnregisterTarget(target_);
}

void TLoopTimerSource::Start(uint32_t intervalMs, std::function<void()> onTick) {
    Stop();
    onTick_ = std::move(onTick);
    periodUs_ = RoundToSystemTicksUs(intervalMs);
    // Like a window timer: the first tick is the first system tick after the interval.
    dueUs_ = NextGridPoint(NowUs() + std::max<uint64_t>(1, intervalMs) * kUsPerMs);
    Arm();
}

void TLoopTimerSource::Stop() {
    if (timer_ != 0) loop_.StopTimer(timer_);
    timer_ = 0;
    periodUs_ = 0;
}

uint64_t TLoopTimerSource::NowMs() const {
    return platform::GetTickCount();
}

void TLoopTimerSource::Arm() {
    if (timer_ != 0) loop_.StopTimer(timer_);
    const uint64_t now = NowUs();
    const uint64_t delayUs = dueUs_ > now ? dueUs_ - now : 0;
    const auto delayMs = static_cast<uint32_t>((delayUs + kUsPerMs - 1) / kUsPerMs);
    timer_ = loop_.StartTimer(target_, kMsgTimer, delayMs);
}

void TLoopTimerSource::Fired() {
    if (periodUs_ == 0) return;
    const uint64_t now = NowUs();
    // The loop's timers count whole milliseconds: one that comes before the tick is due
    // waits for it.
    if (now < dueUs_) {
        Arm();
        return;
    }
    // Like a window timer, ticks that fell due while the thread was busy come as one.
    while (dueUs_ <= now) dueUs_ += periodUs_;
    Arm();
    if (onTick_) {
        auto tick = onTick_;  // the handler may restart or stop the timer
        tick();
    }
}

TTimerFactory LoopTimerFactory() {
    return [] { return std::make_unique<TLoopTimerSource>(); };
}

TWindowTimer::TWindowTimer(std::unique_ptr<TTimerSource> source) : source_(std::move(source)) {}

void TWindowTimer::SetInterval(uint32_t ms) {
    if (interval_ == ms) return;
    interval_ = ms;
    Rearm();
}

void TWindowTimer::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Rearm();
}

void TWindowTimer::Rearm() {
    if (enabled_ && interval_ > 0) {
        source_->Start(interval_, [this] {
            if (enabled_ && OnTimer) OnTimer();
        });
    } else {
        source_->Stop();
    }
}

TTimerCalibration::TTimerCalibration(std::unique_ptr<TTimerSource> source,
                                     std::function<void(int)> done)
    : timer_(std::move(source)), done_(std::move(done)) {
    timer_.SetInterval(1);
    timer_.OnTimer = [this] { Tick(); };
}

void TTimerCalibration::Start() {
    running_ = true;
    round_ = 0;
    counted_ = 0;
    roundStart_ = timer_.NowMs();
    timer_.SetEnabled(true);
}

void TTimerCalibration::Tick() {
    if (timer_.NowMs() - roundStart_ < kRoundMs) {
        ++counted_;
        return;
    }
    timer_.SetEnabled(false);
    if (++round_ < kRounds) {
        roundStart_ = timer_.NowMs();
        timer_.SetEnabled(true);
        return;
    }
    running_ = false;
    if (done_) done_(PeriodFromCount(counted_));
}

int TTimerCalibration::PeriodFromCount(int totalTicks) {
    const int average = totalTicks / kRounds;
    return average < 2 ? kFallbackPeriod : static_cast<int>(kRoundMs) / average;
}

}  // namespace tarnwick::session

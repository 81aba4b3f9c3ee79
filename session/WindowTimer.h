// cTimer, the window timer: interval, enabled and tag, as a window timer of the original
// platform. Its ticks fall on whole system ticks of 15.625 ms (64 a second), so an interval is
// rounded up to whole ticks and the stored keep-alive values keep their meaning. A timer
// source drives it: the platform loop in the program, the test's hand in the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/EventLoop.h"

namespace tarnwick::session {

// One system tick, in microseconds.
inline constexpr uint64_t kSystemTickUs = 15625;

// The interval a timer really ticks at: at least one system tick, whole ticks.
uint64_t RoundToSystemTicksUs(uint32_t intervalMs);

class TTimerSource {
  public:
    virtual ~TTimerSource() = default;
    // Calls onTick every interval until Stop (or the next Start).
    virtual void Start(uint32_t intervalMs, std::function<void()> onTick) = 0;
    virtual void Stop() = 0;
    // The system's millisecond tick count as the timer's users read it.
    virtual uint64_t NowMs() const = 0;
};

using TTimerFactory = std::function<std::unique_ptr<TTimerSource>()>;

// Ticks from the thread's platform loop, on the grid of system ticks.
class TLoopTimerSource : public TTimerSource {
  public:
    TLoopTimerSource();
    ~TLoopTimerSource() override;
    void Start(uint32_t intervalMs, std::function<void()> onTick) override;
    void Stop() override;
    uint64_t NowMs() const override;

  private:
    void Arm();
    void Fired();

    platform::EventLoop& loop_;
    platform::TargetId target_ = 0;
    platform::TimerId timer_ = 0;
    uint64_t periodUs_ = 0;
    uint64_t dueUs_ = 0;
    std::function<void()> onTick_;
};

TTimerFactory LoopTimerFactory();

class TWindowTimer {
  public:
    explicit TWindowTimer(std::unique_ptr<TTimerSource> source);

    uint32_t Interval() const { return interval_; }
    // A new interval restarts the count; 0 stops the ticks (the timer stays "enabled").
    void SetInterval(uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int64_t Tag() const { return tag_; }
    void SetTag(int64_t tag) { tag_ = tag; }
    uint64_t NowMs() const { return source_->NowMs(); }

    std::function<void()> OnTimer;

  private:
    void Rearm();

    std::unique_ptr<TTimerSource> source_;
    uint32_t interval_ = 1000;
    bool enabled_ = false;
    int64_t tag_ = 0;
};

// CalibrateTimer without blocking: three rounds of one second each, in the background of the
// event loop, counting the ticks of a 1 ms timer; the tick period comes out as 1000 div the
// average count (1000 when it is below 2), 15 on a 64 Hz tick.
class TTimerCalibration {
  public:
    static constexpr int kRounds = 3;
    static constexpr uint64_t kRoundMs = 1000;
    static constexpr int kFallbackPeriod = 1000;

    TTimerCalibration(std::unique_ptr<TTimerSource> source, std::function<void(int)> done);
    void Start();
    bool Running() const { return running_; }
    int Counted() const { return counted_; }

    // The tick period from the ticks counted in all rounds.
    static int PeriodFromCount(int totalTicks);

  private:
    void Tick();

    TWindowTimer timer_;
    std::function<void(int)> done_;
    bool running_ = false;
    int round_ = 0;
    int counted_ = 0;
    uint64_t roundStart_ = 0;
};

}  // namespace tarnwick::session

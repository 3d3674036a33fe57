#pragma once

#include <chrono>
#include <cstdint>

#include "link/time_scale.h"

namespace aurex {

// The one clock behind every fixed wait and time-out. The program's constants stay in their own
// units (milliseconds, ticks of 1/18.2 s); only the real duration is scaled by AUREX_TIME_SCALE
// (a positive factor, default 1) so tests and the demo can run the same sequence faster.
class Clock
{
  public:
    using Duration = std::chrono::microseconds;
    using TimePoint = std::chrono::steady_clock::time_point;

    // Ticks per second is 1675 / 92 (18.2065...).
    static constexpr std::int64_t kTicksPerSecondNumerator = 1675;
    static constexpr std::int64_t kTicksPerSecondDenominator = 92;

    // The factor in force; read from AUREX_TIME_SCALE once, unless overridden.
    static double Scale();
    // For tests: replace the factor (a non-positive or non-finite value restores the default 1).
    static void SetScale(double factor);
    // A factor is kept within these (time_scale.h says why).
    static constexpr double kMinScale = kMinTimeScale;
    static constexpr double kMaxScale = kMaxTimeScale;
    // Parses a factor as AUREX_TIME_SCALE gives it; 1 for anything that is not a positive finite
    // number, and a factor beyond the bounds above is taken at the bound (ReadTimeScale).
    static double ParseScale(const char* text);

    static std::int64_t SecondsToTicks(std::int64_t seconds);
    // The port component's ticks for a wait the program gives in milliseconds. The program counts
    // 18 ticks to its second here (4000 ms are 72 ticks, 80000 ms are 1440), though a tick lasts
    // 1/18.2 s: the one rule for turning the link's milliseconds into ticks.
    static constexpr std::int32_t PortTicks(std::int64_t milliseconds)
    {
        return static_cast<std::int32_t>(milliseconds * 18 / 1000);
    }
    static std::int64_t TicksToMilliseconds(std::int64_t ticks);

    // Real durations after scaling; a non-zero wait never scales down to nothing.
    static Duration Milliseconds(std::int64_t ms);
    static Duration Ticks(std::int64_t ticks);
    // The same, rounded up to whole milliseconds for timers that count in them.
    static std::chrono::milliseconds TimerMilliseconds(std::int64_t ms);
    static std::chrono::milliseconds TimerTicks(std::int64_t ticks);

    // A reply time-out in the program's milliseconds, as the link arms it. With
    // AUREX_TIMEOUT_FLOOR_MS set (tests on a busy machine) the scale never shortens a time-out below
    // that many real milliseconds, nor lengthens it past its own unscaled length: a process still
    // waiting its turn for the processor is then not taken for a silent radio.
    static std::int64_t ReplyTimeout(std::int64_t ms);
    // For tests: replace the floor (0: none).
    static void SetTimeoutFloor(std::int64_t realMs);

    static TimePoint Now();
    // Plain sleep without processing any events (the short fixed pauses).
    static void SleepMilliseconds(std::int64_t ms);
};

// A point in real time that a bounded wait must not pass.
class Deadline
{
  public:
    explicit Deadline(Clock::Duration budget) : end_(Clock::Now() + budget) {}
    bool Expired() const { return Clock::Now() >= end_; }
    // Whole milliseconds left, rounded up, never negative (for poll()).
    int RemainingMilliseconds() const;

  private:
    Clock::TimePoint end_;
};

} // namespace aurex

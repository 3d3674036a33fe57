#include "link/clock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace aurex {

namespace {

std::atomic<double>& ScaleSlot()
{
    static std::atomic<double> scale{[] {
        // Said once, on standard error, before the first wait it changes.
        const TimeScaleReading reading = ReadTimeScale(std::getenv("AUREX_TIME_SCALE"));
        if (!reading.warning.empty()) {
            std::fprintf(stderr, "%s\n", reading.warning.c_str());
        }
        return reading.factor;
    }()};
    return scale;
}

std::atomic<std::int64_t>& FloorSlot()
{
    static std::atomic<std::int64_t> floor{[]() -> std::int64_t {
        const char* text = std::getenv("AUREX_TIMEOUT_FLOOR_MS");
        if (text == nullptr || *text == '\0') {
            return 0;
        }
        char* end = nullptr;
        const long long value = std::strtoll(text, &end, 10);
        if (end == text || *end != '\0' || value < 0 || value > 600000) {
            std::fprintf(stderr,
                         "warning: AUREX_TIMEOUT_FLOOR_MS is not a number of milliseconds up to 600000; "
                         "time-outs are scaled without a floor.\n");
            return 0;
        }
        return value;
    }()};
    return floor;
}

Clock::Duration ScaleMicroseconds(double micros)
{
    if (micros <= 0) {
        return Clock::Duration::zero();
    }
    const double scaled = micros * Clock::Scale();
    // Keep a scaled wait at least one microsecond so "wait" never turns into "do not wait".
    const double bounded = std::max(1.0, std::min(scaled, 9.0e15));
    return Clock::Duration(static_cast<std::int64_t>(std::ceil(bounded)));
}

std::chrono::milliseconds RoundUpToMilliseconds(Clock::Duration d)
{
    return std::chrono::ceil<std::chrono::milliseconds>(d);
}

} // namespace

double Clock::ParseScale(const char* text)
{
    return ReadTimeScale(text).factor;
}

double Clock::Scale()
{
    return ScaleSlot().load();
}

void Clock::SetScale(double factor)
{
    ScaleSlot().store(std::isfinite(factor) && factor > 0 ? std::clamp(factor, kMinScale, kMaxScale) : 1.0);
}

std::int64_t Clock::SecondsToTicks(std::int64_t seconds)
{
    return seconds * kTicksPerSecondNumerator / kTicksPerSecondDenominator;
}

std::int64_t Clock::TicksToMilliseconds(std::int64_t ticks)
{
    return ticks * 1000 * kTicksPerSecondDenominator / kTicksPerSecondNumerator;
}

Clock::Duration Clock::Milliseconds(std::int64_t ms)
{
    return ScaleMicroseconds(static_cast<double>(ms) * 1000.0);
}

Clock::Duration Clock::Ticks(std::int64_t ticks)
{
    return ScaleMicroseconds(static_cast<double>(ticks) * 1.0e6 * kTicksPerSecondDenominator /
                             kTicksPerSecondNumerator);
}

std::chrono::milliseconds Clock::TimerMilliseconds(std::int64_t ms)
{
    return RoundUpToMilliseconds(Milliseconds(ms));
}

std::chrono::milliseconds Clock::TimerTicks(std::int64_t ticks)
{
    return RoundUpToMilliseconds(Ticks(ticks));
}

std::int64_t Clock::ReplyTimeout(std::int64_t ms)
{
    const double scale = Scale();
    const std::int64_t floor = FloorSlot().load();
    if (ms <= 0 || floor <= 0 || static_cast<double>(ms) * scale >= static_cast<double>(floor)) {
        return ms;
    }
    const double real = static_cast<double>(std::min(ms, floor));
    return std::max(ms, static_cast<std::int64_t>(std::ceil(real / scale)));
}

void Clock::SetTimeoutFloor(std::int64_t realMs)
{
    FloorSlot().store(std::max<std::int64_t>(0, realMs));
}

Clock::TimePoint Clock::Now()
{
    return std::chrono::steady_clock::now();
}

void Clock::SleepMilliseconds(std::int64_t ms)
{
    const Duration d = Milliseconds(ms);
    if (d > Duration::zero()) {
        std::this_thread::sleep_for(d);
    }
}

int Deadline::RemainingMilliseconds() const
{
    const auto left = end_ - Clock::Now();
    if (left <= Clock::Duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 2000000000 ? 2000000000 : static_cast<int>(ms);
}

} // namespace aurex

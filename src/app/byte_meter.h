#pragma once

// Bytes done of a known or unknown total, the rate over the last few seconds and the time left
// at that rate. Plain C++ with the clock handed in, so that it can be checked without waiting.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace aurex {

struct ByteReading
{
    std::int64_t done = 0;
    std::optional<std::int64_t> total; // unknown: nullopt
    std::optional<double> rate;        // bytes a second; nullopt until it can be measured
    std::optional<double> secondsLeft; // needs the total and a rate above 0; 0 once done
};

// Seconds of a steady clock.
using SecondsClock = std::function<double()>;
double SteadySeconds();

class ByteMeter
{
  public:
    // The rate is taken over the last `windowSeconds`, once the samples span `minimumSpan`.
    explicit ByteMeter(SecondsClock clock = SteadySeconds, double windowSeconds = 5.0,
                       double minimumSpan = 0.5);

    // A new count from 0.
    void Start(std::optional<std::int64_t> total);
    void SetTotal(std::optional<std::int64_t> total);
    // Bytes done so far; a smaller count than the last is taken as no progress.
    void SetDone(std::int64_t done);

    ByteReading Reading() const;

  private:
    struct Sample
    {
        double at;
        std::int64_t done;
    };
    SecondsClock clock_;
    double window_;
    double minimumSpan_;
    std::int64_t done_ = 0;
    std::optional<std::int64_t> total_;
    std::deque<Sample> samples_;
};

} // namespace aurex

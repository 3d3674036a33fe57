#include "app/byte_meter.h"

#include <algorithm>
#include <chrono>

namespace aurex {

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ByteMeter::ByteMeter(SecondsClock clock, double windowSeconds, double minimumSpan)
    : clock_(std::move(clock)), window_(windowSeconds), minimumSpan_(minimumSpan)
{
}

void ByteMeter::Start(std::optional<std::int64_t> total)
{
    done_ = 0;
    total_ = total;
    samples_.clear();
    samples_.push_back({clock_(), 0});
}

void ByteMeter::SetTotal(std::optional<std::int64_t> total)
{
    total_ = total;
}

void ByteMeter::SetDone(std::int64_t done)
{
    done_ = std::max(done_, done);
    const double now = clock_();
    samples_.push_back({now, done_});
    // One sample at or before the window's start stays: the rate spans the whole window.
    while (samples_.size() > 2 && samples_[1].at <= now - window_) {
        samples_.pop_front();
    }
}

ByteReading ByteMeter::Reading() const
{
    ByteReading reading;
    reading.done = done_;
    reading.total = total_;
    if (!samples_.empty()) {
        const double now = clock_();
        // The newest sample at or before the window's start, else the oldest there is.
        const Sample* base = &samples_.front();
        for (const Sample& s : samples_) {
            if (s.at > now - window_) {
                break;
            }
            base = &s;
        }
        const double span = now - base->at;
        if (span >= minimumSpan_ && span > 0) {
            reading.rate = static_cast<double>(done_ - base->done) / span;
        }
    }
    if (total_ && done_ >= *total_) {
        reading.secondsLeft = 0.0;
    } else if (total_ && reading.rate && *reading.rate > 0) {
        reading.secondsLeft = static_cast<double>(*total_ - done_) / *reading.rate;
    }
    return reading;
}

} // namespace aurex

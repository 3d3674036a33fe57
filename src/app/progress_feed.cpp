#include "app/progress_feed.h"

namespace aurex {

ProgressFeed::ProgressFeed(RunEvents& listeners, SecondsClock clock, double interval)
    : listeners_(listeners), clock_(clock), interval_(interval), meter_(std::move(clock))
{
}

void ProgressFeed::Begin(std::string_view phase, std::optional<std::int64_t> total)
{
    phase_ = phase;
    meter_.Start(total);
    published_.reset();
    Publish();
}

void ProgressFeed::Total(std::int64_t total)
{
    meter_.SetTotal(total);
}

void ProgressFeed::Done(std::int64_t bytes)
{
    if (phase_.empty()) {
        return;
    }
    meter_.SetDone(bytes);
    const ByteReading now = meter_.Reading();
    // The one that reaches the total always goes: a script sees every phase end at 100%.
    if ((now.total && now.done >= *now.total) || clock_() - lastPublished_ >= interval_) {
        Publish();
    }
}

void ProgressFeed::End()
{
    if (phase_.empty()) {
        return;
    }
    const ByteReading now = meter_.Reading();
    if (!published_ || published_->done != now.done || published_->total != now.total) {
        Publish();
    }
    phase_.clear();
}

void ProgressFeed::Publish()
{
    const ByteReading now = meter_.Reading();
    if (published_ && published_->done == now.done && published_->total == now.total) {
        return; // nothing new to tell
    }
    published_ = now;
    lastPublished_ = clock_();
    listeners_.ProgressMade({phase_, now});
}

} // namespace aurex

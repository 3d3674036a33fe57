#pragma once

// The byte progress of the run's transfers, measured and handed on: the downloads and codeplug
// transfers tell it their bytes, it keeps the meter and tells the run's listeners a few times a
// second per phase, the first reading and the last always.

#include <optional>
#include <string>

#include "app/byte_meter.h"
#include "app/run_events.h"
#include "link/byte_progress.h"

namespace aurex {

class ProgressFeed final : public ByteProgress
{
  public:
    // Readings at least `interval` seconds apart within a phase, besides its first and last.
    explicit ProgressFeed(RunEvents& listeners, SecondsClock clock = SteadySeconds, double interval = 0.25);

    void Begin(std::string_view phase, std::optional<std::int64_t> total) override;
    void Total(std::int64_t total) override;
    void Done(std::int64_t bytes) override;
    void End() override;

    // The phase under way (empty between phases) and its reading now.
    const std::string& Phase() const { return phase_; }
    ByteReading Reading() const { return meter_.Reading(); }

  private:
    void Publish();

    RunEvents& listeners_;
    SecondsClock clock_;
    double interval_;
    ByteMeter meter_;
    std::string phase_;
    double lastPublished_ = 0;
    std::optional<ByteReading> published_; // the phase's last reading handed on
};

} // namespace aurex

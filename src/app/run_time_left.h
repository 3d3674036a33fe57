#pragma once

// The time a whole run has left: the fixed waits still ahead at their length (the one under way
// counted down), and the data bytes still to move at the rate measured for their kind of
// transfer (the line's own rate until one is measured). Plain C++: the window hands it the
// steps, where the run stands and the readings of its transfers.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/byte_meter.h"
#include "app/run_steps.h"

namespace aurex {

// What the length of a run's steps depends on, as far as it is known before they come.
struct RunFacts
{
    std::uint8_t radioTypeCode = 0;            // decides the erase wait
    std::optional<std::int64_t> loaderBytes;   // the loader's data bytes, once extracted
    std::optional<std::int64_t> codeBytes;     // the code image's, once extracted
    std::optional<std::int64_t> codeplugBytes; // the codeplug's, once its upload has said
};

// The fixed wait and the data bytes of step `at` of `steps` (0 where it has none or they are
// not known).
struct StepCost
{
    double waitSeconds = 0;
    std::int64_t bytes = 0;
};
StepCost CostOf(const std::vector<RunStep>& steps, std::size_t at, const RunFacts& facts);

class RunTimeLeft
{
  public:
    // A transfer of `step` was measured at `rate` bytes a second: later ones of its kind go by it.
    void Measured(RunStep step, double rate);
    // The rate the transfers of `step` are expected at.
    double RateOf(RunStep step) const;

    // Seconds left of a run at step `at` of `steps`, reached `sinceReached` seconds ago. `under`:
    // the reading of the step's transfer under way; `transferred`: the step's transfer is over.
    double SecondsLeft(const std::vector<RunStep>& steps, std::size_t at, double sinceReached,
                       const std::optional<ByteReading>& under, bool transferred,
                       const RunFacts& facts) const;

  private:
    std::optional<double> flashRate_;
    std::optional<double> codeplugRate_;
};

} // namespace aurex

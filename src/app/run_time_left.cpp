#include "app/run_time_left.h"

#include <algorithm>

#include "app/app_timeouts.h"
#include "link/clock.h"
#include "programming/flash_download.h"
#include "transfer/upload_scan.h"

namespace aurex {

namespace {

// The line's own speed, a byte being ten bits, until a transfer of the kind is measured: the
// code goes at 115200 baud, the codeplug after the radio's restart at 19200.
constexpr double kFlashLineBytesPerSecond = 115200.0 / 10;
constexpr double kCodeplugLineBytesPerSecond = 19200.0 / 10;

bool IsCodeplugTransfer(RunStep step)
{
    return step == RunStep::CodeplugUpload || step == RunStep::CodeplugWrite ||
           step == RunStep::CodeplugCheck;
}

// A fixed wait lasts the whole port ticks it makes, on the program's scaled clock.
double WaitSeconds(std::int32_t milliseconds)
{
    return static_cast<double>(Clock::TimerTicks(Clock::PortTicks(milliseconds)).count()) / 1000.0;
}

} // namespace

StepCost CostOf(const std::vector<RunStep>& steps, std::size_t at, const RunFacts& facts)
{
    StepCost cost;
    if (at >= steps.size()) {
        return cost;
    }
    // Not known before the upload: the most a radio holds, so that the time left shrinks rather
    // than grows once the codeplug's own length is known.
    const std::int64_t codeplug = facts.codeplugBytes.value_or(kCodeplugBufferBytes);
    switch (steps[at]) {
    case RunStep::Prepare:
    case RunStep::RadioCheck:
        break;
    case RunStep::Loader:
        cost.bytes = facts.loaderBytes.value_or(0);
        break;
    case RunStep::Erase: {
        const bool boot = at + 1 < steps.size() && steps[at + 1] == RunStep::BootCode;
        cost.waitSeconds = WaitSeconds(EraseWaitFor(facts.radioTypeCode, boot).milliseconds);
        break;
    }
    case RunStep::BootCode:
    case RunStep::Code:
        cost.bytes = facts.codeBytes.value_or(0);
        break;
    case RunStep::Restart:
    case RunStep::CodeplugConversion:
        cost.waitSeconds = WaitSeconds(app_timeouts::kRadioRestartWaitMs);
        break;
    case RunStep::CodeplugUpload:
    case RunStep::CodeplugWrite:
        cost.bytes = codeplug;
        break;
    case RunStep::CodeplugCheck:
        cost.waitSeconds = WaitSeconds(app_timeouts::kRadioRestartWaitMs);
        cost.bytes = codeplug;
        break;
    }
    return cost;
}

void RunTimeLeft::Measured(RunStep step, double rate)
{
    if (rate > 0) {
        (IsCodeplugTransfer(step) ? codeplugRate_ : flashRate_) = rate;
    }
}

double RunTimeLeft::RateOf(RunStep step) const
{
    return IsCodeplugTransfer(step) ? codeplugRate_.value_or(kCodeplugLineBytesPerSecond)
                                    : flashRate_.value_or(kFlashLineBytesPerSecond);
}

double RunTimeLeft::SecondsLeft(const std::vector<RunStep>& steps, std::size_t at, double sinceReached,
                                const std::optional<ByteReading>& under, bool transferred,
                                const RunFacts& facts) const
{
    if (at >= steps.size()) {
        return 0;
    }
    double left = 0;
    const StepCost now = CostOf(steps, at, facts);
    if (under) {
        // The step's wait is behind it once its bytes move.
        const std::int64_t total = under->total.value_or(std::max(now.bytes, under->done));
        const double rate = under->rate && *under->rate > 0 ? *under->rate : RateOf(steps[at]);
        left = static_cast<double>(std::max<std::int64_t>(0, total - under->done)) / rate;
    } else if (!transferred) {
        left = std::max(0.0, now.waitSeconds - sinceReached) +
               static_cast<double>(now.bytes) / RateOf(steps[at]);
    }
    for (std::size_t i = at + 1; i < steps.size(); ++i) {
        const StepCost cost = CostOf(steps, i, facts);
        left += cost.waitSeconds + static_cast<double>(cost.bytes) / RateOf(steps[i]);
    }
    return left;
}

} // namespace aurex

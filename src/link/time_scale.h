#pragma once

// AUREX_TIME_SCALE read one way by the program and the simulated radio, so that both run their
// fixed waits at the same factor and say the same when the text is not taken as it stands.

#include <string>
#include <string_view>

namespace aurex {

// The tests run at 0.01 to 0.2 and the demo at 0.4. Beyond these a fixed sleep outlasts any
// Ctrl-C, or a wait shrinks below the time the line itself takes.
inline constexpr double kMinTimeScale = 1e-4;
inline constexpr double kMaxTimeScale = 10.0;

struct TimeScaleReading
{
    double factor = 1.0;
    std::string warning; // one line for standard error when the text was not taken as it stands
};

// No text, or an empty one, is factor 1 without a word. Text that is not a positive finite
// number is factor 1 with a warning; a factor beyond the bounds is taken at the bound, with a
// warning. `name` names the setting in the warning.
TimeScaleReading ReadTimeScale(const char* text, std::string_view name = "AUREX_TIME_SCALE");

// True when `factor` is taken as it stands.
bool TimeScaleInRange(double factor);

} // namespace aurex

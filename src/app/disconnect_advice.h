#pragma once

// The line under the progress bar that tells whether the radio may be disconnected: while a run
// goes on, and after it, what the radio is likely left with and what to do next.

#include <string_view>

#include "app/run_recorder.h"
#include "app/run_steps.h"

namespace aurex {

// While a run goes on, whatever it has done so far: one sentence from its start to its end.
inline constexpr std::string_view kDoNotDisconnectText = "Do not disconnect the radio.";
inline constexpr std::string_view kMayDisconnectText = "The radio may be disconnected.";

// After a run that ended with `result`, the radio left as `left`.
std::string_view DisconnectAdviceAfter(RunResult result, RadioLeft left);

} // namespace aurex

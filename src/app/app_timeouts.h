#pragma once

// The window's waits, in one place. Each name carries its unit.

#include <cstdint>

namespace aurex::app_timeouts {

// The interface box's answer to the probe when a port is opened.
inline constexpr std::int32_t kInterfaceProbeReplyMs = 1000;
// How long a radio takes to restart on its new code before the codeplug step asks it anything
// (360 ticks of the port component).
inline constexpr std::int32_t kRadioRestartWaitMs = 20000;
// A reply during the codeplug step (identity, format, transfer).
inline constexpr std::int32_t kCodeplugReplyMs = 4000;
// A pause at the end of a run before the extracted files are deleted.
inline constexpr std::int64_t kEndOfRunPauseMs = 50;

} // namespace aurex::app_timeouts

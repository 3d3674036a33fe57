#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/low_latency.h"

#include "ports/finding.h"

namespace aurex {

// The line half of the connection check: opens the device at 19200 baud, sends the interface box
// probe, listens whether the bytes came straight back, and asks the boot version at 19200 and,
// if nothing answered, at 115200. One finding a step; the port is closed again on every path.
// Run only on the technician's request or after a run failed to reach the radio, never during
// an update: it waits in the caller's event loop, with the link's own time-outs.
ports::Findings CheckLine(const std::string& devicePath);

// The finding of bytes heard straight back, word for word.
inline constexpr std::string_view kTwoWireCableText =
    "The bytes sent came straight back: a two-wire (half-duplex) cable.";

// Whether the line check found a cable without the interface box: the bytes came straight back,
// or a radio answered with no box between.
bool ShowsCableWithoutBox(const ports::Findings& findings);

// A radio that answered only at 115200 baud, as the check tells it: an interrupted run left it
// there, and the fix.
ports::Finding LeftAtInterruptedRunBaud(const std::array<std::uint8_t, 2>& bootVersion);

// What the port's open did with low latency, as a finding; none when it was not asked (not a USB
// adapter).
std::optional<ports::Finding> LowLatencyFinding(const LowLatencyResult& result);

} // namespace aurex

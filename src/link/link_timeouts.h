#pragma once

// The link's own waits, in one place. Each name carries its unit.

#include <cstdint>

namespace aurex::link_timeouts {

// How often a fixed wait looks whether the link was stopped meanwhile (real time).
inline constexpr int kStopCheckIntervalMs = 50;
// How often a send looks at CTS while the half-duplex line holds it (no event tells).
inline constexpr int kCtsPollIntervalMs = 1;
// What a drain of the port component's queue may take beyond the queued bytes' time on the line.
inline constexpr std::int64_t kDrainMarginMs = 2000;
// How long the device path waits after telling the radio a new rate: the radio switches first.
inline constexpr std::int64_t kBaudSwitchSettleMs = 100;

} // namespace aurex::link_timeouts

#pragma once

// The codeplug transfer's waits, in one place. Each name carries its unit.

#include <cstdint>

namespace aurex::transfer_timeouts {

// How long the line must stay up after the unanswered end of a download (program time).
inline constexpr std::int32_t kEndOfDownloadSettleMs = 1000;

} // namespace aurex::transfer_timeouts

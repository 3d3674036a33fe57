#pragma once

// Identification's and the downloads' waits, in one place. Each name carries its unit.

#include <cstdint>

namespace aurex::programming_timeouts {

// A reply to a version or boot query.
inline constexpr std::int32_t kIdentificationReplyMs = 4000;
// A reply during a flash or DSP download (the radio may be writing a page meanwhile).
inline constexpr std::int32_t kDownloadReplyMs = 15000;
// The pause after the loader, while the radio erases its flash: by platform.
inline constexpr std::int32_t kBootEraseWaitMs = 1000;    // platform 1 and any boot code
inline constexpr std::int32_t kShortEraseWaitMs = 2000;   // platforms 0 and 8
inline constexpr std::int32_t kMediumEraseWaitMs = 40000; // platform 4
inline constexpr std::int32_t kLongEraseWaitMs = 80000;   // the others

} // namespace aurex::programming_timeouts

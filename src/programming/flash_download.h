#pragma once

#include <cstdint>
#include <istream>

#include "link/byte_progress.h"
#include "programming/programming_link.h"
#include "programming/programming_status.h"

namespace aurex {

// Status texts of the flash download.
inline constexpr const char* kCodeCommProblemText = "Communication problem during code download.";
inline constexpr const char* kCodeTimedOutText = "Code download timed out or canceled by user.";

// The loader's erase of the flash after the loader image: what is shown and how long the
// program waits before the code image starts.
struct EraseWait
{
    const char* text; // nullptr: nothing is shown
    std::int32_t milliseconds;
};
EraseWait EraseWaitFor(std::uint8_t radioTypeCode, bool boot);

// Writes the loader image and then, through the running loader, the code image (application,
// or boot code when boot is set) into the radio's flash; back at 19200 baud afterwards.
// Both streams are S-record text, left open for the caller. Returns Success when done, else
// CommProblem, ImageError (an image cannot be read), TimedOut or VerifyFailed, having shown its
// own status text, or StartUnanswered without one (the loader's start timed out). `bytes`, when given,
// hears the data bytes of each image as phases "loader" and "application" (or "boot"), their totals read from
// the images before anything is sent.
ProgrammingStatus DownloadCode(ProgrammingLink& link, std::istream& loader, std::istream& code,
                               const StatusCallback& showStatus, std::uint8_t radioTypeCode,
                               ProgressDisplay& progress, bool boot, ByteProgress* bytes = nullptr);

} // namespace aurex

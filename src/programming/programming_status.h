#pragma once

namespace aurex {

// Results of the identification and download operations. 2 and 4 are the link's own statuses
// (a wait that ended without its reply); the rest are added here.
inline constexpr int kProgrammingSuccess = 1;
inline constexpr int kProgrammingCommProblem = 2;   // the wait ended while the half-duplex line was quiet
inline constexpr int kProgrammingImageError = 3;    // an image or object file cannot be used; nothing more sent
inline constexpr int kProgrammingTimedOut = 4;      // time-out, Stop, or the port went away
inline constexpr int kProgrammingNoBootInfo = 5;    // the boot version query failed where that may happen
inline constexpr int kProgrammingVerifyFailed = 6;  // the radio reported a flash verify failure
inline constexpr int kProgrammingSemUnavailable = 8;

} // namespace aurex

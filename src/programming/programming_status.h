#pragma once

#include <cstdint>

#include "link/link_reply.h"

namespace aurex {

// Results of the identification and download operations. 2 and 4 are the link's own statuses
// (a wait that ended without its reply); the rest are added here.
enum class ProgrammingStatus : std::uint8_t {
    Success = 1,
    CommProblem = 2,  // the wait ended on a quiet line where that is a communication problem
    ImageError = 3,   // an image or object file cannot be used; nothing more sent
    TimedOut = 4,     // time-out, Stop, or the port went away
    NoBootInfo = 5,   // the boot version query failed where that may happen
    VerifyFailed = 6, // the radio reported a flash verify failure
    SemUnavailable = 8,
    // The loader's start went unanswered (time-out or Stop): nothing was written. A radio that
    // answered identification but not this is running its normal code, not its boot loader.
    StartUnanswered = 9,
};

// The end of a wait as the operations report it.
constexpr ProgrammingStatus ProgrammingStatusOf(LinkStatus status)
{
    switch (status) {
    case LinkStatus::Completed:
        return ProgrammingStatus::Success;
    case LinkStatus::IdleEnded:
        return ProgrammingStatus::CommProblem;
    case LinkStatus::Ended:
        break;
    }
    return ProgrammingStatus::TimedOut;
}

} // namespace aurex

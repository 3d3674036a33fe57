#pragma once

#include "link/link_packet.h"

#include <cstdint>

namespace aurex {

// How a wait for the radio ended.
enum class LinkStatus : std::uint8_t {
    Completed = 1, // the awaited reply came
    IdleEnded = 2, // ended on a quiet line where that is a communication problem
    Ended = 4,     // ended otherwise (time-out, Stop, port gone)
};

// What a receive gives: how its wait ended, with the packet that ended it.
struct LinkReply
{
    LinkStatus status = LinkStatus::Ended;
    LinkPacket packet{};    // empty when no frame ended the wait
    bool alternate = false; // the alternate reply came instead of the expected one
};

} // namespace aurex

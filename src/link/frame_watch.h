#pragma once

#include <cstdint>
#include <span>

#include "link/frame_codec.h"

namespace aurex {

// Whoever records what passes the radio link (the line trace). Called on the link's thread in
// line order, inside the transfer: an implementation must be cheap and must never block.
class FrameWatch
{
  public:
    virtual ~FrameWatch() = default;

    // A message went out whole: its bytes before framing (class, command, data). The unframed
    // interface-box probe is given as its message 09 01.
    virtual void MessageSent(std::span<const std::uint8_t> message) = 0;
    // A frame ended on the line. For FrameEvent::Frame `message` is its message (class,
    // command, data); for a dropped frame it is empty and `event` says why it was dropped.
    virtual void FrameHeard(std::span<const std::uint8_t> message, FrameEvent event) = 0;
    // A wait for the radio ended by its time-out.
    virtual void WaitTimedOut() = 0;
};

} // namespace aurex

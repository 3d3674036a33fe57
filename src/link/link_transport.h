#pragma once

#include "link/link_capabilities.h"

#include <cstdint>
#include <span>

namespace aurex {

// The line under the radio link: the program's own serial device, or the window's port component.
// The link chooses one when it opens and drives every wait, send and time-out through it; time is
// in the program's milliseconds here, whatever the line counts in.
class LinkTransport
{
  public:
    LinkTransport() = default;
    LinkTransport(const LinkTransport&) = delete;
    LinkTransport& operator=(const LinkTransport&) = delete;
    virtual ~LinkTransport() = default;

    virtual LinkCapabilities Capabilities() const = 0;

    // Receiving, one byte at a time.
    virtual bool LineOpen() const = 0;
    virtual bool ByteWaiting() = 0;
    // False when the read failed; the transport has then looked whether its device is still there.
    virtual bool TakeByte(std::uint8_t& byte) = 0;
    // One quiet turn: sleeps in the event loop until input, a timer or the user wakes it.
    virtual void WaitForInput() = 0;
    // The line went away under a wait: stop watching it.
    virtual void LineLost() = 0;

    // Sending. Positive when the bytes went out (the device tells how many), -1 when nothing could.
    // A send that has to wait for room gives up once `active` (the link's flag) drops.
    virtual int Send(std::span<const std::uint8_t> bytes, const bool& active) = 0;
    // Lets bytes still queued leave, bounded by the time they need on the line.
    virtual void DrainTransmitQueue() = 0;
    virtual void SetBaud(std::int32_t baud) = 0;
    // The radio has just been told the new rate: this end follows it.
    virtual void FollowBaudChange(std::int32_t baud) = 0;

    // The reply time-out of a group of exchanges: made once, armed for every wait.
    virtual bool CreateTimeout() = 0;
    virtual void ArmTimeout(std::int32_t milliseconds) = 0;
    virtual void DisarmTimeout() = 0;
    virtual void ReleaseTimeout() = 0;

    virtual void Close() = 0;
};

} // namespace aurex

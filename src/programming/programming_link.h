#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/link_capabilities.h"
#include "link/link_packet.h"
#include "link/link_reply.h"

namespace aurex {

// What identification and the downloads need of the radio link. The program's one RadioLink
// serves it (programming/radio_programming.h); tests and fuzz targets put a scripted radio behind
// it, so the protocol can be checked byte for byte without a serial line.
class ProgrammingLink
{
  public:
    virtual ~ProgrammingLink() = default;

    // The reply time-out for a group of exchanges; false when none is available.
    virtual bool CreateTimeout(std::int32_t milliseconds) = 0;
    virtual void ReleaseTimeout() = 0;

    virtual void Send(const LinkPacket& packet) = 0;
    // Waits for the expected or the alternate reply (lengths count the code, as MessageLength
    // gives them). The packet means something only when the status is Completed.
    virtual LinkReply ReceiveReply(const LinkPacket& expectedCode, int expectedLength,
                                   const LinkPacket& alternateCode, int alternateLength) = 0;
    // The next frame with a right checksum, whatever its code.
    virtual LinkReply ReceiveAnyPacket() = 0;
    // The status the link is in now, after the sends that follow the last wait.
    virtual LinkStatus CurrentStatus() const = 0;

    // What the line under the link offers (how refusals and quiet lines are to be taken).
    virtual LinkCapabilities Capabilities() const = 0;
    virtual bool IsActive() const = 0;
    // Tells the radio the new rate, then changes this end.
    virtual void ChangeBaudRate(std::int32_t baud) = 0;
    // A fixed wait of the given milliseconds that keeps the window alive. It ends early when the
    // program quits or the link is stopped: after Stop nothing is left to wait for.
    virtual void Pause(std::int32_t milliseconds) = 0;
};

// Shows a status text in the main window (its ShowStatus, with the window bound).
using StatusCallback = std::function<void(const std::string&)>;

// The main window's progress bar, or anything else that shows a bounded value.
class ProgressDisplay
{
  public:
    virtual ~ProgressDisplay() = default;
    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetPosition(int position) = 0;
    // A wait of known length that nothing reports on (the flash erase): a display with a clock
    // of its own fills from empty over `milliseconds`. At its end it shows full, unless the wait
    // was stopped (`ranOut` false).
    virtual void BeginTimedWait(std::int32_t milliseconds) { (void)milliseconds; }
    virtual void EndTimedWait(bool ranOut) { (void)ranOut; }
};

} // namespace aurex

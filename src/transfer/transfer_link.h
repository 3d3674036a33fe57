#pragma once

// What the codeplug transfer needs of the radio link. The program's radio link serves it
// (transfer/radio_transfer_link.h); tests put a scripted radio behind it.

#include <cstdint>
#include <optional>
#include <span>

#include "link/link_packet.h"

namespace aurex {

class TransferLink
{
  public:
    virtual ~TransferLink() = default;

    // A transfer marks the link active while it runs and inactive when it ends; a Stop makes it
    // inactive, which ends the wait under way.
    virtual void SetActive(bool active) = 0;
    // Sends the class and command bytes and the data as one message; false when it did not leave.
    virtual bool Send(std::uint8_t classByte, std::uint8_t commandByte,
                      std::span<const std::uint8_t> data) = 0;
    // The next frame with a right checksum, whatever its code; nothing when the wait ended without
    // one (time-out, Stop, line gone).
    virtual std::optional<LinkPacket> Receive() = 0;
    // A message no reply confirms has only surely left while the line was still there after it:
    // false when the line went away within `milliseconds`.
    virtual bool LineHeldAfterSend(std::int32_t milliseconds) = 0;
};

} // namespace aurex

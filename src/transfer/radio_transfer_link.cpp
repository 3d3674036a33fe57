#include "transfer/radio_transfer_link.h"

#include "link/radio_link.h"

namespace aurex {

void RadioTransferLink::SetActive(bool active)
{
    SetLinkActive(link_, active);
}

bool RadioTransferLink::Send(std::uint8_t classByte, std::uint8_t commandByte,
                             std::span<const std::uint8_t> data)
{
    return SendCommandPair(link_, classByte, commandByte, data.empty() ? nullptr : data.data(),
                           static_cast<int>(data.size()));
}

std::optional<LinkPacket> RadioTransferLink::Receive()
{
    const LinkReply reply = ReceiveTransferReply(link_);
    if (reply.status != LinkStatus::Completed) {
        return std::nullopt;
    }
    return reply.packet;
}

bool RadioTransferLink::LineHeldAfterSend(std::int32_t milliseconds)
{
    return aurex::LineHeldAfterSend(link_, milliseconds);
}

} // namespace aurex

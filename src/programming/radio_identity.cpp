#include "programming/radio_identity.h"

#include <algorithm>

#include "programming/programming_messages.h"

namespace aurex {

namespace {

constexpr int kIdentityBytes = 8;
constexpr int kFormatBytes = 2;

bool IsCode(const LinkPacket& packet, std::uint8_t classByte, std::uint8_t commandByte) {
    return packet.HasCode() && packet.ClassByte() == classByte && packet.CommandByte() == commandByte;
}

// The frame that ended the wait decides, not a Stop that came in the same turn.
std::optional<LinkPacket> Receive(ProgrammingLink& link) {
    const LinkReply reply = link.ReceiveAnyPacket();
    if (!reply.packet.HasCode()) {
        return std::nullopt;
    }
    return reply.packet;
}

}  // namespace

std::optional<RadioIdentity> QueryRadioIdentity(ProgrammingLink& link) {
    link.Send(MessagePacket(msg::kIdentity));
    std::optional<LinkPacket> reply = Receive(link);
    if (reply && IsCode(*reply, 0x07, 0x25)) {
        reply = Receive(link);
    }
    if (!reply || !IsCode(*reply, 0x04, 0x05) || reply->length < 2 + kIdentityBytes) {
        return std::nullopt;
    }
    RadioIdentity identity{};
    std::copy_n(reply->data.begin() + 2, kIdentityBytes, identity.begin());
    return identity;
}

std::optional<CodeplugFormat> QueryCodeplugFormat(ProgrammingLink& link) {
    link.Send(MessagePacket(msg::kFileFormat));
    const std::optional<LinkPacket> reply = Receive(link);
    if (!reply || !IsCode(*reply, 0x04, 0x1D) || reply->length < 2 + kFormatBytes) {
        return std::nullopt;
    }
    return CodeplugFormat{reply->data[2], reply->data[3]};
}

}  // namespace aurex

#include "programming/radio_identity.h"

#include <algorithm>

#include "link/message_table.h"

namespace aurex {

namespace {

bool Is(const LinkPacket& packet, int id)
{
    const LinkMessage* message = FindLinkMessage(id);
    return message != nullptr && packet.HasCode() && packet.ClassByte() == message->classByte &&
           packet.CommandByte() == message->commandByte;
}

// The radio's notice that it has restarted; not a message of the table.
bool IsRestartNotice(const LinkPacket& packet)
{
    return packet.HasCode() && packet.ClassByte() == 0x07 && packet.CommandByte() == 0x25;
}

// The frame that ended the wait decides, not a Stop that came in the same turn.
std::optional<LinkPacket> Receive(ProgrammingLink& link)
{
    const LinkReply reply = link.ReceiveAnyPacket();
    if (!reply.packet.HasCode()) {
        return std::nullopt;
    }
    return reply.packet;
}

} // namespace

std::optional<RadioIdentity> QueryRadioIdentity(ProgrammingLink& link)
{
    link.Send(MessagePacket(msg::kIdentity));
    std::optional<LinkPacket> reply = Receive(link);
    if (reply && IsRestartNotice(*reply)) {
        reply = Receive(link);
    }
    if (!reply || !Is(*reply, msg::kIdentityReply) || reply->length < MessageLength(msg::kIdentityReply)) {
        return std::nullopt;
    }
    RadioIdentity identity{};
    std::copy_n(reply->data.begin() + 2, identity.size(), identity.begin());
    return identity;
}

std::optional<CodeplugFormat> QueryCodeplugFormat(ProgrammingLink& link)
{
    link.Send(MessagePacket(msg::kFileFormat));
    const std::optional<LinkPacket> reply = Receive(link);
    if (!reply || !Is(*reply, msg::kFileFormatReply) ||
        reply->length < MessageLength(msg::kFileFormatReply)) {
        return std::nullopt;
    }
    return CodeplugFormat{reply->data[2], reply->data[3]};
}

} // namespace aurex

#pragma once

#include <cstdint>
#include <span>

#include "link/link_packet.h"

namespace aurex {

// One entry of the link message table: callers name messages by id, several ids share a code.
struct LinkMessage
{
    int id;
    std::uint8_t classByte;
    std::uint8_t commandByte;
    int payloadLength; // bytes after the code in a reply
};

inline constexpr int kLinkMessageCount = 60;

// Ids with a role of their own on the link.
inline constexpr int kBaudRateMessageId = 42;       // 09 00 + baud selector
inline constexpr int kAlternateReplyMessageId = 51; // 04 20, accepted in place of some replies

// Every entry of the table, in id order.
std::span<const LinkMessage> LinkMessageTable();

// Table entry of an id, or nullptr when the id is not in the table.
const LinkMessage* FindLinkMessage(int id);

// Fills the packet with the id's two-byte code (length 2). An unknown id returns false and
// leaves the packet unchanged.
bool InitMessage(LinkPacket& packet, int id);

// Payload length + 2 for the code; 0 for an id that is not in the table.
int MessageLength(int id);

// Payload byte of the baud-rate command: 9600 -> 0, 38400 -> 3, 57600 -> 4, 115200 -> 5,
// anything else (19200 in use) -> 1.
std::uint8_t BaudSelector(int baudRate);

} // namespace aurex

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

// Table ids by name: the only place where a message id is spelled as a number. Comments give
// the two-byte code and, for replies, the payload bytes after it.
namespace msg {
// Flash and DSP download (class 02).
inline constexpr int kDspStart = 1;        // 02 00
inline constexpr int kPairChecksum = 3;    // 02 02 + 2 bytes, high byte first
inline constexpr int kPageAccepted = 4;    // 02 03
inline constexpr int kImageEnd = 5;        // 02 04
inline constexpr int kChecksumMatches = 6; // 02 05
inline constexpr int kChecksumDiffers = 7; // 02 06
inline constexpr int kReady = 8;           // 02 07 (9 and 10 share the code)
inline constexpr int kPageEnd = 11;        // 02 08
inline constexpr int kImageStart = 47;     // 02 01
inline constexpr int kDataBlock = 48;      // 02 09 + 128 bytes
inline constexpr int kNegative = 49;       // 02 0A, + 4 address bytes after a block
// Codeplug transfer (class 03).
inline constexpr int kCodeplugDownloadRequest = 12; // 03 00
inline constexpr int kCodeplugBlock = 13;           // 03 02 + 128 bytes
inline constexpr int kCodeplugChecksum = 14;        // 03 03 + 2 bytes
inline constexpr int kCodeplugEnd = 15;             // 03 04
inline constexpr int kCodeplugChecksumMatches = 16; // 03 05
inline constexpr int kCodeplugChecksumDiffers = 17; // 03 06
inline constexpr int kCodeplugUploadRequest = 18;   // 03 07
inline constexpr int kCodeplugNextBlock = 19;       // 03 08 (20 and 21 share the code)
// Identification (class 04); each reply is its request's id + 1.
inline constexpr int kIdentity = 24;               // 04 04
inline constexpr int kIdentityReply = 25;          // 04 05 + 8 bytes
inline constexpr int kHardwareVersion = 26;        // 04 07
inline constexpr int kHardwareVersionReply = 27;   // 04 08 + 3 bytes
inline constexpr int kControllerVersion = 28;      // 04 09
inline constexpr int kControllerVersionReply = 29; // 04 0A + 3 bytes
inline constexpr int kDspVersion = 30;             // 04 0B
inline constexpr int kDspVersionReply = 31;        // 04 0C + 3 bytes
inline constexpr int kFileFormat = 35;             // 04 1C
inline constexpr int kFileFormatReply = 36;        // 04 1D + 2 bytes, major and minor
inline constexpr int kBootVersion = 56;            // 04 2D
inline constexpr int kBootVersionReply = 57;       // 04 2E + 2 bytes
inline constexpr int kSemVersion = 58;             // 04 3E
inline constexpr int kSemVersionReply = 59;        // 04 3F + 2 bytes
inline constexpr int kDeclined = 51; // 04 20: the radio declines; accepted in place of some replies
// Line control.
inline constexpr int kBaudRate = 42; // 09 00 + baud selector
} // namespace msg

// Every entry of the table, in id order.
std::span<const LinkMessage> LinkMessageTable();

// Table entry of an id, or nullptr when the id is not in the table.
const LinkMessage* FindLinkMessage(int id);

// The name of an id for a line trace, as its msg:: constant without the k ("DataBlock"); ids
// the program does not use are named by their code ("Unused0401"). Ids that share a code share
// the name. Empty for an entry without a code and for an id not in the table.
const char* LinkMessageName(int id);

// Fills the packet with the id's two-byte code (length 2). An unknown id returns false and
// leaves the packet unchanged.
bool InitMessage(LinkPacket& packet, int id);

// A packet holding the code of a table id (empty for an unknown id).
inline LinkPacket MessagePacket(int id)
{
    LinkPacket packet;
    InitMessage(packet, id);
    return packet;
}

// Payload length + 2 for the code; 0 for an id that is not in the table.
int MessageLength(int id);

// Payload byte of the baud-rate command: 9600 -> 0, 38400 -> 3, 57600 -> 4, 115200 -> 5,
// anything else (19200 in use) -> 1.
std::uint8_t BaudSelector(int baudRate);

} // namespace aurex

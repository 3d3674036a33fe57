#pragma once

#include "link/link_packet.h"
#include "link/message_table.h"

namespace aurex {

// Ids in the link message table of the messages that identification and the downloads use.
namespace msg {
// Flash and DSP download (class 02).
inline constexpr int kDspStart = 1;         // 02 00
inline constexpr int kPairChecksum = 3;     // 02 02 + 2 bytes, high byte first
inline constexpr int kPageAccepted = 4;     // 02 03
inline constexpr int kImageEnd = 5;         // 02 04
inline constexpr int kChecksumMatches = 6;  // 02 05
inline constexpr int kChecksumDiffers = 7;  // 02 06
inline constexpr int kReady = 8;            // 02 07
inline constexpr int kPageEnd = 11;         // 02 08
inline constexpr int kImageStart = 47;      // 02 01
inline constexpr int kDataBlock = 48;       // 02 09 + 128 bytes
inline constexpr int kNegative = 49;        // 02 0A, + 4 address bytes after a block
// Identification (class 04); each reply is its request's id + 1.
inline constexpr int kIdentity = 24;        // 04 04 -> 04 05, 8 bytes
inline constexpr int kHardwareVersion = 26; // 04 07 -> 04 08, 3 bytes
inline constexpr int kControllerVersion = 28; // 04 09 -> 04 0A, 3 bytes
inline constexpr int kDspVersion = 30;      // 04 0B -> 04 0C, 3 bytes
inline constexpr int kFileFormat = 35;      // 04 1C -> 04 1D, 2 bytes
inline constexpr int kDeclined = 51;        // 04 20: the radio declines a request
inline constexpr int kBootVersion = 56;     // 04 2D -> 04 2E, 2 bytes
inline constexpr int kSemVersion = 58;      // 04 3E -> 04 3F, 2 bytes
} // namespace msg

// A packet holding the code of a table id.
inline LinkPacket MessagePacket(int id)
{
    LinkPacket packet;
    InitMessage(packet, id);
    return packet;
}

} // namespace aurex

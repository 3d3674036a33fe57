#include "link/message_table.h"

#include <array>

namespace aurex {
namespace {

// Code 00 00 marks an entry without a two-byte code of its own.
constexpr std::array<LinkMessage, kLinkMessageCount> kTable{{
    {0, 0x01, 0x00, 0},    {1, 0x02, 0x00, 0},    {2, 0x00, 0x00, 128}, {3, 0x02, 0x02, 2},
    {4, 0x02, 0x03, 0},    {5, 0x02, 0x04, 0},    {6, 0x02, 0x05, 0},   {7, 0x02, 0x06, 0},
    {8, 0x02, 0x07, 0},    {9, 0x02, 0x07, 0},    {10, 0x02, 0x07, 0},  {11, 0x02, 0x08, 0},
    {12, 0x03, 0x00, 0},   {13, 0x03, 0x02, 128}, {14, 0x03, 0x03, 2},  {15, 0x03, 0x04, 0},
    {16, 0x03, 0x05, 0},   {17, 0x03, 0x06, 0},   {18, 0x03, 0x07, 0},  {19, 0x03, 0x08, 0},
    {20, 0x03, 0x08, 0},   {21, 0x03, 0x08, 0},   {22, 0x04, 0x01, 0},  {23, 0x04, 0x02, 1},
    {24, 0x04, 0x04, 0},   {25, 0x04, 0x05, 8},   {26, 0x04, 0x07, 0},  {27, 0x04, 0x08, 3},
    {28, 0x04, 0x09, 0},   {29, 0x04, 0x0A, 3},   {30, 0x04, 0x0B, 0},  {31, 0x04, 0x0C, 3},
    {32, 0x04, 0x18, 0},   {33, 0x04, 0x19, 0},   {34, 0x04, 0x1A, 16}, {35, 0x04, 0x1C, 0},
    {36, 0x04, 0x1D, 2},   {37, 0x00, 0x00, 0},   {38, 0x00, 0x00, 6},  {39, 0x00, 0x00, 0},
    {40, 0x00, 0x00, 8},   {41, 0x04, 0x21, 1},   {42, 0x09, 0x00, 0},  {43, 0xF0, 0x00, 0},
    {44, 0xF0, 0x01, 0},   {45, 0xF0, 0x03, 0},   {46, 0xF0, 0x04, 0},  {47, 0x02, 0x01, 0},
    {48, 0x02, 0x09, 128}, {49, 0x02, 0x0A, 0},   {50, 0x03, 0x09, 0},  {51, 0x04, 0x20, 0},
    {52, 0x04, 0x2A, 0},   {53, 0x04, 0x2B, 0},   {54, 0x04, 0x2C, 4},  {55, 0x04, 0x1B, 0},
    {56, 0x04, 0x2D, 0},   {57, 0x04, 0x2E, 2},   {58, 0x04, 0x3E, 0},  {59, 0x04, 0x3F, 2},
}};

// By id; a line trace shows these, so they follow the msg:: constants.
constexpr std::array<const char*, kLinkMessageCount> kNames{
    "Unused0100",              // 0
    "DspStart",                // 1
    "",                        // 2
    "PairChecksum",            // 3
    "PageAccepted",            // 4
    "ImageEnd",                // 5
    "ChecksumMatches",         // 6
    "ChecksumDiffers",         // 7
    "Ready",                   // 8
    "Ready",                   // 9
    "Ready",                   // 10
    "PageEnd",                 // 11
    "CodeplugDownloadRequest", // 12
    "CodeplugBlock",           // 13
    "CodeplugChecksum",        // 14
    "CodeplugEnd",             // 15
    "CodeplugChecksumMatches", // 16
    "CodeplugChecksumDiffers", // 17
    "CodeplugUploadRequest",   // 18
    "CodeplugNextBlock",       // 19
    "CodeplugNextBlock",       // 20
    "CodeplugNextBlock",       // 21
    "Unused0401",              // 22
    "Unused0402",              // 23
    "Identity",                // 24
    "IdentityReply",           // 25
    "HardwareVersion",         // 26
    "HardwareVersionReply",    // 27
    "ControllerVersion",       // 28
    "ControllerVersionReply",  // 29
    "DspVersion",              // 30
    "DspVersionReply",         // 31
    "Unused0418",              // 32
    "Unused0419",              // 33
    "Unused041A",              // 34
    "FileFormat",              // 35
    "FileFormatReply",         // 36
    "",                        // 37
    "",                        // 38
    "",                        // 39
    "",                        // 40
    "Unused0421",              // 41
    "BaudRate",                // 42
    "UnusedF000",              // 43
    "UnusedF001",              // 44
    "UnusedF003",              // 45
    "UnusedF004",              // 46
    "ImageStart",              // 47
    "DataBlock",               // 48
    "Negative",                // 49
    "Unused0309",              // 50
    "Declined",                // 51
    "Unused042A",              // 52
    "Unused042B",              // 53
    "Unused042C",              // 54
    "Unused041B",              // 55
    "BootVersion",             // 56
    "BootVersionReply",        // 57
    "SemVersion",              // 58
    "SemVersionReply",         // 59
};

} // namespace

const char* LinkMessageName(int id)
{
    return id >= 0 && id < kLinkMessageCount ? kNames[static_cast<std::size_t>(id)] : "";
}

std::span<const LinkMessage> LinkMessageTable()
{
    return kTable;
}

const LinkMessage* FindLinkMessage(int id)
{
    for (const LinkMessage& entry : kTable) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

bool InitMessage(LinkPacket& packet, int id)
{
    const LinkMessage* entry = FindLinkMessage(id);
    if (entry == nullptr) {
        return false;
    }
    packet.data[0] = entry->classByte;
    packet.data[1] = entry->commandByte;
    packet.length = 2;
    return true;
}

int MessageLength(int id)
{
    const LinkMessage* entry = FindLinkMessage(id);
    return entry == nullptr ? 0 : entry->payloadLength + 2;
}

std::uint8_t BaudSelector(int baudRate)
{
    switch (baudRate) {
    case 9600:
        return 0;
    case 38400:
        return 3;
    case 57600:
        return 4;
    case 115200:
        return 5;
    default:
        return 1;
    }
}

} // namespace aurex

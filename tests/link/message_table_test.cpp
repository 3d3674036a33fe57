#include <gtest/gtest.h>

#include <span>

#include "link/message_table.h"

namespace aurex {
namespace {

TEST(MessageTable, EveryIdFromZeroToFiftyNineIsKnownAndNothingElse)
{
    for (int id = 0; id < kLinkMessageCount; ++id) {
        ASSERT_NE(FindLinkMessage(id), nullptr) << id;
        EXPECT_GE(MessageLength(id), 2) << id;
    }
    for (int id : {-1, 60, 255, 1000}) {
        EXPECT_EQ(FindLinkMessage(id), nullptr) << id;
        EXPECT_EQ(MessageLength(id), 0) << id;
    }
}

TEST(MessageTable, InitMessageWritesTheCodeAndMessageLengthCountsIt)
{
    struct Case
    {
        int id;
        std::uint8_t classByte;
        std::uint8_t commandByte;
        int length;
    };
    const Case cases[] = {
        {0, 0x01, 0x00, 2},  {2, 0x00, 0x00, 130}, {13, 0x03, 0x02, 130}, {25, 0x04, 0x05, 10},
        {42, 0x09, 0x00, 2}, {43, 0xF0, 0x00, 2},  {48, 0x02, 0x09, 130}, {59, 0x04, 0x3F, 4},
    };
    for (const Case& c : cases) {
        LinkPacket packet;
        packet.length = 77;
        packet.data[2] = 0xEE;
        ASSERT_TRUE(InitMessage(packet, c.id)) << c.id;
        EXPECT_EQ(packet.length, 2) << c.id;
        EXPECT_EQ(packet.data[0], c.classByte) << c.id;
        EXPECT_EQ(packet.data[1], c.commandByte) << c.id;
        EXPECT_EQ(MessageLength(c.id), c.length) << c.id;
    }
}

TEST(MessageTable, WholeTableListsEveryIdOnceInOrder)
{
    const std::span<const LinkMessage> table = LinkMessageTable();
    ASSERT_EQ(table.size(), static_cast<std::size_t>(kLinkMessageCount));
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].id, static_cast<int>(i));
        EXPECT_EQ(FindLinkMessage(table[i].id), &table[i]) << i;
    }
}

TEST(MessageTable, NamedIdsCarryTheCodesTheirNamesStandFor)
{
    struct Case
    {
        int id;
        std::uint8_t classByte;
        std::uint8_t commandByte;
        int payload;
    };
    const Case cases[] = {
        {msg::kDspStart, 0x02, 0x00, 0},
        {msg::kPairChecksum, 0x02, 0x02, 2},
        {msg::kPageAccepted, 0x02, 0x03, 0},
        {msg::kImageEnd, 0x02, 0x04, 0},
        {msg::kChecksumMatches, 0x02, 0x05, 0},
        {msg::kChecksumDiffers, 0x02, 0x06, 0},
        {msg::kReady, 0x02, 0x07, 0},
        {msg::kPageEnd, 0x02, 0x08, 0},
        {msg::kImageStart, 0x02, 0x01, 0},
        {msg::kDataBlock, 0x02, 0x09, 128},
        {msg::kNegative, 0x02, 0x0A, 0},
        {msg::kCodeplugDownloadRequest, 0x03, 0x00, 0},
        {msg::kCodeplugBlock, 0x03, 0x02, 128},
        {msg::kCodeplugChecksum, 0x03, 0x03, 2},
        {msg::kCodeplugEnd, 0x03, 0x04, 0},
        {msg::kCodeplugChecksumMatches, 0x03, 0x05, 0},
        {msg::kCodeplugChecksumDiffers, 0x03, 0x06, 0},
        {msg::kCodeplugUploadRequest, 0x03, 0x07, 0},
        {msg::kCodeplugNextBlock, 0x03, 0x08, 0},
        {msg::kIdentity, 0x04, 0x04, 0},
        {msg::kIdentityReply, 0x04, 0x05, 8},
        {msg::kHardwareVersion, 0x04, 0x07, 0},
        {msg::kHardwareVersionReply, 0x04, 0x08, 3},
        {msg::kControllerVersion, 0x04, 0x09, 0},
        {msg::kControllerVersionReply, 0x04, 0x0A, 3},
        {msg::kDspVersion, 0x04, 0x0B, 0},
        {msg::kDspVersionReply, 0x04, 0x0C, 3},
        {msg::kFileFormat, 0x04, 0x1C, 0},
        {msg::kFileFormatReply, 0x04, 0x1D, 2},
        {msg::kBootVersion, 0x04, 0x2D, 0},
        {msg::kBootVersionReply, 0x04, 0x2E, 2},
        {msg::kSemVersion, 0x04, 0x3E, 0},
        {msg::kSemVersionReply, 0x04, 0x3F, 2},
        {msg::kDeclined, 0x04, 0x20, 0},
        {msg::kBaudRate, 0x09, 0x00, 0},
    };
    for (const Case& c : cases) {
        const LinkMessage* entry = FindLinkMessage(c.id);
        ASSERT_NE(entry, nullptr) << c.id;
        EXPECT_EQ(entry->classByte, c.classByte) << c.id;
        EXPECT_EQ(entry->commandByte, c.commandByte) << c.id;
        EXPECT_EQ(entry->payloadLength, c.payload) << c.id;
    }
    // Identification replies follow their requests.
    for (int request : {msg::kIdentity, msg::kHardwareVersion, msg::kControllerVersion, msg::kDspVersion,
                        msg::kFileFormat, msg::kBootVersion, msg::kSemVersion}) {
        EXPECT_EQ(FindLinkMessage(request + 1)->commandByte, FindLinkMessage(request)->commandByte + 1)
            << request;
    }

    const LinkPacket packet = MessagePacket(msg::kDataBlock);
    EXPECT_EQ(packet.length, 2);
    EXPECT_EQ(packet.data[0], 0x02);
    EXPECT_EQ(packet.data[1], 0x09);
    EXPECT_EQ(MessagePacket(kLinkMessageCount).length, 0);
}

TEST(MessageTable, IdsThatShareACodeStayDistinctIds)
{
    for (int id : {8, 9, 10}) {
        EXPECT_EQ(FindLinkMessage(id)->classByte, 0x02);
        EXPECT_EQ(FindLinkMessage(id)->commandByte, 0x07);
        EXPECT_EQ(FindLinkMessage(id)->id, id);
    }
    for (int id : {19, 20, 21}) {
        EXPECT_EQ(FindLinkMessage(id)->classByte, 0x03);
        EXPECT_EQ(FindLinkMessage(id)->commandByte, 0x08);
    }
    // Entries without a code of their own still carry their reply lengths.
    EXPECT_EQ(MessageLength(38), 8);
    EXPECT_EQ(MessageLength(40), 10);
}

TEST(MessageTable, UnknownIdLeavesThePacketUntouched)
{
    LinkPacket packet;
    packet.length = 3;
    packet.data[0] = 0x09;
    packet.data[1] = 0x00;
    packet.data[2] = 0x05;
    EXPECT_FALSE(InitMessage(packet, 60));
    EXPECT_FALSE(InitMessage(packet, -1));
    EXPECT_EQ(packet.length, 3);
    EXPECT_EQ(packet.data[0], 0x09);
    EXPECT_EQ(packet.data[2], 0x05);
}

TEST(MessageTable, BaudSelectorOfEveryRate)
{
    EXPECT_EQ(BaudSelector(9600), 0);
    EXPECT_EQ(BaudSelector(19200), 1);
    EXPECT_EQ(BaudSelector(38400), 3);
    EXPECT_EQ(BaudSelector(57600), 4);
    EXPECT_EQ(BaudSelector(115200), 5);
    EXPECT_EQ(BaudSelector(4800), 1);
    EXPECT_EQ(BaudSelector(0), 1);
}

} // namespace
} // namespace aurex

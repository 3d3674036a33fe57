#include <gtest/gtest.h>

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

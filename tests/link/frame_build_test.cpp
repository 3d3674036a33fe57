#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "link/frame_codec.h"
#include "link/message_table.h"

namespace aurex {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

LinkPacket Packet(std::initializer_list<std::uint8_t> bytes)
{
    LinkPacket packet;
    for (std::uint8_t b : bytes) {
        packet.Append(b);
    }
    return packet;
}

std::vector<std::uint8_t> Built(const LinkPacket& packet, std::uint8_t secondAddress = kRadioAddress)
{
    auto frame = BuildFrame(packet, secondAddress);
    EXPECT_TRUE(frame.has_value());
    if (!frame) {
        return {};
    }
    return {frame->Bytes().begin(), frame->Bytes().end()};
}

TEST(BuildFrame, BaudRateCommands)
{
    LinkPacket fast;
    ASSERT_TRUE(InitMessage(fast, msg::kBaudRate));
    fast.Append(BaudSelector(115200));
    EXPECT_THAT(Built(fast), ElementsAre(0xBA, 0x7F, 0x01, 0x09, 0x00, 0x05, 0x72, 0x7E));

    LinkPacket slow;
    ASSERT_TRUE(InitMessage(slow, msg::kBaudRate));
    slow.Append(BaudSelector(19200));
    EXPECT_THAT(Built(slow), ElementsAre(0xBA, 0x7F, 0x01, 0x09, 0x00, 0x01, 0x76, 0x7E));
}

TEST(BuildFrame, InterfaceBoxProbeIsTheFrameOf0901ToTheBox)
{
    EXPECT_THAT(Built(Packet({0x09, 0x01}), kInterfaceBoxAddress), ElementsAreArray(kInterfaceBoxProbeFrame));
}

TEST(BuildFrame, MessageBytesAreStuffed)
{
    // 10, 7E and BA inside the message; the checksum 2D needs no stuffing.
    EXPECT_THAT(Built(Packet({0x02, 0x09, 0x10, 0x7E, 0xBA})),
                ElementsAre(0xBA, 0x7F, 0x01, 0x02, 0x09, 0x10, 0x02, 0x10, 0x01, 0x10, 0x00, 0x2D, 0x7E));
}

TEST(BuildFrame, ChecksumByteIsStuffed)
{
    // Messages chosen so that -(0x80 + sum) is 10, 7E and BA in turn.
    EXPECT_THAT(Built(Packet({0x70})), ElementsAre(0xBA, 0x7F, 0x01, 0x70, 0x10, 0x02, 0x7E));
    EXPECT_THAT(Built(Packet({0x02})), ElementsAre(0xBA, 0x7F, 0x01, 0x02, 0x10, 0x01, 0x7E));
    EXPECT_THAT(Built(Packet({0xC6})), ElementsAre(0xBA, 0x7F, 0x01, 0xC6, 0x10, 0x00, 0x7E));
}

TEST(BuildFrame, EmptyAndLongestMessages)
{
    EXPECT_THAT(Built(LinkPacket{}), ElementsAre(0xBA, 0x7F, 0x01, 0x80, 0x7E));

    // 255 bytes that all need stuffing give the largest frame there is.
    LinkPacket worst;
    worst.length = 255;
    worst.data.fill(0x10);
    auto frame = BuildFrame(worst);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->size(), 3 + 2 * 255 + 1 + 1u); // checksum -(0x80 + 255 * 0x10) = 0x90
    EXPECT_EQ(frame->Bytes().back(), 0x7E);
}

TEST(BuildFrame, LengthsThatCannotBeFramedGiveNothing)
{
    // A frame carries at most 255 message bytes; 256 must not go out as an empty message.
    LinkPacket packet;
    packet.length = 256;
    EXPECT_FALSE(BuildFrame(packet).has_value());
    packet.length = 1024;
    EXPECT_FALSE(BuildFrame(packet).has_value());
    packet.length = -1;
    EXPECT_FALSE(BuildFrame(packet).has_value());
}

} // namespace
} // namespace aurex

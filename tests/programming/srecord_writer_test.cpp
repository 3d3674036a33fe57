#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "programming/srecord.h"
#include "programming/srecord_writer.h"

namespace aurex {
namespace {

using ::testing::ElementsAre;

using Data = std::vector<std::uint8_t>;

TEST(SRecordWriter, WritesKnownRecordsByteForByte)
{
    // Records from real images and from the usual format description, checksums included.
    EXPECT_EQ(SRecordLine('3', 0xFE0934D0,
                          Data{0x38, 0x60, 0xFF, 0xFF, 0x38, 0x80, 0x00, 0x01, 0x38, 0xA0, 0x00, 0x01, 0x4B,
                               0xFD, 0x81, 0xCD}),
              "S315FE0934D03860FFFF3880000138A000014BFD81CD21\r\n");
    EXPECT_EQ(SRecordLine('1', 0x7AF0, Data{0x0A, 0x0A, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "\n"),
              "S1137AF00A0A0D0000000000000000000000000061\n");
    EXPECT_EQ(SRecordLine('0', 0, std::string("hello     \0\0", 12)),
              "S00F000068656C6C6F202020202000003C\r\n");
    EXPECT_EQ(SRecordLine('2', 0x02FE50, Data{0, 0, 0, 0}), "S20802FE5000000000A7\r\n");
    EXPECT_EQ(SRecordLine('3', 0, Data{0x11, 0x22, 0x33, 0x44, 0x55}, ""), "S30A000000001122334455F6");
    EXPECT_EQ(SRecordLine('0', 0, "HDR", "\n"), "S00600004844521B\n");
    // Count and end records: address only.
    EXPECT_EQ(SRecordLine('5', 0x0002, Data{}), "S5030002FA\r\n");
    EXPECT_EQ(SRecordLine('9', 0, Data{}), "S9030000FC\r\n");
    EXPECT_EQ(SRecordLine('8', 0, Data{}), "S804000000FB\r\n");
    EXPECT_EQ(SRecordLine('7', 0, Data{}), "S70500000000FA\r\n");
    // Only the low bytes of an address that does not fit the field are written.
    EXPECT_EQ(SRecordLine('1', 0x12345678, Data{}), "S10356782E\r\n");
}

TEST(SRecordWriter, ChecksumIsTheOnesComplementOfTheLowByteOfTheSum)
{
    // 0x18 + 0x01 + 0x01 + 0x00 + 20 bytes of 0xFF: the sum 0x1406 carries past a byte.
    const std::string line = SRecordLine('2', 0x010100, Data(20, 0xFF), "");
    ASSERT_EQ(line.size(), 4 + 2 * (3 + 20 + 1u));
    EXPECT_EQ(line.substr(0, 10), "S218010100");
    EXPECT_EQ(line.substr(line.size() - 2), "F9");
}

TEST(SRecordWriter, AppendsToWhatIsThereAndRefusesWhatTheCountCannotHold)
{
    std::string text = "S0030000FC\r\n";
    ASSERT_TRUE(AppendSRecord(text, '3', 0x00008000, Data{0x01, 0x02}));
    EXPECT_EQ(text, "S0030000FC\r\nS30700008000010275\r\n");

    // The count byte covers address, data and checksum: 255 at most.
    EXPECT_TRUE(AppendSRecord(text, '1', 0, Data(252, 0xAA)));
    EXPECT_TRUE(AppendSRecord(text, '3', 0, Data(250, 0xAA)));
    const std::string before = text;
    EXPECT_FALSE(AppendSRecord(text, '1', 0, Data(253, 0xAA)));
    EXPECT_FALSE(AppendSRecord(text, '3', 0, Data(251, 0xAA)));
    for (char type : {'4', 'A', 's', '\0'}) {
        EXPECT_FALSE(AppendSRecord(text, type, 0, Data{1})) << type;
        EXPECT_EQ(SRecordLine(type, 0, Data{1}), "") << type;
    }
    EXPECT_EQ(text, before);
    EXPECT_EQ(SRecordAddressBytes('0'), 2u);
    EXPECT_EQ(SRecordAddressBytes('6'), 3u);
    EXPECT_EQ(SRecordAddressBytes('7'), 4u);
}

TEST(SRecordWriter, TheReaderGetsBackWhatWasWritten)
{
    SRecordData data;
    const std::string s1 = SRecordLine('1', 0x0100, Data{0xAB, 0xCD, 0x12, 0x34, 0x7E}, "");
    ASSERT_EQ(DecodeDataRecord(s1, kS1Layout, data), SRecordError::None);
    EXPECT_THAT(data.Words(), ElementsAre(0xCDAB, 0x3412, 0xFF7E));
    const std::string s3 = SRecordLine('3', 0xFE040100, Data(250, 0x5A), "");
    ASSERT_EQ(DecodeDataRecord(s3, kS3Layout, data), SRecordError::None);
    EXPECT_EQ(data.dataBytes, 250);
    EXPECT_EQ(data.words[124], 0x5A5A);
}

} // namespace
} // namespace aurex

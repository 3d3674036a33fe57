#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "programming/srecord.h"

namespace aurex {
namespace {

using ::testing::ElementsAre;

TEST(RecordKinds, FirstTwoCharactersDecideAndCaseMatters)
{
    EXPECT_EQ(ClassifyRecord("S1130000").kind, SRecordKind::Data);
    EXPECT_EQ(ClassifyRecord("S1130000").layout.firstDataChar, 8);
    EXPECT_EQ(ClassifyRecord("S2").layout.firstDataChar, 10);
    EXPECT_EQ(ClassifyRecord("S3").layout.firstDataChar, 12);
    EXPECT_EQ(ClassifyRecord("S3").layout.progressWeight, 4);
    EXPECT_EQ(ClassifyRecord("S2").layout.progressWeight, 3);
    EXPECT_EQ(ClassifyRecord("S0030000FC").kind, SRecordKind::Header);
    EXPECT_EQ(ClassifyRecord("S70500000000FA").kind, SRecordKind::End);
    for (const char* skipped : {"S804000000FB", "S5030001FB", "s3150000", "", "S", "Hello", " S3"}) {
        EXPECT_EQ(ClassifyRecord(skipped).kind, SRecordKind::Skipped) << skipped;
    }

    EXPECT_TRUE(IsImageEnd("S9030000FC"));
    EXPECT_TRUE(IsImageEnd("S70500000000FA"));
    EXPECT_FALSE(IsImageEnd("S804000000FB"));
    EXPECT_FALSE(IsImageEnd("s9030000FC"));
    EXPECT_TRUE(IsDspLoaderEnd("S9030000FC"));
    EXPECT_FALSE(IsDspLoaderEnd("S70500000000FA"));
}

TEST(DataRecords, S3ExampleLine)
{
    const std::string line = "S315FE0934D03860FFFF3880000138A000014BFD81CD21";
    EXPECT_EQ(DataByteCount(line, kS3Layout), 16);
    SRecordData data;
    ASSERT_EQ(DecodeDataRecord(line, kS3Layout, data), SRecordError::None);
    EXPECT_EQ(data.dataBytes, 16);
    EXPECT_EQ(data.progressWeight, 4);
    EXPECT_THAT(data.Words(), ElementsAre(0x6038, 0xFFFF, 0x8038, 0x0100, 0xA038, 0x0100, 0xFD4B, 0xCD81));

    std::uint16_t word = 0;
    ASSERT_TRUE(WordAt(line, 12, word));
    EXPECT_EQ(word, 0x6038);
    ASSERT_TRUE(WordAt(line, 40, word));
    EXPECT_EQ(word, 0xCD81);
    EXPECT_FALSE(WordAt(line, 43, word)); // only three characters left
}

TEST(DataRecords, S2AndS1ExampleLines)
{
    SRecordData data;
    ASSERT_EQ(DecodeDataRecord("S20802FE5000000000A7", kS2Layout, data), SRecordError::None);
    EXPECT_EQ(data.dataBytes, 4);
    EXPECT_EQ(data.progressWeight, 3);
    EXPECT_THAT(data.Words(), ElementsAre(0x0000, 0x0000));

    ASSERT_EQ(DecodeDataRecord("S1070100ABCD1234E2", kS1Layout, data), SRecordError::None);
    EXPECT_THAT(data.Words(), ElementsAre(0xCDAB, 0x3412));
}

TEST(DataRecords, OddByteCountFillsTheHighByteWithErasedFlash)
{
    // Five data bytes 11 22 33 44 55; the checksum F6 must not reach the image.
    SRecordData data;
    ASSERT_EQ(DecodeDataRecord("S30A000000001122334455F6", kS3Layout, data), SRecordError::None);
    EXPECT_EQ(data.dataBytes, 5);
    EXPECT_THAT(data.Words(), ElementsAre(0x2211, 0x4433, 0xFF55));

    // A single byte, and the record need not carry its checksum characters at all.
    ASSERT_EQ(DecodeDataRecord("S2050100007E", kS2Layout, data), SRecordError::None);
    EXPECT_THAT(data.Words(), ElementsAre(0xFF7E));
}

TEST(DataRecords, EmptyAndLargestRecords)
{
    SRecordData data;
    ASSERT_EQ(DecodeDataRecord("S30500000000FA", kS3Layout, data), SRecordError::None);
    EXPECT_EQ(data.wordCount, 0u);

    // Count FF in an S1 record: 252 data bytes, 126 words.
    const std::string line = "S1FF0000" + std::string(504, 'a') + "00";
    ASSERT_EQ(DecodeDataRecord(line, kS1Layout, data), SRecordError::None);
    EXPECT_EQ(data.wordCount, kMaxRecordWords);
    EXPECT_EQ(data.words[125], 0xAAAA);
}

TEST(DataRecords, MalformedRecordsAreRefusedNotGuessed)
{
    SRecordData data;
    // Count field missing, non-hex or smaller than address and checksum.
    EXPECT_EQ(DecodeDataRecord("S3", kS3Layout, data), SRecordError::BadCount);
    EXPECT_EQ(DecodeDataRecord("S31", kS3Layout, data), SRecordError::BadCount);
    EXPECT_EQ(DecodeDataRecord("S31G00000000", kS3Layout, data), SRecordError::BadCount);
    EXPECT_EQ(DecodeDataRecord("S3G100000000", kS3Layout, data), SRecordError::BadCount);
    EXPECT_EQ(DecodeDataRecord("S30400000000", kS3Layout, data), SRecordError::BadCount);
    // The count promises more data than the line holds: nothing past the line is read.
    EXPECT_EQ(DecodeDataRecord("S3150000000011223344", kS3Layout, data), SRecordError::Truncated);
    EXPECT_EQ(DecodeDataRecord("S30A0000", kS3Layout, data), SRecordError::Truncated);
    EXPECT_EQ(DecodeDataRecord("S30A000000001122334", kS3Layout, data), SRecordError::Truncated);
    // A non-hex character anywhere in the data, even in the last odd byte.
    EXPECT_EQ(DecodeDataRecord("S3090000000011 23344E1", kS3Layout, data), SRecordError::BadDigit);
    EXPECT_EQ(DecodeDataRecord("S30A00000000112233445XF6", kS3Layout, data), SRecordError::BadDigit);
    EXPECT_EQ(DataByteCount("S3G1", kS3Layout), -1);
}

} // namespace
} // namespace aurex

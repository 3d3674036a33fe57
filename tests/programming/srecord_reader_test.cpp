#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "programming/srecord_reader.h"
#include "programming/srecord_writer.h"

namespace aurex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Image
{
    std::vector<std::uint16_t> words;
    std::vector<int> dataBytes; // per record
    int progress = 0;
    SRecordImageReader::Result last = SRecordImageReader::Result::Record;
    bool endedByRecord = false;
    std::string error;
};

Image Read(const std::string& text, SRecordRule rule = SRecordRule::Standard)
{
    std::istringstream in(text);
    SRecordImageReader reader(in, rule);
    Image image;
    while ((image.last = reader.Next()) == SRecordImageReader::Result::Record) {
        image.dataBytes.push_back(reader.Record().dataBytes);
        image.progress += reader.Record().progressWeight;
        for (std::uint16_t w : reader.Record().Words()) {
            image.words.push_back(w);
        }
    }
    image.endedByRecord = reader.EndedByRecord();
    image.error = reader.ErrorMessage();
    // End and Error are final.
    EXPECT_EQ(reader.Next(), image.last);
    return image;
}

TEST(SRecordImage, ExampleLinesInOneImage)
{
    const Image image = Read("S00600004844521B\r\n"
                             "S315FE0934D03860FFFF3880000138A000014BFD81CD21\r\n"
                             "\r\n"
                             "S804000000FB\r\n" // not an end: reading goes on
                             "S20802FE5000000000A7\r\n"
                             "S70500000000FA\r\n"
                             "S20802FE50111111115F\r\n");
    EXPECT_EQ(image.last, SRecordImageReader::Result::End);
    EXPECT_TRUE(image.endedByRecord);
    EXPECT_THAT(image.dataBytes, ElementsAre(16, 4));
    EXPECT_EQ(image.progress, 4 + 3); // S0 and empty lines add nothing
    EXPECT_THAT(image.words,
                ElementsAre(0x6038, 0xFFFF, 0x8038, 0x0100, 0xA038, 0x0100, 0xFD4B, 0xCD81, 0, 0));
}

TEST(SRecordImage, EndsAtS9OrAtEndOfFileAndLineEndsDoNotMatter)
{
    Image image = Read("S1050000ABCD82\nS9030000FC\nS1050000FFFF00\n");
    EXPECT_TRUE(image.endedByRecord);
    EXPECT_THAT(image.words, ElementsAre(0xCDAB));

    // No end record and no final newline: the image simply ends.
    image = Read("S1050000ABCD82\r\nS1050000123482");
    EXPECT_EQ(image.last, SRecordImageReader::Result::End);
    EXPECT_FALSE(image.endedByRecord);
    EXPECT_THAT(image.words, ElementsAre(0xCDAB, 0x3412));

    image = Read("");
    EXPECT_EQ(image.last, SRecordImageReader::Result::End);
    EXPECT_THAT(image.words, IsEmpty());
}

TEST(SRecordImage, LongLinesAreReadInPiecesOfAtMost299Characters)
{
    // 299 characters + newline: the newline comes alone as an empty second piece.
    std::string header = "S0" + std::string(297, '0') + "\n";
    // A long comment whose 300th character starts what looks like a record: that piece is
    // classified like any line and its words count.
    std::string comment = std::string(299, '#') + "S1050000BEEF00\n";
    Image image = Read(header + comment + "S1050000ABCD82\n");
    EXPECT_EQ(image.last, SRecordImageReader::Result::End);
    EXPECT_THAT(image.words, ElementsAre(0xEFBE, 0xCDAB));

    // A data record too long for one piece cannot be decoded from its first piece alone.
    std::string longRecord = "S3FF00000000" + std::string(500, '1') + "00\n";
    image = Read("S1050000ABCD82\n" + longRecord);
    EXPECT_EQ(image.last, SRecordImageReader::Result::Error);
    EXPECT_THAT(image.words, ElementsAre(0xCDAB));
    EXPECT_EQ(image.error, "line 2: the record is shorter than its byte count says");
}

TEST(SRecordImage, MalformedRecordStopsTheImageWithItsLine)
{
    const Image image = Read("S0030000FC\nS1050000ABCD82\nS1050000AB\nS1050000ABCD82\n");
    EXPECT_EQ(image.last, SRecordImageReader::Result::Error);
    EXPECT_THAT(image.words, ElementsAre(0xCDAB));
    EXPECT_EQ(image.error, "line 3: the record is shorter than its byte count says");

    EXPECT_EQ(Read("S1050000ABZD82\n").error,
              "line 1: the record's data holds a character that is not a hexadecimal digit");
    EXPECT_EQ(Read("\n\nS1XX0000ABCD82\n").error, "line 3: the record's byte count is not valid");
}

TEST(SRecordImage, UnreadableStreamIsAnErrorNotAnEmptyImage)
{
    std::istringstream in("S1050000ABCD82\n");
    in.setstate(std::ios::failbit); // as a file that failed to open
    SRecordImageReader reader(in);
    EXPECT_EQ(reader.Next(), SRecordImageReader::Result::Error);
    EXPECT_EQ(reader.Error(), SRecordError::ReadFailed);
    EXPECT_EQ(reader.ErrorMessage(), "the image file could not be read");
}

// A stream that cannot tell where it is.
struct OneWayBuffer : std::stringbuf
{
    using std::stringbuf::stringbuf;
    pos_type seekoff(off_type, std::ios::seekdir, std::ios::openmode) override { return pos_type(-1); }
};

TEST(SRecordImage, DataBytesAreCountedAsWordsWithoutMovingTheStream)
{
    struct Case
    {
        const char* what;
        std::string text;
        SRecordRule rule;
        std::optional<std::int64_t> bytes;
    };
    for (const Case& c : {
             Case{"S1 and S3 records up to S9",
                  "S0030000FC\nS1050000ABCD82\nS3070000000001020300\nS9030000FC\nS1050000ABCD82\n",
                  SRecordRule::Standard, 4},
             Case{"an odd last byte takes a word", "S1040000AB00\n", SRecordRule::Standard, 2},
             Case{"no records", "", SRecordRule::Standard, 0},
             Case{"the DSP loader's lines", "S3070000000001020300\nS9\n", SRecordRule::DspLoader, 2},
             Case{"a record that cannot be read", "S1050000ABCD82\nS1050000ABXD82\n", SRecordRule::Standard,
                  std::nullopt},
         }) {
        SCOPED_TRACE(c.what);
        std::istringstream in(c.text);
        EXPECT_EQ(ImageDataBytes(in, c.rule), c.bytes);
        // What the download then reads is the whole image again.
        EXPECT_EQ(Read(std::string(std::istreambuf_iterator<char>(in), {}), c.rule).words,
                  Read(c.text, c.rule).words);
    }

    OneWayBuffer buffer("S1050000ABCD82\n");
    std::istream oneWay(&buffer);
    EXPECT_EQ(ImageDataBytes(oneWay), std::nullopt);
    EXPECT_EQ(oneWay.tellg(), std::istream::pos_type(-1));
    EXPECT_EQ(Read(std::string(std::istreambuf_iterator<char>(oneWay), {})).words,
              (std::vector<std::uint16_t>{0xCDAB}));
}

TEST(SRecordImage, DspLoaderTakesEveryLineAsS3UntilS9)
{
    const Image image = Read("S30900000000AABBCCDDE7\n"
                             "\n"
                             "S70500000000FA\n"       // no end here: read as an S3 record
                             "S2080000000011223344\n" // S3 layout: data from character 12
                             "S9030000FC\n"
                             "S30900000000AABBCCDDE7\n",
                             SRecordRule::DspLoader);
    EXPECT_EQ(image.last, SRecordImageReader::Result::End);
    EXPECT_TRUE(image.endedByRecord);
    EXPECT_THAT(image.dataBytes, ElementsAre(4, 0, 3));
    EXPECT_EQ(image.progress, 12);
    EXPECT_THAT(image.words, ElementsAre(0xBBAA, 0xDDCC, 0x2211, 0xFF33));
}

// Deterministic bytes, and the text of an image holding them in S3 records of 48 bytes.
std::vector<std::uint8_t> Bytes(std::size_t n)
{
    std::vector<std::uint8_t> out(n);
    std::uint32_t x = 12345;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

std::string S3Image(const std::vector<std::uint8_t>& bytes)
{
    std::string text = "S00F000068656C6C6F202020202000003C\r\n";
    for (std::size_t i = 0; i < bytes.size(); i += 48) {
        const std::size_t n = std::min<std::size_t>(48, bytes.size() - i);
        AppendSRecord(text, '3', static_cast<std::uint32_t>(0xFE040100 + i), std::span(bytes).subspan(i, n));
    }
    return text + "S705FE040100F7\r\n";
}

TEST(SRecordImage, LargeImageGivesBackEveryByteInOrder)
{
    // Several read-ahead chunks, so lines also cross chunk boundaries; an odd total length
    // makes the last record odd.
    const std::vector<std::uint8_t> bytes = Bytes(200001);
    const Image image = Read(S3Image(bytes));
    ASSERT_EQ(image.last, SRecordImageReader::Result::End);
    EXPECT_TRUE(image.endedByRecord);
    ASSERT_EQ(image.words.size(), (bytes.size() + 1) / 2);
    std::vector<std::uint8_t> back;
    for (std::uint16_t w : image.words) {
        back.push_back(static_cast<std::uint8_t>(w & 0xFF));
        back.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    EXPECT_EQ(back.back(), 0xFF);
    back.pop_back();
    EXPECT_TRUE(back == bytes);
}

} // namespace
} // namespace aurex

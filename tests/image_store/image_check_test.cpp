#include "image_store/image_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "programming/srecord_writer.h"
#include "store_fakes.h"

namespace aurex {
namespace {

ImageCheckResult Check(const std::string& text, SRecordRules rules = SRecordRules::FlashImage)
{
    SRecordImageChecker checker(rules);
    checker.Feed(std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
    return checker.Finish();
}

const std::string kData16 =
    std::string("\x10\x32\x54\x76\x98\xBA\xDC\xFE\x01\x23\x45\x67\x89\xAB\xCD\xEF", 16);

std::string S2Image(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += SRecordLine('2', 0x010100 + 16 * i, kData16);
    return text + "S9030000FC\r\n";
}

TEST(SRecordImageChecker, AcceptsWholeImages)
{
    EXPECT_TRUE(Check(S2Image(3)).Ok());
    // A line taken from a real code image, and the end record without its line end.
    EXPECT_TRUE(Check("S315FE0934D03860FFFF3880000138A000014BFD81CD21\r\nS9030000FC").Ok());
    // Header, record count, S7 end, LF-only line ends and lower-case digits all pass.
    const std::string s0 = SRecordLine('0', 0, "AUREX");
    const std::string s5 = "S5030002FA\r\n";
    EXPECT_TRUE(Check(s0 + SRecordLine('3', 0xFE040100, kData16) + SRecordLine('3', 0xFE040110, kData16) +
                      s5 + "S70500000000FA\n")
                    .Ok());
    EXPECT_TRUE(Check("s315fe0934d03860ffff3880000138a000014bfd81cd21\nS9030000FC\n").Ok() == false)
        << "a record starts with a capital S, as the download tests it";
    EXPECT_TRUE(Check("S315fe0934d03860ffff3880000138a000014bfd81cd21\nS9030000FC\n").Ok());
}

TEST(SRecordImageChecker, FindsDamageAndSaysWhere)
{
    const std::string good = SRecordLine('2', 0x010100, kData16); // S214010100 ... CS
    std::string bad_sum = good;
    bad_sum[20] = bad_sum[20] == '0' ? '1' : '0';
    // S3 read as S1: the same bytes, so the checksum holds and the data stays even; only the
    // mix of record types shows it.
    std::string type_flip = SRecordLine('3', 0xFE040100, kData16);
    type_flip[1] = '1';
    struct Case
    {
        std::string text;
        ImageFault fault;
        std::uint64_t line;
    };
    const std::vector<Case> cases = {
        {good + bad_sum + "S9030000FC\r\n", ImageFault::BadChecksum, 2},
        {good + type_flip + "S9030000FC\r\n", ImageFault::MixedDataRecords, 2},
        {good + "S2140101G0" + good.substr(10), ImageFault::BadHexDigit, 2},
        {good + "X" + good.substr(1) + "S9030000FC\r\n", ImageFault::NotARecord, 2},
        {good + "\r\n" + "S9030000FC\r\n", ImageFault::NotARecord, 2},
        {good + good.substr(0, 20) + "\r" + good.substr(20), ImageFault::BadLineEnd, 2},
        {good + good.substr(0, 44) + good + "S9030000FC\r\n", ImageFault::BadHexDigit, 2},
        {good + "S214010100\r\n", ImageFault::LengthMismatch, 2},
        {good + "S9", ImageFault::LengthMismatch, 2},
        {good + "S20201FC\r\nS9030000FC\r\n", ImageFault::BadCount, 2},
        {good + SRecordLine('2', 0x010110, "\x01\x02\x03") + "S9030000FC\r\n", ImageFault::OddDataLength, 2},
        {good + SRecordLine('0', 0, "HDR") + "S9030000FC\r\n", ImageFault::MisplacedHeader, 2},
        {good + "S5030005F7\r\nS9030000FC\r\n", ImageFault::BadCount, 2},
        {good + "S804000000FB\r\n", ImageFault::UnsupportedRecord, 2},
        {good + "S9030000FC\r\n" + good, ImageFault::RecordAfterEnd, 3},
        {good + "S9030000FC\r\n\r\n", ImageFault::RecordAfterEnd, 3},
        {good + good, ImageFault::NoEndRecord, 3},
        {"", ImageFault::NoEndRecord, 1},
        {"S9030000FC\r\n", ImageFault::NoData, 2},
        {good + "S2" + std::string(300, '0') + "\r\n", ImageFault::LineTooLong, 2},
    };
    for (const Case& c : cases) {
        const ImageCheckResult result = Check(c.text);
        EXPECT_EQ(result.fault, c.fault) << c.text << " gave " << ImageFaultName(result.fault);
        EXPECT_EQ(result.line, c.line) << c.text;
    }
}

TEST(SRecordImageChecker, LongestLineTheDownloadReadsWholeIsAccepted)
{
    // 296 characters and CR LF fit the download's 299-character line read; a record one data
    // word longer does not.
    const std::string line = SRecordLine('2', 0x1000, std::string(142, '\x5A'));
    ASSERT_EQ(line.size(), 298u);
    EXPECT_TRUE(Check(line + "S9030000FC\r\n").Ok());
    const std::string longer = SRecordLine('2', 0x1000, std::string(144, '\x5A'));
    EXPECT_EQ(Check(longer + "S9030000FC\r\n").fault, ImageFault::LineTooLong);
}

TEST(SRecordImageChecker, DspLoaderTakesOnlyS3RecordsAndAnS9End)
{
    const std::string s3 = SRecordLine('3', 0x8000, kData16);
    EXPECT_TRUE(Check(s3 + s3 + "S9030000FC\r\n", SRecordRules::DspLoader).Ok());
    // The DSP download would take these lines as S3 data or read past the S7.
    EXPECT_EQ(Check(SRecordLine('0', 0, "HDR") + s3 + "S9030000FC\r\n", SRecordRules::DspLoader).fault,
              ImageFault::UnsupportedRecord);
    EXPECT_EQ(Check(s3 + "S70500000000FA\r\n", SRecordRules::DspLoader).fault, ImageFault::UnsupportedRecord);
    EXPECT_EQ(Check(SRecordLine('2', 0x8000, kData16) + "S9030000FC\r\n", SRecordRules::DspLoader).fault,
              ImageFault::UnsupportedRecord);
}

TEST(SRecordImageChecker, ResultDoesNotDependOnHowBytesArrive)
{
    std::string text = S2Image(40);
    for (const bool damaged : {false, true}) {
        if (damaged)
            text[46 * 17 + 30] ^= 0x01;
        const ImageCheckResult whole = Check(text);
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{46}, std::size_t{1000}}) {
            SRecordImageChecker checker(SRecordRules::FlashImage);
            for (std::size_t at = 0; at < text.size(); at += chunk) {
                checker.Feed(std::span(reinterpret_cast<const unsigned char*>(text.data()) + at,
                                       std::min(chunk, text.size() - at)));
            }
            const ImageCheckResult pieces = checker.Finish();
            EXPECT_EQ(pieces.fault, whole.fault) << chunk;
            EXPECT_EQ(pieces.line, whole.line) << chunk;
        }
        EXPECT_EQ(whole.Ok(), !damaged);
    }
}

// A small object file as the DSP download reads it, with the given sections.
struct Section
{
    int page;
    std::uint32_t words;
    std::uint32_t raw; // file offset of the raw data
};
std::string ObjectFile(const std::vector<Section>& sections, std::size_t data_bytes,
                       bool optional_header = true)
{
    const std::size_t table = optional_header ? 50 : 22;
    std::string file(table + 40 * sections.size() + data_bytes, '\0');
    const auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            file[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(0, 0xC2, 2);
    put(2, static_cast<std::uint32_t>(sections.size()), 2);
    put(16, optional_header ? 28 : 0, 2);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::size_t h = table + 40 * i;
        put(h + 16, sections[i].words, 4);
        put(h + 20, sections[i].raw, 4);
        file[h + 39] = static_cast<char>(sections[i].page);
    }
    return file;
}

ImageCheckResult CheckObject(const std::string& file)
{
    return CheckDspObject(
        MemoryByteSource(std::span(reinterpret_cast<const unsigned char*>(file.data()), file.size())));
}

TEST(CheckDspObject, AcceptsReadableObjects)
{
    // Generated object: many pages, one section longer than a download chunk.
    testing::MemoryBlobs dsp = testing::MemoryBlobs::FromPreset("dsp");
    std::string object;
    for (int piece = 1; dsp.Find("CODE_" + std::to_string(piece)); ++piece) {
        object += dsp.Bytes("CODE_" + std::to_string(piece));
    }
    EXPECT_TRUE(CheckObject(object).Ok());

    // Without an optional header; an empty section on page 5; an uninitialised section on a
    // page the download reads over (1), and one on a page it skips (negative) pointing anywhere.
    EXPECT_TRUE(CheckObject(ObjectFile({{0, 8, 102}, {5, 0, 0}}, 16, false)).Ok());
    EXPECT_TRUE(CheckObject(ObjectFile({{2, 8, 170}, {1, 9999, 0}, {-128, 9999, 0xFFFFFFF0}}, 16)).Ok());
}

TEST(CheckDspObject, RejectsWhatTheDownloadWouldMisread)
{
    EXPECT_EQ(CheckObject(std::string(21, '\0')).fault, ImageFault::TruncatedHeader);
    std::string odd_header = ObjectFile({{0, 8, 90}}, 16);
    odd_header[16] = 30;
    EXPECT_EQ(CheckObject(odd_header).fault, ImageFault::UnsupportedHeader);
    std::string table_cut = ObjectFile({{0, 8, 130}, {2, 8, 146}}, 32);
    EXPECT_EQ(CheckObject(table_cut.substr(0, 100)).fault, ImageFault::TruncatedSectionTable);
    EXPECT_EQ(CheckObject(ObjectFile({{0, 8, 130}, {6, 9, 146}}, 32)).fault, ImageFault::SectionOutsideFile)
        << "page 6 data runs 2 bytes past the end";
    EXPECT_EQ(CheckObject(ObjectFile({{8, 1, 0xFFFFFFFF}}, 16)).fault, ImageFault::SectionOutsideFile);
    EXPECT_EQ(CheckObject(ObjectFile({{0, 8, 130}, {3, 8, 140}}, 16)).fault, ImageFault::SectionOutsideFile)
        << "a cut-off file, even where the lost section is not downloaded";
    EXPECT_EQ(CheckObject(ObjectFile({{1, 8, 90}, {3, 8, 90}}, 16)).fault, ImageFault::NoData)
        << "nothing on a page that the download places";
}

} // namespace
} // namespace aurex

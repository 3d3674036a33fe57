// The conversion report on real conversions of built images, on pairs of the same format, and on
// what it must hold up against: invalid images, short spans, odd byte counts, long reports.
#include "convert/conversion_report.h"

#include "convert/convert_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace aurex {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Both images of a conversion through the entry points, with the byte counts a download takes.
struct Conversion
{
    std::vector<uint16_t> before;
    std::size_t beforeBytes = 0;
    std::vector<uint16_t> after;
    std::size_t afterBytes = 0;

    std::vector<std::string> Report() const
    {
        return DescribeConversion(before, beforeBytes, after, afterBytes);
    }
};

Conversion Convert(const std::vector<uint16_t>& image, uint8_t from, uint8_t to)
{
    Conversion conversion{image, 2 * std::size_t{ParmsImageLength(image.data())}, image, 0};
    int32_t change = 0;
    const ParmsStepFault fault = to >= from ? ParmsUpgrade(change, conversion.after.data(), from, to)
                                            : ParmsDowngrade(change, conversion.after.data(), to, from);
    EXPECT_EQ(fault, ParmsStepFault::None);
    conversion.afterBytes =
        static_cast<std::size_t>(static_cast<int64_t>(conversion.beforeBytes) + 2 * change);
    return conversion;
}

// The report's line that starts with `prefix`, or "" (so that HasSubstr fails naming it).
std::string LineOf(const std::vector<std::string>& report, const std::string& prefix)
{
    for (const std::string& line : report) {
        if (line.rfind(prefix, 0) == 0) {
            return line;
        }
    }
    return "";
}

std::string LengthLine(const Conversion& c)
{
    const int64_t before = ParmsImageLength(c.before.data());
    const int64_t after = ParmsImageLength(c.after.data());
    return "length " + std::to_string(before) + " to " + std::to_string(after) + " words (" +
           (after > before ? "+" : "") + std::to_string(after - before) + "), " +
           std::to_string(c.beforeBytes) + " to " + std::to_string(c.afterBytes) + " bytes";
}

void ExpectBounded(const std::vector<std::string>& report)
{
    EXPECT_FALSE(report.empty());
    EXPECT_LE(report.size(), kConversionReportMaxLines);
    for (const std::string& line : report) {
        EXPECT_LE(line.size(), kConversionReportMaxLineLength) << line;
    }
}

TEST(ConversionReport, ADowngradeFromFiveTenNamesEveryTableItEmptiesOrDrops)
{
    BuiltCodeplug built = BuildNative(5);
    const std::vector<uint16_t> records(12, 0x5A5A);
    // The tables 5.9 does not have, and kind 5 table 3, which 5.10 redefined: 3 records each.
    const std::vector<std::tuple<unsigned, unsigned, unsigned, unsigned>> filled{
        {2, 1, 15, 16}, {3, 3, 15, 20}, {4, 4, 15, 20}, {5, 5, 3, 3}};
    for (const auto& [system, kind, first, last] : filled) {
        for (unsigned t = first; t <= last; ++t) {
            ASSERT_EQ(ParmsReplaceRecordTable(built.image(), system, t, records.data(), 3, 4),
                      ParmsEditResult::Done);
        }
    }
    const Conversion down = Convert(built.buffer, 5, 4);
    const std::vector<std::string> report = down.Report();
    SCOPED_TRACE(::testing::PrintToString(report));
    ExpectBounded(report);

    std::vector<std::string> expected{
        "format 5.10 to 5.9",
        LengthLine(down),
        "radio block, table 1: 48 records dropped (64 to 16)",
        "system block 5, kind 5, table 3: emptied, 3 records dropped",
        "system block 4, kind 4, table 9: records 58 to 36 words (2 records kept)",
        "sequence block 3, table 0: records 18 to 17 words (2 records kept)",
    };
    for (const auto& [system, kind, first, last] : filled) {
        for (unsigned t = first; t <= last && system != 5; ++t) {
            expected.push_back("system block " + std::to_string(system) + ", kind " + std::to_string(kind) +
                               ", table " + std::to_string(t) + ": dropped, 3 records of 4 words");
        }
    }
    for (const std::string& line : expected) {
        EXPECT_THAT(report, Contains(line));
    }
    EXPECT_EQ(report[0], "format 5.10 to 5.9");
    EXPECT_THAT(LineOf(report, "radio block: "), HasSubstr("header 69 to 49 words, 20 header words removed"));
    EXPECT_THAT(LineOf(report, "system block 3, kind 3: "), HasSubstr("tables 21 to 15"));
    // 48 radio records, 14 dropped tables and one emptied table of 3 records each.
    EXPECT_THAT(report.back(), StartsWith("in all: "));
    EXPECT_THAT(report.back(), HasSubstr("14 tables dropped, 1 table emptied, 93 records dropped"));
}

TEST(ConversionReport, AnUpgradeFromFiveEightThroughFiveNineToFiveTenNamesWhatItResizesAndAdds)
{
    struct Step
    {
        uint8_t from;
        uint8_t to;
        std::vector<std::string> lines;
        std::vector<std::pair<std::string, std::string>> parts; // a line's start, and text in it
    };
    const std::vector<Step> steps{
        {3,
         4,
         {"format 5.8 to 5.9", "radio block, table 0: 6 records added (10 to 16)",
          "radio block, table 3: records 0 to 1 words, 16 records added (0 to 16), 16 added words set",
          "system block 1, kind 0, table 2: records 2 to 4 words (3 records kept), 6 added words set",
          "system block 1, kind 0, table 6: records 0 to 9 words",
          "system block 5, kind 5, table 1: emptied, 2 records dropped"},
         {{"system block 1, kind 0: ", "7 header words changed"}, {"in all: ", "1 table emptied"}}},
        {4,
         5,
         {"format 5.9 to 5.10", "radio block, table 1: 48 records added (16 to 64)",
          "system block 2, kind 1, table 15: added, no records",
          "system block 3, kind 3, table 14: records 0 to 3 words, 3 records added (0 to 3), 9 added words "
          "set",
          "system block 4, kind 4, table 11: records 32 to 64 words (2 records kept)",
          "system block 5, kind 5, table 2: records 37 to 59 words (1 record kept)",
          "sequence block 1, table 0: records 17 to 18 words (2 records kept)"},
         {{"radio block: ", "header 49 to 69 words, 20 header words added (2 set)"},
          {"system block 4, kind 4: ", "tables 15 to 21"},
          {"in all: ", "14 tables added"}}},
        {3,
         5,
         {"format 5.8 to 5.10", "radio block, table 0: 6 records added (10 to 16)",
          "radio block, table 1: 48 records added (16 to 64)",
          "system block 3, kind 3, table 20: added, no records"},
         {{"in all: ", "9 blocks resized"}}},
    };
    const BuiltCodeplug built = BuildNative(3);
    std::vector<uint16_t> fiveNine; // the 5.9 image the first step makes, for the second
    for (const Step& step : steps) {
        const Conversion conversion = Convert(step.from == 4 ? fiveNine : built.buffer, step.from, step.to);
        if (step.to == 4) {
            fiveNine = conversion.after;
        }
        const std::vector<std::string> report = conversion.Report();
        SCOPED_TRACE(::testing::PrintToString(report));
        ExpectBounded(report);
        EXPECT_EQ(report[0], step.lines[0]);
        EXPECT_EQ(report[1], LengthLine(conversion));
        for (const std::string& line : step.lines) {
            EXPECT_THAT(report, Contains(line));
        }
        for (const auto& [prefix, text] : step.parts) {
            EXPECT_THAT(LineOf(report, prefix), HasSubstr(text)) << prefix;
        }
    }
}

TEST(ConversionReport, IdenticalImagesGiveOneLineWhateverTheirSpans)
{
    for (const uint8_t format : {3, 4, 5}) {
        const BuiltCodeplug built = BuildNative(format);
        const std::size_t bytes = 2 * std::size_t{built.imageLength};
        const std::vector<uint16_t> imageOnly(built.buffer.begin(), built.buffer.begin() + built.imageLength);
        const std::string same = "the images are the same: format 5." + std::to_string(format + 5) + ", " +
                                 std::to_string(bytes) + " bytes";
        EXPECT_EQ(DescribeConversion(built.buffer, bytes, built.buffer, bytes),
                  std::vector<std::string>{same});
        EXPECT_EQ(DescribeConversion(built.buffer, bytes, imageOnly, bytes), std::vector<std::string>{same});
        EXPECT_TRUE(CodeplugBytesEqual(built.buffer, bytes, imageOnly, bytes));
    }
}

TEST(ConversionReport, ImagesOfOneFormatNameTheBlocksThatDifferWithWordCounts)
{
    const BuiltCodeplug built = BuildNative(4); // narrow block words: read through a wide copy
    const std::vector<uint16_t> wide = WideCopy(built.image());
    const uint32_t record = ParmsRecordTable(wide.data(), ParmsSystemBlock{3}, 7).start + 40;
    const uint32_t sequence2 = built.Block(ParmsBlockType::Sequence, 2).start;
    const uint32_t trailer = built.imageLength - kParmsTrailerWords;
    const uint32_t radioTable3 = ParmsRecordTable(wide.data(), ParmsRadioBlock{}, 3).start;
    struct Case
    {
        std::string name;
        std::function<void(std::vector<uint16_t>&)> change;
        std::vector<std::string> lines; // after the format and length lines
    };
    const std::vector<Case> cases{
        {"a record word",
         [&](auto& w) { ++w[record]; },
         {"system block 3, kind 3, table 7: 1 word changed", "in all: 1 word changed"}},
        {"a header field and a record word",
         [&](auto& w) {
             w[sequence2 + 5] ^= 0x0100;
             w[radioTable3 + 1] = 0;
         },
         {"radio block, table 3: 1 word changed", "sequence block 2: 1 header word changed",
          "in all: 2 words changed"}},
        {"three trailer words",
         [&](auto& w) {
             for (uint32_t i = 0; i < 3; ++i) {
                 w[trailer + 10 * i] = 0x0101;
             }
         },
         {"trailer: 3 of 128 words changed", "in all: 3 words changed"}},
    };
    const std::size_t bytes = 2 * std::size_t{built.imageLength};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint16_t> changed = built.buffer;
        c.change(changed);
        ASSERT_TRUE(ParmsIsValid(changed.data()));
        std::vector<std::string> expected{"format 5.9, both images",
                                          "length " + std::to_string(built.imageLength) + " words, " +
                                              std::to_string(bytes) + " bytes, in both"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(DescribeConversion(built.buffer, bytes, changed, bytes), expected);
        EXPECT_FALSE(CodeplugBytesEqual(built.buffer, bytes, changed, bytes));
    }
}

TEST(ConversionReport, InvalidImagesAreNamedAndComparedWordByWordOnly)
{
    const BuiltCodeplug built = BuildNative(5);
    const std::size_t bytes = 2 * std::size_t{built.imageLength};
    std::vector<uint16_t> broken = built.buffer;
    broken[built.Block(ParmsBlockType::Sequence, 1).start] = 0x1234; // no block mark there
    ASSERT_FALSE(ParmsIsValid(broken.data()));
    for (const bool brokenBefore : {true, false}) {
        const std::string which = brokenBefore ? "before" : "after";
        const std::vector<std::string> expected{
            "format 5.10, both images",
            "the image " + which +
                " is not a valid codeplug image (it fails the structure check): compared word by word only",
            "1 of " + std::to_string(built.imageLength) + " words differ; " + std::to_string(bytes) + " to " +
                std::to_string(bytes) + " bytes"};
        EXPECT_EQ(DescribeConversion(brokenBefore ? broken : built.buffer, bytes,
                                     brokenBefore ? built.buffer : broken, bytes),
                  expected);
    }
    // Both broken the same way are still the same bytes.
    EXPECT_EQ(DescribeConversion(broken, bytes, broken, bytes).size(), 1u);
}

TEST(ConversionReport, ReadsNoWordPastItsSpanAndCountsAnOddLastByteAsAHighByte)
{
    const BuiltCodeplug built = BuildNative(4);
    // Ten words that claim a whole buffer: the rest counts as zero, and the chain is then broken.
    const std::vector<uint16_t> head(built.buffer.begin(), built.buffer.begin() + 10);
    const std::vector<std::string> report =
        DescribeConversion(head, kParmsBufferBytes, built.buffer, 2 * std::size_t{built.imageLength});
    EXPECT_THAT(report, Contains(HasSubstr("the image before is not a valid codeplug image")));
    EXPECT_FALSE(CodeplugBytesEqual(head, 20, built.buffer, 22));
    EXPECT_TRUE(CodeplugBytesEqual(head, 20, built.buffer, 20));
    EXPECT_TRUE(CodeplugBytesEqual({}, 0, {}, 0));

    std::vector<uint16_t> lowByte = built.buffer;
    lowByte[9] ^= 0x00FF;
    EXPECT_TRUE(CodeplugBytesEqual(built.buffer, 19, lowByte, 19)); // byte 19 is not in either
    EXPECT_FALSE(CodeplugBytesEqual(built.buffer, 20, lowByte, 20));
}

TEST(ConversionReport, StaysBoundedOnLargeImagesAndRandomConversions)
{
    CodeplugOptions options;
    options.formatIndex = 3;
    options.systemKinds.assign(16, 3);
    options.sequenceBlocks = 20;
    const Conversion large = Convert(BuildCodeplug(options).buffer, 3, 5);
    const std::vector<std::string> report = large.Report();
    ExpectBounded(report);
    // Filled up to the bound, the rest counted, the totals kept.
    EXPECT_GE(report.size(), kConversionReportMaxLines - 8);
    EXPECT_THAT(report[report.size() - 2], StartsWith("... and "));
    EXPECT_THAT(report.back(), StartsWith("in all: 37 blocks resized"));

    for (uint64_t seed = 1; seed <= 24; ++seed) {
        const BuiltCodeplug built = BuildRandomCodeplug(seed);
        const auto from = ParmsFormatIndex(built.image());
        for (uint8_t to = 3; to <= 5; ++to) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " to " + std::to_string(to));
            const Conversion conversion = Convert(built.buffer, from, to);
            const std::vector<std::string> lines = conversion.Report();
            ExpectBounded(lines);
            const bool same = CodeplugBytesEqual(conversion.before, conversion.beforeBytes, conversion.after,
                                                 conversion.afterBytes);
            EXPECT_EQ(lines.size() == 1, same);
            EXPECT_EQ(same, conversion.beforeBytes == conversion.afterBytes &&
                                std::equal(conversion.before.begin(),
                                           conversion.before.begin() +
                                               static_cast<std::ptrdiff_t>(conversion.beforeBytes / 2),
                                           conversion.after.begin()));
        }
    }
}

} // namespace
} // namespace aurex

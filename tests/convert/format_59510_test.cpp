// The step between formats 5.9 and 5.10, run directly on images whose block words 2 are wide.
#include "convert/format_59510.h"

#include "convert/convert_checks.h"
#include "convert/guarded_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace aurex {
namespace {

// Records of `size` words made of the first `size` words of each older record, then zeros.
std::vector<uint16_t> Widened(const std::vector<uint16_t>& records, unsigned olderSize, unsigned newerSize)
{
    std::vector<uint16_t> widened;
    for (std::size_t r = 0; r < records.size() / olderSize; ++r) {
        widened.insert(widened.end(), records.begin() + static_cast<std::ptrdiff_t>(r * olderSize),
                       records.begin() + static_cast<std::ptrdiff_t>((r + 1) * olderSize));
        widened.insert(widened.end(), newerSize - olderSize, 0);
    }
    return widened;
}

TEST(Format59510, AKindThreeSystemGainsSixTablesAndWiderRecords)
{
    const BuiltCodeplug built = BuildWide(4);
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const uint16_t length = ParmsBlockLength(image, ParmsSystemBlock{3});
    const std::vector<uint16_t> table5 = TableWords(image, ParmsSystemBlock{3}, 5);
    const std::vector<uint16_t> table6 = TableWords(image, ParmsSystemBlock{3}, 6);
    const std::vector<uint16_t> table7 = TableWords(image, ParmsSystemBlock{3}, 7);
    ASSERT_EQ(table7.size(), 72u); // 2 records of 36 words

    VNXParmsFormat59510 up;
    ASSERT_TRUE(up.RunStep(image, false));
    const uint32_t system = *ParmsLocateBlock(image, ParmsSystemBlock{3});
    const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{system});
    EXPECT_EQ(header.descriptorCount, 21);
    for (unsigned t = 15; t < 21; ++t) {
        EXPECT_EQ(image[system + header.headerLength + t], 0) << "descriptor " << t;
    }
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{3}, 7), Widened(table7, 36, 58)); // 44 words more
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{3}, 5), Widened(table5, 6, 7));
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{3}, 6), Widened(table6, 20, 21));
    // 6 descriptors, 44 + 3 + 2 record words, and the three-word table built from table 5.
    EXPECT_EQ(ParmsBlockLength(image, ParmsSystemBlock{3}), length + 6 + 44 + 3 + 2 + 9);
    EXPECT_EQ(WideStructureFault(image), "");

    VNXParmsFormat59510 down;
    ASSERT_TRUE(down.RunStep(image, true));
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{3}, 7), table7);
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{3}, 5), table5);
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{3}, 6), table6);
    EXPECT_EQ(ParmsBlockHeader(image, ParmsSystemBlock{3}).descriptorCount, 15);
    EXPECT_EQ(ParmsBlockLength(image, ParmsSystemBlock{3}), length + 9); // the built table stays
    EXPECT_EQ(WideStructureFault(image), "");
}

TEST(Format59510, ThreeWordTablesAreBuiltOnceFromTheirSource)
{
    GuardedImage guarded(BuildWide(4));
    uint16_t* image = guarded.image();
    RecordWord(image, ParmsSystemBlock{2}, 5, 0, 0) = 0xF123; // kind 1: bits 15-12 cleared
    RecordWord(image, ParmsSystemBlock{4}, 6, 0, 0) = 0xF123; // kind 4: kept whole
    const std::vector<uint16_t> kind1Source = TableWords(image, ParmsSystemBlock{2}, 5);
    const std::vector<uint16_t> kind4Source = TableWords(image, ParmsSystemBlock{4}, 6);

    VNXParmsFormat59510 up;
    ASSERT_TRUE(up.RunStep(image, false));
    const auto check = [&](unsigned system, unsigned table, const std::vector<uint16_t>& source,
                           unsigned sourceSize, uint16_t mask) {
        SCOPED_TRACE("system " + std::to_string(system));
        const ParmsTableShape shape = ParmsDescriptor(image, ParmsSystemBlock{system}, table);
        ASSERT_EQ(shape.count, source.size() / sourceSize);
        ASSERT_EQ(shape.size, 3);
        for (unsigned r = 0; r < shape.count; ++r) {
            EXPECT_EQ(RecordWord(image, ParmsSystemBlock{system}, table, r, 0),
                      source[r * sourceSize] & mask);
            EXPECT_EQ(RecordWord(image, ParmsSystemBlock{system}, table, r, 1), source[r * sourceSize + 1]);
            EXPECT_EQ(RecordWord(image, ParmsSystemBlock{system}, table, r, 2), source[r * sourceSize + 2]);
        }
    };
    check(2, 10, kind1Source, 4, 0x0FFF);
    check(3, 14, TableWords(BuildWide(4).image(), ParmsSystemBlock{3}, 5), 6, 0x0FFF);
    check(4, 14, kind4Source, 8, 0xFFFF);
    EXPECT_EQ(RecordWord(image, ParmsSystemBlock{2}, 10, 0, 0), 0x0123);
    EXPECT_EQ(RecordWord(image, ParmsSystemBlock{4}, 14, 0, 0), 0xF123);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{4}, 15).size, 2); // the kind 4 table 5.10 adds
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{4}, 15).count, 0);

    const std::vector<uint16_t> converted = guarded.Image();
    VNXParmsFormat59510 refresh;
    ASSERT_TRUE(refresh.RunRefresh(image));
    EXPECT_EQ(guarded.Image(), converted);
}

TEST(Format59510, KindFourMarksAreClearedUnderCodeFourOnly)
{
    for (const uint16_t code : {4, 8}) {
        SCOPED_TRACE("code " + std::to_string(code));
        GuardedImage guarded(BuildWide(4));
        uint16_t* image = guarded.image();
        image[kParmsRadioCodeWord] = static_cast<uint16_t>((image[kParmsRadioCodeWord] & 0xFFF0) | code);
        for (unsigned w = 0; w < 3; ++w) {
            RecordWord(image, ParmsSystemBlock{4}, 6, 1, w) = 0xFFFF;
        }
        VNXParmsFormat59510 up;
        ASSERT_TRUE(up.RunStep(image, false));
        const uint16_t expected = code == 4 ? 0x0FFF : 0xFFFF;
        for (const unsigned table : {6u, 14u}) {
            EXPECT_EQ(RecordWord(image, ParmsSystemBlock{4}, table, 1, 0), 0xFFFF)
                << table; // word 0 is no mark
            EXPECT_EQ(RecordWord(image, ParmsSystemBlock{4}, table, 1, 1), expected) << table;
            EXPECT_EQ(RecordWord(image, ParmsSystemBlock{4}, table, 1, 2), expected) << table;
        }
    }
}

TEST(Format59510, RadioTableOneGrowsToSixtyFourAndBack)
{
    const BuiltCodeplug built = BuildWide(4);
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const std::vector<uint16_t> table1 = TableWords(image, ParmsRadioBlock{}, 1);
    ASSERT_EQ(table1.size(), 32u);
    VNXParmsFormat59510 up;
    ASSERT_TRUE(up.RunStep(image, false));
    const std::vector<uint16_t> grown = TableWords(image, ParmsRadioBlock{}, 1);
    ASSERT_EQ(grown.size(), 128u);
    EXPECT_TRUE(std::equal(table1.begin(), table1.end(), grown.begin()));
    EXPECT_TRUE(std::all_of(grown.begin() + 32, grown.end(), [](uint16_t w) { return w == 0; }));

    const std::vector<uint16_t> converted = guarded.Image();
    VNXParmsFormat59510 refresh;
    ASSERT_TRUE(refresh.RunRefresh(image));
    EXPECT_EQ(ParmsDescriptor(image, ParmsRadioBlock{}, 1).count, 64);
    EXPECT_EQ(guarded.Image(), converted);

    VNXParmsFormat59510 down;
    ASSERT_TRUE(down.RunStep(image, true));
    EXPECT_EQ(TableWords(image, ParmsRadioBlock{}, 1), table1);
    EXPECT_EQ(ParmsBlockHeader(image, ParmsRadioBlock{}).headerLength, 49);

    // A 5.10 image whose table still has 16 records is grown by a refresh.
    GuardedImage newer(BuildWide(5));
    uint16_t* image510 = newer.image();
    const ParmsTableLocation full = ParmsRecordTable(image510, ParmsRadioBlock{}, 1);
    ParmsMoveTail(image510, full.start + 32, full.start + 128);
    ParmsSetDescriptor(image510, ParmsRadioBlock{}, 1, 16, kParmsKeep);
    ParmsSetBlockLength(image510, ParmsRadioBlock{},
                        static_cast<uint16_t>(ParmsBlockLength(image510, ParmsRadioBlock{}) - 96));
    ParmsSetImageLength(image510, static_cast<uint16_t>(ParmsImageLength(image510) - 96));
    ASSERT_TRUE(ParmsIsValid(image510));
    const std::vector<uint16_t> sixteen = TableWords(image510, ParmsRadioBlock{}, 1);
    VNXParmsFormat59510 grow;
    ASSERT_TRUE(grow.RunRefresh(image510));
    EXPECT_EQ(grow.LengthChange(), 96);
    EXPECT_EQ(TableWords(image510, ParmsRadioBlock{}, 1), Widened(sixteen, 32, 128));
}

TEST(Format59510, RadioDefaultsFillOnlyEmptyFields)
{
    struct Case
    {
        uint16_t word6, word24, word28, word29;
        uint16_t expected6, expected24, expected28;
    };
    const std::vector<Case> cases{
        {0x0410, 0x3301, 0x0000, 0x1C00, 0x0440, 0x3302, 0x0400},
        {0x0450, 0x3303, 0x1400, 0x0000, 0x0450, 0x3303, 0x1400},
        {0xFF0F, 0x0001, 0xE3FF, 0x0000, 0xFF4F, 0x0002, 0xE7FF},
    };
    for (const Case& c : cases) {
        GuardedImage guarded(BuildWide(4));
        uint16_t* image = guarded.image();
        image[6] = c.word6;
        image[24] = c.word24;
        image[28] = c.word28;
        image[29] = c.word29;
        image[46] = 0x4100; // 'A' and a zero byte
        image[47] = 0x0000;
        image[48] = 0x4243;
        VNXParmsFormat59510 up;
        ASSERT_TRUE(up.RunStep(image, false));
        EXPECT_EQ(image[6], c.expected6);
        EXPECT_EQ(image[24], c.expected24);
        EXPECT_EQ(image[28], c.expected28);
        EXPECT_EQ(image[29], c.word29);
        // Words 49 and 50 are header words the layout change opened as zeros.
        EXPECT_EQ(std::vector<uint16_t>(image + 46, image + 51),
                  (std::vector<uint16_t>{0x4120, 0x2020, 0x4243, 0x2020, 0x2020}));
    }
    // The downgrade changes none of them.
    GuardedImage newer(BuildWide(5));
    newer[6] = 0x0010;
    newer[24] = 0x0001;
    newer[28] = 0;
    VNXParmsFormat59510 down;
    ASSERT_TRUE(down.RunStep(newer.image(), true));
    EXPECT_EQ(newer[6], 0x0010);
    EXPECT_EQ(newer[24], 0x0001);
    EXPECT_EQ(newer[28], 0);
}

TEST(Format59510, KindBlockAndSequenceTables)
{
    GuardedImage guarded(BuildWide(4));
    uint16_t* image = guarded.image();
    const std::vector<uint16_t> sequence = TableWords(image, ParmsSequenceBlock{2}, 0);
    VNXParmsFormat59510 up;
    ASSERT_TRUE(up.RunStep(image, false));
    const uint32_t kindBlock = *ParmsLocateBlock(image, ParmsKindBlock{0});
    EXPECT_TRUE(
        std::all_of(image + kindBlock + 30, image + kindBlock + 40, [](uint16_t w) { return w == 0; }));
    EXPECT_NE(image[kindBlock + 29], 0);
    EXPECT_NE(image[kindBlock + 40], 0);
    EXPECT_EQ(TableWords(image, ParmsSequenceBlock{2}, 0), Widened(sequence, 17, 18));

    // Down from 5.10 every sequence table 0 record loses its last word.
    const BuiltCodeplug newer = BuildWide(5);
    GuardedImage down(newer);
    const std::vector<uint16_t> records = TableWords(down.image(), ParmsSequenceBlock{1}, 0);
    const std::vector<uint16_t> table1 = TableWords(down.image(), ParmsSequenceBlock{1}, 1);
    VNXParmsFormat59510 step;
    ASSERT_TRUE(step.RunStep(down.image(), true));
    std::vector<uint16_t> narrowed;
    for (std::size_t r = 0; r < records.size() / 18; ++r) {
        narrowed.insert(narrowed.end(), records.begin() + static_cast<std::ptrdiff_t>(r * 18),
                        records.begin() + static_cast<std::ptrdiff_t>(r * 18 + 17));
    }
    EXPECT_EQ(TableWords(down.image(), ParmsSequenceBlock{1}, 0), narrowed);
    EXPECT_EQ(TableWords(down.image(), ParmsSequenceBlock{1}, 1), table1);
}

TEST(Format59510, TheDowngradeEmptiesEveryTableWhoseDescriptorItRemoves)
{
    const BuiltCodeplug built = BuildWide(5);
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const std::vector<uint16_t> records(12, 0x5A5A);
    // Kind 1: 15 and 16; kinds 3 and 4: 15 to 20; kind 5: table 3, which 5.10 redefined.
    for (const auto& [system, first, last] : std::vector<std::tuple<unsigned, unsigned, unsigned>>{
             {2, 15, 16}, {3, 15, 20}, {4, 15, 20}, {5, 3, 3}}) {
        for (unsigned t = first; t <= last; ++t) {
            ASSERT_EQ(ParmsReplaceRecordTable(image, system, t, records.data(), 3, 4), ParmsEditResult::Done);
        }
    }
    ASSERT_EQ(WideStructureFault(image), "");
    const std::vector<uint16_t> kind3Table14 = TableWords(image, ParmsSystemBlock{3}, 14);
    const std::vector<uint16_t> kind4Table0 = TableWords(image, ParmsSystemBlock{4}, 0);
    VNXParmsFormat59510 down;
    ASSERT_TRUE(down.RunStep(image, true));
    EXPECT_EQ(WideStructureFault(image), "");
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{5}, 3).count, 0);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{5}, 3).size, 4);
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{3}, 14), kind3Table14);
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{4}, 0), kind4Table0);
    for (unsigned n = 2; n <= 4; ++n) {
        EXPECT_EQ(ParmsBlockHeader(image, ParmsSystemBlock{n}).descriptorCount, 15);
    }

    // Records that a malformed 5.9 image holds in kind 5 table 3 go when 5.10 redefines it.
    GuardedImage older(BuildWide(4));
    ASSERT_EQ(ParmsReplaceRecordTable(older.image(), 5, 3, records.data(), 2, 6), ParmsEditResult::Done);
    const std::vector<uint16_t> table4 = TableWords(older.image(), ParmsSystemBlock{5}, 4);
    VNXParmsFormat59510 up;
    ASSERT_TRUE(up.RunStep(older.image(), false));
    EXPECT_EQ(ParmsDescriptor(older.image(), ParmsSystemBlock{5}, 3).count, 0);
    EXPECT_EQ(ParmsDescriptor(older.image(), ParmsSystemBlock{5}, 3).size, 37);
    EXPECT_EQ(TableWords(older.image(), ParmsSystemBlock{5}, 4), table4);
    EXPECT_EQ(WideStructureFault(older.image()), "");
}

} // namespace
} // namespace aurex

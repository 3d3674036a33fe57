// The step between formats 5.8 and 5.9, run directly on images whose block words 2 are already
// wide (as the entry points hand them to a converter).
#include "convert/format_5859.h"

#include "convert/convert_checks.h"
#include "convert/guarded_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace aurex {
namespace {

std::string NameAt(const uint16_t* image, uint32_t field)
{
    std::string name;
    for (uint32_t w = 0; w < kParmsNameWords; ++w) {
        name += static_cast<char>(image[field + w] & 0xFF);
        name += static_cast<char>(image[field + w] >> 8);
    }
    return name;
}

bool AllZero(const std::vector<uint16_t>& words, std::size_t from)
{
    return std::all_of(words.begin() + static_cast<std::ptrdiff_t>(from), words.end(),
                       [](uint16_t w) { return w == 0; });
}

TEST(Format5859, RadioBlockGetsSixteenChannelsAndTheFavoritesList)
{
    const BuiltCodeplug built = BuildWide(3);
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    image[25] = 0x0000;
    const uint16_t radioLength = ParmsBlockLength(image, ParmsRadioBlock{});
    const std::vector<uint16_t> channels = TableWords(image, ParmsRadioBlock{}, 0);
    ASSERT_EQ(channels.size(), 20u); // 10 records of 2 words

    VNXParmsFormat5859 up;
    ASSERT_TRUE(up.RunStep(image, false));
    const ParmsTableShape table0 = ParmsDescriptor(image, ParmsRadioBlock{}, 0);
    EXPECT_EQ(table0.count, 16);
    EXPECT_EQ(table0.size, 2);
    const std::vector<uint16_t> grown = TableWords(image, ParmsRadioBlock{}, 0);
    EXPECT_TRUE(std::equal(channels.begin(), channels.end(), grown.begin()));
    EXPECT_TRUE(AllZero(grown, channels.size()));
    const ParmsTableShape table3 = ParmsDescriptor(image, ParmsRadioBlock{}, 3);
    EXPECT_EQ(table3.count, 16);
    EXPECT_EQ(table3.size, 1);
    EXPECT_EQ(TableWords(image, ParmsRadioBlock{}, 3), std::vector<uint16_t>(16, 0xFF01));
    EXPECT_EQ(NameAt(image, 39), "FAVORITES ");
    EXPECT_EQ(image[25], 0x0101);
    EXPECT_EQ(ParmsBlockLength(image, ParmsRadioBlock{}), radioLength + 12 + 16);
    EXPECT_EQ(WideStructureFault(image), "");

    // A 5.9 radio block with its 16 channels and favourites keeps them; only the empty byte
    // of word 25 is filled.
    const BuiltCodeplug newer = BuildWide(4);
    GuardedImage refreshed(newer);
    refreshed[25] = 0x0300;
    ParmsWriteName("MINE", refreshed.image(), 39);
    VNXParmsFormat5859 refresh;
    ASSERT_TRUE(refresh.RunRefresh(refreshed.image()));
    EXPECT_EQ(refreshed[25], 0x0301);
    EXPECT_EQ(NameAt(refreshed.image(), 39), "MINE      ");
    EXPECT_EQ(TableWords(refreshed.image(), ParmsRadioBlock{}, 0),
              TableWords(newer.image(), ParmsRadioBlock{}, 0));
    EXPECT_EQ(TableWords(refreshed.image(), ParmsRadioBlock{}, 3),
              TableWords(newer.image(), ParmsRadioBlock{}, 3));

    // The downgrade leaves the radio block as the upgrade made it.
    std::vector<uint16_t> before = guarded.Image();
    VNXParmsFormat5859 down;
    ASSERT_TRUE(down.RunStep(image, true));
    before[kParmsVersionWord] = 0x0508;
    EXPECT_TRUE(
        std::equal(before.begin(), before.begin() + ParmsBlockLength(image, ParmsRadioBlock{}), image));
}

TEST(Format5859, KindBlockSettingsGoToTheFirstKindZeroSystemAndBack)
{
    const BuiltCodeplug built = BuildWide(3, {1, 0, 0});
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const std::vector<std::pair<uint32_t, uint32_t>> pairs{{10, 18}, {11, 19}, {12, 21}, {13, 22},
                                                           {27, 23}, {28, 24}, {30, 25}};
    VNXParmsFormat5859 up;
    ASSERT_TRUE(up.RunStep(image, false));
    for (const auto& [kindWord, systemWord] : pairs) {
        EXPECT_EQ(BlockWord(image, ParmsSystemBlock{2}, systemWord),
                  BlockWord(image, ParmsKindBlock{0}, kindWord))
            << "system word " << systemWord;
        EXPECT_NE(BlockWord(image, ParmsSystemBlock{3}, systemWord),
                  BlockWord(image, ParmsKindBlock{0}, kindWord))
            << "only the first kind 0 system takes the settings";
    }
    EXPECT_EQ(BlockWord(image, ParmsSystemBlock{2}, 20),
              built.buffer[built.Block(ParmsBlockType::System, 2).start + 20]);

    uint16_t value = 0x1200;
    for (const auto& pair : pairs) {
        BlockWord(image, ParmsSystemBlock{2}, pair.second) = ++value;
    }
    VNXParmsFormat5859 down;
    ASSERT_TRUE(down.RunStep(image, true));
    value = 0x1200;
    for (const auto& pair : pairs) {
        EXPECT_EQ(BlockWord(image, ParmsKindBlock{0}, pair.first), ++value)
            << "kind block word " << pair.first;
    }
    EXPECT_EQ(WideStructureFault(image), "");
}

TEST(Format5859, KindZeroSystemsWidenTheirTableTwoAndGetDefaults)
{
    const BuiltCodeplug built = BuildWide(3, {0, 0});
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const uint16_t lengthBefore = ParmsBlockLength(image, ParmsSystemBlock{1});
    const std::vector<uint16_t> table2 = TableWords(image, ParmsSystemBlock{1}, 2);
    ASSERT_EQ(table2.size(), 6u); // 3 records of 2 words
    for (uint32_t w = 65; w < 70; ++w) {
        BlockWord(image, ParmsSystemBlock{1}, w) = 0;
    }
    BlockWord(image, ParmsSystemBlock{1}, 70) = 0x1200;
    BlockWord(image, ParmsSystemBlock{2}, 70) = 0x1234;
    image[70] = 0x5500; // image word 70: radio block data, not this system's

    VNXParmsFormat5859 up;
    ASSERT_TRUE(up.RunStep(image, false));
    EXPECT_EQ(ParmsBlockLength(image, ParmsSystemBlock{1}), lengthBefore + 6);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{1}, 2).size, 4);
    for (unsigned r = 0; r < 3; ++r) {
        EXPECT_EQ(RecordWord(image, ParmsSystemBlock{1}, 2, r, 0), table2[2 * r]);
        EXPECT_EQ(RecordWord(image, ParmsSystemBlock{1}, 2, r, 1), table2[2 * r + 1]);
        EXPECT_EQ(RecordWord(image, ParmsSystemBlock{1}, 2, r, 2), 549); // bits 15-12 zero
        EXPECT_EQ(RecordWord(image, ParmsSystemBlock{1}, 2, r, 3), 659);
    }
    const uint32_t system1 = *ParmsLocateBlock(image, ParmsSystemBlock{1});
    EXPECT_EQ(NameAt(image, system1 + 65), "SYS ALIAS ");
    EXPECT_EQ(NameAt(image, *ParmsLocateBlock(image, ParmsSystemBlock{2}) + 65), "SYSTEM 2  ");
    EXPECT_EQ(BlockWord(image, ParmsSystemBlock{1}, 70), 0x123C);
    EXPECT_EQ(BlockWord(image, ParmsSystemBlock{2}, 70), 0x1234);
    EXPECT_EQ(image[70], 0x5500);
    for (const auto& [table, size] : std::vector<std::pair<unsigned, unsigned>>{{6, 9}, {7, 9}, {8, 2}}) {
        EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{1}, table).size, size) << "table " << table;
    }
    EXPECT_EQ(WideStructureFault(image), "");

    // Already 4 words wide: left alone, by the refresh as by a second upgrade.
    const std::vector<uint16_t> converted = guarded.Image();
    VNXParmsFormat5859 refresh;
    ASSERT_TRUE(refresh.RunRefresh(image));
    EXPECT_EQ(guarded.Image(), converted);
}

TEST(Format5859, SteppedFieldsOfKindOneThreeAndFourSystems)
{
    struct Case
    {
        unsigned system; // 2 kind 1, 3 kind 3, 4 kind 4
        uint32_t word;
        uint16_t mask;
        unsigned shift;
    };
    const std::vector<Case> fields{{2, 10, 0x3E00, 9}, {3, 10, 0x3E00, 9}, {4, 248, 0x001F, 0}};
    const std::vector<std::pair<unsigned, unsigned>> ups{{0, 4}, {11, 15}, {12, 16}, {20, 16}};
    const std::vector<std::pair<unsigned, unsigned>> downs{{4, 0}, {9, 5}, {3, 0}, {16, 12}};
    for (const Case& field : fields) {
        SCOPED_TRACE("system " + std::to_string(field.system));
        for (const bool upgrade : {true, false}) {
            for (const auto& [from, to] : upgrade ? ups : downs) {
                GuardedImage guarded(BuildWide(upgrade ? 3 : 4));
                uint16_t& word = BlockWord(guarded.image(), ParmsSystemBlock{field.system}, field.word);
                const uint16_t others = word & static_cast<uint16_t>(~field.mask);
                word = static_cast<uint16_t>(others | (from << field.shift));
                VNXParmsFormat5859 step;
                ASSERT_TRUE(step.RunStep(guarded.image(), !upgrade));
                const uint16_t after = BlockWord(guarded.image(), ParmsSystemBlock{field.system}, field.word);
                EXPECT_EQ((after & field.mask) >> field.shift, to) << from;
                EXPECT_EQ(after & static_cast<uint16_t>(~field.mask), others);
            }
        }
    }
    // A refresh does not step.
    GuardedImage guarded(BuildWide(4));
    const uint16_t before = BlockWord(guarded.image(), ParmsSystemBlock{2}, 10);
    VNXParmsFormat5859 refresh;
    ASSERT_TRUE(refresh.RunRefresh(guarded.image()));
    EXPECT_EQ(BlockWord(guarded.image(), ParmsSystemBlock{2}, 10), before);
}

TEST(Format5859, TablesThatFiveNineAddsAreSizedOnTheWayUpAndEmptiedOnTheWayDown)
{
    GuardedImage older(BuildWide(3));
    // The fix-up of kinds 1 and 3 whose test can never hold is not performed.
    older[kParmsRadioFieldsWord] =
        static_cast<uint16_t>((older[kParmsRadioFieldsWord] & ~0x1C00) | (5 << 10));
    BlockWord(older.image(), ParmsSystemBlock{2}, 107) = 0xFD8F;
    BlockWord(older.image(), ParmsSystemBlock{3}, 107) = 0xFD8F;
    VNXParmsFormat5859 up;
    ASSERT_TRUE(up.RunStep(older.image(), false));
    const std::vector<std::tuple<unsigned, unsigned, unsigned>> sized{{2, 8, 9},  {2, 9, 2},  {3, 12, 9},
                                                                      {3, 13, 2}, {4, 12, 9}, {4, 13, 2}};
    for (const auto& [system, table, size] : sized) {
        const ParmsTableShape shape = ParmsDescriptor(older.image(), ParmsSystemBlock{system}, table);
        EXPECT_EQ(shape.count, 0) << system << "/" << table;
        EXPECT_EQ(shape.size, size) << system << "/" << table;
    }
    EXPECT_EQ(BlockWord(older.image(), ParmsSystemBlock{2}, 107), 0xFD8F);
    EXPECT_EQ(BlockWord(older.image(), ParmsSystemBlock{3}, 107), 0xFD8F);

    // Down from 5.9 the two tables of each system lose their records but keep their size.
    const BuiltCodeplug newer = BuildWide(4);
    GuardedImage guarded(newer);
    uint16_t* image = guarded.image();
    const std::vector<uint16_t> records(9, 0x4242);
    ASSERT_EQ(ParmsReplaceRecordTable(image, 2, 10, records.data(), 3, 3), ParmsEditResult::Done);
    const std::vector<uint16_t> kind1Table11 = TableWords(image, ParmsSystemBlock{2}, 11);
    const std::vector<uint16_t> kind4Table12 = TableWords(image, ParmsSystemBlock{4}, 12);
    VNXParmsFormat5859 down;
    ASSERT_TRUE(down.RunStep(image, true));
    for (const auto& [system, table, size] : std::vector<std::tuple<unsigned, unsigned, unsigned>>{
             {2, 9, 2}, {2, 10, 3}, {3, 13, 2}, {3, 14, 0}, {4, 13, 2}, {4, 14, 0}}) {
        const ParmsTableShape shape = ParmsDescriptor(image, ParmsSystemBlock{system}, table);
        EXPECT_EQ(shape.count, 0) << system << "/" << table;
        EXPECT_EQ(shape.size, size) << system << "/" << table;
    }
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{2}, 11), kind1Table11);
    EXPECT_EQ(TableWords(image, ParmsSystemBlock{4}, 12), kind4Table12);
    EXPECT_EQ(down.LengthChange(), -(4 + 9 + 4 + 4));
    EXPECT_EQ(WideStructureFault(image), "");
    EXPECT_TRUE(guarded.GuardsIntact());
}

TEST(Format5859, RecordsLeftInANewTableOfAMalformedImageAreRemovedNotOrphaned)
{
    GuardedImage guarded(BuildWide(3));
    uint16_t* image = guarded.image();
    const std::vector<uint16_t> records(4, 0x3131);
    ASSERT_EQ(ParmsReplaceRecordTable(image, 2, 9, records.data(), 2, 2), ParmsEditResult::Done);
    std::vector<std::vector<uint16_t>> later;
    for (unsigned t = 10; t < 15; ++t) {
        later.push_back(TableWords(image, ParmsSystemBlock{2}, t));
    }
    const uint16_t length = ParmsImageLength(image);
    VNXParmsFormat5859 up;
    ASSERT_TRUE(up.RunStep(image, false));
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{2}, 9).count, 0);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{2}, 9).size, 2);
    for (unsigned t = 10; t < 15; ++t) {
        EXPECT_EQ(TableWords(image, ParmsSystemBlock{2}, t), later[t - 10]) << "table " << t;
    }
    EXPECT_EQ(ParmsImageLength(image), length + up.LengthChange());
    EXPECT_EQ(WideStructureFault(image), "");
}

TEST(Format5859, IncompleteEntriesOfKindFourSystemsAreBlockedUnderCodeEight)
{
    for (const uint16_t code : {8, 4}) {
        SCOPED_TRACE("code " + std::to_string(code));
        GuardedImage guarded(BuildWide(3));
        uint16_t* image = guarded.image();
        image[kParmsRadioCodeWord] = static_cast<uint16_t>((image[kParmsRadioCodeWord] & 0xFFF0) | code);
        const std::vector<uint16_t> entries{
            0x1111, 0x0002, 0x0003, 0x0000, 0x0005, 0x0006, // a setting missing
            0x2221, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, // complete
            0xFFFF, 0x0002, 0x0000, 0x0004, 0x0005, 0x0006, // blocked already
        };
        ASSERT_EQ(ParmsReplaceRecordTable(image, 4, 0, entries.data(), 3, 6), ParmsEditResult::Done);
        VNXParmsFormat5859 up;
        ASSERT_TRUE(up.RunStep(image, false));
        std::vector<uint16_t> expected = entries;
        if (code == 8) {
            std::fill_n(expected.begin(), 6, 0xFFFF);
        }
        EXPECT_EQ(TableWords(image, ParmsSystemBlock{4}, 0), expected);
    }
    // Entries of another size are not guessed at.
    GuardedImage guarded(BuildWide(3));
    const std::vector<uint16_t> entries(10, 0x0101);
    ASSERT_EQ(ParmsReplaceRecordTable(guarded.image(), 4, 0, entries.data(), 2, 5), ParmsEditResult::Done);
    VNXParmsFormat5859 up;
    EXPECT_FALSE(up.RunStep(guarded.image(), false));
    EXPECT_EQ(up.Fault(), ParmsStepFault::UnexpectedShape);
}

TEST(Format5859, KindFiveSystemsWidenTheirEntriesAndFoldTheListIntoABitmap)
{
    const BuiltCodeplug built = BuildWide(3, {5});
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const std::vector<uint16_t> entries = TableWords(image, ParmsSystemBlock{1}, 0);
    ASSERT_EQ(entries.size(), 30u); // 3 records of 10 words
    // (h 0, b 0), (h 2, b 15), and two that have no place in 32 x 16 bits.
    const std::vector<uint16_t> list{0x7777, 0x0000, 0x7777, 0x020F, 0x7777, 0x2000, 0x7777, 0x0110};
    ASSERT_EQ(ParmsReplaceRecordTable(image, 1, 1, list.data(), 4, 2), ParmsEditResult::Done);

    VNXParmsFormat5859 up;
    ASSERT_TRUE(up.RunStep(image, false));
    const ParmsTableShape table0 = ParmsDescriptor(image, ParmsSystemBlock{1}, 0);
    EXPECT_EQ(table0.count, 3);
    EXPECT_EQ(table0.size, 11);
    for (unsigned r = 0; r < 3; ++r) {
        for (unsigned w = 0; w < 10; ++w) {
            EXPECT_EQ(RecordWord(image, ParmsSystemBlock{1}, 0, r, w), entries[r * 10 + w]);
        }
        EXPECT_EQ(RecordWord(image, ParmsSystemBlock{1}, 0, r, 10), 0);
    }
    const ParmsTableShape table1 = ParmsDescriptor(image, ParmsSystemBlock{1}, 1);
    EXPECT_EQ(table1.count, 0);
    EXPECT_EQ(table1.size, 2);
    const ParmsTableShape table2 = ParmsDescriptor(image, ParmsSystemBlock{1}, 2);
    ASSERT_EQ(table2.count, 1);
    ASSERT_EQ(table2.size, 37);
    const std::vector<uint16_t> record = TableWords(image, ParmsSystemBlock{1}, 2);
    EXPECT_EQ(NameAt(record.data(), 0), "1         ");
    std::vector<uint16_t> bitmap(32, 0);
    bitmap[0] = 0x8000;
    bitmap[2] = 0x0001;
    EXPECT_EQ(std::vector<uint16_t>(record.begin() + 5, record.end()), bitmap);
    EXPECT_EQ(WideStructureFault(image), "");

    // With an empty list, tables 1 and 2 stay as they are.
    const BuiltCodeplug newer = BuildWide(4, {5});
    GuardedImage refreshed(newer);
    VNXParmsFormat5859 refresh;
    ASSERT_TRUE(refresh.RunRefresh(refreshed.image()));
    for (const unsigned t : {1u, 2u}) {
        EXPECT_EQ(ParmsDescriptor(refreshed.image(), ParmsSystemBlock{1}, t).count,
                  ParmsDescriptor(newer.image(), ParmsSystemBlock{1}, t).count);
        EXPECT_EQ(TableWords(refreshed.image(), ParmsSystemBlock{1}, t),
                  TableWords(newer.image(), ParmsSystemBlock{1}, t));
    }
}

TEST(Format5859, AFieldOutsideAShortHeaderIsRefusedNotWrittenIntoTheNextBlock)
{
    // A kind 0 system whose header ends before the alias: a refresh has no layout change to
    // catch it, so the field writes themselves must.
    GuardedImage guarded(BuildWide(4, {0}));
    uint16_t* image = guarded.image();
    const uint32_t system = *ParmsLocateBlock(image, ParmsSystemBlock{1});
    ParmsSetBlockHeader(image, ParmsBlockAt{system}, 60, kParmsKeep);
    const std::vector<uint16_t> before = guarded.Image();
    VNXParmsFormat5859 refresh;
    EXPECT_FALSE(refresh.RunRefresh(image));
    EXPECT_EQ(refresh.Fault(), ParmsStepFault::UnexpectedShape);
    EXPECT_EQ(image[system + 70], before[system + 70]);
}

} // namespace
} // namespace aurex

#include "convert/codeplug_buffer.h"
#include "convert/codeplug_image.h"
#include "convert/hex_text.h"

#include "codeplug-builder/codeplug_builder.h"
#include "convert/guarded_image.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <numeric>
#include <string>

namespace aurex {
namespace {

CodeplugOptions WideOptions(uint8_t formatIndex = 4)
{
    CodeplugOptions options;
    options.formatIndex = formatIndex;
    options.headerWord = CodeplugHeaderWord::Wide;
    return options;
}

// Copies a block to the end of the chain, in front of the trailer; answers the copy's index.
uint32_t AppendBlockCopy(uint16_t* image, uint32_t block)
{
    const uint32_t length = ParmsBlockLength(image, ParmsBlockAt{block});
    const uint32_t end = ParmsImageLength(image) - kParmsTrailerWords;
    ParmsMoveTail(image, end + length, end);
    std::copy_n(image + block, length, image + end);
    ParmsSetImageLength(image, static_cast<uint16_t>(ParmsImageLength(image) + length));
    return end;
}

void RemoveBlock(uint16_t* image, uint32_t block)
{
    const uint32_t length = ParmsBlockLength(image, ParmsBlockAt{block});
    ParmsMoveTail(image, block, block + length);
    ParmsSetImageLength(image, static_cast<uint16_t>(ParmsImageLength(image) - length));
}

void SetCounts(uint16_t* image, unsigned sequences, unsigned systems)
{
    image[kParmsBlockCountsWord] = static_cast<uint16_t>((sequences << 8) | systems);
}

TEST(CodeplugValidity, BuiltImagesOfEveryFormatAndHeaderWordAreValid)
{
    for (const uint8_t format : {3, 4, 5}) {
        for (const auto word : {CodeplugHeaderWord::Native, CodeplugHeaderWord::Wide}) {
            CodeplugOptions options;
            options.formatIndex = format;
            options.headerWord = word;
            EXPECT_TRUE(ParmsIsValid(BuildCodeplug(options).image())) << int{format};
        }
    }
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        EXPECT_TRUE(ParmsIsValid(BuildRandomCodeplug(seed).image())) << "seed " << seed;
    }
    // Kinds 1 and 3 count as one kind: one kind block serves both.
    CodeplugOptions shared = WideOptions();
    shared.systemKinds = {1, 1, 3};
    EXPECT_TRUE(ParmsIsValid(BuildCodeplug(shared).image()));
    EXPECT_FALSE(ParmsIsValid(nullptr));
}

struct ValidityCase
{
    const char* name;
    CodeplugOptions options;
    std::function<void(BuiltCodeplug&, uint16_t*)> mutate;
};

TEST(CodeplugValidity, EachConditionFailingOnItsOwnMakesTheImageInvalid)
{
    CodeplugOptions sixteenSystems = WideOptions();
    sixteenSystems.systemKinds.assign(16, 5);
    CodeplugOptions manySequences = WideOptions();
    manySequences.systemKinds = {5};
    manySequences.sequenceBlocks = 54;
    CodeplugOptions sharedKind = WideOptions();
    sharedKind.systemKinds = {1, 1, 3};
    CodeplugOptions fullBuffer = WideOptions();
    fullBuffer.imageLength = kParmsBufferWords;
    const auto lastBlock = [](const BuiltCodeplug& built) { return built.blocks.back().start; };

    const std::vector<ValidityCase> cases{
        {"word 0 is not the block mark", WideOptions(), [](auto&, uint16_t* image) { image[0] = 0x5F5E; }},
        {"radio block of type 3, counted as a sequence block", WideOptions(),
         [](auto&, uint16_t* image) {
             image[1] |= 0xC000;
             SetCounts(image, 4, 5);
         }},
        {"no room for a chain before the trailer", WideOptions(),
         [](auto&, uint16_t* image) { ParmsSetImageLength(image, kParmsTrailerWords); }},
        {"17 systems, all present", sixteenSystems,
         [](BuiltCodeplug& built, uint16_t* image) {
             const uint32_t copy = AppendBlockCopy(image, built.Block(ParmsBlockType::System, 16).start);
             image[copy + kParmsBlockIdentityWord] = 0x5000 | 17;
             SetCounts(image, 3, 17);
         }},
        {"55 sequence blocks, all present", manySequences,
         [](BuiltCodeplug& built, uint16_t* image) {
             AppendBlockCopy(image, built.Block(ParmsBlockType::Sequence, 54).start);
             SetCounts(image, 55, 1);
         }},
        {"no systems, counted as 0", WideOptions(),
         [](BuiltCodeplug& built, uint16_t* image) {
             for (auto block = built.blocks.rbegin(); block != built.blocks.rend(); ++block) {
                 if (block->type == ParmsBlockType::System || block->type == ParmsBlockType::Kind) {
                     RemoveBlock(image, block->start);
                 }
             }
             SetCounts(image, 3, 0);
         }},
        {"no sequence blocks, counted as 0", WideOptions(),
         [](BuiltCodeplug& built, uint16_t* image) {
             for (auto block = built.blocks.rbegin(); block != built.blocks.rend(); ++block) {
                 if (block->type == ParmsBlockType::Sequence) {
                     RemoveBlock(image, block->start);
                 }
             }
             SetCounts(image, 0, 5);
         }},
        {"chain ends one word early", WideOptions(),
         [&](BuiltCodeplug& built, uint16_t* image) { image[lastBlock(built) + 1] -= 1; }},
        {"chain ends one word late", WideOptions(),
         [&](BuiltCodeplug& built, uint16_t* image) { image[lastBlock(built) + 1] += 1; }},
        {"image length one word short", WideOptions(),
         [](auto&, uint16_t* image) { ParmsSetImageLength(image, ParmsImageLength(image) - 1); }},
        {"image length one word long", WideOptions(),
         [](auto&, uint16_t* image) { ParmsSetImageLength(image, ParmsImageLength(image) + 1); }},
        {"a block inside the chain without its mark", WideOptions(),
         [](BuiltCodeplug& built, uint16_t* image) {
             image[built.Block(ParmsBlockType::System, 2).start] = 0;
         }},
        {"a block of length 0", WideOptions(),
         [](BuiltCodeplug& built, uint16_t* image) {
             image[built.Block(ParmsBlockType::System, 2).start + 1] &= 0xC000;
         }},
        {"trailer reaching past the buffer", fullBuffer,
         [&](BuiltCodeplug& built, uint16_t* image) {
             image[lastBlock(built) + 1] += 1;
             ParmsSetImageLength(image, kParmsBufferWords + 1);
         }},
        {"a system kind without its kind block", WideOptions(),
         [](BuiltCodeplug& built, uint16_t* image) {
             image[built.Block(ParmsBlockType::System, 5).start + 3] = 0x4000 | 5; // kind 5 becomes 4
         }},
        {"kinds 1 and 3 with a kind block each", sharedKind,
         [](BuiltCodeplug& built, uint16_t* image) {
             const uint32_t copy = AppendBlockCopy(image, built.Block(ParmsBlockType::Kind, 1).start);
             image[copy + 3] = 0x3000;
         }},
        {"system count one below the blocks", WideOptions(),
         [](auto&, uint16_t* image) { SetCounts(image, 3, 4); }},
        {"sequence count one below the blocks", WideOptions(),
         [](auto&, uint16_t* image) { SetCounts(image, 2, 5); }},
        {"systems not numbered 1 to the count", WideOptions(),
         [](BuiltCodeplug& built, uint16_t* image) {
             image[built.Block(ParmsBlockType::System, 2).start + 3] = 0x1000 | 9;
         }},
    };
    for (const ValidityCase& item : cases) {
        SCOPED_TRACE(item.name);
        BuiltCodeplug built = BuildCodeplug(item.options);
        ASSERT_TRUE(ParmsIsValid(built.image()));
        GuardedImage guarded(built);
        item.mutate(built, guarded.image());
        EXPECT_FALSE(ParmsIsValid(guarded.image()));
        EXPECT_TRUE(guarded.GuardsIntact());
    }
}

TEST(CodeplugLookup, EveryBuiltBlockIsFoundWithItsHeaderTablesAndContent)
{
    std::vector<BuiltCodeplug> images;
    images.push_back(BuildCodeplug(WideOptions(4)));
    images.push_back(BuildCodeplug(WideOptions(5)));
    for (uint64_t seed = 1; seed <= 10; ++seed) {
        CodeplugOptions options = RandomCodeplugOptions(seed);
        options.headerWord = CodeplugHeaderWord::Wide;
        images.push_back(BuildCodeplug(options));
    }
    for (const BuiltCodeplug& built : images) {
        const uint16_t* image = built.image();
        const unsigned systems = image[kParmsBlockCountsWord] & 0xFF;
        const unsigned sequences = image[kParmsBlockCountsWord] >> 8;
        for (const BuiltBlock& block : built.blocks) {
            SCOPED_TRACE("block at " + std::to_string(block.start));
            ParmsBlockLocator locator = ParmsRadioBlock{};
            switch (block.type) {
            case ParmsBlockType::Radio:
                EXPECT_EQ(block.start, 0u);
                break;
            case ParmsBlockType::Kind:
                EXPECT_EQ(ParmsFindKindBlock(image, block.id), block.start);
                locator = ParmsKindBlock{block.id};
                break;
            case ParmsBlockType::System:
                EXPECT_EQ(ParmsFindSystemBlock(image, block.id), block.start);
                EXPECT_EQ(ParmsSystemKind(image, block.id), image[block.start + 3] >> 12);
                locator = ParmsSystemBlock{block.id};
                break;
            case ParmsBlockType::Sequence:
                EXPECT_EQ(ParmsFindSequenceBlock(image, block.id), block.start);
                locator = ParmsSequenceBlock{block.id};
                break;
            }
            EXPECT_EQ(ParmsBlockLength(image, locator), block.length);
            const ParmsHeader header = ParmsBlockHeader(image, locator);
            EXPECT_EQ(header.descriptorCount, block.tables.size());
            uint32_t expectedStart = block.start + header.headerLength + header.descriptorCount;
            for (unsigned t = 0; t < block.tables.size(); ++t) {
                const ParmsTableShape shape = ParmsDescriptor(image, locator, t);
                EXPECT_EQ(shape.count, block.tables[t].count);
                EXPECT_EQ(shape.size, block.tables[t].size);
                const ParmsTableLocation table = ParmsRecordTable(image, ParmsBlockAt{block.start}, t);
                EXPECT_EQ(table.start, expectedStart);
                if (shape.Words() != 0) {
                    EXPECT_EQ(image[table.start], CodeplugRecordWord(built.seed, block.ordinal, t, 0, 0));
                    EXPECT_EQ(
                        image[table.start + shape.Words() - 1],
                        CodeplugRecordWord(built.seed, block.ordinal, t, shape.count - 1u, shape.size - 1u));
                }
                expectedStart += shape.Words();
            }
            EXPECT_EQ(expectedStart, block.start + block.length);
        }
        EXPECT_EQ(ParmsFindSequenceBlock(image, 0), 0u);
        EXPECT_EQ(ParmsFindSequenceBlock(image, sequences + 1), 0u);
        EXPECT_EQ(ParmsFindSystemBlock(image, systems + 1), 0u);
        EXPECT_EQ(ParmsFindKindBlock(image, 2), 0u);
        EXPECT_FALSE(ParmsSystemKind(image, systems + 1).has_value());
    }
}

TEST(CodeplugLookup, WalksStopAtTheChainEndABrokenMarkOrALengthOfZero)
{
    const BuiltCodeplug built = BuildCodeplug(WideOptions());
    const uint32_t trailer = built.imageLength - kParmsTrailerWords;
    {
        // Trailer words that look like blocks are not blocks.
        GuardedImage guarded(built);
        const std::array<uint16_t, 4> fakeKind{kParmsBlockMark, 0x4000 | 8, 0x0004, 0x2000};
        std::copy(fakeKind.begin(), fakeKind.end(), guarded.image() + trailer);
        EXPECT_TRUE(ParmsIsValid(guarded.image()));
        EXPECT_EQ(ParmsFindKindBlock(guarded.image(), 2), 0u);
    }
    {
        GuardedImage guarded(built);
        guarded[built.Block(ParmsBlockType::System, 2).start] = 0x1234;
        EXPECT_EQ(ParmsFindSystemBlock(guarded.image(), 1), built.Block(ParmsBlockType::System, 1).start);
        EXPECT_EQ(ParmsFindSystemBlock(guarded.image(), 3), 0u);
        EXPECT_EQ(ParmsBlockLength(guarded.image(), ParmsSystemBlock{3}), 0u);
    }
    {
        GuardedImage guarded(built);
        guarded[built.Block(ParmsBlockType::System, 2).start + 1] = 0x8000; // type 2, length 0
        EXPECT_EQ(ParmsFindSequenceBlock(guarded.image(), 1), 0u);
    }
    {
        // An image length past the buffer keeps every walk inside it.
        GuardedImage guarded(std::vector<uint16_t>(kParmsBufferWords, kParmsBlockMark));
        guarded[1] = 0x0001;
        guarded[kParmsImageLengthWord] = 0xFFFF;
        EXPECT_EQ(ParmsFindSequenceBlock(guarded.image(), 1), 0u);
        EXPECT_FALSE(ParmsIsValid(guarded.image()));
        EXPECT_TRUE(guarded.GuardsIntact());
    }
}

TEST(CodeplugFields, FieldsLengthsHeadersAndDescriptorsChangeOnlyTheirOwnBits)
{
    const BuiltCodeplug built = BuildCodeplug(WideOptions());
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();

    image[kParmsRadioFieldsWord] = 0xFFFF;
    ParmsSetField(image, kParmsRadioFieldsWord, 0x1C00, 10, 5);
    EXPECT_EQ(image[kParmsRadioFieldsWord], 0xF7FF);
    EXPECT_EQ(ParmsGetField(image, kParmsRadioFieldsWord, 0x1C00, 10), 5);
    image[kParmsRadioFieldsWord] = 0;
    ParmsSetField(image, kParmsRadioFieldsWord, 0x00F0, 4, 0x1F); // too wide: stays in its field
    EXPECT_EQ(image[kParmsRadioFieldsWord], 0x00F0);

    const uint32_t system3 = built.Block(ParmsBlockType::System, 3).start;
    ParmsSetBlockLength(image, ParmsSystemBlock{3}, 0x0123);
    EXPECT_EQ(image[system3 + 1], 0x8123); // type bits kept
    ParmsSetBlockHeader(image, ParmsSystemBlock{3}, kParmsKeep, 21);
    EXPECT_EQ(ParmsBlockHeader(image, ParmsSystemBlock{3}).headerLength, 333);
    EXPECT_EQ(ParmsBlockHeader(image, ParmsSystemBlock{3}).descriptorCount, 21);
    ParmsSetBlockHeader(image, ParmsSystemBlock{3}, 2047, kParmsKeep);
    EXPECT_EQ(image[system3 + 2], (21 << 11) | 2047);
    ParmsSetBlockLength(image, ParmsSystemBlock{3},
                        static_cast<uint16_t>(built.Block(ParmsBlockType::System, 3).length));

    const uint32_t descriptor = built.Block(ParmsBlockType::Sequence, 2).start + 23 + 4;
    ParmsSetDescriptor(image, ParmsSequenceBlock{2}, 4, kParmsKeep, 2);
    EXPECT_EQ(image[descriptor], (2 << 8) | 2);
    ParmsSetDescriptor(image, ParmsSequenceBlock{2}, 4, 7, kParmsKeep);
    EXPECT_EQ(image[descriptor], (7 << 8) | 2);

    // Blocks that are absent read as 0 and are never written, least of all the radio block.
    const std::vector<uint16_t> before = guarded.Buffer();
    ParmsSetBlockLength(image, ParmsSystemBlock{9}, 5);
    ParmsSetBlockHeader(image, ParmsKindBlock{2}, 4, 4);
    ParmsSetDescriptor(image, ParmsSequenceBlock{4}, 0, 1, 1);
    EXPECT_EQ(guarded.Buffer(), before);
    EXPECT_EQ(ParmsBlockLength(image, ParmsSequenceBlock{4}), 0u);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{9}, 0).Words(), 0u);
    EXPECT_EQ(ParmsRecordTable(image, ParmsKindBlock{2}, 0).start, 0u);
    EXPECT_EQ(ParmsBlockLength(image, ParmsBlockAt{5}), 0u); // no block mark there

    // Indices outside the buffer read 0 and write nothing.
    EXPECT_EQ(ParmsGetField(image, kParmsBufferWords, 0xFFFF, 0), 0);
    ParmsSetField(image, kParmsBufferWords, 0xFFFF, 0, 0x1234);
    ParmsSetField(image, 0xFFFFFFFF, 0xFFFF, 0, 0x1234);
    ParmsSetDescriptor(image, ParmsRadioBlock{}, 0xFFFFFFF0u, 1, 1);
    ParmsWriteName("OUTSIDE", image, kParmsBufferWords - 2);
    EXPECT_TRUE(guarded.GuardsIntact());
    EXPECT_EQ(image[kParmsBufferWords - 1], 'T' | ('S' << 8)); // characters 2 and 3 of "OUTSIDE"
}

std::vector<uint16_t> NumberedBuffer()
{
    std::vector<uint16_t> buffer(kParmsBufferWords);
    std::iota(buffer.begin(), buffer.end(), uint16_t{1});
    return buffer;
}

TEST(CodeplugMoveTail, OpensAndClosesGapsAtBothEndsOfTheBuffer)
{
    const std::vector<uint16_t> numbered = NumberedBuffer();
    const uint32_t last = kParmsBufferWords - 1;
    {
        GuardedImage guarded(numbered);
        ParmsMoveTail(guarded.image(), 100, 100);
        EXPECT_EQ(guarded.Buffer(), numbered);
    }
    {
        GuardedImage guarded(numbered);
        ParmsMoveTail(guarded.image(), 103, 100);
        EXPECT_EQ(guarded[103], numbered[100]);
        EXPECT_EQ(guarded[102], numbered[102]);       // the gap keeps its words until cleared
        EXPECT_EQ(guarded[last], numbered[last - 3]); // the last 3 words fell off the end
        EXPECT_TRUE(guarded.GuardsIntact());
    }
    {
        GuardedImage guarded(numbered);
        ParmsMoveTail(guarded.image(), 100, 103);
        EXPECT_EQ(guarded[100], numbered[103]);
        EXPECT_EQ(guarded[last - 3], numbered[last]);
        EXPECT_EQ(guarded[last], numbered[last]); // the vacated end keeps its old content
        EXPECT_TRUE(guarded.GuardsIntact());
    }
    {
        // At word 0 and at the very last word.
        GuardedImage guarded(numbered);
        ParmsMoveTail(guarded.image(), 5, 0);
        EXPECT_EQ(guarded[5], numbered[0]);
        ParmsMoveTail(guarded.image(), 0, 5);
        EXPECT_EQ(guarded[0], numbered[0]);
        EXPECT_EQ(guarded[last - 5], numbered[last - 5]);
        EXPECT_EQ(guarded[last], numbered[last - 5]); // what the opening dropped stays lost
        EXPECT_TRUE(guarded.GuardsIntact());
    }
    {
        GuardedImage guarded(numbered);
        ParmsMoveTail(guarded.image(), last, last - 1);
        EXPECT_EQ(guarded[last], numbered[last - 1]);
        ParmsMoveTail(guarded.image(), last - 1, last);
        EXPECT_EQ(guarded[last - 1], numbered[last - 1]);
        EXPECT_TRUE(guarded.GuardsIntact());
    }
    {
        // Either index at or past the end of the buffer moves nothing.
        GuardedImage guarded(numbered);
        ParmsMoveTail(guarded.image(), kParmsBufferWords, 10);
        ParmsMoveTail(guarded.image(), 10, kParmsBufferWords);
        ParmsMoveTail(guarded.image(), 0xFFFFFFFF, 0);
        EXPECT_EQ(guarded.Buffer(), numbered);
        EXPECT_TRUE(guarded.GuardsIntact());
    }
    {
        GuardedImage guarded(numbered);
        ParmsClearWords(guarded.image(), 10, 0);
        EXPECT_EQ(guarded.Buffer(), numbered);
        ParmsClearWords(guarded.image(), last - 1, 50);
        EXPECT_EQ(guarded[last - 2], numbered[last - 2]);
        EXPECT_EQ(guarded[last - 1], 0);
        EXPECT_EQ(guarded[last], 0);
        EXPECT_TRUE(guarded.GuardsIntact());
    }
}

TEST(CodeplugReplaceRecordTable, GrowsAndShrinksATableKeepingEverythingAroundIt)
{
    const BuiltCodeplug built = BuildCodeplug(WideOptions());
    const BuiltBlock& system1 = built.Block(ParmsBlockType::System, 1); // kind 0
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const ParmsTableLocation table3 = ParmsRecordTable(image, ParmsBlockAt{system1.start}, 3);
    const std::vector<uint16_t> original(image + table3.start, image + table3.start + 2 * 36);
    const uint16_t table4First = image[ParmsRecordTable(image, ParmsBlockAt{system1.start}, 4).start];

    std::vector<uint16_t> bigger(3 * 40);
    std::iota(bigger.begin(), bigger.end(), uint16_t{0x7000});
    ASSERT_EQ(ParmsReplaceRecordTable(image, 1, 3, bigger.data(), 3, 40), ParmsEditResult::Done);
    EXPECT_EQ(ParmsImageLength(image), built.imageLength + 48);
    EXPECT_EQ(ParmsBlockLength(image, ParmsSystemBlock{1}), system1.length + 48);
    const ParmsTableShape grown = ParmsDescriptor(image, ParmsSystemBlock{1}, 3);
    EXPECT_EQ(grown.count, 3);
    EXPECT_EQ(grown.size, 40);
    EXPECT_TRUE(std::equal(bigger.begin(), bigger.end(), image + table3.start));
    EXPECT_EQ(image[ParmsRecordTable(image, ParmsBlockAt{system1.start}, 4).start], table4First);
    EXPECT_TRUE(ParmsIsValid(image));

    ASSERT_EQ(ParmsReplaceRecordTable(image, 1, 3, original.data(), 2, 36), ParmsEditResult::Done);
    EXPECT_EQ(guarded.Image(), std::vector<uint16_t>(built.image(), built.image() + built.imageLength));

    // Without a source the records go and the record size stays.
    ASSERT_EQ(ParmsReplaceRecordTable(image, 1, 3, nullptr, 5, 36), ParmsEditResult::Done);
    const ParmsTableShape emptied = ParmsDescriptor(image, ParmsSystemBlock{1}, 3);
    EXPECT_EQ(emptied.count, 0);
    EXPECT_EQ(emptied.size, 36);
    EXPECT_EQ(ParmsImageLength(image), built.imageLength - 72);
    EXPECT_EQ(image[ParmsRecordTable(image, ParmsBlockAt{system1.start}, 4).start], table4First);
    EXPECT_TRUE(ParmsIsValid(image));
    EXPECT_TRUE(guarded.GuardsIntact());
}

TEST(CodeplugReplaceRecordTable, RefusesAbsentTablesAndGrowthPastTheBufferWithoutAChange)
{
    CodeplugOptions options = WideOptions();
    options.imageLength = kParmsBufferWords - 10;
    const BuiltCodeplug built = BuildCodeplug(options);
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const std::vector<uint16_t> source(255 * 3, 0x1111);

    EXPECT_EQ(ParmsReplaceRecordTable(image, 9, 0, source.data(), 1, 1), ParmsEditResult::NoSuchTable);
    EXPECT_EQ(ParmsReplaceRecordTable(image, 1, 15, source.data(), 1, 1), ParmsEditResult::NoSuchTable);
    EXPECT_EQ(ParmsReplaceRecordTable(image, 1, 0, source.data(), 256, 1), ParmsEditResult::NoSuchTable);
    // Table 2 of system 1 holds 3 x 4 words: 10 more words fit, 11 do not.
    EXPECT_EQ(ParmsReplaceRecordTable(image, 1, 2, source.data(), 1, 23), ParmsEditResult::DoesNotFit);
    EXPECT_EQ(guarded.Buffer(), built.buffer);
    EXPECT_EQ(ParmsReplaceRecordTable(image, 1, 2, source.data(), 2, 11), ParmsEditResult::Done);
    EXPECT_EQ(ParmsImageLength(image), kParmsBufferWords);
    EXPECT_TRUE(ParmsIsValid(image));
    EXPECT_EQ(image[kParmsBufferWords - 1],
              CodeplugTrailerWord(0, kParmsTrailerWords - 1)); // trailer kept whole
    EXPECT_TRUE(guarded.GuardsIntact());
}

TEST(CodeplugText, LineOrderWriteNameAndHexText)
{
    // Line bytes are high byte first, whatever this computer's order.
    const std::vector<uint8_t> line{0x12, 0x34, 0x56, 0x78, 0x9A};
    std::vector<uint16_t> words(3, 0xEEEE);
    WordsFromLineBytes(std::span<const uint8_t>(line.data(), 4), words);
    EXPECT_EQ(words, (std::vector<uint16_t>{0x1234, 0x5678, 0xEEEE}));
    WordsFromLineBytes(line, words); // an odd last byte is its word's high byte
    EXPECT_EQ(words[2], 0x9A00);
    std::vector<uint8_t> back(6, 0xEE);
    LineBytesFromWords(std::span<const uint16_t>(words.data(), 2), back);
    EXPECT_EQ(back, (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78, 0xEE, 0xEE}));
    {
        // Never past either side, however much is asked.
        CodeplugBuffer buffer;
        std::fill(buffer.LineBytes().begin(), buffer.LineBytes().end(), uint8_t{0xA5});
        buffer.WordsFromLine(100000);
        EXPECT_EQ(buffer.Words()[kParmsBufferWords - 1], 0xA5A5);
        buffer.Words()[0] = 0x0102;
        buffer.LineFromWords(100000);
        EXPECT_EQ(buffer.LineBytes(2).size(), 2u);
        EXPECT_EQ(buffer.LineBytes(100000).size(), kParmsBufferBytes);
        EXPECT_EQ(buffer.LineBytes()[0], 0x01);
        EXPECT_EQ(buffer.LineBytes()[1], 0x02);
    }

    std::array<uint16_t, kParmsBufferWords> image{};
    ParmsWriteName("FAVORITES", image.data(), 39);
    EXPECT_EQ(image[39], 'F' | ('A' << 8));
    EXPECT_EQ(image[43], 'S' | (' ' << 8));
    ParmsWriteName("1", image.data(), 39);
    EXPECT_EQ(image[39], '1' | (' ' << 8));
    EXPECT_EQ(image[43], 0x2020);
    ParmsWriteName("ELEVEN CHARS", image.data(), 39);
    EXPECT_EQ(image[43], 'H' | ('A' << 8));
    EXPECT_EQ(image[44], 0);

    const std::array<uint8_t, 2> raw{0x0A, 0xFF};
    EXPECT_EQ(ParmsBytesToText(raw), "0AFF");
    std::array<uint8_t, 8> out{};
    EXPECT_EQ(ParmsHexToBytes(out, "0A1b"), 2u);
    EXPECT_EQ(out[0], 0x0A);
    EXPECT_EQ(out[1], 0x1B);
    EXPECT_EQ(ParmsHexToBytes(out, " \t0A1bC\r\n"), 2u); // trimmed; odd last character ignored
    EXPECT_EQ(ParmsHexToBytes(out, "zz9G"), 2u);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x90);
    EXPECT_EQ(ParmsHexToBytes(out, "00112233445566778899"), 8u); // bounded by the output
    EXPECT_EQ(out[7], 0x77);
    EXPECT_EQ(ParmsHexToBytes(out, "   "), 0u);
    EXPECT_EQ(ParmsHexDigitValue('f'), 15u);
    EXPECT_EQ(ParmsHexDigitValue('F'), 15u);
    EXPECT_EQ(ParmsHexDigitValue('g'), 0u);
}

} // namespace
} // namespace aurex

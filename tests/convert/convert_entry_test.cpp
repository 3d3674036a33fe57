// Whole conversions through ParmsUpgrade and ParmsDowngrade, on images as they come from the
// radio (block words 2 narrow below 5.10), and properties over many random images.
#include "convert/convert_entry.h"
#include "convert/format_5859.h"
#include "convert/format_59510.h"

#include "convert/convert_checks.h"
#include "convert/guarded_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace aurex {
namespace {

// Runs the entry point that goes from `from` to `to`.
ParmsStepFault Convert(int32_t& lengthChange, uint16_t* image, uint8_t from, uint8_t to)
{
    return to >= from ? ParmsUpgrade(lengthChange, image, from, to)
                      : ParmsDowngrade(lengthChange, image, to, from);
}

std::vector<uint16_t> Trailer(const uint16_t* image)
{
    const uint32_t length = ParmsImageLength(image);
    return {image + length - kParmsTrailerWords, image + length};
}

TEST(ConvertEntry, UpgradeFromFiveEightToFiveTenWidensThenRunsBothSteps)
{
    const BuiltCodeplug built = BuildNative(3);
    GuardedImage guarded(built);
    int32_t lengthChange = -1;
    ASSERT_EQ(ParmsUpgrade(lengthChange, guarded.image(), 3, 5), ParmsStepFault::None);
    EXPECT_EQ(guarded[kParmsVersionWord], 0x050A);
    EXPECT_EQ(ParmsImageLength(guarded.image()), built.imageLength + lengthChange);
    EXPECT_EQ(StructureFault(guarded.image()), "");
    EXPECT_TRUE(guarded.GuardsIntact());

    // The same as widening once and running the two steps by hand.
    std::vector<uint16_t> manual = built.buffer;
    ASSERT_TRUE(ParmsSetHeaderCountWidth(manual.data(), ParmsHeaderWidth::Wide));
    VNXParmsFormat5859 to59;
    VNXParmsFormat59510 to510;
    ASSERT_TRUE(to59.RunStep(manual.data(), false));
    ASSERT_TRUE(to510.RunStep(manual.data(), false));
    EXPECT_EQ(guarded.Buffer(), manual);
    EXPECT_EQ(lengthChange, to59.LengthChange() + to510.LengthChange());
}

TEST(ConvertEntry, DowngradeFromFiveTenToFiveEightRunsBothStepsThenNarrows)
{
    const BuiltCodeplug built = BuildNative(5);
    GuardedImage guarded(built);
    int32_t lengthChange = 0;
    ASSERT_EQ(ParmsDowngrade(lengthChange, guarded.image(), 3, 5), ParmsStepFault::None);
    EXPECT_EQ(guarded[kParmsVersionWord], 0x0508);
    EXPECT_EQ(ParmsImageLength(guarded.image()), built.imageLength + lengthChange);
    EXPECT_EQ(StructureFault(guarded.image()), "");

    std::vector<uint16_t> manual = built.buffer;
    VNXParmsFormat59510 to59;
    VNXParmsFormat5859 to58;
    ASSERT_TRUE(to59.RunStep(manual.data(), true));
    ASSERT_TRUE(to58.RunStep(manual.data(), true));
    ASSERT_TRUE(ParmsSetHeaderCountWidth(manual.data(), ParmsHeaderWidth::Narrow));
    EXPECT_EQ(guarded.Buffer(), manual);
}

TEST(ConvertEntry, BetweenFiveEightAndFiveNineTheHeaderWordIsWidenedAndNarrowedToo)
{
    const BuiltCodeplug built = BuildNative(3);
    GuardedImage guarded(built);
    int32_t lengthChange = 0;
    ASSERT_EQ(ParmsUpgrade(lengthChange, guarded.image(), 3, 4), ParmsStepFault::None);
    EXPECT_EQ(guarded[kParmsVersionWord], 0x0509);
    EXPECT_EQ(StructureFault(guarded.image()), "");
    const std::vector<uint16_t> wide = WideCopy(guarded.image());
    EXPECT_EQ(ParmsDescriptor(wide.data(), ParmsRadioBlock{}, 0).count, 16);
    EXPECT_EQ(ParmsDescriptor(wide.data(), ParmsSystemBlock{1}, 2).size, 4);

    ASSERT_EQ(ParmsDowngrade(lengthChange, guarded.image(), 3, 4), ParmsStepFault::None);
    EXPECT_EQ(guarded[kParmsVersionWord], 0x0508);
    EXPECT_EQ(StructureFault(guarded.image()), "");

    // Run on the narrow word directly, the step reads every descriptor count doubled.
    GuardedImage narrow(built);
    VNXParmsFormat5859 step;
    const bool done = step.RunStep(narrow.image(), false);
    EXPECT_TRUE(!done || !StructureFault(narrow.image()).empty());
}

TEST(ConvertEntry, RefreshesKeepTheFormatAndTheHeaderWords)
{
    for (const uint8_t format : {3, 4, 5}) {
        SCOPED_TRACE("format " + std::to_string(format));
        const BuiltCodeplug built = BuildNative(format);
        GuardedImage guarded(built);
        int32_t lengthChange = -1;
        ASSERT_EQ(ParmsUpgrade(lengthChange, guarded.image(), format, format), ParmsStepFault::None);
        EXPECT_EQ(ParmsFormatIndex(guarded.image()), format);
        EXPECT_EQ(StructureFault(guarded.image()), "");
        EXPECT_EQ(ParmsImageLength(guarded.image()), built.imageLength + lengthChange);
        const std::vector<ChainBlock> chain = ChainOf(guarded.image());
        const std::vector<ChainBlock> original = ChainOf(built.image());
        ASSERT_EQ(chain.size(), original.size());
        for (std::size_t b = 0; b < chain.size(); ++b) {
            EXPECT_EQ(guarded[chain[b].start + kParmsBlockHeaderWord],
                      built.buffer[original[b].start + kParmsBlockHeaderWord]);
        }
        if (format == 3) {
            EXPECT_EQ(guarded.Buffer(), built.buffer); // 5.8 has nothing to refresh
        }
    }
}

TEST(ConvertEntry, RefusedConversionsLeaveTheImageUntouched)
{
    const BuiltCodeplug built = BuildNative(4);
    struct Case
    {
        std::string name;
        uint8_t from, to;
        ParmsStepFault fault;
    };
    const std::vector<Case> cases{
        {"from 5.7", 2, 4, ParmsStepFault::NoConverter},
        {"to 5.7", 4, 2, ParmsStepFault::NoConverter},
        {"unknown source", 255, 5, ParmsStepFault::NoConverter},
        {"unknown target", 4, 255, ParmsStepFault::NoConverter},
        {"to index 6", 4, 6, ParmsStepFault::NoConverter},
        {"image is not 5.8", 3, 5, ParmsStepFault::UnexpectedShape},
        {"image is not 5.10", 5, 3, ParmsStepFault::UnexpectedShape},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedImage guarded(built);
        int32_t lengthChange = 7;
        EXPECT_EQ(Convert(lengthChange, guarded.image(), c.from, c.to), c.fault);
        EXPECT_EQ(lengthChange, 0);
        EXPECT_EQ(guarded.Buffer(), built.buffer);
    }
    int32_t lengthChange = 0;
    GuardedImage guarded(built);
    EXPECT_EQ(ParmsUpgrade(lengthChange, guarded.image(), 5, 4), ParmsStepFault::NoConverter); // wrong way
    EXPECT_EQ(ParmsDowngrade(lengthChange, guarded.image(), 5, 4), ParmsStepFault::NoConverter);
    EXPECT_EQ(ParmsUpgrade(lengthChange, nullptr, 4, 5), ParmsStepFault::UnexpectedShape);
    guarded[0] = 0x5F5E;
    EXPECT_EQ(ParmsUpgrade(lengthChange, guarded.image(), 4, 5), ParmsStepFault::UnexpectedShape);
    guarded[0] = kParmsBlockMark;
    // A header length of 2048 or more has no room in the wide word: refused before any change.
    const uint32_t sequence = *ParmsLocateBlock(guarded.image(), ParmsSequenceBlock{1});
    guarded[sequence + kParmsBlockHeaderWord] |= 0x0800;
    const std::vector<uint16_t> before = guarded.Buffer();
    EXPECT_EQ(ParmsUpgrade(lengthChange, guarded.image(), 4, 5), ParmsStepFault::UnexpectedShape);
    EXPECT_EQ(guarded.Buffer(), before);
}

TEST(ConvertEntry, AResultTooLargeForTheBufferIsRefused)
{
    CodeplugOptions options;
    options.formatIndex = 3;
    options.imageLength = kParmsBufferWords - 100;
    const BuiltCodeplug built = BuildCodeplug(options);
    GuardedImage guarded(built);
    int32_t lengthChange = 0;
    EXPECT_EQ(ParmsUpgrade(lengthChange, guarded.image(), 3, 5), ParmsStepFault::ImageTooLarge);
    EXPECT_EQ(ParmsImageLength(guarded.image()), built.imageLength + lengthChange);
    EXPECT_LE(ParmsImageLength(guarded.image()), kParmsBufferWords);
    EXPECT_TRUE(guarded.GuardsIntact());
    // The step to 5.9 alone fits.
    GuardedImage small(built);
    EXPECT_EQ(ParmsUpgrade(lengthChange, small.image(), 3, 4), ParmsStepFault::None);
}

TEST(ConvertEntry, ADowngradeLeavingABlockWithMoreThanFifteenTablesIsRefused)
{
    // A 5.10 sequence block with a 16th table: the step keeps it, the narrow word cannot.
    GuardedImage guarded(BuildNative(5));
    uint16_t* image = guarded.image();
    const uint32_t sequence = *ParmsLocateBlock(image, ParmsSequenceBlock{1});
    const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{sequence});
    ParmsMoveTail(image, sequence + header.headerLength + header.descriptorCount + 1,
                  sequence + header.headerLength + header.descriptorCount);
    image[sequence + header.headerLength + header.descriptorCount] = 0;
    ParmsSetBlockHeader(image, ParmsBlockAt{sequence}, kParmsKeep, header.descriptorCount + 1);
    ParmsSetBlockLength(image, ParmsBlockAt{sequence},
                        static_cast<uint16_t>(ParmsBlockLength(image, ParmsBlockAt{sequence}) + 1));
    ParmsSetImageLength(image, static_cast<uint16_t>(ParmsImageLength(image) + 1));
    ASSERT_TRUE(ParmsIsValid(image));
    int32_t lengthChange = 0;
    EXPECT_EQ(ParmsDowngrade(lengthChange, image, 4, 5), ParmsStepFault::UnexpectedShape);
}

TEST(HeaderCountWidth, MovesEveryBlockWordButNeverTheTrailer)
{
    const BuiltCodeplug built = BuildNative(4);
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const uint32_t trailer = ParmsImageLength(image) - kParmsTrailerWords;
    guarded[trailer] = kParmsBlockMark; // a trailer that looks like a block
    guarded[trailer + 1] = 0x0010;
    guarded[trailer + 2] = 0xF031;
    const std::vector<uint16_t> before = guarded.Buffer();
    ASSERT_TRUE(ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Wide));
    for (const ChainBlock& block : ChainOf(image)) {
        const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{block.start});
        EXPECT_EQ(header.descriptorCount, 15);
        EXPECT_EQ(header.headerLength, before[block.start + kParmsBlockHeaderWord] & 0x0FFF);
    }
    EXPECT_EQ(guarded[trailer + 2], 0xF031);
    ASSERT_TRUE(ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Narrow));
    EXPECT_EQ(guarded.Buffer(), before);

    // A block whose count does not fit the narrow word stops the move before anything changes.
    ASSERT_TRUE(ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Wide));
    ParmsSetBlockHeader(image, ParmsSystemBlock{2}, kParmsKeep, 16);
    const std::vector<uint16_t> wide = guarded.Buffer();
    EXPECT_FALSE(ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Narrow));
    EXPECT_EQ(guarded.Buffer(), wide);
    EXPECT_FALSE(ParmsSetHeaderCountWidth(nullptr, ParmsHeaderWidth::Wide));
}

constexpr uint64_t kPropertySeeds = 60;

TEST(ConvertProperties, EveryConversionOfRandomImagesLeavesAConsistentImage)
{
    for (uint64_t seed = 1; seed <= kPropertySeeds; ++seed) {
        const BuiltCodeplug built = BuildRandomCodeplug(seed);
        const uint8_t from = ParmsFormatIndex(built.image());
        for (const uint8_t to : {3, 4, 5}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(from) + " to " +
                         std::to_string(to));
            GuardedImage guarded(built);
            int32_t lengthChange = 0;
            ASSERT_EQ(Convert(lengthChange, guarded.image(), from, to), ParmsStepFault::None);
            const uint16_t* image = guarded.image();
            EXPECT_EQ(StructureFault(image), "");
            EXPECT_EQ(ParmsFormatIndex(image), to);
            EXPECT_EQ(ParmsImageLength(image), built.imageLength + lengthChange);
            EXPECT_EQ(Trailer(image), Trailer(built.image()));
            const std::vector<ChainBlock> chain = ChainOf(image);
            const std::vector<ChainBlock> original = ChainOf(built.image());
            ASSERT_EQ(chain.size(), original.size());
            for (std::size_t b = 1; b < chain.size(); ++b) {
                EXPECT_EQ(chain[b].type, original[b].type);
                EXPECT_EQ(chain[b].identity, original[b].identity);
            }
            EXPECT_TRUE(guarded.GuardsIntact());
        }
    }
}

// Every table that holds records in `reference` holds the same records in `image`.
void ExpectSameRecords(const uint16_t* reference, const uint16_t* image)
{
    const std::vector<uint16_t> wideReference = WideCopy(reference);
    const std::vector<uint16_t> wideImage = WideCopy(image);
    const std::vector<ChainBlock> referenceChain = ChainOf(wideReference.data());
    const std::vector<ChainBlock> chain = ChainOf(wideImage.data());
    ASSERT_EQ(chain.size(), referenceChain.size());
    for (std::size_t b = 0; b < chain.size(); ++b) {
        const ParmsBlockAt referenceBlock{referenceChain[b].start};
        const ParmsBlockAt block{chain[b].start};
        const unsigned tables = ParmsBlockHeader(wideReference.data(), referenceBlock).descriptorCount;
        ASSERT_EQ(ParmsBlockHeader(wideImage.data(), block).descriptorCount, tables);
        for (unsigned t = 0; t < tables; ++t) {
            if (ParmsDescriptor(wideReference.data(), referenceBlock, t).Words() != 0) {
                EXPECT_EQ(TableWords(wideImage.data(), block, t),
                          TableWords(wideReference.data(), referenceBlock, t))
                    << "block " << b << " table " << t;
            }
        }
    }
}

TEST(ConvertProperties, ADowngradeAfterAnUpgradeRestoresTheRecordsItIsMeantTo)
{
    unsigned checked = 0;
    for (uint64_t seed = 1; seed <= kPropertySeeds; ++seed) {
        const BuiltCodeplug built = BuildRandomCodeplug(seed);
        const uint8_t from = ParmsFormatIndex(built.image());
        if (from == 5) {
            continue;
        }
        SCOPED_TRACE("seed " + std::to_string(seed) + " from " + std::to_string(from));
        int32_t lengthChange = 0;
        // What the way back restores is the 5.9 to 5.10 step; from 5.8 the step to 5.9 and back
        // is the reference, since that downgrade restores only a few of its changes.
        std::vector<uint16_t> reference = built.buffer;
        if (from == 3) {
            ASSERT_EQ(ParmsUpgrade(lengthChange, reference.data(), 3, 4), ParmsStepFault::None);
            ASSERT_EQ(ParmsDowngrade(lengthChange, reference.data(), 3, 4), ParmsStepFault::None);
        }
        GuardedImage guarded(built);
        ASSERT_EQ(ParmsUpgrade(lengthChange, guarded.image(), from, 5), ParmsStepFault::None);
        ASSERT_EQ(ParmsDowngrade(lengthChange, guarded.image(), from, 5), ParmsStepFault::None);
        ExpectSameRecords(reference.data(), guarded.image());
        EXPECT_EQ(ParmsDescriptor(WideCopy(guarded.image()).data(), ParmsRadioBlock{}, 1).count, 16);
        ++checked;
    }
    EXPECT_GT(checked, kPropertySeeds / 2);
}

TEST(ConvertProperties, ARefreshAfterAnUpgradeChangesNothing)
{
    for (uint64_t seed = 1; seed <= kPropertySeeds; ++seed) {
        const BuiltCodeplug built = BuildRandomCodeplug(seed);
        const uint8_t from = ParmsFormatIndex(built.image());
        for (uint8_t to = static_cast<uint8_t>(from + 1); to <= 5; ++to) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(from) + " to " +
                         std::to_string(to));
            GuardedImage guarded(built);
            int32_t lengthChange = 0;
            ASSERT_EQ(ParmsUpgrade(lengthChange, guarded.image(), from, to), ParmsStepFault::None);
            const std::vector<uint16_t> upgraded = guarded.Buffer();
            ASSERT_EQ(ParmsUpgrade(lengthChange, guarded.image(), to, to), ParmsStepFault::None);
            EXPECT_EQ(lengthChange, 0);
            EXPECT_EQ(guarded.Buffer(), upgraded);
        }
    }
}

} // namespace
} // namespace aurex

// The codeplug image builder is shared by the tests, the fuzz seeds and the simulated radio, so
// what it promises is checked here.
#include "codeplug-builder/codeplug_builder.h"

#include <gtest/gtest.h>

#include "convert/format_tables.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

namespace aurex {
namespace {

TEST(CodeplugBuilder, ImagesHoldEveryBlockTypeAndKindInTheFormatsOwnShape)
{
    for (const uint8_t format : {3, 4, 5}) {
        SCOPED_TRACE("format " + std::to_string(format));
        CodeplugOptions options;
        options.formatIndex = format;
        const BuiltCodeplug built = BuildCodeplug(options);
        const uint16_t* image = built.image();
        EXPECT_EQ(built.blocks.size(), 1u + 4 + 5 + 3);
        EXPECT_EQ(image[kParmsVersionWord], 0x0500 | (format + 5));
        EXPECT_EQ(ParmsImageLength(image), built.imageLength);
        // Narrow header words below 5.10: the radio block's 15 tables sit in bits 15-12.
        EXPECT_EQ(image[2] >> (format < 5 ? 12 : 11), 15);
        const BuiltBlock& kind3 = built.Block(ParmsBlockType::System, 3);
        EXPECT_EQ(image[kind3.start + 3], 0x3003);
        EXPECT_EQ(kind3.tables.size(), format < 5 ? 15u : 21u);
        EXPECT_EQ(built.Block(ParmsBlockType::Radio, 0).tables[1].count, format < 5 ? 16 : 64);
        EXPECT_EQ(built.Block(ParmsBlockType::Sequence, 1).tables[0].size, format < 5 ? 17 : 18);
        const uint32_t trailer = built.imageLength - kParmsTrailerWords;
        EXPECT_EQ(image[trailer], CodeplugTrailerWord(0, 0));
        EXPECT_EQ(image[built.imageLength - 1], CodeplugTrailerWord(0, kParmsTrailerWords - 1));
        EXPECT_TRUE(std::all_of(image + built.imageLength, image + kParmsBufferWords,
                                [](uint16_t w) { return w == 0; }));
        const uint32_t alias = built.Block(ParmsBlockType::System, 1).start + 65;
        EXPECT_EQ(image[alias], 'S' | ('Y' << 8));
        EXPECT_EQ(image[39] == ('F' | ('A' << 8)), format >= 4);
    }
}

TEST(CodeplugBuilder, RandomImagesAreReproducibleVariedAndLeaveRoomToGrow)
{
    std::set<uint8_t> formats;
    std::set<std::size_t> systemCounts;
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        const BuiltCodeplug built = BuildRandomCodeplug(seed);
        EXPECT_EQ(built.buffer, BuildRandomCodeplug(seed).buffer);
        EXPECT_LE(built.imageLength, 12000u);
        formats.insert(static_cast<uint8_t>(built.image()[kParmsVersionWord] - 0x0505));
        systemCounts.insert(built.image()[kParmsBlockCountsWord] & 0xFF);
    }
    EXPECT_EQ(formats, (std::set<uint8_t>{3, 4, 5}));
    EXPECT_GE(systemCounts.size(), 8u);
    EXPECT_NE(BuildRandomCodeplug(1).buffer, BuildRandomCodeplug(2).buffer);
}

TEST(CodeplugBuilder, ExactLengthsAndUnbuildableOptions)
{
    for (const uint32_t length : {3700u, 3954u, 9999u, kParmsBufferWords}) {
        CodeplugOptions options;
        options.imageLength = length;
        EXPECT_EQ(BuildCodeplug(options).imageLength, length);
    }
    const auto fails = [](auto change) {
        CodeplugOptions options;
        change(options);
        return [options] { BuildCodeplug(options); };
    };
    EXPECT_THROW(fails([](CodeplugOptions& s) { s.imageLength = 500; })(), std::length_error);
    EXPECT_THROW(fails([](CodeplugOptions& s) { s.imageLength = kParmsBufferWords + 1; })(),
                 std::length_error);
    EXPECT_THROW(fails([](CodeplugOptions& s) { s.systemKinds = {2}; })(), std::invalid_argument);
    EXPECT_THROW(fails([](CodeplugOptions& s) { s.systemKinds.assign(17, 0); })(), std::invalid_argument);
    EXPECT_THROW(fails([](CodeplugOptions& s) { s.systemKinds.clear(); })(), std::invalid_argument);
    EXPECT_THROW(fails([](CodeplugOptions& s) { s.sequenceBlocks = 55; })(), std::invalid_argument);
    EXPECT_THROW(fails([](CodeplugOptions& s) { s.formatIndex = 6; })(), std::invalid_argument);
    EXPECT_THROW(fails([](CodeplugOptions& s) {
                     s.systemKinds.assign(16, 3);
                     s.formatIndex = 5;
                     s.sequenceBlocks = 30;
                 })(),
                 std::length_error);
}

} // namespace
} // namespace aurex

namespace aurex {
namespace {

// The fuzz target learns little from seeds its validity gate turns away.
TEST(CodeplugFuzzSeeds, CommittedSeedsAreValidImagesOfEveryFormat)
{
    std::set<uint8_t> formats;
    for (const auto& entry : std::filesystem::directory_iterator(AUREX_CONVERT_FUZZ_CORPUS)) {
        // Inputs the fuzzer found (named by their SHA-1) sit beside the seeds and may be anything.
        const std::string name = entry.path().filename().string();
        if (name.size() == 40 && name.find_first_not_of("0123456789abcdef") == std::string::npos) {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint16_t> buffer(kParmsBufferWords, 0);
        in.read(reinterpret_cast<char*>(buffer.data()), kParmsBufferBytes);
        EXPECT_TRUE(ParmsIsValid(buffer.data()));
        formats.insert(ParmsFormatIndex(buffer.data()));
    }
    EXPECT_EQ(formats, (std::set<uint8_t>{3, 4, 5}));
}

} // namespace
} // namespace aurex

#include "image_set_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "image_store/image_check.h"
#include "store_fakes.h"

namespace aurex {
namespace {

using testing::MemoryBlobs;

std::uint32_t FirstAddress(const std::string& piece)
{
    const std::size_t digits = piece[1] == '2' ? 6 : 8;
    return static_cast<std::uint32_t>(std::stoul(piece.substr(4, digits), nullptr, 16));
}

ImageCheckResult CheckText(const std::string& text, SRecordRules rules)
{
    SRecordImageChecker checker(rules);
    checker.Feed(std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
    return checker.Finish();
}

TEST(ImageSetGenerator, CarriedSetHasTheShapeOfTheMakersSet)
{
    MemoryBlobs set = MemoryBlobs::FromPreset("carried");
    EXPECT_EQ(set.Names().size(), 1u + 1 + 12 + 1 + 1);

    std::string code;
    std::size_t total = 0;
    for (int i = 1; i <= 12; ++i) {
        const std::string& piece = set.Bytes("CODE_" + std::to_string(i));
        total += piece.size();
        // Pieces are cut at line ends, every line 48 bytes with CR LF, S9 only at the very end.
        EXPECT_EQ(piece.substr(piece.size() - 2), "\r\n");
        EXPECT_EQ(piece.find("S9"), i == 12 ? piece.size() - 12 : std::string::npos) << i;
        if (i < 12) {
            EXPECT_EQ(piece.size(), 1'022'976u) << i;
            EXPECT_EQ(std::count(piece.begin(), piece.end(), '\n'), 21'312) << i;
            for (std::size_t line = 0; line < piece.size(); line += 48) {
                ASSERT_EQ(piece.compare(line, 2, "S3"), 0) << i << " at " << line;
                ASSERT_EQ(piece.compare(line + 46, 2, "\r\n"), 0) << i << " at " << line;
            }
        }
        // Addresses run on from piece to piece.
        EXPECT_EQ(FirstAddress(piece), 0xFE040100u + static_cast<std::uint32_t>(i - 1) * 21'312u * 16u) << i;
        code += piece;
    }
    EXPECT_TRUE(CheckText(code, SRecordRules::FlashImage).Ok());
    EXPECT_EQ(set.Bytes("LOADER_1").substr(0, 10), "S214010100");
    EXPECT_EQ(set.Bytes("LOADER_BOOT_1").substr(0, 10), "S214010100");
    EXPECT_EQ(set.Bytes("CODE_BOOT_1").substr(0, 12), "S315FE000100");
    for (const char* name : {"LOADER_1", "LOADER_BOOT_1", "CODE_BOOT_1"}) {
        EXPECT_TRUE(CheckText(set.Bytes(name), SRecordRules::FlashImage).Ok()) << name;
        total += set.Bytes(name).size();
    }
    EXPECT_GT(total, 11'500'000u);
    EXPECT_LT(total, 12'600'000u);
}

TEST(ImageSetGenerator, EveryPresetIsWholeAndCountsWhatItHolds)
{
    for (const std::string_view preset : imageset::PresetNames()) {
        if (preset == "carried")
            continue; // above
        MemoryBlobs set = MemoryBlobs::FromPreset(preset);
        ResourceAttributes record;
        ASSERT_TRUE(LoadResourceAttributes(set, record)) << preset;
        const bool dsp = record.upgrade_type == 2;
        const struct
        {
            const char* suffix;
            std::uint32_t loaders, codes;
        } sets[] = {{"", record.loader_pieces, record.code_pieces},
                    {"_BOOT", record.boot_loader_pieces, record.boot_code_pieces},
                    {"_BOOTTWO", record.second_boot_loader_pieces, record.second_boot_code_pieces}};
        std::size_t pieces = 1;
        for (const auto& s : sets) {
            std::string loader, code;
            for (std::uint32_t i = 1; i <= s.loaders; ++i)
                loader += set.Bytes(std::string("LOADER") + s.suffix + "_" + std::to_string(i));
            for (std::uint32_t i = 1; i <= s.codes; ++i)
                code += set.Bytes(std::string("CODE") + s.suffix + "_" + std::to_string(i));
            pieces += s.loaders + s.codes;
            if (s.loaders == 0)
                continue;
            EXPECT_TRUE(CheckText(loader, dsp ? SRecordRules::DspLoader : SRecordRules::FlashImage).Ok())
                << preset << s.suffix;
            const auto bytes = std::span(reinterpret_cast<const unsigned char*>(code.data()), code.size());
            EXPECT_TRUE(dsp ? CheckDspObject(MemoryByteSource(bytes)).Ok()
                            : CheckText(code, SRecordRules::FlashImage).Ok())
                << preset << s.suffix;
        }
        EXPECT_EQ(set.Names().size(), pieces) << preset << ": no blob beyond the counted ones";
    }
}

TEST(ImageSetGenerator, DspObjectSpreadsSectionsOverPages)
{
    MemoryBlobs set = MemoryBlobs::FromPreset("dsp");
    std::string object;
    for (int i = 1; set.Find("CODE_" + std::to_string(i)); ++i)
        object += set.Bytes("CODE_" + std::to_string(i));
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(object[at]) |
                                          static_cast<unsigned char>(object[at + 1]) << 8);
    };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    ASSERT_EQ(u16(16), 28u);
    std::map<int, std::uint32_t> largest_by_page;
    for (std::uint32_t i = 0; i < u16(2); ++i) {
        const std::size_t h = 50 + 40 * i;
        const int page = static_cast<signed char>(object[h + 39]);
        largest_by_page[page] = std::max(largest_by_page[page], u32(h + 16));
    }
    for (const int page : {-128, 0, 1, 2, 3, 5, 6, 7, 8})
        EXPECT_EQ(largest_by_page.count(page), 1u) << page;
    EXPECT_GT(largest_by_page[0], 16000u) << "one section needs more than one download chunk";
}

TEST(ImageSetGenerator, SeedDecidesTheBytes)
{
    auto recipe = *imageset::Preset("application");
    const MemoryBlobs first(recipe);
    MemoryBlobs again(recipe);
    recipe.seed += 1;
    MemoryBlobs other(recipe);
    MemoryBlobs copy = first;
    EXPECT_EQ(copy.Bytes("CODE_2"), again.Bytes("CODE_2"));
    EXPECT_NE(copy.Bytes("CODE_2"), other.Bytes("CODE_2"));
    EXPECT_EQ(copy.Bytes("CODE_2").size(), other.Bytes("CODE_2").size());
}

TEST(ImageSetGenerator, BindingSourceNamesEveryBlobOnce)
{
    const auto source =
        imageset::BindingSource("carried", {{"RESOURCEATTRIBUTES_", "/b/RESOURCEATTRIBUTES_", 64},
                                            {"LOADER_1", "/b/odd \"dir\\x/LOADER_1", 46}});
    ASSERT_TRUE(source.has_value());
    EXPECT_NE(source->find(R"(".incbin \"/b/RESOURCEATTRIBUTES_\"\n")"), std::string::npos);
    // A quote or backslash in the path survives the C++ literal and the assembler string.
    EXPECT_NE(source->find(R"(".incbin \"/b/odd \\\"dir\\\\x/LOADER_1\"\n")"), std::string::npos) << *source;
    EXPECT_NE(source->find(R"({"LOADER_1", aurex_blob_carried_1, 46u})"), std::string::npos);
    EXPECT_NE(source->find("const EmbeddedBlobs& CarriedImageSet()"), std::string::npos);

    EXPECT_FALSE(imageset::BindingSource("bad-id", {{"A", "/a", 1}}).has_value());
    EXPECT_FALSE(imageset::BindingSource("id", {{"A", "/a\nb", 1}}).has_value());
    EXPECT_FALSE(imageset::BindingSource("id", {{"A\"", "/a", 1}}).has_value());
    EXPECT_FALSE(imageset::BindingSource("id", {}).has_value());
}

} // namespace
} // namespace aurex

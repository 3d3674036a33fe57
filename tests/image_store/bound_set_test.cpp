// Runs in an executable that the build has bound the "dsp" sample set into.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image_store/embedded_blobs.h"
#include "image_store/image_store.h"
#include "store_fakes.h"

namespace aurex {
namespace {

std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string BlobBytes(const std::string& name)
{
    const auto blob = CarriedImageSet().Find(name);
    return blob ? std::string(reinterpret_cast<const char*>(blob->data()), blob->size())
                : std::string("<missing>");
}

TEST(BoundImageSet, BlobsAreTheGeneratedFilesFoundByAnyCase)
{
    const EmbeddedBlobs& blobs = CarriedImageSet();
    const std::filesystem::path generated = AUREX_BOUND_SET_DIR;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(generated)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(BlobBytes(name), FileBytes(entry.path())) << name;
        ++files;
    }
    EXPECT_GE(files, 3u);

    const auto upper = blobs.Find("CODE_1");
    const auto lower = blobs.Find("code_1");
    const auto mixed = blobs.Find("Code_1");
    ASSERT_TRUE(upper && lower && mixed);
    EXPECT_EQ(upper->data(), lower->data()) << "one blob, read in place";
    EXPECT_EQ(upper->data(), mixed->data());
    EXPECT_FALSE(blobs.Find("Code_1 ").has_value());
    EXPECT_FALSE(blobs.Find("Code_").has_value());
}

TEST(BoundImageSet, ExtractsIntoTheWorkingFolder)
{
    ResourceAttributes record;
    ASSERT_TRUE(LoadResourceAttributes(CarriedImageSet(), record));
    EXPECT_EQ(UpgradeTypeName(record.upgrade_type), "DSP");

    testing::ScratchFolder scratch;
    DiskFolder folder(scratch.Path());
    testing::RecordingWindow window;
    ExtractedImageFiles files;
    ASSERT_TRUE(ExtractEmbeddedFiles({CarriedImageSet(), folder, window}, record, false, false, files));
    std::string object;
    for (std::uint32_t i = 1; i <= record.code_pieces; ++i)
        object += BlobBytes("Code_" + std::to_string(i));
    EXPECT_EQ(scratch.Read(files.code_file), object);
    EXPECT_EQ(scratch.Read(files.loader_file), BlobBytes("loader_1"));
    EXPECT_TRUE(window.messages.empty());
}

} // namespace
} // namespace aurex

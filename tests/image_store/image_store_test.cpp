#include "image_store/image_store.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "store_fakes.h"

namespace aurex {
namespace {

using testing::FaultyFolder;
using testing::MemoryBlobs;
using testing::RecordingWindow;
using testing::ScratchFolder;
using Box = WindowRequests::Message;

const Box kLoaderBox{"Embedded Files", WindowRequests::Icon::Error,
                     "Aurex Code Updater could not read the embedded loader file.\n"
                     "Please verify that any other instances of Aurex Code Updater\n"
                     "have begun downloading and try again.",
                     WindowRequests::Buttons::Ok};
const Box kCodeBox{"Embedded Files", WindowRequests::Icon::Error,
                   "Aurex Code Updater could not read the embedded code file.\n"
                   "Please verify that any other instances of Aurex Code Updater\n"
                   "have begun downloading and try again.",
                   WindowRequests::Buttons::Ok};

std::string Joined(MemoryBlobs& blobs, const std::string& prefix, std::uint32_t count)
{
    std::string all;
    for (std::uint32_t i = 1; i <= count; ++i)
        all += blobs.Bytes(prefix + std::to_string(i));
    return all;
}

// One extraction against a scratch folder, with everything a test looks at afterwards.
struct Extraction
{
    explicit Extraction(MemoryBlobs source) : blobs(std::move(source))
    {
        LoadResourceAttributes(blobs, record);
    }
    bool Run(bool use_second_boot_image = false, bool boot = false)
    {
        return ExtractEmbeddedFiles({blobs, folder, window}, record, use_second_boot_image, boot, files);
    }

    MemoryBlobs blobs;
    ResourceAttributes record;
    ScratchFolder scratch;
    FaultyFolder folder{scratch.Path()};
    RecordingWindow window;
    ExtractedImageFiles files{"stale", "stale"};
};

TEST(MergeEmbeddedPieces, TwelvePiecesMergeToTheirConcatenation)
{
    // The carried code image: pieces of about a megabyte, none a multiple of the copy block.
    static MemoryBlobs carried = MemoryBlobs::FromPreset("carried");
    ScratchFolder scratch;
    DiskFolder folder(scratch.Path());
    for (int i = 1; i <= 12; ++i)
        scratch.Put("Code." + std::to_string(i), carried.Bytes("CODE_" + std::to_string(i)));

    const MergeResult merged = MergeEmbeddedPieces(folder, "Code", 12, "hex");
    EXPECT_TRUE(merged.ok);
    EXPECT_EQ(merged.name, "Code.hex");
    const std::string expected = Joined(carried, "CODE_", 12);
    const std::string actual = scratch.Read("Code.hex");
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected) << "merged file differs from the concatenation";
}

TEST(MergeEmbeddedPieces, TakesTheFirstFreeNameAndLeavesOthersAlone)
{
    ScratchFolder scratch;
    DiskFolder folder(scratch.Path());
    scratch.Put("Loader.1", "S9030000FC\r\n");
    scratch.Put("Loader.hex", "someone else's");
    EXPECT_EQ(MergeEmbeddedPieces(folder, "Loader", 1, "hex").name, "Loader1.hex");
    EXPECT_EQ(MergeEmbeddedPieces(folder, "Loader", 1, "hex").name, "Loader2.hex");
    std::filesystem::create_directory(scratch.Path() / "Loader3.hex"); // any kind of entry takes a name
    EXPECT_EQ(MergeEmbeddedPieces(folder, "Loader", 1, "hex").name, "Loader4.hex");
    EXPECT_EQ(scratch.Read("Loader.hex"), "someone else's");
    EXPECT_EQ(scratch.Read("Loader2.hex"), "S9030000FC\r\n");
}

TEST(MergeEmbeddedPieces, ZeroPiecesGiveAnEmptyFile)
{
    ScratchFolder scratch;
    DiskFolder folder(scratch.Path());
    const MergeResult merged = MergeEmbeddedPieces(folder, "Code", 0, "hex");
    EXPECT_TRUE(merged.ok);
    EXPECT_EQ(scratch.Files(), std::set<std::string>{"Code.hex"});
    EXPECT_EQ(scratch.Read("Code.hex"), "");
}

TEST(MergeEmbeddedPieces, FailsWithoutLeavingAFile)
{
    // A missing piece would leave a hole in the image; a merged file that cannot be made,
    // written or flushed is no image at all.
    struct Case
    {
        const char* what;
        void (*arrange)(FaultyFolder&, ScratchFolder&);
    };
    const Case cases[] = {
        {"missing piece",
         [](FaultyFolder&, ScratchFolder& s) { std::filesystem::remove(s.Path() / "Code.2"); }},
        {"unreadable piece", [](FaultyFolder& f, ScratchFolder&) { f.fail_read.insert("Code.3"); }},
        {"cannot create", [](FaultyFolder& f, ScratchFolder&) { f.fail_create.insert("Code.hex"); }},
        {"cannot write", [](FaultyFolder& f, ScratchFolder&) { f.fail_write.insert("Code.hex"); }},
        {"cannot flush", [](FaultyFolder& f, ScratchFolder&) { f.fail_close.insert("Code.hex"); }},
    };
    for (const Case& c : cases) {
        ScratchFolder scratch;
        FaultyFolder folder(scratch.Path());
        for (int i = 1; i <= 3; ++i)
            scratch.Put("Code." + std::to_string(i), std::string(70000, static_cast<char>('0' + i)));
        c.arrange(folder, scratch);
        EXPECT_FALSE(MergeEmbeddedPieces(folder, "Code", 3, "hex").ok) << c.what;
        EXPECT_EQ(scratch.Files().count("Code.hex"), 0u) << c.what;
    }
}

TEST(ExtractEmbeddedFiles, WritesCheckedMergedFilesAndRemovesThePieces)
{
    Extraction x(MemoryBlobs::FromPreset("application"));
    ASSERT_EQ(x.record.code_pieces, 4u);
    EXPECT_TRUE(x.Run());
    EXPECT_EQ(x.files, (ExtractedImageFiles{"Loader.hex", "Code.hex"}));
    EXPECT_EQ(x.scratch.Files(), (std::set<std::string>{"Loader.hex", "Code.hex"}));
    EXPECT_EQ(x.scratch.Read("Loader.hex"), x.blobs.Bytes("LOADER_1"));
    EXPECT_EQ(x.scratch.Read("Code.hex"), Joined(x.blobs, "CODE_", 4));
    EXPECT_TRUE(x.window.messages.empty());

    // A second extraction beside the first one's files takes the next names.
    EXPECT_TRUE(x.Run());
    EXPECT_EQ(x.files, (ExtractedImageFiles{"Loader1.hex", "Code1.hex"}));
    EXPECT_EQ(x.scratch.Read("Code1.hex"), Joined(x.blobs, "CODE_", 4));
}

TEST(ExtractEmbeddedFiles, LoaderHexTakenGivesLoader1Hex)
{
    Extraction x(MemoryBlobs::FromPreset("application"));
    x.scratch.Put("Loader.hex", "left by an earlier run");
    EXPECT_TRUE(x.Run());
    EXPECT_EQ(x.files, (ExtractedImageFiles{"Loader1.hex", "Code.hex"}));
    EXPECT_EQ(x.scratch.Read("Loader.hex"), "left by an earlier run");
}

TEST(ExtractEmbeddedFiles, ChoosesTheSetFromTheFlags)
{
    Extraction x(MemoryBlobs::FromPreset("second-boot"));
    struct Case
    {
        bool second, boot;
        const char* loader;
        const char* code;
    };
    for (const Case& c :
         {Case{false, false, "LOADER_1", "CODE_"}, Case{false, true, "LOADER_BOOT_1", "CODE_BOOT_"},
          Case{true, false, "LOADER_BOOTTWO_1", "CODE_BOOTTWO_"},
          Case{true, true, "LOADER_BOOTTWO_1", "CODE_BOOTTWO_"}}) {
        ASSERT_TRUE(x.Run(c.second, c.boot));
        EXPECT_EQ(x.scratch.Read(x.files.loader_file), x.blobs.Bytes(c.loader)) << c.loader;
        const std::uint32_t pieces = std::string(c.code) == "CODE_" ? x.record.code_pieces : 1;
        EXPECT_EQ(x.scratch.Read(x.files.code_file), Joined(x.blobs, c.code, pieces)) << c.code;
        std::filesystem::remove(x.scratch.Path() / x.files.loader_file);
        std::filesystem::remove(x.scratch.Path() / x.files.code_file);
    }
}

TEST(ExtractEmbeddedFiles, StrayPieceFileStopsWithItsMessageAndIsLeftAlone)
{
    // Another instance holds Loader.1 while it extracts: this one must not touch it.
    Extraction loader(MemoryBlobs::FromPreset("application"));
    loader.scratch.Put("Loader.1", "another instance");
    EXPECT_FALSE(loader.Run());
    EXPECT_EQ(loader.window.messages, std::vector<Box>{kLoaderBox});
    EXPECT_EQ(loader.scratch.Files(), std::set<std::string>{"Loader.1"});
    EXPECT_EQ(loader.scratch.Read("Loader.1"), "another instance");
    EXPECT_EQ(loader.files, ExtractedImageFiles{});

    Extraction code(MemoryBlobs::FromPreset("application"));
    code.scratch.Put("Code.3", "another instance");
    EXPECT_FALSE(code.Run());
    EXPECT_EQ(code.window.messages, std::vector<Box>{kCodeBox});
    EXPECT_EQ(code.scratch.Files(), std::set<std::string>{"Code.3"})
        << "loader pieces and Loader.hex removed";
    EXPECT_EQ(code.scratch.Read("Code.3"), "another instance");
}

TEST(ExtractEmbeddedFiles, MissingPieceBlobFails)
{
    Extraction loader(MemoryBlobs::FromPreset("application"));
    loader.blobs.Erase("LOADER_1");
    EXPECT_FALSE(loader.Run());
    EXPECT_EQ(loader.window.messages, std::vector<Box>{kLoaderBox});

    Extraction code(MemoryBlobs::FromPreset("application"));
    code.blobs.Erase("CODE_4");
    EXPECT_FALSE(code.Run());
    EXPECT_EQ(code.window.messages, std::vector<Box>{kCodeBox});
    EXPECT_TRUE(code.scratch.Files().empty());
}

TEST(ExtractEmbeddedFiles, FilesThatCannotBeWrittenFailTheExtraction)
{
    struct Case
    {
        std::set<std::string> FaultyFolder::*fault;
        const char* file;
        const Box& box;
    };
    const Case cases[] = {
        {&FaultyFolder::fail_write, "Loader.1", kLoaderBox},
        {&FaultyFolder::fail_create, "Loader.hex", kLoaderBox},
        {&FaultyFolder::fail_write, "Loader.hex", kLoaderBox},
        {&FaultyFolder::fail_close, "Code.2", kCodeBox},
        {&FaultyFolder::fail_create, "Code.hex", kCodeBox},
        {&FaultyFolder::fail_write, "Code.hex", kCodeBox},
        {&FaultyFolder::fail_close, "Code.hex", kCodeBox},
        {&FaultyFolder::fail_read, "Code.hex", kCodeBox},
    };
    for (const Case& c : cases) {
        Extraction x(MemoryBlobs::FromPreset("application"));
        (x.folder.*c.fault).insert(c.file);
        EXPECT_FALSE(x.Run()) << c.file;
        EXPECT_EQ(x.window.messages, std::vector<Box>{c.box}) << c.file;
        EXPECT_TRUE(x.scratch.Files().empty()) << c.file;
        EXPECT_EQ(x.files, ExtractedImageFiles{}) << c.file;
    }
}

// A disk that refuses the files is no other instance: the box names the file and the reason,
// and a later extraction that works carries no stale reason.
TEST(ExtractEmbeddedFiles, AFileTheDiskRefusesIsNamedUnderTheBox)
{
    MemoryBlobs blobs = MemoryBlobs::FromPreset("application");
    ResourceAttributes record;
    LoadResourceAttributes(blobs, record);
    ScratchFolder scratch;
    const std::filesystem::path missing = scratch.Path() / "missing";
    DiskFolder folder(missing);
    RecordingWindow window;
    ExtractedImageFiles files;

    EXPECT_FALSE(ExtractEmbeddedFiles({blobs, folder, window}, record, false, false, files));
    Box expected = kLoaderBox;
    expected.text += "\n\nThe extracted images could not be written: " + (missing / "Loader.1").string() +
                     ": No such file or directory. Nothing has been written to the radio.";
    EXPECT_EQ(window.messages, std::vector<Box>{expected});

    std::filesystem::create_directory(missing);
    EXPECT_TRUE(ExtractEmbeddedFiles({blobs, folder, window}, record, false, false, files));
    EXPECT_EQ(folder.WriteProblem(), "");
}

TEST(ExtractEmbeddedFiles, SetWithoutPiecesIsNotAnImage)
{
    // The carried record's second boot set has no pieces: an empty loader would let the radio
    // erase its flash and receive nothing, so extraction refuses it.
    Extraction x(MemoryBlobs::FromPreset("application"));
    ASSERT_EQ(x.record.second_boot_loader_pieces, 0u);
    EXPECT_FALSE(x.Run(true, false));
    EXPECT_EQ(x.window.messages, std::vector<Box>{kLoaderBox});
    EXPECT_TRUE(x.scratch.Files().empty());
}

// Replaces the byte at `at` by one that differs in value: another hex digit for a digit.
void Damage(std::string& bytes, std::size_t at)
{
    const char c = bytes[at];
    if (c >= '0' && c <= '9')
        bytes[at] = c == '9' ? 'A' : static_cast<char>(c + 1);
    else if (c >= 'A' && c <= 'F')
        bytes[at] = c == 'F' ? '0' : static_cast<char>(c + 1);
    else
        bytes[at] = '7';
}

TEST(ExtractEmbeddedFiles, FlippedByteInAnyPieceIsCaughtBeforeAnythingIsSent)
{
    const MemoryBlobs pristine = MemoryBlobs::FromPreset("application");
    for (const std::string& piece : pristine.Names()) {
        if (piece == "RESOURCEATTRIBUTES_")
            continue;
        const std::size_t size = MemoryBlobs(pristine).Bytes(piece).size();
        // Every position of a first line (S, type, count, address, data, checksum, CR, LF) and
        // of the last twelve bytes, and positions spread over the rest of the piece.
        std::vector<std::size_t> positions;
        const std::size_t whole_lines = piece == "LOADER_1" || piece == "CODE_1" ? 48 : 0;
        for (std::size_t at = 0; at < whole_lines; ++at)
            positions.push_back(at);
        for (std::size_t at = whole_lines + 5; at < size; at += size / 9)
            positions.push_back(at);
        for (std::size_t back = 1; back <= 12; ++back)
            positions.push_back(size - back);
        for (const std::size_t at : positions) {
            Extraction x{MemoryBlobs(pristine)};
            Damage(x.blobs.Bytes(piece), at);
            EXPECT_FALSE(x.Run()) << piece << " byte " << at;
            EXPECT_EQ(x.window.messages,
                      std::vector<Box>{piece.starts_with("LOADER") ? kLoaderBox : kCodeBox})
                << piece << " byte " << at;
            EXPECT_TRUE(x.scratch.Files().empty()) << piece << " byte " << at;
        }
    }
}

TEST(ExtractEmbeddedFiles, DspSetIsCheckedAsLoaderAndObjectFile)
{
    Extraction good(MemoryBlobs::FromPreset("dsp"));
    ASSERT_GT(good.record.code_pieces, 1u);
    EXPECT_TRUE(good.Run());
    EXPECT_EQ(good.scratch.Read("Code.hex"), Joined(good.blobs, "CODE_", good.record.code_pieces));

    // The last piece cut short: the last section's data ends beyond the file.
    Extraction cut(MemoryBlobs::FromPreset("dsp"));
    std::string& last = cut.blobs.Bytes("CODE_" + std::to_string(cut.record.code_pieces));
    last.resize(last.size() - 2);
    EXPECT_FALSE(cut.Run());
    EXPECT_EQ(cut.window.messages, std::vector<Box>{kCodeBox});
    EXPECT_TRUE(cut.scratch.Files().empty());

    // A section count that points the table past the end of the file.
    Extraction header(MemoryBlobs::FromPreset("dsp"));
    header.blobs.Bytes("CODE_1")[3] = 0x7F;
    EXPECT_FALSE(header.Run());
    EXPECT_EQ(header.window.messages, std::vector<Box>{kCodeBox});

    // An S2 record in a DSP loader would be sent as S3 data.
    Extraction loader(MemoryBlobs::FromPreset("dsp"));
    std::string& text = loader.blobs.Bytes("LOADER_1");
    text = text.substr(0, text.find("\r\n") + 2) + "S20801000000000000F6\r\n" +
           text.substr(text.find("\r\n") + 2);
    EXPECT_FALSE(loader.Run());
    EXPECT_EQ(loader.window.messages, std::vector<Box>{kLoaderBox});
}

TEST(ExtractEmbeddedFiles, BlobNamesAreFoundWithoutRegardToCase)
{
    MemoryBlobs upper = MemoryBlobs::FromPreset("application");
    MemoryBlobs mixed;
    for (const std::string& name : upper.Names()) {
        std::string other = name;
        for (std::size_t i = 0; i < other.size(); i += 2)
            other[i] = static_cast<char>(std::tolower(other[i]));
        mixed.Set(other, upper.Bytes(name));
    }
    Extraction x(std::move(mixed));
    EXPECT_EQ(x.record.code_pieces, 4u);
    EXPECT_TRUE(x.Run());
    EXPECT_EQ(x.scratch.Read("Code.hex"), Joined(upper, "CODE_", 4));
}

} // namespace
} // namespace aurex

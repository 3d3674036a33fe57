// The DSP download against a modelled radio loader: the COFF section table, page images, the
// block handshake with filler 0x2020, status texts, checks of the object file, and the page
// folder that never outlives the download.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "loader_model.h"
#include "programming/dsp_download.h"
#include "programming/programming_status.h"
#include "support/recorded_bytes.h"

namespace aurex {
namespace {

using test::Bytes;
using test::LoaderModel;
using test::RecordedProgress;
using test::RecordedStatus;
using test::ScriptedLink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

struct Section
{
    int page;
    std::uint32_t address; // words
    std::uint32_t words;
    std::uint8_t seed = 1;
    bool rawData = true;
};

void Put(std::string& file, std::size_t at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        file[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

Bytes SectionBytes(const Section& s)
{
    Bytes b(std::size_t{s.words} * 2);
    for (std::size_t i = 0; i < b.size(); ++i) {
        b[i] = static_cast<std::uint8_t>(s.seed + i * 7);
    }
    return b;
}

// A COFF object file: file header, a 28-byte optional header, section headers, raw data.
std::string Coff(const std::vector<Section>& sections, bool optionalHeader = true)
{
    const std::size_t table = 22 + (optionalHeader ? 28 : 0);
    std::string file(table + 40 * sections.size(), '\0');
    Put(file, 0, 0x00C2, 2);
    Put(file, 2, static_cast<std::uint32_t>(sections.size()), 2);
    Put(file, 16, optionalHeader ? 28 : 0, 2);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const std::size_t h = table + 40 * i;
        file.replace(h, 8, (".sect" + std::to_string(i) + "  ").substr(0, 8));
        Put(file, h + 8, s.address, 4);
        Put(file, h + 12, s.address, 4);
        Put(file, h + 16, s.words, 4);
        file[h + 39] = static_cast<char>(s.page);
    }
    // Raw data after the whole table.
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].rawData) {
            Put(file, table + 40 * i + 20, static_cast<std::uint32_t>(file.size()), 4);
            const Bytes data = SectionBytes(sections[i]);
            file.append(data.begin(), data.end());
        }
    }
    return file;
}

// A page image as the radio should receive it: sections at word address x 2, zeros between,
// 0x20 filler to whole pairs of blocks.
Bytes PageImage(const std::vector<Section>& sections)
{
    Bytes page;
    for (const Section& s : sections) {
        const Bytes data = SectionBytes(s);
        const std::size_t at = std::size_t{s.address} * 2;
        if (page.size() < at + data.size()) {
            page.resize(at + data.size(), 0);
        }
        std::copy(data.begin(), data.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
    }
    while (page.empty() || page.size() % 256 != 0) {
        page.push_back(0x20);
    }
    return page;
}

const std::string kLoader = "S31500008000000102030405060708090A0B0C0D0E0F00\n"
                            "S31500008010101112131415161718191A1B1C1D1E1F00\n"
                            "S9030000FC\n";

struct Rig
{
    Rig()
    {
        fs::create_directories(parent);
        radio.expectResends = false; // the DSP loader takes a 02 06 and goes on
    }
    ~Rig() { fs::remove_all(parent); }

    ProgrammingStatus Download(const std::string& object, ByteProgress* bytes = nullptr)
    {
        std::istringstream loader(kLoader);
        std::istringstream dsp(object, std::ios::binary);
        return DownloadDsp(link, loader, dsp, 7, status.Callback(), parent, progress, bytes);
    }
    // Every file left in the parent folder.
    std::vector<std::string> Leftovers() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(parent)) {
            names.push_back(entry.path().string());
        }
        return names;
    }

    fs::path parent = fs::temp_directory_path() /
                      ("aurex-dsp-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ScriptedLink link;
    LoaderModel radio{link};
    RecordedStatus status;
    RecordedProgress progress;
};

TEST(DspDownloadTest, LoaderAndPagesReachTheRadioAsTheSectionsLayThemOut)
{
    Rig rig;
    // Page 0 from two sections with a gap; page 6 beyond a 16000-word chunk; pages 1 and 3 and a
    // negative page are not downloaded; page 5 holds an empty section.
    const std::vector<Section> page0{{0, 0x0000, 0x10, 1}, {0, 0x0100, 0x10, 2}};
    const std::vector<Section> page6{{6, 0x0040, 40000, 3}};
    const std::vector<Section> page5{{5, 0x0200, 0, 4}};
    const std::string object = Coff({page0[0],
                                     {1, 0, 0x20, 9},
                                     page6[0],
                                     page5[0],
                                     {-3, 0, 0x40, 8, false},
                                     page0[1],
                                     {3, 0x10, 0x08, 7}});
    ASSERT_EQ(rig.Download(object), ProgrammingStatus::Success);

    ASSERT_EQ(rig.radio.images.size(), 5U);
    // The loader: S3 data from character 12, filler 0x2020.
    Bytes loader;
    for (std::uint8_t i = 0; i < 32; ++i) {
        loader.push_back(i);
    }
    loader.resize(256, 0x20);
    EXPECT_EQ(rig.radio.images[0].data, loader);
    // Pages in slot order: 0, 5, 6. Page 0: 544 bytes, i.e. 272 words and filler.
    EXPECT_EQ(rig.radio.images[1].data, PageImage(page0));
    EXPECT_EQ(rig.radio.images[1].data.size(), 768U);
    EXPECT_EQ(rig.radio.images[2].data, Bytes(256, 0x20));
    EXPECT_EQ(rig.radio.images[3].data, PageImage(page6));
    EXPECT_EQ(rig.radio.images[4].data, Bytes{}) << "02 04 follows the last page's 02 03";
    EXPECT_EQ(rig.link.sent.back(), (Bytes{0x02, 0x04}));

    EXPECT_THAT(rig.status.texts,
                ElementsAre("Downloading Loader code...", "Preparing to download ...",
                            "Downloading page 1 of 3 from input DSP file ...",
                            "Downloading page 2 of 3 from input DSP file ...",
                            "Downloading page 3 of 3 from input DSP file ...", "Download finished"));
    EXPECT_THAT(rig.link.timeouts, ElementsAre(15000));
    EXPECT_EQ(rig.link.releases, 1);
    EXPECT_TRUE(rig.link.bauds.empty());
    // Progress ranges: the loader's file size / 4 + 64, then each page's size / 2 + 128.
    EXPECT_THAT(rig.progress.ranges,
                ElementsAre(std::pair{0, static_cast<int>(kLoader.size() / 4 + 64)}, std::pair{0, 272 + 128},
                            std::pair{0, 128}, std::pair{0, 0x40 + 40000 + 128}));
    EXPECT_THAT(rig.Leftovers(), IsEmpty());
}

TEST(DspDownloadTest, TheLoaderAndAllPagesCountTheirDataBytesAgainstTotalsKnownBeforehand)
{
    // Pages 0 (544 bytes), 5 (empty) and 6 (80128 bytes): one phase for them all.
    const std::string object =
        Coff({{0, 0x0000, 0x10, 1}, {6, 0x0040, 40000, 3}, {5, 0x0200, 0, 4}, {0, 0x0100, 0x10, 2}});
    Rig rig;
    test::RecordedBytes bytes;
    ASSERT_EQ(rig.Download(object, &bytes), ProgrammingStatus::Success);
    EXPECT_THAT(bytes.Outline(), ElementsAre("begin dsp-loader 32", "end", "begin dsp 80672", "end"));
    EXPECT_THAT(bytes.DoneOf(0), ElementsAre(32, 32)); // the pair's second block is filler
    const std::vector<std::int64_t> pages = bytes.DoneOf(1);
    ASSERT_FALSE(pages.empty());
    EXPECT_TRUE(std::is_sorted(pages.begin(), pages.end()));
    EXPECT_EQ(pages.back(), 80672);

    Rig plain;
    ASSERT_EQ(plain.Download(object), ProgrammingStatus::Success);
    EXPECT_EQ(plain.link.sent, rig.link.sent);
}

TEST(DspDownloadTest, ChecksumMismatchesAreReportedAndTheDownloadGoesOn)
{
    Rig rig;
    rig.radio.reportSum = [](int pair, std::uint16_t sum) {
        return pair == 1 ? static_cast<std::uint16_t>(~sum) : sum;
    };
    const std::vector<Section> page2{{2, 0, 300, 5}};
    ASSERT_EQ(rig.Download(Coff(page2, false)), ProgrammingStatus::Success);
    EXPECT_EQ(rig.radio.verdicts[1], 1);
    EXPECT_EQ(rig.radio.resends, 0);
    EXPECT_EQ(rig.radio.images[1].data, PageImage(page2));
}

TEST(DspDownloadTest, ObjectFilesThatDoNotHoldWhatTheyPromiseSendNothing)
{
    struct Case
    {
        const char* what;
        std::string object;
        const char* text;
    };
    std::string cutTable = Coff({{0, 0, 4}, {2, 0, 4}});
    cutTable.resize(22 + 28 + 60);
    std::string outside = Coff({{0, 0, 4}, {2, 0, 4}});
    outside.resize(outside.size() - 1);
    std::string farOffset = Coff({{0, 0, 4}});
    Put(farOffset, 50 + 20, 0xFFFFFFF0, 4);
    const Case cases[] = {
        {"short header", std::string(20, '\0'),
         "The DSP file cannot be downloaded: the file is shorter than its header."},
        {"table", cutTable,
         "The DSP file cannot be downloaded: its section table runs past the end of the file."},
        {"raw data", outside, "The DSP file cannot be downloaded: section 2 lies outside the file."},
        {"offset", farOffset, "The DSP file cannot be downloaded: section 1 lies outside the file."},
        {"page", Coff({{0, 0xFFF0, 0x20}}),
         "The DSP file cannot be downloaded: section 1 does not fit in a memory page of 64K words."},
        {"nothing", Coff({{1, 0, 0x20}, {3, 0, 0x20}, {-1, 0, 0x20}}),
         "The DSP file cannot be downloaded: it holds nothing for the DSP's memory pages."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        EXPECT_EQ(rig.Download(c.object), ProgrammingStatus::ImageError);
        EXPECT_TRUE(rig.link.sent.empty());
        EXPECT_THAT(rig.status.texts, ElementsAre(c.text));
        EXPECT_THAT(rig.Leftovers(), IsEmpty());
    }
    // Sections that are not downloaded are not held to it, and one ending at 64K words fits.
    Rig rig;
    std::string ignored = Coff({{1, 0xFFFFFF00, 0x1000, 1, false}, {0, 0xFF80, 0x80}});
    EXPECT_EQ(rig.Download(ignored), ProgrammingStatus::Success);
}

TEST(DspDownloadTest, FailuresEndTheDownloadAndRemoveThePageFiles)
{
    {
        // The radio does not accept the first page: nothing more is sent.
        Rig rig;
        rig.radio.pageReply = {};
        EXPECT_EQ(rig.Download(Coff({{0, 0, 8}, {5, 0, 8}})), ProgrammingStatus::TimedOut);
        EXPECT_EQ(rig.link.sent.back(), (Bytes{0x02, 0x08}));
        EXPECT_EQ(rig.status.texts.back(), kDspTimedOutText);
        EXPECT_THAT(rig.Leftovers(), IsEmpty());
        EXPECT_EQ(rig.link.releases, 1);
    }
    {
        // A silent loader on a quiet half-duplex line: the communication text, no pages.
        Rig rig;
        rig.link.respond = nullptr;
        rig.link.endedStatus = LinkStatus::IdleEnded;
        EXPECT_EQ(rig.Download(Coff({{0, 0, 8}})), ProgrammingStatus::CommProblem);
        EXPECT_THAT(rig.link.sent, ElementsAre(Bytes{0x02, 0x01}));
        EXPECT_THAT(rig.status.texts, ElementsAre(kDspCommProblemText));
        EXPECT_THAT(rig.Leftovers(), IsEmpty());
    }
    {
        // The page files cannot be made: said so, nothing sent.
        Rig rig;
        fs::remove_all(rig.parent);
        std::ofstream(rig.parent) << "a file where the folder should be";
        EXPECT_EQ(rig.Download(Coff({{0, 0, 8}})), ProgrammingStatus::ImageError);
        EXPECT_TRUE(rig.link.sent.empty());
        ASSERT_EQ(rig.status.texts.size(), 1U);
        EXPECT_THAT(rig.status.texts[0], ::testing::StartsWith("The DSP page files cannot be prepared: "));
        fs::remove(rig.parent);
    }
}

} // namespace
} // namespace aurex

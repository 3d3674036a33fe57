// The flash download against a modelled radio loader: the bytes of every message, the pair
// checksums and their verdicts, resends, verify failures, erase waits and status texts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "link/clock.h"
#include "loader_model.h"
#include "programming/block_layer.h"
#include "programming/flash_download.h"
#include "programming/programming_status.h"
#include "programming/srecord_writer.h"
#include "support/recorded_bytes.h"

namespace aurex {
namespace {

using test::Bytes;
using test::LoaderModel;
using test::RecordedProgress;
using test::RecordedStatus;
using test::ScriptedLink;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// S-record text with `dataBytes` bytes of data in records of up to 16 bytes (kind '2' or '3').
std::string Image(int dataBytes, char kind = '3', std::uint8_t seed = 1)
{
    std::string text = "S00600004844521B\n";
    std::uint32_t address = kind == '3' ? 0xFE040100 : 0x010100;
    std::uint8_t value = seed;
    for (int done = 0; done < dataBytes;) {
        const int n = std::min(16, dataBytes - done);
        Bytes data;
        for (int i = 0; i < n; ++i, value = static_cast<std::uint8_t>(value * 13 + 7)) {
            // Every byte the frame codec escapes turns up somewhere.
            data.push_back(value);
        }
        AppendSRecord(text, kind, address, data, "\n");
        done += n;
        address += static_cast<std::uint32_t>(n);
    }
    text += kind == '3' ? "S70500000000FA\n" : "S804000000FB\nS9030000FC\n";
    return text;
}

Bytes Block(std::uint8_t fill)
{
    Bytes b{0x02, 0x09};
    b.insert(b.end(), 128, fill);
    return b;
}

// A modelled radio behind a scripted link, and what the download shows.
struct Rig
{
    ProgrammingStatus Download(const std::string& loaderText, const std::string& codeText,
                               std::uint8_t code = 6, bool boot = false, ByteProgress* bytes = nullptr)
    {
        std::istringstream loader(loaderText);
        std::istringstream codeImage(codeText);
        return DownloadCode(link, loader, codeImage, status.Callback(), code, progress, boot, bytes);
    }

    // Runs words through the block layer alone, as one image after its start.
    ProgrammingStatus Stream(const std::vector<std::uint16_t>& words,
                             const BlockRules& rules = kFlashBlockRules)
    {
        link.Send(test::ScriptedLink::Packet({0x02, 0x01}));
        link.replies.clear();
        BlockWriter writer(link, rules, callback, progress);
        writer.StartImage();
        for (const std::uint16_t w : words) {
            writer.AppendWord(w);
        }
        writer.FinalFlush();
        return writer.Status();
    }

    // What was sent after the image start of Stream.
    std::vector<Bytes> SentAfterStart() const { return {link.sent.begin() + 1, link.sent.end()}; }

    ScriptedLink link;
    LoaderModel radio{link};
    RecordedStatus status;
    StatusCallback callback = status.Callback();
    RecordedProgress progress;
};

TEST(FlashDownloadTest, LoaderAndCodeReachTheRadioByteForByte)
{
    Rig rig;
    const std::string loader = Image(1000, '2', 3);
    const std::string code = Image(5000, '3', 9);
    ASSERT_EQ(rig.Download(loader, code), ProgrammingStatus::Success);

    ASSERT_EQ(rig.radio.images.size(), 2U);
    EXPECT_EQ(rig.radio.images[0].data, test::SRecordDataBytes(loader));
    EXPECT_EQ(rig.radio.images[1].data, test::SRecordDataBytes(code));
    EXPECT_TRUE(rig.radio.images[0].ended && rig.radio.images[1].ended);
    EXPECT_EQ(rig.radio.verdicts[1], 0);
    EXPECT_EQ(rig.radio.verdicts[0], static_cast<int>(rig.radio.sums.size()));

    EXPECT_THAT(rig.status.texts, ElementsAre("Preparing to download ...", "Downloading Loader code ...",
                                              "Erasing flash (80 seconds)...",
                                              "Downloading Application code ...", "Download finished."));
    // One reply time-out for the whole download; back at 19200 after the code only.
    EXPECT_THAT(rig.link.timeouts, ElementsAre(15000));
    EXPECT_EQ(rig.link.releases, 1);
    EXPECT_THAT(rig.link.bauds, ElementsAre(19200));
    EXPECT_EQ(rig.link.sent.back(), (Bytes{0x09, 0x00, 0x01}));
    EXPECT_THAT(rig.link.pauses, ElementsAre(80000));

    // Progress: a range per image from its file size, 64 per block plus the record weights; the
    // whole image ends full, whatever the count came to.
    ASSERT_EQ(rig.progress.ranges.size(), 2U);
    EXPECT_EQ(rig.progress.ranges[0], std::make_pair(0, static_cast<int>(loader.size() / 4 + 64)));
    EXPECT_EQ(rig.progress.ranges[1], std::make_pair(0, static_cast<int>(code.size() / 4 + 64)));
    const int codeRecords = (5000 + 15) / 16;
    const int codeBlocks = static_cast<int>(test::SRecordDataBytes(code).size() / 128);
    const std::vector<int>& positions = rig.progress.positions;
    ASSERT_GE(positions.size(), 2U);
    EXPECT_EQ(positions[positions.size() - 2], codeRecords * 4 + codeBlocks * 64);
    EXPECT_EQ(positions.back(), rig.progress.ranges[1].second);
}

TEST(FlashDownloadTest, TheDataBytesOfEachImageAreCountedAsTheRadioTakesEachBlock)
{
    struct Case
    {
        int loaderBytes;
        int codeBytes;
        bool boot;
        std::vector<std::string> outline;
        std::vector<std::int64_t> codeDone;
    };
    for (const Case& c : {
             Case{1000,
                  300,
                  false,
                  {"begin loader 1000", "end", "begin application 300", "end"},
                  {128, 256, 300, 300}}, // the pair's filler block adds nothing
             Case{0, 256, true, {"begin loader 0", "end", "begin boot 256", "end"}, {128, 256}},
         }) {
        Rig rig;
        test::RecordedBytes bytes;
        const std::string loader = Image(c.loaderBytes, '2', 3);
        const std::string code = Image(c.codeBytes, '3', 9);
        ASSERT_EQ(rig.Download(loader, code, 6, c.boot, &bytes), ProgrammingStatus::Success);
        EXPECT_EQ(bytes.Outline(), c.outline);
        EXPECT_EQ(bytes.DoneOf(1), c.codeDone);
        EXPECT_EQ(bytes.DoneOf(0).back(), c.loaderBytes);

        // Counting changes nothing on the line.
        Rig plain;
        ASSERT_EQ(plain.Download(loader, code, 6, c.boot), ProgrammingStatus::Success);
        EXPECT_EQ(plain.link.sent, rig.link.sent);
        EXPECT_EQ(plain.progress.positions, rig.progress.positions);
    }
}

TEST(FlashDownloadTest, AnImageThatCannotBeReadHasNoTotalAndAFailureEndsItsPhase)
{
    Rig rig;
    test::RecordedBytes bytes;
    std::string code = Image(600, '3', 9);
    code.replace(code.rfind("\nS3") + 20, 1, "G"); // the last record, bytes 592 to 599
    EXPECT_EQ(rig.Download(Image(100, '2'), code, 6, false, &bytes), ProgrammingStatus::ImageError);
    EXPECT_THAT(bytes.Outline(), ElementsAre("begin loader 100", "end", "begin application ?", "end"));
    // The whole blocks before the bad record went, nothing after it.
    EXPECT_THAT(bytes.DoneOf(1), ElementsAre(128, 256, 384, 512));
}

TEST(FlashDownloadTest, EmptyAndShortImagesEndOnAFullPairOfFullBlocks)
{
    {
        // No data: 02 01, two blocks of FF under checksum FF80, 02 04.
        Rig rig;
        ASSERT_EQ(rig.Download("S0030000FC\nS9030000FC\n", "", 0), ProgrammingStatus::Success);
        const std::vector<Bytes> empty{{0x02, 0x01}, Block(0xFF), Block(0xFF), {0x02, 0x05}, {0x02, 0x04}};
        EXPECT_EQ(std::vector<Bytes>(rig.link.sent.begin(), rig.link.sent.begin() + 5), empty);
        EXPECT_THAT(rig.radio.sums, ElementsAre(0xFF80, 0xFF80));
    }
    {
        // 128 data bytes go out only with the final flush, followed by one block of filler.
        Rig rig;
        ASSERT_EQ(rig.Stream(std::vector<std::uint16_t>(64, 0x1234)), ProgrammingStatus::Success);
        const std::vector<Bytes> sent = rig.SentAfterStart();
        ASSERT_EQ(sent.size(), 3U);
        EXPECT_EQ(sent[1], Block(0xFF));
        EXPECT_EQ(sent[2], (Bytes{0x02, 0x05}));
    }
    {
        // 130 bytes: a full block, then one word and 63 filler words, all under one checksum.
        Rig rig;
        std::vector<std::uint16_t> words(64, 0x1234);
        words.push_back(0xABCD);
        ASSERT_EQ(rig.Stream(words), ProgrammingStatus::Success);
        const std::vector<Bytes> sent = rig.SentAfterStart();
        ASSERT_EQ(sent.size(), 3U);
        Bytes second = Block(0xFF);
        second[2] = 0xCD;
        second[3] = 0xAB;
        EXPECT_EQ(sent[1], second);
        EXPECT_THAT(rig.radio.sums,
                    ElementsAre(static_cast<std::uint16_t>(64 * 0x1234 + 0xABCD + 63 * 0xFFFF)));
    }
}

TEST(FlashDownloadTest, TheRadiosChecksumIsReadHighByteFirst)
{
    // One word 0x12B3 and 127 filler words make the pair checksum 0x1234.
    for (const auto& [reported, verdict] : {std::pair{0x1234, 0x05}, std::pair{0x3412, 0x06}}) {
        Rig rig;
        rig.radio.reportSum = [r = reported](int, std::uint16_t) { return static_cast<std::uint16_t>(r); };
        rig.Stream({0x12B3});
        ASSERT_GE(rig.SentAfterStart().size(), 3U);
        EXPECT_EQ(rig.SentAfterStart()[2], (Bytes{0x02, static_cast<std::uint8_t>(verdict)}))
            << std::hex << reported;
    }
}

TEST(FlashDownloadTest, AChecksumMismatchResendsTheSecondBlockFourTimesThenTimesOut)
{
    Rig rig;
    // Pair 0 is the loader's; pair 1 the code image's first.
    rig.radio.reportSum = [](int pair, std::uint16_t sum) {
        return pair == 1 ? static_cast<std::uint16_t>(sum + 1) : sum;
    };
    EXPECT_EQ(rig.Download(Image(200, '2'), Image(1024)), ProgrammingStatus::TimedOut);
    EXPECT_EQ(rig.radio.resends, 4);
    EXPECT_EQ(rig.radio.verdicts[1], 1);
    EXPECT_EQ(rig.status.texts.back(), kCodeTimedOutText);
    // The resends are the second block of the failing pair, unchanged; nothing follows them.
    const std::vector<Bytes>& sent = rig.link.sent;
    ASSERT_GE(sent.size(), 6U);
    EXPECT_EQ(sent[sent.size() - 5], (Bytes{0x02, 0x06}));
    for (std::size_t i = sent.size() - 4; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i], sent[sent.size() - 6]);
    }
    EXPECT_TRUE(rig.link.bauds.empty());
    EXPECT_FALSE(rig.radio.images.back().ended);
}

TEST(FlashDownloadTest, VerifyFailuresEndTheImageWithTheAddress)
{
    const Bytes failure{0x02, 0x0A, 0x00, 0xFE, 0x1A, 0x20};
    {
        // The second block of the code image's second pair (the loader sends blocks 0 to 3).
        Rig rig;
        rig.radio.readyFor = [&](int block) { return block == 4 + 3 ? failure : Bytes{}; };
        EXPECT_EQ(rig.Download(Image(300, '2'), Image(2048)), ProgrammingStatus::VerifyFailed);
        EXPECT_EQ(rig.status.texts.back(), "Flash Verify failed at address: 0x00FE1A20");
        EXPECT_TRUE(rig.link.bauds.empty());
        EXPECT_FALSE(rig.radio.images.back().ended);
    }
    {
        // A block resent after a mismatch and answered so: the same.
        Rig rig;
        rig.radio.reportSum = [](int, std::uint16_t sum) { return static_cast<std::uint16_t>(~sum); };
        rig.radio.readyFor = [&](int block) { return block == 2 ? failure : Bytes{}; };
        EXPECT_EQ(rig.Stream(std::vector<std::uint16_t>(200, 7)), ProgrammingStatus::VerifyFailed);
        EXPECT_EQ(rig.radio.resends, 1);
        EXPECT_THAT(rig.status.texts, ElementsAre("Flash Verify failed at address: 0x00FE1A20"));
    }
    {
        // After the first block of a pair the same reply only means ready.
        Rig rig;
        rig.radio.readyFor = [&](int block) { return block == 0 ? failure : Bytes{}; };
        EXPECT_EQ(rig.Stream(std::vector<std::uint16_t>(200, 7)), ProgrammingStatus::Success);
        EXPECT_TRUE(rig.status.texts.empty());
    }
}

TEST(FlashDownloadTest, TheHalfDuplexLineAsksAgainWhenTheRadioSaysNotYet)
{
    {
        Rig rig;
        rig.link.capabilities.repeatsRefusedRequests = true;
        rig.radio.notReady = 2;
        // The first checksum wait is answered with 02 0A: the same block goes once more.
        bool declined = false;
        rig.link.respond = [&, inner = rig.link.respond](const Bytes& sent) {
            if (!declined && sent.size() == 130 && rig.radio.blocks == 1) {
                declined = true;
                rig.link.Reply({0x02, 0x0A});
                return;
            }
            inner(sent);
        };
        const std::string loader = Image(100, '2');
        ASSERT_EQ(rig.Download(loader, Image(100), 0), ProgrammingStatus::Success);
        const std::vector<Bytes>& sent = rig.link.sent;
        EXPECT_EQ(std::count(sent.begin(), sent.end(), Bytes{0x02, 0x01}), 2 + 1 + 1);
        const auto first =
            std::find_if(sent.begin(), sent.end(), [](const Bytes& b) { return b.size() == 130; });
        ASSERT_LE(first + 3, sent.end());
        EXPECT_EQ(first[1], first[2]);
        EXPECT_EQ(rig.radio.images[0].data, test::SRecordDataBytes(loader));
    }
    {
        // On the direct line the 02 0A is an answer: nothing is asked again and the blocks follow.
        Rig rig;
        rig.radio.notReady = 1;
        rig.Download(Image(100, '2'), Image(100), 0);
        ASSERT_GE(rig.link.sent.size(), 2U);
        EXPECT_EQ(rig.link.sent[0], (Bytes{0x02, 0x01}));
        EXPECT_EQ(rig.link.sent[1].size(), 130U);
    }
}

TEST(FlashDownloadTest, EraseWaitsFollowThePlatformAndTheBootFlag)
{
    struct Case
    {
        std::uint8_t code;
        bool boot;
        const char* text;
        int ticks;
        int milliseconds; // what the download asks for, the ticks above as the port counts them
    };
    const Case cases[] = {{1, false, nullptr, 18, 1000},
                          {4, true, nullptr, 18, 1000},
                          {7, true, nullptr, 18, 1000},
                          {4, false, "Erasing flash (40 seconds)...", 720, 40000},
                          {0, false, "Erasing flash (2 seconds)...", 36, 2000},
                          {8, false, "Erasing flash (2 seconds)...", 36, 2000},
                          {5, false, "Erasing flash (80 seconds)...", 1440, 80000},
                          {6, false, "Erasing flash (80 seconds)...", 1440, 80000},
                          {7, false, "Erasing flash (80 seconds)...", 1440, 80000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << int{c.code} << (c.boot ? " boot" : ""));
        Rig rig;
        ASSERT_EQ(rig.Download(Image(10, '2'), Image(10), c.code, c.boot), ProgrammingStatus::Success);
        EXPECT_THAT(rig.link.pauses, ElementsAre(c.milliseconds));
        EXPECT_EQ(Clock::PortTicks(c.milliseconds), c.ticks);
        // A shown erase wait is counted on the bar over its whole length, and ends full.
        if (c.text != nullptr) {
            EXPECT_THAT(rig.progress.timedWaits, ElementsAre(c.milliseconds));
            EXPECT_THAT(rig.progress.timedWaitEnds, ElementsAre(true));
        } else {
            EXPECT_THAT(rig.progress.timedWaits, IsEmpty());
            EXPECT_THAT(rig.progress.timedWaitEnds, IsEmpty());
        }
        std::vector<std::string> expected{"Preparing to download ...", "Downloading Loader code ..."};
        if (c.text != nullptr) {
            expected.emplace_back(c.text);
        }
        expected.emplace_back(c.boot ? "Downloading Boot code ..." : "Downloading Application code ...");
        expected.emplace_back("Download finished.");
        EXPECT_THAT(rig.status.texts, ElementsAreArray(expected));
    }
}

TEST(FlashDownloadTest, AnEraseWaitStoppedMidwayEndsItsCountWithoutFillingTheBar)
{
    Rig rig;
    rig.link.duringPause = [&rig] {
        // What the bar was told before the wait ended.
        EXPECT_THAT(rig.progress.timedWaits, ElementsAre(80000));
        EXPECT_THAT(rig.progress.timedWaitEnds, IsEmpty());
        rig.link.active = false;
    };
    EXPECT_EQ(rig.Download(Image(10, '2'), Image(10)), ProgrammingStatus::TimedOut);
    EXPECT_THAT(rig.progress.timedWaitEnds, ElementsAre(false));
}

TEST(FlashDownloadTest, FailuresShowTheirTextAndSkipWhatFollows)
{
    {
        // No reply time-out: nothing sent, 2 and no text of its own.
        Rig rig;
        rig.link.timeoutAvailable = false;
        EXPECT_EQ(rig.Download(Image(10, '2'), Image(10)), ProgrammingStatus::CommProblem);
        EXPECT_TRUE(rig.link.sent.empty());
        EXPECT_THAT(rig.status.texts, ElementsAre("Preparing to download ..."));
    }
    {
        // A silent radio (or one running its normal code) ignores the loader's start: told apart,
        // no text of its own; no erase wait and no code image; the time-out is given back.
        Rig rig;
        rig.link.respond = nullptr;
        EXPECT_EQ(rig.Download(Image(10, '2'), Image(10)), ProgrammingStatus::StartUnanswered);
        EXPECT_THAT(rig.link.sent, ElementsAre(Bytes{0x02, 0x01}));
        EXPECT_THAT(rig.status.texts, ElementsAre("Preparing to download ..."));
        EXPECT_TRUE(rig.link.pauses.empty());
        EXPECT_EQ(rig.link.releases, 1);
        // A line fault there keeps its own meaning.
        Rig fault;
        fault.link.respond = nullptr;
        fault.link.endedStatus = LinkStatus::IdleEnded;
        EXPECT_EQ(fault.Download(Image(10, '2'), Image(10)), ProgrammingStatus::CommProblem);
    }
    {
        // A damaged record: nothing of it is sent, the image is not ended, the reason is shown.
        Rig rig;
        std::string code = Image(600);
        code.replace(code.find("\nS3") + 20, 1, "G");
        EXPECT_EQ(rig.Download(Image(10, '2'), code), ProgrammingStatus::ImageError);
        EXPECT_EQ(rig.status.texts.back(),
                  "The Application image cannot be read (line 2: the record's data holds a "
                  "character that is not a hexadecimal digit).");
        EXPECT_FALSE(rig.radio.images.back().ended);
        EXPECT_TRUE(rig.radio.images.back().data.empty());
        EXPECT_TRUE(rig.link.bauds.empty());
    }
}

TEST(FlashDownloadTest, AFailedFinalFlushStillEndsTheImageAndRestores19200)
{
    Rig rig;
    // The radio falls silent at the code image's blocks.
    rig.link.respond = [&, inner = rig.link.respond](const Bytes& sent) {
        if (!(sent.size() == 130 && rig.radio.images.size() == 2)) {
            inner(sent);
        }
    };
    EXPECT_EQ(rig.Download(Image(10, '2'), Image(100)), ProgrammingStatus::TimedOut);
    const std::vector<Bytes>& sent = rig.link.sent;
    EXPECT_EQ(sent[sent.size() - 2], (Bytes{0x02, 0x04}));
    EXPECT_THAT(rig.link.bauds, ElementsAre(19200));
    EXPECT_EQ(rig.status.texts.back(), kCodeTimedOutText);
}

} // namespace
} // namespace aurex

// The codeplug transfer and its password step against a scripted radio over a pseudo-terminal.
#include "transfer/vnx_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>

#include "link/link_rig.h"
#include "support/recorded_bytes.h"
#include "transfer/download_keystream.h"
#include "transfer/radio_transfer_link.h"
#include "transfer_peer.h"

namespace aurex {
namespace {

using test::Bytes;
using test::DataBlockMessage;
using test::ExpectMessage;
using test::LinkPath;
using test::LinkRig;
using test::NextMessage;
using test::PeerIo;
using test::ScriptedPeer;
using test::SendMessage;
using test::WithCode;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Bytes kUploadRequest{0x03, 0x07};
const Bytes kDownloadRequest{0x03, 0x00};
const Bytes kProceed{0x03, 0x0D};
const Bytes kNextBlock{0x03, 0x08};
const Bytes kEnd{0x03, 0x04};
const Bytes kPasswordRequest{0x03, 0x0B};
const Bytes kChecksumMatches{0x03, 0x05};
const Bytes kChecksumDiffers{0x03, 0x06};
const std::string kIdentity = "00001A2B3C4D5E6F";
const DesBlock kIdentityBytes{0x00, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F};

// A link over a pseudo-terminal with the window's time-out of 4 s (scaled to 1 s here) and a
// 32768-byte buffer of exactly that size, so a write past it is caught by the sanitizer.
class TransferTest : public ::testing::TestWithParam<LinkPath>
{
  protected:
    void SetUp() override
    {
        std::string message;
        ASSERT_TRUE(rig.Open(Path(), message)) << message;
        Clock::SetScale(0.25);
        ASSERT_TRUE(CreateLinkTimeout(rig.link, 4000));
    }
    void TearDown() override { ReleaseLinkTimeout(rig.link); }

    virtual LinkPath Path() const { return GetParam(); }

    std::span<std::uint8_t, kCodeplugBufferBytes> Buffer()
    {
        return std::span<std::uint8_t, kCodeplugBufferBytes>(storage.data(), kCodeplugBufferBytes);
    }

    // A transfer as the preservation step sets it up; the prompt answers from `answers`
    // (nullopt: Cancel) and counts its showings.
    std::unique_ptr<VNXTransferParms> MakeTransfer()
    {
        auto t = std::make_unique<VNXTransferParms>([this](std::string& text) {
            ++prompts;
            if (answers.empty() || !answers.front()) {
                if (!answers.empty()) {
                    answers.pop_front();
                }
                return false;
            }
            text = *answers.front();
            answers.pop_front();
            return true;
        });
        std::fill(storage.begin(), storage.end(), std::uint8_t{0});
        t->SetBuffer(Buffer(), 0);
        t->SetLink(transferLink);
        return t;
    }

    static void ExpectClean(ScriptedPeer& peer)
    {
        peer.Join();
        EXPECT_THAT(peer.Failures(), IsEmpty());
    }

    // Radio side of an upload of `image`: request, proceed, then a block for every request until
    // the program ends the transfer. Returns the blocks sent.
    static int ServeUpload(PeerIo& io, const Bytes& image)
    {
        ExpectMessage(io, kUploadRequest);
        SendMessage(io, kProceed);
        std::size_t index = 0;
        for (;;) {
            const Bytes block = index * 128 + 128 <= image.size() ? DataBlockMessage(image, index) : Bytes{};
            if (block.empty()) {
                io.Fail("program asked past the image");
                return static_cast<int>(index);
            }
            SendMessage(io, block);
            ++index;
            const Bytes next = NextMessage(io);
            if (next == kEnd) {
                return static_cast<int>(index);
            }
            if (next != kNextBlock) {
                io.Fail("expected 03 08 or 03 04, got " + test::Hex(next));
                return static_cast<int>(index);
            }
        }
    }

    LinkRig rig;
    RadioTransferLink transferLink{rig.link};
    std::vector<std::uint8_t> storage = std::vector<std::uint8_t>(kCodeplugBufferBytes);
    std::deque<std::optional<std::string>> answers;
    int prompts = 0;
};

// An image whose first block is a block of `words` words and whose image length word (word 4)
// reads `imageWords`; everything else is pattern that never reads as a block mark.
Bytes ChainImage(std::size_t bytes, std::uint16_t firstBlockWords, std::uint16_t imageWords)
{
    Bytes image = test::PatternBytes(bytes, 3);
    image[0] = 0x5F;
    image[1] = 0x5F;
    image[2] = static_cast<std::uint8_t>(firstBlockWords >> 8);
    image[3] = static_cast<std::uint8_t>(firstBlockWords);
    image[8] = static_cast<std::uint8_t>(imageWords >> 8);
    image[9] = static_cast<std::uint8_t>(imageWords);
    return image;
}

class UploadTest : public TransferTest
{
};

TEST_P(UploadTest, EndsAfterTheFirstBlockThatDoesNotContinueTheChain)
{
    // First block: a block of 64 words, so the next block mark is due at byte 128; the second
    // block does not start with one. A stray 03 08 from the radio is ignored on the way.
    const Bytes image = ChainImage(512, 64, 128);
    auto transfer = MakeTransfer();
    int served = 0;
    ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
        ExpectMessage(io, kUploadRequest);
        SendMessage(io, kProceed);
        SendMessage(io, DataBlockMessage(image, 0));
        ExpectMessage(io, kNextBlock);
        SendMessage(io, kNextBlock);
        SendMessage(io, DataBlockMessage(image, 1));
        ExpectMessage(io, kEnd);
        served = 2;
    });
    EXPECT_EQ(transfer->Upload(), TransferResult::Done);
    ExpectClean(peer);
    EXPECT_EQ(served, 2);
    EXPECT_EQ(transfer->GetLength(), 256);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 256, storage.begin()));
    EXPECT_TRUE(std::all_of(storage.begin() + 256, storage.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_FALSE(IsLinkActive(rig.link));
    EXPECT_EQ(prompts, 0);

    // A first block without a block mark is all there is.
    Bytes noMark = image;
    noMark[0] = 0x00;
    auto second = MakeTransfer();
    ScriptedPeer again(rig.pty, [&](PeerIo& io) { served = ServeUpload(io, noMark); });
    EXPECT_EQ(second->Upload(), TransferResult::Done);
    ExpectClean(again);
    EXPECT_EQ(served, 1);
    EXPECT_EQ(second->GetLength(), 128);
}

TEST_P(UploadTest, ReadsOnToTheImageLengthSoTheTrailerComesOutWhole)
{
    // The chain is one block of 192 words (384 bytes); the image with its trailer is 300 words.
    // The scan alone would stop after 512 bytes and lose the rest of the trailer.
    const Bytes image = ChainImage(1024, 192, 300);
    auto transfer = MakeTransfer();
    test::RecordedBytes bytes;
    transfer->SetByteProgress(&bytes, "codeplug-upload");
    int served = 0;
    ScriptedPeer peer(rig.pty, [&](PeerIo& io) { served = ServeUpload(io, image); });
    EXPECT_EQ(transfer->Upload(), TransferResult::Done);
    ExpectClean(peer);
    EXPECT_EQ(served, 5);
    EXPECT_EQ(transfer->GetLength(), 640);
    // The total is unknown until the chain has ended and the image length says how far to read.
    EXPECT_THAT(bytes.lines, ElementsAre("begin codeplug-upload ?", "done 128", "done 256", "done 384",
                                         "total 640", "done 512", "total 640", "done 640", "end"));
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 640, storage.begin()));

    // An image length word beyond the buffer reads the whole buffer and no more.
    const Bytes huge = ChainImage(kCodeplugBufferBytes, 64, 0xFFFF);
    auto whole = MakeTransfer();
    ScriptedPeer all(rig.pty, [&](PeerIo& io) { served = ServeUpload(io, huge); });
    EXPECT_EQ(whole->Upload(), TransferResult::Done);
    ExpectClean(all);
    EXPECT_EQ(served, 256);
    EXPECT_EQ(whole->GetLength(), kCodeplugBufferBytes);
    EXPECT_TRUE(std::equal(huge.begin(), huge.end(), storage.begin()));
}

TEST_P(UploadTest, FailsOnSilenceOnAnUnexpectedMessageAndOnABlockOfTheWrongSize)
{
    struct Case
    {
        const char* what;
        Bytes after; // what the radio sends after letting the transfer proceed
    };
    const Case cases[] = {
        {"silence", {}},
        {"identity reply", WithCode(0x04, 0x05, Bytes(8, 0x11))},
        {"short block", WithCode(0x03, 0x02, Bytes(100, 0x22))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto transfer = MakeTransfer();
        ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            ExpectMessage(io, kUploadRequest);
            SendMessage(io, kProceed);
            if (!c.after.empty()) {
                SendMessage(io, c.after);
            }
        });
        EXPECT_EQ(transfer->Upload(), TransferResult::Failed);
        ExpectClean(peer);
        EXPECT_FALSE(IsLinkActive(rig.link));
        EXPECT_EQ(transfer->GetLength(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, UploadTest, ::testing::Values(LinkPath::Device, LinkPath::PortComponent),
                         [](const auto& info) { return std::string(test::PathName(info.param)); });

// The rest runs on the device path only: the paths differ below the link, not here.
class DeviceTransferTest : public TransferTest
{
  protected:
    LinkPath Path() const override { return LinkPath::Device; }
};

TEST_F(DeviceTransferTest, AChainThatNeverEndsStoresNothingPastTheBuffer)
{
    // Every block is a 64-word block: the scan ends only once more than 32768 bytes have come.
    Bytes image(kCodeplugBufferBytes + 128);
    for (std::size_t i = 0; i < image.size(); i += 128) {
        Bytes block = test::PatternBytes(128, static_cast<std::uint8_t>(i / 128));
        block[0] = block[1] = 0x5F;
        block[2] = 0x00;
        block[3] = 0x40;
        std::copy(block.begin(), block.end(), image.begin() + static_cast<std::ptrdiff_t>(i));
    }
    auto transfer = MakeTransfer();
    int served = 0;
    ScriptedPeer peer(rig.pty, [&](PeerIo& io) { served = ServeUpload(io, image); });
    EXPECT_EQ(transfer->Upload(), TransferResult::Done);
    ExpectClean(peer);
    EXPECT_EQ(served, 257);
    EXPECT_EQ(transfer->GetLength(), kCodeplugBufferBytes);
    EXPECT_TRUE(std::equal(storage.begin(), storage.end(), image.begin()));
}

TEST_F(DeviceTransferTest, PasswordStepProceedsAtOnceOrAsksUpToThreeTimes)
{
    // Answered at once (03 0E): no dialog.
    {
        auto transfer = MakeTransfer();
        ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            ExpectMessage(io, kUploadRequest);
            SendMessage(io, {0x03, 0x0E});
            SendMessage(io, WithCode(0x03, 0x02, Bytes(128, 0x01)));
            ExpectMessage(io, kEnd);
        });
        EXPECT_EQ(transfer->Upload(), TransferResult::Done);
        ExpectClean(peer);
        EXPECT_EQ(prompts, 0);
    }
    // Cancel on the first dialog, or a text without a digit (no FF FF FF FF password): 03 04 only.
    for (const std::optional<std::string>& answer :
         {std::optional<std::string>(), std::optional<std::string>("ab")}) {
        prompts = 0;
        answers = {answer};
        auto transfer = MakeTransfer();
        ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            ExpectMessage(io, kUploadRequest);
            SendMessage(io, kPasswordRequest);
            ExpectMessage(io, kEnd);
            io.ExpectSilence(200);
        });
        EXPECT_EQ(transfer->Upload(), TransferResult::Failed);
        ExpectClean(peer);
        EXPECT_EQ(prompts, 1);
        EXPECT_FALSE(IsLinkActive(rig.link));
        EXPECT_FALSE(transfer->PasswordRefused());
    }
    // Three refused passwords and a fourth request: three dialogs, the digits packed as typed
    // (four digits; letters between digits; more than eight digits), then 03 04.
    {
        prompts = 0;
        answers = {"1234", "9a8 b-7", "1234567890"};
        auto transfer = MakeTransfer();
        std::vector<Bytes> sent;
        ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            ExpectMessage(io, kUploadRequest);
            for (int i = 0; i < 3; ++i) {
                SendMessage(io, kPasswordRequest);
                sent.push_back(NextMessage(io));
            }
            SendMessage(io, kPasswordRequest);
            ExpectMessage(io, kEnd);
        });
        EXPECT_EQ(transfer->Upload(), TransferResult::Failed);
        ExpectClean(peer);
        EXPECT_EQ(prompts, 3);
        EXPECT_TRUE(transfer->PasswordRefused());
        EXPECT_THAT(sent, ::testing::ElementsAre(Bytes{0x03, 0x0C, 0x12, 0x34, 0xFF, 0xFF},
                                                 Bytes{0x03, 0x0C, 0x98, 0x7F, 0xFF, 0xFF},
                                                 Bytes{0x03, 0x0C, 0x12, 0x34, 0x56, 0x78}));
    }
    // No answer at all to the request: the transfer is ended with 03 04 after the time-out.
    {
        prompts = 0;
        auto transfer = MakeTransfer();
        ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            ExpectMessage(io, kUploadRequest);
            ExpectMessage(io, kEnd);
        });
        EXPECT_EQ(transfer->Upload(), TransferResult::Failed);
        ExpectClean(peer);
        EXPECT_EQ(prompts, 0);
    }
}

// The radio's side of a download: after the request and the password step, asks for blocks,
// unscrambles each with its own identity, and reports checksums where told.
struct DownloadLog
{
    std::vector<Bytes> plainBlocks;
    std::vector<Bytes> scrambledBlocks;
    std::vector<Bytes> verdicts;
};

TEST_P(TransferTest, DownloadSendsAnEvenNumberOfScrambledBlocksAndAnswersChecksums)
{
    const Bytes image = test::PatternBytes(384, 9);
    auto transfer = MakeTransfer();
    std::copy(image.begin(), image.end(), storage.begin());
    transfer->SetIdentity(kIdentity);
    transfer->SetBuffer(Buffer(), 384);
    answers = {"4711"};
    DownloadLog log;
    ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
        ExpectMessage(io, kDownloadRequest);
        SendMessage(io, kPasswordRequest);
        ExpectMessage(io, {0x03, 0x0C, 0x47, 0x11, 0xFF, 0xFF});
        SendMessage(io, kProceed);
        DownloadKeystream keystream(kIdentityBytes);
        auto takeBlock = [&] {
            SendMessage(io, kNextBlock);
            Bytes m = NextMessage(io);
            if (m.size() != 130 || m[0] != 0x03 || m[1] != 0x02) {
                io.Fail("expected a data block, got " + test::Hex(m));
                return;
            }
            Bytes block(m.begin() + 2, m.end());
            log.scrambledBlocks.push_back(block);
            std::array<std::uint8_t, 128> plain{};
            std::copy(block.begin(), block.end(), plain.begin());
            UnscrambleBlock(keystream, plain);
            log.plainBlocks.emplace_back(plain.begin(), plain.end());
        };
        takeBlock();
        takeBlock();
        // Agreeing report over the first pair.
        SendMessage(io, WithCode(0x03, 0x03,
                                 {static_cast<std::uint8_t>(test::BigEndianSum(image, 0, 256) >> 8),
                                  static_cast<std::uint8_t>(test::BigEndianSum(image, 0, 256))}));
        log.verdicts.push_back(NextMessage(io));
        takeBlock();
        takeBlock();
        // A report over the second pair only agrees when the sum started again at 0; one more
        // report that differs gets 03 06 and the download goes on.
        Bytes pair(image.begin() + 256, image.end());
        pair.resize(256, 0x20);
        const std::uint16_t sum = test::BigEndianSum(pair, 0, 256);
        SendMessage(
            io, WithCode(0x03, 0x03, {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)}));
        log.verdicts.push_back(NextMessage(io));
        SendMessage(io, WithCode(0x03, 0x03, {0x12, 0x34}));
        log.verdicts.push_back(NextMessage(io));
        SendMessage(io, kNextBlock);
        ExpectMessage(io, kEnd);
    });
    // The transfer ran to its end, but the radio summed a pair differently from what was sent:
    // what it holds is not this codeplug.
    EXPECT_EQ(transfer->Download(), TransferResult::Failed);
    ExpectClean(peer);
    EXPECT_FALSE(IsLinkActive(rig.link));
    ASSERT_EQ(log.plainBlocks.size(), 4U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(log.plainBlocks[i], Bytes(image.begin() + static_cast<std::ptrdiff_t>(i * 128),
                                            image.begin() + static_cast<std::ptrdiff_t>(i * 128 + 128)))
            << "block " << i;
        EXPECT_NE(log.scrambledBlocks[i], log.plainBlocks[i]) << "block " << i << " went out plain";
    }
    EXPECT_EQ(log.plainBlocks[3], Bytes(128, 0x20));
    EXPECT_THAT(log.verdicts, ::testing::ElementsAre(kChecksumMatches, kChecksumMatches, kChecksumDiffers));
}

// The radio's last request answered with 03 04, which nothing acknowledges: if the line is gone
// before those bytes are read, the download has failed, although every write succeeded.
TEST_P(TransferTest, DownloadFailsWhenTheLineGoesBeforeTheEndIsRead)
{
    const Bytes image = test::PatternBytes(256, 4);
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "line cut" : "line held");
        auto transfer = MakeTransfer();
        std::copy(image.begin(), image.end(), storage.begin());
        transfer->SetIdentity(kIdentity);
        transfer->SetBuffer(Buffer(), 256);
        ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            ExpectMessage(io, kDownloadRequest);
            SendMessage(io, kProceed);
            for (int i = 0; i < 2; ++i) {
                SendMessage(io, kNextBlock);
                NextMessage(io);
            }
            const std::uint16_t sum = test::BigEndianSum(image, 0, 256);
            SendMessage(io, WithCode(0x03, 0x03,
                                     {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)}));
            ExpectMessage(io, kChecksumMatches);
            SendMessage(io, kNextBlock);
            if (cut) {
                // The program answers into the line; the line dies before anyone reads it.
                io.Sleep(20);
                io.Close();
            } else {
                ExpectMessage(io, kEnd);
                io.ExpectSilence(100);
            }
        });
        const TransferResult result = transfer->Download();
        ExpectClean(peer);
        EXPECT_FALSE(IsLinkActive(rig.link));
        EXPECT_EQ(result, cut ? TransferResult::Failed : TransferResult::Done);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, TransferTest,
                         ::testing::Values(LinkPath::Device, LinkPath::PortComponent),
                         [](const auto& info) { return std::string(test::PathName(info.param)); });

TEST_F(DeviceTransferTest, DownloadOfPartialAndEmptyImagesEndsOnAnEvenBlock)
{
    // 200 bytes: two blocks, the second completed from the fill.
    const Bytes image = test::PatternBytes(200, 5);
    auto transfer = MakeTransfer();
    std::copy(image.begin(), image.end(), storage.begin());
    std::fill(storage.begin() + 200, storage.end(), std::uint8_t{0xAB});
    transfer->SetIdentity(kIdentity);
    transfer->SetBuffer(Buffer(), 200);
    test::RecordedBytes bytes;
    transfer->SetByteProgress(&bytes, "codeplug-download");
    std::vector<Bytes> plain;
    ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
        ExpectMessage(io, kDownloadRequest);
        SendMessage(io, kProceed);
        DownloadKeystream keystream(kIdentityBytes);
        for (int i = 0; i < 2; ++i) {
            SendMessage(io, kNextBlock);
            const Bytes m = NextMessage(io);
            std::array<std::uint8_t, 128> block{};
            if (m.size() == 130) {
                std::copy(m.begin() + 2, m.end(), block.begin());
            }
            UnscrambleBlock(keystream, block);
            plain.emplace_back(block.begin(), block.end());
        }
        SendMessage(io, kNextBlock);
        ExpectMessage(io, kEnd);
    });
    EXPECT_EQ(transfer->Download(), TransferResult::Done);
    ExpectClean(peer);
    ASSERT_EQ(plain.size(), 2U);
    Bytes expected(image.begin() + 128, image.end());
    expected.resize(128, 0x20);
    EXPECT_EQ(plain[1], expected);
    // The bytes of the blocks sent, of a total known from the start: the image in whole pairs.
    EXPECT_THAT(bytes.lines, ElementsAre("begin codeplug-download 256", "done 128", "done 256", "end"));

    // Length 0: the first request ends it.
    auto empty = MakeTransfer();
    empty->SetIdentity(kIdentity);
    empty->SetBuffer(Buffer(), 0);
    test::RecordedBytes nothing;
    empty->SetByteProgress(&nothing, "codeplug-download");
    ScriptedPeer none(rig.pty, [&](PeerIo& io) {
        ExpectMessage(io, kDownloadRequest);
        SendMessage(io, kProceed);
        SendMessage(io, kNextBlock);
        ExpectMessage(io, kEnd);
        io.ExpectSilence(200);
    });
    EXPECT_EQ(empty->Download(), TransferResult::Done);
    ExpectClean(none);
    EXPECT_THAT(nothing.lines, ElementsAre("begin codeplug-download 0", "end"));
}

TEST_F(DeviceTransferTest, DownloadCutShortIsAFailureUntilEveryImageBlockHasGone)
{
    const Bytes image = test::PatternBytes(384, 1);
    struct Case
    {
        int blocksBefore;
        TransferResult expected;
    };
    // Unexpected 04 05 after 2 of 3 image blocks: failure. After all 3 (the fill block not yet
    // sent): the download has written the image and ends as before.
    for (const Case c : {Case{2, TransferResult::Failed}, Case{3, TransferResult::Done}}) {
        SCOPED_TRACE(c.blocksBefore);
        auto transfer = MakeTransfer();
        std::copy(image.begin(), image.end(), storage.begin());
        transfer->SetIdentity(kIdentity);
        transfer->SetBuffer(Buffer(), 384);
        ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            ExpectMessage(io, kDownloadRequest);
            SendMessage(io, kProceed);
            for (int i = 0; i < c.blocksBefore; ++i) {
                SendMessage(io, kNextBlock);
                NextMessage(io);
            }
            SendMessage(io, WithCode(0x04, 0x05, Bytes(8, 0)));
            io.ExpectSilence(200);
        });
        EXPECT_EQ(transfer->Download(), c.expected);
        ExpectClean(peer);
        EXPECT_FALSE(IsLinkActive(rig.link));
    }
    // A radio that falls silent halfway: failure.
    auto transfer = MakeTransfer();
    transfer->SetIdentity(kIdentity);
    transfer->SetBuffer(Buffer(), 384);
    ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
        ExpectMessage(io, kDownloadRequest);
        SendMessage(io, kProceed);
        SendMessage(io, kNextBlock);
        NextMessage(io);
    });
    EXPECT_EQ(transfer->Download(), TransferResult::Failed);
    ExpectClean(peer);
}

TEST_F(DeviceTransferTest, DownloadWithoutTheWholeIdentityOrWithABadLengthSendsNothing)
{
    auto transfer = MakeTransfer();
    ScriptedPeer peer(rig.pty, [](PeerIo& io) { io.ExpectSilence(300); });
    transfer->SetBuffer(Buffer(), 128);
    EXPECT_EQ(transfer->Download(), TransferResult::Failed);
    transfer->SetIdentity("1A2B3C"); // three bytes are no identity
    EXPECT_FALSE(transfer->HasIdentity());
    EXPECT_EQ(transfer->Download(), TransferResult::Failed);
    transfer->SetIdentity(kIdentity);
    ASSERT_TRUE(transfer->HasIdentity());
    EXPECT_EQ(transfer->Identity(), kIdentityBytes);
    transfer->SetLength(kCodeplugBufferBytes + 128);
    EXPECT_EQ(transfer->Download(), TransferResult::Failed);
    transfer->SetLength(-2);
    EXPECT_EQ(transfer->Download(), TransferResult::Failed);
    ExpectClean(peer);
}

} // namespace
} // namespace aurex

// The radio's side of each exchange, driven as the program drives it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "codeplug-builder/codeplug_builder.h"
#include "convert/codeplug_image.h"
#include "link/word_sum.h"
#include "radio_bench.h"
#include "transfer/download_keystream.h"
#include "transfer/password_encoding.h"

namespace aurex::sim::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Bytes kReady{0x02, 0x07};

// The pair checksum the program computes: words stored low byte first.
std::uint16_t PairSum(const Bytes& a, const Bytes& b)
{
    std::uint16_t sum = 0;
    for (const Bytes* block : {&a, &b}) {
        for (std::size_t i = 0; i < block->size(); i += 2) {
            sum = static_cast<std::uint16_t>(sum + (*block)[i] + ((*block)[i + 1] << 8));
        }
    }
    return sum;
}

Bytes ChecksumReply(std::uint16_t sum)
{
    return {0x02, 0x02, static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)};
}

// Sends one pair as the flash download does and checks every handshake on the way.
void SendPair(RadioBench& bench, const Bytes& first, const Bytes& second)
{
    ASSERT_THAT(bench.Exchange(WithCode(0x02, 0x09, first)), ElementsAre(kReady));
    ASSERT_THAT(bench.Exchange(WithCode(0x02, 0x09, second)),
                ElementsAre(ChecksumReply(PairSum(first, second))));
    ASSERT_THAT(bench.Exchange({0x02, 0x05}), ElementsAre(kReady));
}

RadioProfile FastRadio()
{
    RadioProfile profile;
    profile.eraseMs = 50;
    profile.restartMs = 100;
    return profile;
}

Bytes LineOrder(const BuiltCodeplug& built)
{
    Bytes bytes;
    for (std::uint32_t i = 0; i < built.imageLength; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(built.buffer[i] >> 8));
        bytes.push_back(static_cast<std::uint8_t>(built.buffer[i]));
    }
    return bytes;
}

TEST(RadioIdentification, AnswersEveryQueryWithTheProfileAndDeclinesTheRest)
{
    RadioProfile profile;
    profile.serial = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0xFF};
    profile.bootVersion = {6, 3};
    profile.format = std::array<std::uint8_t, 2>{5, 8};
    RadioBench bench(profile);

    EXPECT_THAT(bench.Exchange({0x04, 0x1C}), ElementsAre(Bytes{0x04, 0x1D, 5, 8}));
    EXPECT_THAT(bench.Exchange({0x04, 0x0B}), ElementsAre(Bytes{0x04, 0x0C, 3, 1, 4}));
    EXPECT_THAT(bench.Exchange({0x04, 0x09}), ElementsAre(Bytes{0x04, 0x0A, 4, 2, 0}));
    EXPECT_THAT(bench.Exchange({0x04, 0x07}), ElementsAre(Bytes{0x04, 0x08, 1, 0, 2}));
    // The serial number travels stuffed (10 and nothing else here) and arrives whole.
    EXPECT_THAT(bench.Exchange({0x04, 0x04}),
                ElementsAre(Bytes{0x04, 0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0xFF}));
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), ElementsAre(Bytes{0x04, 0x2E, 6, 3}));
    EXPECT_THAT(bench.Exchange({0x04, 0x3E}), ElementsAre(Bytes{0x04, 0x3F, 1, 3}));
    // A request this radio does not serve, and one with a payload, are declined.
    EXPECT_THAT(bench.Exchange({0x04, 0x2A}), ElementsAre(Bytes{0x04, 0x20}));
    EXPECT_THAT(bench.Exchange({0x04, 0x2D, 0x00}), ElementsAre(Bytes{0x04, 0x20}));

    RadioProfile declining;
    declining.decline = {*ParseTrigger("04 2D"), *ParseTrigger("043E")};
    RadioBench other(declining);
    EXPECT_THAT(other.Exchange({0x04, 0x2D}), ElementsAre(Bytes{0x04, 0x20}));
    EXPECT_THAT(other.Exchange({0x04, 0x3E}), ElementsAre(Bytes{0x04, 0x20}));
    EXPECT_THAT(other.Exchange({0x04, 0x0B}), ElementsAre(Bytes{0x04, 0x0C, 3, 1, 4}));
}

TEST(RadioIdentification, FormatIsTheHeldCodeplugsUntilNewCodeRuns)
{
    CodeplugOptions options;
    options.formatIndex = 3;
    RadioProfile profile = FastRadio();
    profile.identityNotice = true;
    RadioBench bench(profile, LineOrder(BuildCodeplug(options)));
    EXPECT_THAT(bench.Exchange({0x04, 0x1C}), ElementsAre(Bytes{0x04, 0x1D, 5, 8}));
    // No notice before the first restart.
    EXPECT_EQ(bench.Exchange({0x04, 0x04}).size(), 1u);

    // Loader, erase, code image, restart.
    for (int image = 0; image < 2; ++image) {
        ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
        SendPair(bench, DataBlock(1), DataBlock(2));
        bench.Send({0x02, 0x04});
        ASSERT_TRUE(bench.WaitForNextEvent());
    }
    EXPECT_EQ(bench.Radio().State(), RadioState::Application);
    EXPECT_THAT(bench.Exchange({0x04, 0x1C}), ElementsAre(Bytes{0x04, 0x1D, 5, 10}));
    // After the restart the identity reply is preceded by the 07 25 notice, once.
    const auto first = bench.Exchange({0x04, 0x04});
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0], (Bytes{0x07, 0x25}));
    EXPECT_EQ(first[1][1], 0x05);
    EXPECT_EQ(bench.Exchange({0x04, 0x04}).size(), 1u);
}

TEST(RadioFlash, LoaderAndCodeWithPairChecksumsEraseRestartAndDumps)
{
    RadioBench bench(FastRadio());
    const Bytes l1 = DataBlock(1), l2 = DataBlock(2);
    ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
    SendPair(bench, l1, l2);
    bench.Send({0x02, 0x04});
    EXPECT_THAT(bench.Replies(), IsEmpty()); // the end of an image is not answered
    EXPECT_EQ(bench.Radio().State(), RadioState::Erasing);

    // A start sent while the loader still erases is lost, as on the radio.
    EXPECT_THAT(bench.Exchange({0x02, 0x01}), IsEmpty());
    bench.Wait(50ms);
    EXPECT_EQ(bench.Radio().State(), RadioState::BootLoad);

    // The code image: two pairs, the program answering each checksum.
    ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
    const Bytes c1 = DataBlock(3), c2 = DataBlock(4), c3 = DataBlock(5), c4 = Bytes(128, 0xFF);
    SendPair(bench, c1, c2);
    SendPair(bench, c3, c4);
    bench.Send({0x02, 0x04});
    bench.Send({0x09, 0x00, 0x01});
    EXPECT_EQ(bench.Radio().State(), RadioState::Restarting);
    EXPECT_EQ(bench.Radio().Baud(), 19200);
    // Deaf while restarting.
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), IsEmpty());
    bench.Wait(100ms);
    EXPECT_EQ(bench.Radio().State(), RadioState::Application);
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), ElementsAre(Bytes{0x04, 0x2E, 4, 0}));

    const auto files = bench.Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].kind, "loader");
    EXPECT_EQ(files[0].bytes, Cat({l1, l2}));
    EXPECT_EQ(files[1].kind, "code");
    EXPECT_EQ(files[1].bytes, Cat({c1, c2, c3, c4}));
}

TEST(RadioFlash, BootUpdatesRestartIntoBootLoadAndNotReadyIsAnsweredFirst)
{
    RadioProfile profile = FastRadio();
    profile.bootUpdates = 1;
    profile.notReady = 2;
    RadioBench bench(profile);
    // Not ready twice (the half-duplex path asks again), then ready.
    EXPECT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(Bytes{0x02, 0x0A}));
    EXPECT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(Bytes{0x02, 0x0A}));
    for (int image = 0; image < 2; ++image) {
        ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
        SendPair(bench, DataBlock(7), DataBlock(8));
        bench.Send({0x02, 0x04});
        bench.Wait(100ms);
    }
    EXPECT_EQ(bench.Radio().State(), RadioState::BootLoad);
    // Boot code leaves the codeplug format alone; the application update that follows changes it.
    const auto format = bench.Radio().Format();
    for (int image = 0; image < 2; ++image) {
        ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
        SendPair(bench, DataBlock(9), DataBlock(10));
        bench.Send({0x02, 0x04});
        bench.Wait(100ms);
    }
    EXPECT_EQ(bench.Radio().State(), RadioState::Application);
    EXPECT_NE(bench.Radio().Format(), format);
    std::vector<std::string> kinds;
    for (const auto& f : bench.Files()) {
        kinds.push_back(f.kind);
    }
    EXPECT_THAT(kinds, ElementsAre("loader", "boot-code", "loader", "code"));
}

TEST(RadioFlash, WrongPairChecksumOnceThenResendsAndAlways)
{
    RadioProfile once = FastRadio();
    once.eraseMs = 0;
    once.badChecksum = BadChecksum::Once;
    RadioBench bench(once);
    const Bytes a = DataBlock(1), b = DataBlock(2);
    ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
    bench.Exchange(WithCode(0x02, 0x09, a));
    const auto reported = bench.Exchange(WithCode(0x02, 0x09, b));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0], ChecksumReply(PairSum(a, b)));
    // The program says it differs and resends the second block; each resend gets a ready.
    EXPECT_THAT(bench.Exchange({0x02, 0x06}), ElementsAre(kReady));
    EXPECT_THAT(bench.Exchange(WithCode(0x02, 0x09, b)), ElementsAre(kReady));
    EXPECT_THAT(bench.Exchange(WithCode(0x02, 0x09, b)), ElementsAre(kReady));
    // Only once: the next pair is reported right, and the image holds each block once.
    SendPair(bench, DataBlock(3), DataBlock(4));
    bench.Send({0x02, 0x04});
    const auto files = bench.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].bytes, Cat({a, b, DataBlock(3), DataBlock(4)}));

    RadioProfile always = FastRadio();
    always.badChecksum = BadChecksum::Always;
    RadioBench wrong(always);
    ASSERT_THAT(wrong.Exchange({0x02, 0x01}), ElementsAre(kReady));
    for (unsigned pair = 0; pair < 3; ++pair) {
        wrong.Exchange(WithCode(0x02, 0x09, DataBlock(2 * pair)));
        const auto r = wrong.Exchange(WithCode(0x02, 0x09, DataBlock(2 * pair + 1)));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_NE(r[0], ChecksumReply(PairSum(DataBlock(2 * pair), DataBlock(2 * pair + 1)))) << pair;
        EXPECT_THAT(wrong.Exchange({0x02, 0x05}), ElementsAre(kReady));
    }
}

TEST(RadioFlash, VerifyFailureAnswersThePairOfTheBlockWithItsAddress)
{
    RadioProfile profile = FastRadio();
    profile.eraseMs = 0;
    profile.verifyFailBlock = 3;
    profile.flashBase = 0x00FE0000;
    RadioBench bench(profile);
    // The loader never fails verification: it is not flashed.
    ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
    SendPair(bench, DataBlock(1), DataBlock(2));
    SendPair(bench, DataBlock(3), DataBlock(4));
    bench.Send({0x02, 0x04});

    ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
    SendPair(bench, DataBlock(1), DataBlock(2));
    ASSERT_THAT(bench.Exchange(WithCode(0x02, 0x09, DataBlock(3))), ElementsAre(kReady));
    bench.Exchange(WithCode(0x02, 0x09, DataBlock(4)));
    // Block 3 starts 256 bytes into the image.
    EXPECT_THAT(bench.Exchange({0x02, 0x05}), ElementsAre(Bytes{0x02, 0x0A, 0x00, 0xFE, 0x01, 0x00}));
}

TEST(RadioFlash, DspPagesAfterALoaderThatDoesNotErase)
{
    RadioProfile profile = FastRadio();
    profile.eraseMs = 0;
    RadioBench bench(profile);
    // The DSP start means nothing before a loader runs.
    EXPECT_THAT(bench.Exchange({0x02, 0x00}), IsEmpty());
    ASSERT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(kReady));
    SendPair(bench, DataBlock(1), DataBlock(2));
    bench.Send({0x02, 0x04});

    ASSERT_THAT(bench.Exchange({0x02, 0x00}), ElementsAre(kReady));
    SendPair(bench, DataBlock(5), DataBlock(6));
    SendPair(bench, DataBlock(7), Bytes(128, 0x20));
    EXPECT_THAT(bench.Exchange({0x02, 0x08}), ElementsAre(Bytes{0x02, 0x03}));
    // A differing checksum does not stop a DSP page: no resend is expected.
    bench.Exchange(WithCode(0x02, 0x09, DataBlock(8)));
    bench.Exchange(WithCode(0x02, 0x09, DataBlock(9)));
    EXPECT_THAT(bench.Exchange({0x02, 0x06}), ElementsAre(kReady));
    EXPECT_THAT(bench.Exchange({0x02, 0x08}), ElementsAre(Bytes{0x02, 0x03}));
    bench.Send({0x02, 0x04});
    EXPECT_EQ(bench.Radio().State(), RadioState::Restarting);

    const auto files = bench.Files();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[1].kind, "dsp-page-1");
    EXPECT_EQ(files[1].bytes, Cat({DataBlock(5), DataBlock(6), DataBlock(7), Bytes(128, 0x20)}));
    EXPECT_EQ(files[2].kind, "dsp-page-2");
    EXPECT_EQ(files[2].bytes, Cat({DataBlock(8), DataBlock(9)}));
}

TEST(RadioFlash, ModesGuardTheirMessages)
{
    RadioProfile application;
    application.mode = StartMode::Application;
    RadioBench app(application);
    EXPECT_THAT(app.Exchange({0x02, 0x01}), IsEmpty());
    RadioBench boot{RadioProfile{}};
    EXPECT_THAT(boot.Exchange({0x03, 0x07}), IsEmpty());
    // Blocks, verdicts and ends without an open image are ignored, not stored.
    EXPECT_THAT(boot.Exchange(WithCode(0x02, 0x09, DataBlock(1))), IsEmpty());
    EXPECT_THAT(boot.Exchange({0x02, 0x05}), IsEmpty());
    boot.Send({0x02, 0x04});
    EXPECT_THAT(boot.Files(), IsEmpty());
}

class RadioCodeplug : public ::testing::Test
{
  protected:
    static RadioProfile Application(std::string password = {})
    {
        RadioProfile profile;
        profile.mode = StartMode::Application;
        profile.password = std::move(password);
        return profile;
    }

    // Uploads as the program does: blocks until the chain ends (here: a fixed count).
    static Bytes Upload(RadioBench& bench, std::size_t blocks)
    {
        Bytes image;
        auto replies = bench.Exchange({0x03, 0x07});
        EXPECT_EQ(replies.size(), 2u);
        EXPECT_EQ(replies[0], (Bytes{0x03, 0x0D}));
        for (std::size_t i = 0;; ++i) {
            EXPECT_EQ(replies.back().size(), 130u);
            EXPECT_EQ(replies.back()[1], 0x02);
            image.insert(image.end(), replies.back().begin() + 2, replies.back().end());
            if (i + 1 == blocks) {
                break;
            }
            replies = bench.Exchange({0x03, 0x08});
            EXPECT_EQ(replies.size(), 1u);
        }
        EXPECT_THAT(bench.Exchange({0x03, 0x04}), IsEmpty());
        return image;
    }

    // Downloads as the program does: every block scrambled, every checksum report answered.
    static void Download(RadioBench& bench, const Bytes& image, const std::array<std::uint8_t, 8>& identity,
                         std::vector<std::uint16_t>* reports = nullptr)
    {
        DownloadKeystream keystream(identity);
        auto replies = bench.Exchange({0x03, 0x00});
        ASSERT_EQ(replies.size(), 2u);
        EXPECT_EQ(replies[0], (Bytes{0x03, 0x0D}));
        Bytes ask = replies[1];
        std::size_t index = 0;
        std::uint16_t running = 0;
        for (int turn = 0; turn < 1000; ++turn) {
            if (ask.size() == 4 && ask[0] == 0x03 && ask[1] == 0x03) {
                const auto reported = static_cast<std::uint16_t>(ask[2] << 8 | ask[3]);
                if (reports != nullptr) {
                    reports->push_back(reported);
                }
                replies =
                    bench.Exchange({0x03, static_cast<std::uint8_t>(reported == running ? 0x05 : 0x06)});
                running = 0;
            } else {
                ASSERT_EQ(ask, (Bytes{0x03, 0x08}));
                if (index * 128 >= image.size() && index % 2 == 0) {
                    bench.Send({0x03, 0x04});
                    return;
                }
                std::array<std::uint8_t, 128> block;
                block.fill(0x20);
                for (std::size_t i = 0; i < 128 && index * 128 + i < image.size(); ++i) {
                    block[i] = image[index * 128 + i];
                }
                running = static_cast<std::uint16_t>(running + WordSum(block));
                ScrambleBlock(keystream, block);
                replies = bench.Exchange(WithCode(0x03, 0x02, Bytes(block.begin(), block.end())));
                ++index;
            }
            ASSERT_EQ(replies.size(), 1u);
            ask = replies[0];
        }
        FAIL() << "the download did not end";
    }
};

TEST_F(RadioCodeplug, UploadSendsTheHeldCodeplugBlockByBlock)
{
    CodeplugOptions options;
    options.formatIndex = 3;
    const Bytes held = LineOrder(BuildCodeplug(options));
    RadioBench bench(Application(), held);
    const std::size_t blocks = (held.size() + 127) / 128;
    const Bytes uploaded = Upload(bench, blocks);
    ASSERT_EQ(uploaded.size(), blocks * 128);
    EXPECT_TRUE(std::equal(held.begin(), held.end(), uploaded.begin()));
    // Behind the codeplug the radio's memory reads erased.
    EXPECT_TRUE(std::all_of(uploaded.begin() + static_cast<std::ptrdiff_t>(held.size()), uploaded.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    // In host order the image is the valid 5.8 codeplug it was built as.
    std::vector<std::uint16_t> words(kParmsBufferWords, 0);
    for (std::size_t i = 0; i < held.size() / 2; ++i) {
        words[i] = static_cast<std::uint16_t>(uploaded[2 * i] << 8 | uploaded[2 * i + 1]);
    }
    EXPECT_TRUE(ParmsIsValid(words.data()));
}

TEST_F(RadioCodeplug, ScrambledDownloadIsDescrambledCheckedAndKept)
{
    CodeplugOptions options;
    options.formatIndex = 5;
    const Bytes image = LineOrder(BuildCodeplug(options));
    ASSERT_NE(image.size() % 256, 0u); // the fill to an even block count is exercised
    RadioProfile profile = Application();
    RadioBench bench(profile);
    std::vector<std::uint16_t> reports;
    Download(bench, image, profile.serial, &reports);

    const std::size_t blocks = (image.size() + 255) / 256 * 2;
    ASSERT_EQ(reports.size(), blocks / 2);
    // Each report is the word sum of the two plain blocks, big-endian words.
    Bytes padded = image;
    padded.resize(blocks * 128, 0x20);
    for (std::size_t pair = 0; pair < reports.size(); ++pair) {
        EXPECT_EQ(reports[pair], WordSum(padded.data() + pair * 256, 256)) << pair;
    }
    const auto files = bench.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].kind, "codeplug");
    EXPECT_EQ(files[0].bytes, padded);
    // The radio now holds it: an upload reads it back.
    EXPECT_TRUE(std::equal(padded.begin(), padded.end(), Upload(bench, blocks).begin()));
}

TEST_F(RadioCodeplug, DownloadScrambledForAnotherIdentityArrivesAsNoise)
{
    RadioProfile profile = Application();
    RadioBench bench(profile);
    const Bytes image(512, 0x42);
    std::array<std::uint8_t, 8> other = profile.serial;
    other[7] ^= 1;
    std::vector<std::uint16_t> reports;
    Download(bench, image, other, &reports);
    const auto files = bench.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(files[0].bytes, image);
    // The radio's checksums cover what it descrambled, so the program sees them differ.
    EXPECT_NE(reports[0], WordSum(image.data(), 256));
}

TEST_F(RadioCodeplug, PasswordIsAskedUntilRightAndTheProgramMayGiveUp)
{
    RadioBench bench(Application("1234"));
    const auto payload = [](const char* text) {
        const auto p = EncodePassword(text);
        return WithCode(0x03, 0x0C, Bytes(p.begin(), p.end()));
    };
    EXPECT_THAT(bench.Exchange({0x03, 0x07}), ElementsAre(Bytes{0x03, 0x0B}));
    EXPECT_THAT(bench.Exchange(payload("4321")), ElementsAre(Bytes{0x03, 0x0B}));
    const auto accepted = bench.Exchange(payload("12 34"));
    ASSERT_EQ(accepted.size(), 2u);
    EXPECT_EQ(accepted[0], (Bytes{0x03, 0x0D}));
    EXPECT_EQ(accepted[1].size(), 130u);
    bench.Send({0x03, 0x04});

    // The program ends the transfer after three refusals; the radio is idle again.
    EXPECT_THAT(bench.Exchange({0x03, 0x00}), ElementsAre(Bytes{0x03, 0x0B}));
    bench.Send({0x03, 0x04});
    EXPECT_THAT(bench.Exchange(payload("1234")), IsEmpty());
    EXPECT_THAT(bench.Exchange({0x03, 0x08}), IsEmpty());

    RadioProfile other = Application("1");
    other.acceptCommand = 0x0E;
    RadioBench second(other);
    second.Exchange({0x03, 0x00});
    EXPECT_THAT(second.Exchange(payload("1")), ElementsAre(Bytes{0x03, 0x0E}, Bytes{0x03, 0x08}));
}

} // namespace
} // namespace aurex::sim::test

// The real aurex-radio-sim, driven over its pseudo-terminal by a scripted client.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "convert/codeplug_image.h"
#include "link/word_sum.h"
#include "sim_client.h"
#include "support/pty_pair.h"
#include "support/radio_sim_process.h"
#include "transfer/download_keystream.h"
#include "transfer/password_encoding.h"

namespace aurex::sim::test {
namespace {

using aurex::test::RadioSimProcess;
using ::testing::ElementsAre;
using ::testing::Optional;

const Bytes kReady{0x02, 0x07};

Bytes WithCode(std::uint8_t cls, std::uint8_t cmd, const Bytes& payload)
{
    Bytes message{cls, cmd};
    message.insert(message.end(), payload.begin(), payload.end());
    return message;
}

Bytes Block(unsigned seed)
{
    Bytes block(128);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(seed * 53 + i * 3);
    }
    return block;
}

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

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder for the simulator's dumps.
class DumpDir
{
  public:
    DumpDir()
    {
        std::string name = ::testing::TempDir() + "radio-sim-dumps-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = name;
    }
    ~DumpDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& Path() const { return path_; }
    std::map<std::string, Bytes> Files() const
    {
        std::map<std::string, Bytes> files;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            files[entry.path().filename().string()] = ReadFile(entry.path());
        }
        return files;
    }

  private:
    std::filesystem::path path_;
};

// Waits (bounded) until the simulator logs `text` after the first `from` characters of its log:
// its timed states (erasing, restarting) end in its own process, whenever the machine lets it run.
::testing::AssertionResult LoggedAfter(const RadioSimProcess& sim, std::size_t from, const std::string& text)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sim.Log().find(text, from) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return ::testing::AssertionFailure() << "no \"" << text << "\" in:\n" << sim.Log();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ::testing::AssertionSuccess();
}

// Streams one image through the flash download handshake; false at the first surprise.
::testing::AssertionResult Flash(SimClient& client, const std::vector<Bytes>& blocks)
{
    if (client.Exchange({0x02, 0x01}) != kReady) {
        return ::testing::AssertionFailure() << "no ready for 02 01";
    }
    for (std::size_t i = 0; i < blocks.size(); i += 2) {
        if (client.Exchange(WithCode(0x02, 0x09, blocks[i])) != kReady) {
            return ::testing::AssertionFailure() << "no ready after block " << i + 1;
        }
        const auto sum = PairSum(blocks[i], blocks[i + 1]);
        const Bytes expected{0x02, 0x02, static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)};
        if (client.Exchange(WithCode(0x02, 0x09, blocks[i + 1])) != expected) {
            return ::testing::AssertionFailure() << "wrong pair checksum after block " << i + 2;
        }
        if (client.Exchange({0x02, 0x05}) != kReady) {
            return ::testing::AssertionFailure() << "no ready after the verdict on pair " << i / 2 + 1;
        }
    }
    client.Send({0x02, 0x04});
    return ::testing::AssertionSuccess();
}

// Reads the codeplug as the program does: one block mark examined per block received, done
// at the first examined position without one.
Bytes Upload(SimClient& client)
{
    Bytes image(32768 + 128, 0x00);
    std::size_t received = 0;
    std::size_t scan = 0;
    client.Send({0x03, 0x07});
    EXPECT_THAT(client.Receive(), Optional(Bytes{0x03, 0x0D}));
    while (true) {
        const auto block = client.Receive();
        if (!block || block->size() != 130) {
            ADD_FAILURE() << "no data block after " << received << " bytes";
            break;
        }
        std::copy(block->begin() + 2, block->end(), image.begin() + static_cast<std::ptrdiff_t>(received));
        received += 128;
        const std::size_t position = received == 128 ? 0 : scan;
        if (received > 32768) {
            break;
        }
        if (received != 128 && received <= scan) {
            client.Send({0x03, 0x08});
            continue;
        }
        if (image[position] != 0x5F || image[position + 1] != 0x5F) {
            break;
        }
        scan = position + ((image[position + 2] << 8 | image[position + 3]) & 0x3FFF) * 2u;
        client.Send({0x03, 0x08});
    }
    client.Send({0x03, 0x04});
    image.resize(received);
    return image;
}

// Writes a codeplug as the program does: scrambled blocks, checksum reports answered.
::testing::AssertionResult Download(SimClient& client, const Bytes& image,
                                    const std::array<std::uint8_t, 8>& identity)
{
    DownloadKeystream keystream(identity);
    client.Send({0x03, 0x00});
    if (client.Receive() != Bytes{0x03, 0x0D}) {
        return ::testing::AssertionFailure() << "transfer not allowed";
    }
    std::size_t index = 0;
    std::uint16_t running = 0;
    while (true) {
        const auto ask = client.Receive();
        if (!ask) {
            return ::testing::AssertionFailure() << "radio silent after block " << index;
        }
        if (ask->size() == 4 && (*ask)[1] == 0x03) {
            const auto reported = static_cast<std::uint16_t>((*ask)[2] << 8 | (*ask)[3]);
            if (reported != running) {
                return ::testing::AssertionFailure() << "checksum report differs after block " << index;
            }
            client.Send({0x03, 0x05});
            running = 0;
            continue;
        }
        if (*ask != Bytes{0x03, 0x08}) {
            return ::testing::AssertionFailure() << "unexpected message after block " << index;
        }
        if (index * 128 >= image.size() && index % 2 == 0) {
            client.Send({0x03, 0x04});
            return ::testing::AssertionSuccess();
        }
        std::array<std::uint8_t, 128> block;
        block.fill(0x20);
        for (std::size_t i = 0; i < 128 && index * 128 + i < image.size(); ++i) {
            block[i] = image[index * 128 + i];
        }
        running = static_cast<std::uint16_t>(running + WordSum(block));
        ScrambleBlock(keystream, block);
        client.Send(WithCode(0x03, 0x02, Bytes(block.begin(), block.end())));
        ++index;
    }
}

std::vector<std::uint16_t> HostOrder(const Bytes& lineOrder)
{
    std::vector<std::uint16_t> words(kParmsBufferWords, 0);
    for (std::size_t i = 0; i + 1 < lineOrder.size() && i / 2 < words.size(); i += 2) {
        words[i / 2] = static_cast<std::uint16_t>(lineOrder[i] << 8 | lineOrder[i + 1]);
    }
    return words;
}

TEST(RadioSimE2e, IdentificationProbeAndLineSpeedOverThePseudoTerminal)
{
    RadioSimProcess sim({"--decline", "04 3E"});
    SimClient client(sim.DevicePath());
    EXPECT_THAT(client.Exchange({0x04, 0x1C}), Optional(Bytes{0x04, 0x1D, 5, 8})) << sim.Log();
    EXPECT_THAT(client.Exchange({0x04, 0x0B}), Optional(Bytes{0x04, 0x0C, 3, 1, 4}));
    EXPECT_THAT(client.Exchange({0x04, 0x09}), Optional(Bytes{0x04, 0x0A, 4, 2, 0}));
    EXPECT_THAT(client.Exchange({0x04, 0x07}), Optional(Bytes{0x04, 0x08, 1, 0, 2}));
    EXPECT_THAT(client.Exchange({0x04, 0x04}),
                Optional(Bytes{0x04, 0x05, 0x00, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}));
    EXPECT_THAT(client.Exchange({0x04, 0x2D}), Optional(Bytes{0x04, 0x2E, 4, 0}));
    EXPECT_THAT(client.Exchange({0x04, 0x3E}), Optional(Bytes{0x04, 0x20}));

    // The interface-box probe, sent unframed as the program sends it.
    client.SendRaw(Bytes(kInterfaceBoxProbeFrame.begin(), kInterfaceBoxProbeFrame.end()));
    const auto box = client.Receive();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->size(), 6u);
    EXPECT_EQ((*box)[1], 0x02);

    // 115200 after the baud-rate message, as both ends switch; a request at the old speed is
    // garbled on the way and goes unanswered.
    client.Send({0x09, 0x00, 0x05});
    EXPECT_FALSE(client.Exchange({0x04, 0x2D}, 300).has_value());
    client.SetSpeed(115200);
    EXPECT_THAT(client.Exchange({0x04, 0x2D}), Optional(Bytes{0x04, 0x2E, 4, 0})) << sim.Log();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(RadioSimE2e, HalfDuplexCableEchoesTheProgramsBytes)
{
    RadioSimProcess sim({"--interface", "half-duplex"});
    SimClient client(sim.DevicePath());
    client.SendRaw(Bytes(kInterfaceBoxProbeFrame.begin(), kInterfaceBoxProbeFrame.end()));
    EXPECT_FALSE(client.Receive(300).has_value()); // no box
    EXPECT_THAT(client.Exchange({0x04, 0x2D}), Optional(Bytes{0x04, 0x2E, 4, 0}));
    // The program heard its own two frames first; its receiver did not take them for replies.
    EXPECT_THAT(client.errors, ElementsAre(FrameEvent::NotForHost, FrameEvent::NotForHost));
    EXPECT_TRUE(
        std::equal(kInterfaceBoxProbeFrame.begin(), kInterfaceBoxProbeFrame.end(), client.raw.begin()));
}

TEST(RadioSimE2e, UpdateFlashesLoaderAndCodeThenTransfersTheCodeplugBothWays)
{
    DumpDir dumps;
    RadioSimProcess sim({"--erase-ms", "100", "--restart-ms", "200", "--identity-notice", "--dump-dir",
                         dumps.Path().string(), "--time-scale", "1"});
    SimClient client(sim.DevicePath());
    client.Send({0x09, 0x00, 0x05});
    client.SetSpeed(115200);

    const std::vector<Bytes> loader{Block(1), Block(2)};
    const std::vector<Bytes> code{Block(3), Block(4), Block(5), Bytes(128, 0xFF)};
    const std::size_t beforeLoader = sim.Log().size();
    ASSERT_TRUE(Flash(client, loader)) << sim.Log();
    // The program waits out the erase before it starts the code image.
    ASSERT_TRUE(LoggedAfter(sim, beforeLoader, "flash erased; the loader is ready"));
    ASSERT_TRUE(Flash(client, code)) << sim.Log();
    const std::size_t beforeRestart = sim.Log().size();
    client.Send({0x09, 0x00, 0x01});
    client.SetSpeed(19200);
    ASSERT_TRUE(LoggedAfter(sim, beforeRestart, "restarted in"));

    // After the restart: the identity (after its notice) and the format the new code expects.
    EXPECT_THAT(client.Exchange({0x04, 0x04}), Optional(Bytes{0x07, 0x25})) << sim.Log();
    const auto identity = client.Receive();
    ASSERT_TRUE(identity.has_value());
    std::array<std::uint8_t, 8> serial;
    std::copy(identity->begin() + 2, identity->end(), serial.begin());
    EXPECT_THAT(client.Exchange({0x04, 0x1C}), Optional(Bytes{0x04, 0x1D, 5, 10}));

    // The held codeplug: a valid 5.8 image.
    const Bytes uploaded = Upload(client);
    ASSERT_GE(uploaded.size(), 256u);
    auto words = HostOrder(uploaded);
    EXPECT_TRUE(ParmsIsValid(words.data()));
    EXPECT_EQ(words[kParmsVersionWord], 0x0508);

    // Written back (one word changed) scrambled, then read back descrambled.
    Bytes changed = uploaded;
    changed[changed.size() - 1] ^= 0x5A;
    ASSERT_TRUE(Download(client, changed, serial)) << sim.Log();
    const Bytes readBack = Upload(client);
    EXPECT_TRUE(std::equal(changed.begin(), changed.end(), readBack.begin()));
    EXPECT_EQ(sim.Stop(), 0);

    const auto files = dumps.Files();
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) {
        names.push_back(name);
    }
    EXPECT_THAT(names, ElementsAre("01-loader.bin", "02-code.bin", "03-codeplug.bin")) << sim.Log();
    Bytes loaderBytes;
    for (const Bytes& b : loader) {
        loaderBytes.insert(loaderBytes.end(), b.begin(), b.end());
    }
    EXPECT_EQ(files.at("01-loader.bin"), loaderBytes);
    Bytes codeBytes;
    for (const Bytes& b : code) {
        codeBytes.insert(codeBytes.end(), b.begin(), b.end());
    }
    EXPECT_EQ(files.at("02-code.bin"), codeBytes);
    const Bytes& written = files.at("03-codeplug.bin");
    ASSERT_GE(written.size(), changed.size());
    EXPECT_TRUE(std::equal(changed.begin(), changed.end(), written.begin()));
}

TEST(RadioSimE2e, PasswordStepBeforeATransfer)
{
    RadioSimProcess sim({"--mode", "application", "--password", "2468"});
    SimClient client(sim.DevicePath());
    EXPECT_THAT(client.Exchange({0x03, 0x07}), Optional(Bytes{0x03, 0x0B}));
    const auto wrong = EncodePassword("1111");
    EXPECT_THAT(client.Exchange(WithCode(0x03, 0x0C, Bytes(wrong.begin(), wrong.end()))),
                Optional(Bytes{0x03, 0x0B}));
    const auto right = EncodePassword("2468");
    EXPECT_THAT(client.Exchange(WithCode(0x03, 0x0C, Bytes(right.begin(), right.end()))),
                Optional(Bytes{0x03, 0x0D}));
    const auto block = client.Receive();
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->size(), 130u);
    client.Send({0x03, 0x04});
}

TEST(RadioSimE2e, FaultsSilenceUnansweredCorruptAndDelay)
{
    {
        RadioSimProcess sim({"--silent-from", "2"});
        SimClient client(sim.DevicePath());
        EXPECT_TRUE(client.Exchange({0x04, 0x2D}).has_value());
        EXPECT_FALSE(client.Exchange({0x04, 0x2D}, 300).has_value());
        EXPECT_FALSE(client.Exchange({0x04, 0x1C}, 300).has_value());
    }
    {
        RadioSimProcess sim({"--unanswered", "04 2D#1", "--corrupt", "04 1C"});
        SimClient client(sim.DevicePath());
        EXPECT_FALSE(client.Exchange({0x04, 0x2D}, 300).has_value());
        EXPECT_TRUE(client.Exchange({0x04, 0x2D}).has_value());
        EXPECT_FALSE(client.Exchange({0x04, 0x1C}, 300).has_value());
        EXPECT_THAT(client.errors, ElementsAre(FrameEvent::BadChecksum));
    }
    {
        RadioSimProcess sim({"--delay", "04 2D:1500"});
        SimClient client(sim.DevicePath());
        EXPECT_FALSE(client.Exchange({0x04, 0x2D}, 300).has_value());
        EXPECT_TRUE(client.Receive(5000).has_value()) << sim.Log();
    }
}

TEST(RadioSimE2e, FaultsWrongPairChecksumAndVerifyFailure)
{
    RadioSimProcess sim({"--erase-ms", "0", "--bad-checksum", "once", "--verify-fail", "2"});
    SimClient client(sim.DevicePath());
    ASSERT_THAT(client.Exchange({0x02, 0x01}), Optional(kReady));
    client.Exchange(WithCode(0x02, 0x09, Block(1)));
    const auto reported = client.Exchange(WithCode(0x02, 0x09, Block(2)));
    ASSERT_TRUE(reported.has_value());
    EXPECT_NE(*reported, (Bytes{0x02, 0x02, static_cast<std::uint8_t>(PairSum(Block(1), Block(2)) >> 8),
                                static_cast<std::uint8_t>(PairSum(Block(1), Block(2)))}));
    EXPECT_THAT(client.Exchange({0x02, 0x06}), Optional(kReady));
    EXPECT_THAT(client.Exchange(WithCode(0x02, 0x09, Block(2))), Optional(kReady));
    client.Send({0x02, 0x04});

    // The code image: block 2 fails verification, reported with its address.
    ASSERT_THAT(client.Exchange({0x02, 0x01}), Optional(kReady)) << sim.Log();
    client.Exchange(WithCode(0x02, 0x09, Block(3)));
    client.Exchange(WithCode(0x02, 0x09, Block(4)));
    EXPECT_THAT(client.Exchange({0x02, 0x05}), Optional(Bytes{0x02, 0x0A, 0x00, 0x02, 0x00, 0x80}))
        << sim.Log();
}

TEST(RadioSimE2e, FaultDropAfterHangsUpTheLineAndEnds)
{
    RadioSimProcess sim({"--drop-after", "2"});
    SimClient client(sim.DevicePath());
    EXPECT_TRUE(client.Exchange({0x04, 0x2D}).has_value());
    EXPECT_TRUE(client.Exchange({0x04, 0x1C}).has_value()); // the second frame is still answered
    EXPECT_TRUE(client.HungUp(5000)) << sim.Log();
    EXPECT_EQ(sim.WaitForExit(5000), 0);
}

TEST(RadioSimE2e, PacedLineTakesAsLongAsTheCableWould)
{
    RadioSimProcess sim({"--mode", "application", "--pace", "on"});
    SimClient client(sim.DevicePath());
    const auto start = std::chrono::steady_clock::now();
    client.Send({0x03, 0x07});
    EXPECT_THAT(client.Receive(), Optional(Bytes{0x03, 0x0D}));
    const auto block = client.Receive();
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->size(), 130u);
    // At least the request, the 03 0D and the block's frame of 135 bytes or more at 1920 bytes a second.
    EXPECT_GE(took, std::chrono::milliseconds((7 + 7 + 135) * 1000 / 1920));
    client.Send({0x03, 0x04});
}

TEST(RadioSimE2e, OnASerialDeviceItFollowsTheBaudMessageWithTheDevicesSpeed)
{
    // A pseudo-terminal pair stands in for the cable: the simulator opens one end as its port.
    aurex::test::PtyPair cable;
    RadioSimProcess sim({"--port", cable.DevicePath()});
    EXPECT_EQ(sim.DevicePath(), cable.DevicePath());
    SimClient program(SimClient::Borrowed{cable.PeerFd()});
    EXPECT_THAT(program.Exchange({0x04, 0x2D}), Optional(Bytes{0x04, 0x2E, 4, 0})) << sim.Log();
    EXPECT_EQ(cable.LineSpeed(), 19200);
    program.Send({0x09, 0x00, 0x05});
    EXPECT_THAT(program.Exchange({0x04, 0x1C}), Optional(Bytes{0x04, 0x1D, 5, 8})) << sim.Log();
    EXPECT_EQ(cable.LineSpeed(), 115200) << sim.Log();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(RadioSimE2e, BadSettingsStopItBeforeItServes)
{
    EXPECT_THROW(RadioSimProcess({"--bad-checksum", "sometimes"}), std::runtime_error);
    EXPECT_THROW(RadioSimProcess({"--codeplug", "/nonexistent/codeplug.bin"}), std::runtime_error);
}

} // namespace
} // namespace aurex::sim::test

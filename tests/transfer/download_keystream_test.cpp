#include "transfer/download_keystream.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "openssl_des.h"

namespace aurex {
namespace {

using Block = std::array<std::uint8_t, kScrambleBlockSize>;

DesBlock RandomBlock(std::mt19937_64& random)
{
    DesBlock block{};
    for (auto& byte : block) {
        byte = static_cast<std::uint8_t>(random());
    }
    return block;
}

std::vector<std::uint8_t> Draw(DownloadKeystream& keystream, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) {
        byte = keystream.KeystreamByte();
    }
    return bytes;
}

TEST(DownloadKeystream, IsDesEightBitOutputFeedback)
{
    std::mt19937_64 random(42);
    // The fixed download key, started from several radio identities.
    for (int i = 0; i < 20; ++i) {
        const DesBlock identity = RandomBlock(random);
        DownloadKeystream keystream(identity);
        EXPECT_EQ(Draw(keystream, 600), test::OpenSslOfb8Keystream(kDownloadScrambleKey, identity, 600)) << i;
    }
    // Any key through KeystreamInit, which also restarts a keystream already running.
    DownloadKeystream keystream;
    Draw(keystream, 5);
    for (int i = 0; i < 20; ++i) {
        const DesBlock key = RandomBlock(random);
        const DesBlock start = RandomBlock(random);
        keystream.KeystreamInit(key, start);
        EXPECT_EQ(Draw(keystream, 64), test::OpenSslOfb8Keystream(key, start, 64)) << i;
    }
    // The default keystream is the fixed key from an all-zero register.
    DownloadKeystream fromZero;
    EXPECT_EQ(Draw(fromZero, 16), test::OpenSslOfb8Keystream(kDownloadScrambleKey, DesBlock{}, 16));
}

TEST(ScrambleBlock, SwapsEachPairAndMasksItWithTheScrambledFirstPair)
{
    const DesBlock identity = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const auto stream = test::OpenSslOfb8Keystream(kDownloadScrambleKey, identity, 4);

    DownloadKeystream keystream(identity);
    Block zeros{};
    ScrambleBlock(keystream, zeros);
    for (std::size_t i = 0; i < zeros.size(); i += 2) {
        ASSERT_EQ(zeros[i], stream[0]) << i;
        ASSERT_EQ(zeros[i + 1], stream[1]) << i;
    }

    // Two keystream bytes a block: the next block starts at the third byte.
    Block counting{};
    for (std::size_t i = 0; i < counting.size(); ++i) {
        counting[i] = static_cast<std::uint8_t>(i);
    }
    ScrambleBlock(keystream, counting);
    const std::uint8_t s0 = 0x01 ^ stream[2];
    const std::uint8_t s1 = 0x00 ^ stream[3];
    EXPECT_EQ(counting[0], s0);
    EXPECT_EQ(counting[1], s1);
    EXPECT_EQ(counting[2], 0x03 ^ s0);
    EXPECT_EQ(counting[3], 0x02 ^ s1);
    EXPECT_EQ(counting[126], 0x7F ^ s0);
    EXPECT_EQ(counting[127], 0x7E ^ s1);
}

TEST(ScrambleBlock, WholeDownloadRoundTripsThroughTheRadiosSide)
{
    std::mt19937_64 random(7);
    const DesBlock identity = RandomBlock(random);
    std::vector<Block> plain(256);
    for (auto& block : plain) {
        for (auto& byte : block) {
            byte = static_cast<std::uint8_t>(random());
        }
    }
    DownloadKeystream ours(identity);
    DownloadKeystream radios(identity);
    for (std::size_t n = 0; n < plain.size(); ++n) {
        Block wire = plain[n];
        ScrambleBlock(ours, wire);
        EXPECT_NE(wire, plain[n]) << n;
        UnscrambleBlock(radios, wire);
        ASSERT_EQ(wire, plain[n]) << n;
    }
}

TEST(ScrambleBlock, KeystreamRunsOnWithinADownloadAndRestartsPerIdentity)
{
    const DesBlock identity = {0x10, 0x00, 0x00, 0x42, 0x00, 0x00, 0x12, 0x34};
    Block fill{};
    fill.fill(0x20);

    const auto scrambleTwice = [&fill](const DesBlock& id) {
        DownloadKeystream keystream(id);
        std::array<Block, 2> out = {fill, fill};
        ScrambleBlock(keystream, out[0]);
        ScrambleBlock(keystream, out[1]);
        return out;
    };
    const auto first = scrambleTwice(identity);
    EXPECT_NE(first[0], first[1]) << "the same block twice in one download";

    const auto restarted = scrambleTwice(identity);
    EXPECT_EQ(restarted, first) << "a restart with the same identity";

    DesBlock other = identity;
    other[7] ^= 0x01;
    EXPECT_NE(scrambleTwice(other)[0], first[0]) << "another radio's identity";

    // KeystreamInit on a used keystream restarts it just as a fresh one.
    DownloadKeystream reused(other);
    Block scratch = fill;
    ScrambleBlock(reused, scratch);
    reused.KeystreamInit(kDownloadScrambleKey, identity);
    scratch = fill;
    ScrambleBlock(reused, scratch);
    EXPECT_EQ(scratch, first[0]);
}

} // namespace
} // namespace aurex

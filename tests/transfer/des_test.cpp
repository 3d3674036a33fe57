#include "transfer/des.h"

#include <gtest/gtest.h>

#include <random>

#include "openssl_des.h"

namespace aurex {
namespace {

DesBlock FromHex(std::uint64_t value)
{
    DesBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
    }
    return block;
}

struct KnownAnswer
{
    const char* source;
    std::uint64_t key;
    std::uint64_t plain;
    std::uint64_t cipher;
};

TEST(Des, PublishedKnownAnswers)
{
    const KnownAnswer answers[] = {
        {"FIPS 81 ECB, \"Now is t\"", 0x0123456789ABCDEF, 0x4E6F772069732074, 0x3FA40E8A984D4815},
        {"classic worked example", 0x133457799BBCDFF1, 0x0123456789ABCDEF, 0x85E813540F0AB405},
        {"SP 800-17 variable plaintext 1", 0x0101010101010101, 0x8000000000000000, 0x95F8A5E5DD31D900},
        {"SP 800-17 variable plaintext 2", 0x0101010101010101, 0x4000000000000000, 0xDD7F121CA5015619},
        {"SP 800-17 variable plaintext 64", 0x0101010101010101, 0x0000000000000001, 0x166B40B44ABA4BD6},
        {"SP 800-17 variable key 1", 0x8001010101010101, 0x0000000000000000, 0x95A8D72813DAA94D},
        {"SP 800-17 variable key 2", 0x4001010101010101, 0x0000000000000000, 0x0EEC1487DD8C26D5},
        {"SP 800-17 substitution 1", 0x7CA110454A1A6E57, 0x01A1D6D039776742, 0x690F5B0D9A26939B},
        {"SP 800-17 substitution 2", 0x0131D9619DC1376E, 0x5CD54CA83DEF57DA, 0x7A389D10354BD271},
    };
    for (const KnownAnswer& answer : answers) {
        EXPECT_EQ(DesEncrypt(DesKeySchedule(FromHex(answer.key)), FromHex(answer.plain)),
                  FromHex(answer.cipher))
            << answer.source;
    }
}

TEST(Des, MatchesOpenSslOnRandomKeysAndBlocks)
{
    std::mt19937_64 random(0x5EED0DE5);
    const auto randomBlock = [&random] { return FromHex(random()); };
    for (int k = 0; k < 500; ++k) {
        const DesBlock key = randomBlock();
        const DesRoundKeys roundKeys = DesKeySchedule(key);
        for (int b = 0; b < 8; ++b) {
            const DesBlock plain = randomBlock();
            ASSERT_EQ(DesEncrypt(roundKeys, plain), test::OpenSslEncrypt(key, plain))
                << "key " << k << " block " << b;
        }
    }
}

} // namespace
} // namespace aurex

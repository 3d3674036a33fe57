#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/sha256.h"

namespace aurex {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, Fips180Vectors)
{
    EXPECT_EQ(Sha256Hex(Bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(Bytes("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(Bytes(std::string(1'000'000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Every length around the padding's block boundaries, given whole and in uneven pieces, against
// OpenSSL.
TEST(Sha256, EveryLengthUpToThreeBlocksMatchesOpenSsl)
{
    std::vector<std::uint8_t> data;
    for (std::size_t length = 0; length <= 192; ++length) {
        Sha256Digest expected{};
        unsigned int size = 0;
        ASSERT_EQ(EVP_Digest(data.data(), data.size(), expected.data(), &size, EVP_sha256(), nullptr), 1);
        EXPECT_EQ(Sha256Of(data), expected) << length;
        Sha256 pieces;
        for (std::size_t at = 0, step = 1; at < data.size(); at += step, step = step * 3 % 71 + 1) {
            pieces.Update(std::span(data).subspan(at, std::min(step, data.size() - at)));
        }
        EXPECT_EQ(pieces.Finish(), expected) << length;
        data.push_back(static_cast<std::uint8_t>(length * 37 + 11));
    }
}

TEST(Sha256, FinishStartsOver)
{
    Sha256 sha;
    sha.Update(Bytes("something else"));
    sha.Finish();
    sha.Update(Bytes("abc"));
    EXPECT_EQ(DigestHex(sha.Finish()), Sha256Hex(Bytes("abc")));
}

} // namespace
} // namespace aurex

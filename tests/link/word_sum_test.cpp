#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "link/word_sum.h"

namespace aurex {
namespace {

TEST(WordSum, SumsBigEndianWordsAndWraps)
{
    const std::array<std::uint8_t, 6> bytes{0x12, 0x34, 0x00, 0x01, 0xAB, 0xCD};
    EXPECT_EQ(WordSum(bytes), 0x1234 + 0x0001 + 0xABCD);

    const std::vector<std::uint8_t> ffs(256, 0xFF); // 128 words of 0xFFFF
    EXPECT_EQ(WordSum(ffs), static_cast<std::uint16_t>(128u * 0xFFFF));
    EXPECT_EQ(WordSum(ffs.data(), 0), 0);
}

TEST(WordSum, OddLengthReadsNothingPastTheRange)
{
    // The last odd byte is a high byte with a zero low byte; the 0x77 after the range is not read.
    const std::array<std::uint8_t, 4> bytes{0x01, 0x02, 0x03, 0x77};
    EXPECT_EQ(WordSum(bytes.data(), 3), 0x0102 + 0x0300);
}

} // namespace
} // namespace aurex

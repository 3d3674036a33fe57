#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "text/hex.h"

namespace aurex {
namespace {

TEST(HexDigits, DigitValuesAndNumbers)
{
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('A'), 10);
    EXPECT_EQ(HexDigitValue('f'), 15);
    for (char c : std::string("gG/:@`\r\n \0\xff", 12)) {
        EXPECT_EQ(HexDigitValue(c), -1) << int(c);
    }

    EXPECT_EQ(ParseHexNumber("1G"), 1);
    EXPECT_EQ(ParseHexNumber("G1"), -1);
    EXPECT_EQ(ParseHexNumber(""), 0);
    EXPECT_EQ(ParseHexNumber("15"), 0x15);
    EXPECT_EQ(ParseHexNumber("fe04x0"), 0xFE04);
    // Long digit runs stop at the largest int instead of wrapping into the error value.
    EXPECT_EQ(ParseHexNumber("FFFFFFFF"), INT_MAX);
    EXPECT_EQ(ParseHexNumber("123456789ABCDEF"), INT_MAX);
}

TEST(HexDigits, EveryCharacterIsADigitOfOneValueOrReportedAsNone)
{
    int digits = 0;
    for (int c = 0; c < 256; ++c) {
        const int value = HexDigitValue(static_cast<char>(c));
        const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        EXPECT_EQ(value >= 0, digit) << c;
        EXPECT_LT(value, 16) << c;
        digits += digit;
    }
    EXPECT_EQ(digits, 22);
}

TEST(HexBytes, ABadDigitIsReportedNeverReadAsZero)
{
    EXPECT_EQ(ParseHexByte('0', 'A'), 0x0A);
    EXPECT_EQ(ParseHexByte('f', 'E'), 0xFE);
    EXPECT_EQ(ParseHexByte('0', 'G'), std::nullopt);
    EXPECT_EQ(ParseHexByte(' ', '0'), std::nullopt);

    std::array<std::uint8_t, 3> out{1, 2, 3};
    ASSERT_TRUE(DecodeHex("00fF7e", out));
    EXPECT_EQ(out, (std::array<std::uint8_t, 3>{0x00, 0xFF, 0x7E}));
    // Wrong length or a stray character: refused, and nothing written.
    out = {1, 2, 3};
    for (const char* text : {"00FF7", "00FF7E00", "00FG7E", "00 F7E", "", "0xFF7E"}) {
        EXPECT_FALSE(DecodeHex(text, out)) << text;
        EXPECT_EQ(out, (std::array<std::uint8_t, 3>{1, 2, 3})) << text;
    }
    std::array<std::uint8_t, 0> none{};
    EXPECT_TRUE(DecodeHex("", none));
}

TEST(HexText, UpperCaseDigitsWithOrWithoutSeparators)
{
    const std::vector<std::uint8_t> bytes{0x00, 0x0A, 0xFF, 0x1b, 0xC3};
    EXPECT_EQ(EncodeHex(bytes), "000AFF1BC3");
    EXPECT_EQ(EncodeHex(bytes, '-'), "00-0A-FF-1B-C3");
    EXPECT_EQ(EncodeHex(std::vector<std::uint8_t>{0x7E}, ' '), "7E");
    EXPECT_EQ(EncodeHex({}), "");

    std::string text = "S";
    AppendHexByte(text, 0xA5);
    EXPECT_EQ(text, "SA5");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(PutHexByte(buffer + 1, 0x3C), buffer + 3);
    EXPECT_EQ(std::string(buffer, 4), "x3Cx");

    EXPECT_EQ(HexNumber(0x12B3, 4), "12B3");
    EXPECT_EQ(HexNumber(0x5F, 4), "005F");
    EXPECT_EQ(HexNumber(0, 2), "00");
    EXPECT_EQ(HexNumber(0, 0), "0");
    EXPECT_EQ(HexNumber(0xFE040100, 2), "FE040100"); // never cut to the minimum
    EXPECT_EQ(HexNumber(0xFFFFFFFF, 8), "FFFFFFFF");
}

TEST(HexText, EncodedBytesDecodeBackUnchanged)
{
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i) {
        all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    const std::string text = EncodeHex(all);
    ASSERT_EQ(text.size(), 512u);
    std::vector<std::uint8_t> back(256);
    ASSERT_TRUE(DecodeHex(text, back));
    EXPECT_EQ(back, all);
}

} // namespace
} // namespace aurex

#include "transfer/password_encoding.h"

#include <gtest/gtest.h>

namespace aurex {
namespace {

using Payload = PasswordPayload;

TEST(EncodePassword, PacksDigitsTwoAByteFirstInHighNibble)
{
    EXPECT_EQ(EncodePassword(""), (Payload{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(EncodePassword("1234"), (Payload{0x12, 0x34, 0xFF, 0xFF}));
    EXPECT_EQ(EncodePassword("123"), (Payload{0x12, 0x3F, 0xFF, 0xFF}));
    EXPECT_EQ(EncodePassword("0"), (Payload{0x0F, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(EncodePassword("90817263"), (Payload{0x90, 0x81, 0x72, 0x63}));
}

TEST(EncodePassword, SendsOnlyDigits)
{
    EXPECT_EQ(EncodePassword("1a2B-3 4"), (Payload{0x12, 0x34, 0xFF, 0xFF}));
    EXPECT_EQ(EncodePassword("secret"), (Payload{0xFF, 0xFF, 0xFF, 0xFF}));
    // A letter such as 'F' must not pass for the nibble 0xF, nor a letter for a hex digit.
    EXPECT_EQ(EncodePassword("A1F2"), (Payload{0x12, 0xFF, 0xFF, 0xFF}));
}

TEST(EncodePassword, StopsAtEightDigitsAndTwelveCharacters)
{
    EXPECT_EQ(EncodePassword("1234567890"), (Payload{0x12, 0x34, 0x56, 0x78}));
    // Twelve characters examined: digits from the thirteenth on are not sent.
    EXPECT_EQ(EncodePassword("abcdefghij12345"), (Payload{0x12, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(EncodePassword("abcdefghijk1"), (Payload{0x1F, 0xFF, 0xFF, 0xFF}));
    // A character outside ASCII counts once, however many bytes it takes in UTF-8.
    EXPECT_EQ(EncodePassword(
                  "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                  "12"),
              (Payload{0x1F, 0xFF, 0xFF, 0xFF}));
}

} // namespace
} // namespace aurex

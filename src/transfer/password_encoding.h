#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace aurex {

// The 4-byte payload of the password message: packed decimal digits.
using PasswordPayload = std::array<std::uint8_t, 4>;

// Packs the decimal digits among the first 12 characters of text (UTF-8), at most 8 of them,
// two a byte with the first digit in the high nibble; nibbles without a digit stay 0xF. Every
// other character is skipped.
PasswordPayload EncodePassword(std::string_view text);

// Most digits a radio's codeplug password can have: the payload holds no more.
inline constexpr std::size_t kRadioPasswordMostDigits = 8;

// True for 1 to 8 ASCII digits and nothing else: the only texts sent whole and as typed.
bool IsRadioPasswordText(std::string_view text);

// True for the payload of a text without a digit, which no radio's password is.
bool IsEmptyPasswordPayload(const PasswordPayload& payload);

} // namespace aurex

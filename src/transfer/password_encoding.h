#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace aurex {

// The 4-byte payload of the password message: packed decimal digits.
using PasswordPayload = std::array<std::uint8_t, 4>;

// Packs the decimal digits among the first 12 characters of text (UTF-8), at most 8 of them,
// two a byte with the first digit in the high nibble; nibbles without a digit stay 0xF. Every
// other character is skipped.
PasswordPayload EncodePassword(std::string_view text);

} // namespace aurex

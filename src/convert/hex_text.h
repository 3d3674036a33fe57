// Hex text of the radio's identity value as the transfer code shows and reads it: the digits of
// text/hex.h, read with the identity's own lenient rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace aurex {

// Each byte as two upper-case hex digits, in order, without separators.
std::string ParmsBytesToText(std::span<const uint8_t> bytes);

// Trims leading and trailing spaces and control characters, then reads the text two characters
// at a time as the high and low nibble of one byte. A trailing odd character is ignored; a
// character that is no hex digit counts as 0. Writes at most out.size() bytes and returns the
// number written.
std::size_t ParmsHexToBytes(std::span<uint8_t> out, std::string_view text);

// 0-9 for the digits, 10-15 for A-F and a-f, 0 for anything else.
unsigned ParmsHexDigitValue(char character);

} // namespace aurex

// Hex text: bytes and numbers to upper-case hex digits, and hex digits (either case) back.
// Every reader here reports a character that is not a hex digit (as -1, nullopt or false) and
// never reads it as 0; a caller that has to accept such text decides what it stands for.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace aurex {

namespace hex_detail {

inline constexpr char kDigits[] = "0123456789ABCDEF";

inline constexpr std::array<std::int8_t, 256> kDigitValues = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 10; ++i) {
        table['0' + i] = static_cast<std::int8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        table['A' + i] = static_cast<std::int8_t>(10 + i);
        table['a' + i] = static_cast<std::int8_t>(10 + i);
    }
    return table;
}();

} // namespace hex_detail

// 0-9 for '0'-'9', 10-15 for 'A'-'F' and 'a'-'f', -1 for anything else. A table lookup in the
// header, because every character of a multi-megabyte S-record image passes through it; a
// caller may OR several values and test the sign once.
inline int HexDigitValue(char c)
{
    return hex_detail::kDigitValues[static_cast<unsigned char>(c)];
}

// 0 for an empty text, -1 when the first character is not a hex digit, else the value of the
// leading hex digits (stopping at the first other character). Values past INT_MAX stay at
// INT_MAX instead of overflowing.
int ParseHexNumber(std::string_view text);

// The byte of two hex digits, high nibble first; nullopt when either is not a hex digit.
std::optional<std::uint8_t> ParseHexByte(char high, char low);

// Fills `out` from exactly 2 * out.size() hex digits. False when the text has another length
// or holds a character that is not a hex digit; `out` is then left as it was.
bool DecodeHex(std::string_view text, std::span<std::uint8_t> out);

// Writes the two upper-case digits of a byte at `out` and returns the position after them.
inline char* PutHexByte(char* out, std::uint8_t byte)
{
    out[0] = hex_detail::kDigits[byte >> 4];
    out[1] = hex_detail::kDigits[byte & 0x0F];
    return out + 2;
}

inline void AppendHexByte(std::string& out, std::uint8_t byte)
{
    out += hex_detail::kDigits[byte >> 4];
    out += hex_detail::kDigits[byte & 0x0F];
}

// Each byte as two upper-case digits, in order; `separator` between bytes unless it is '\0'.
std::string EncodeHex(std::span<const std::uint8_t> bytes, char separator = '\0');

// The value in upper-case digits without a prefix, zero-padded to at least `minDigits`.
std::string HexNumber(std::uint32_t value, int minDigits);

} // namespace aurex

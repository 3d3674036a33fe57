#include "text/hex.h"

#include <climits>

namespace aurex {

int ParseHexNumber(std::string_view text)
{
    if (text.empty()) {
        return 0;
    }
    if (HexDigitValue(text[0]) < 0) {
        return -1;
    }
    long long value = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0) {
            break;
        }
        value = value * 16 + d;
        if (value > INT_MAX) {
            return INT_MAX;
        }
    }
    return static_cast<int>(value);
}

std::optional<std::uint8_t> ParseHexByte(char high, char low)
{
    const int h = HexDigitValue(high);
    const int l = HexDigitValue(low);
    if ((h | l) < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(h << 4 | l);
}

bool DecodeHex(std::string_view text, std::span<std::uint8_t> out)
{
    if (text.size() != 2 * out.size()) {
        return false;
    }
    int bad = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bad |= HexDigitValue(text[i]);
    }
    if (bad < 0) {
        return false;
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(HexDigitValue(text[2 * i]) << 4 | HexDigitValue(text[2 * i + 1]));
    }
    return true;
}

std::string EncodeHex(std::span<const std::uint8_t> bytes, char separator)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && separator != '\0') {
            text += separator;
        }
        AppendHexByte(text, bytes[i]);
    }
    return text;
}

std::string HexNumber(std::uint32_t value, int minDigits)
{
    std::string text;
    do {
        text.insert(text.begin(), hex_detail::kDigits[value & 0x0F]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(text.size()) < minDigits) {
        text.insert(0, static_cast<std::size_t>(minDigits) - text.size(), '0');
    }
    return text;
}

} // namespace aurex

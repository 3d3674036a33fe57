#include "convert/hex_text.h"

namespace aurex {

namespace {

bool IsTrimmed(char character)
{
    const auto code = static_cast<unsigned char>(character);
    return code <= 0x20 || code == 0x7F;
}

} // namespace

std::string ParmsBytesToText(std::span<const uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

std::size_t ParmsHexToBytes(std::span<uint8_t> out, std::string_view text)
{
    while (!text.empty() && IsTrimmed(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsTrimmed(text.back())) {
        text.remove_suffix(1);
    }
    std::size_t written = 0;
    for (std::size_t i = 0; i + 1 < text.size() && written < out.size(); i += 2) {
        out[written++] = static_cast<uint8_t>((ParmsHexDigitValue(text[i]) << 4) | ParmsHexDigitValue(text[i + 1]));
    }
    return written;
}

unsigned ParmsHexDigitValue(char character)
{
    if (character >= '0' && character <= '9') {
        return static_cast<unsigned>(character - '0');
    }
    if (character >= 'A' && character <= 'F') {
        return static_cast<unsigned>(character - 'A' + 10);
    }
    if (character >= 'a' && character <= 'f') {
        return static_cast<unsigned>(character - 'a' + 10);
    }
    return 0;
}

} // namespace aurex

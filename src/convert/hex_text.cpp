#include "convert/hex_text.h"

#include "text/hex.h"

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
    return EncodeHex(bytes);
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
        out[written++] =
            static_cast<uint8_t>((ParmsHexDigitValue(text[i]) << 4) | ParmsHexDigitValue(text[i + 1]));
    }
    return written;
}

unsigned ParmsHexDigitValue(char character)
{
    // The transfer's identity text has always read a stray character as 0, not as an error.
    const int value = HexDigitValue(character);
    return value < 0 ? 0u : static_cast<unsigned>(value);
}

} // namespace aurex

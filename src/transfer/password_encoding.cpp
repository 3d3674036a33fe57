#include "transfer/password_encoding.h"

#include <algorithm>

namespace aurex {

PasswordPayload EncodePassword(std::string_view text)
{
    constexpr std::size_t kCharactersExamined = 12;
    constexpr std::size_t kMaxDigits = kRadioPasswordMostDigits;

    PasswordPayload payload{0xFF, 0xFF, 0xFF, 0xFF};
    std::size_t characters = 0;
    std::size_t digits = 0;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // A UTF-8 continuation byte belongs to the character already counted.
        if ((byte & 0xC0U) == 0x80U) {
            continue;
        }
        if (++characters > kCharactersExamined || digits == kMaxDigits) {
            break;
        }
        if (byte < '0' || byte > '9') {
            continue;
        }
        const auto value = static_cast<std::uint8_t>(byte - '0');
        std::uint8_t& target = payload[digits / 2];
        target = (digits % 2 == 0) ? static_cast<std::uint8_t>((target & 0x0FU) | (value << 4))
                                   : static_cast<std::uint8_t>((target & 0xF0U) | value);
        ++digits;
    }
    return payload;
}

bool IsRadioPasswordText(std::string_view text)
{
    return !text.empty() && text.size() <= kRadioPasswordMostDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsEmptyPasswordPayload(const PasswordPayload& payload)
{
    return std::all_of(payload.begin(), payload.end(), [](std::uint8_t b) { return b == 0xFF; });
}

} // namespace aurex

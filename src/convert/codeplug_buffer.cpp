#include "convert/codeplug_buffer.h"

#include <algorithm>

namespace aurex {

void WordsFromLineBytes(std::span<const std::uint8_t> bytes, std::span<std::uint16_t> words)
{
    const std::size_t count = std::min(words.size(), (bytes.size() + 1) / 2);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t low = 2 * i + 1 < bytes.size() ? bytes[2 * i + 1] : std::uint8_t{0};
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] << 8 | low);
    }
}

void LineBytesFromWords(std::span<const std::uint16_t> words, std::span<std::uint8_t> bytes)
{
    const std::size_t count = std::min(bytes.size(), 2 * words.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t word = words[i / 2];
        bytes[i] = static_cast<std::uint8_t>(i % 2 == 0 ? word >> 8 : word & 0xFF);
    }
}

std::span<const std::uint8_t> CodeplugBuffer::LineBytes(std::size_t byteCount) const
{
    return std::span<const std::uint8_t>(line_.data(), std::min(byteCount, line_.size()));
}

void CodeplugBuffer::WordsFromLine(std::size_t byteCount)
{
    WordsFromLineBytes(LineBytes(byteCount), words_);
}

void CodeplugBuffer::LineFromWords(std::size_t byteCount)
{
    LineBytesFromWords(words_, std::span<std::uint8_t>(line_.data(), std::min(byteCount, line_.size())));
}

} // namespace aurex

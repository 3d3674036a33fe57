#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace aurex {

// 16-bit wrapping sum of the big-endian words of a byte range (the codeplug checksum). An odd
// last byte counts as a high byte with a zero low byte; nothing past the range is read.
std::uint16_t WordSum(std::span<const std::uint8_t> bytes);

inline std::uint16_t WordSum(const std::uint8_t* bytes, std::size_t length)
{
    return WordSum(std::span<const std::uint8_t>(bytes, length));
}

} // namespace aurex

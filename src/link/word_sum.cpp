#include "link/word_sum.h"

namespace aurex {

std::uint16_t WordSum(std::span<const std::uint8_t> bytes)
{
    std::uint32_t sum = 0;
    const std::size_t pairs = bytes.size() / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
        sum += static_cast<std::uint32_t>(bytes[2 * i]) << 8 | bytes[2 * i + 1];
    }
    if (bytes.size() % 2 != 0) {
        sum += static_cast<std::uint32_t>(bytes.back()) << 8;
    }
    return static_cast<std::uint16_t>(sum);
}

} // namespace aurex

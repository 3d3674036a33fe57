// A codeplug buffer with guard words on both sides, so a test sees any write outside the
// 16384 words that the image functions may touch.
#pragma once

#include "codeplug-builder/codeplug_builder.h"
#include "convert/codeplug_image.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace aurex {

class GuardedImage
{
  public:
    static constexpr uint32_t kGuardWords = 64;
    static constexpr uint16_t kGuard = 0xA5C3;

    explicit GuardedImage(const std::vector<uint16_t>& buffer)
        : words_(kParmsBufferWords + 2 * kGuardWords, kGuard)
    {
        std::copy_n(buffer.begin(), std::min<std::size_t>(buffer.size(), kParmsBufferWords), image());
    }
    explicit GuardedImage(const BuiltCodeplug& built) : GuardedImage(built.buffer) {}

    uint16_t* image() { return words_.data() + kGuardWords; }
    const uint16_t* image() const { return words_.data() + kGuardWords; }
    uint16_t& operator[](uint32_t index) { return image()[index]; }

    bool GuardsIntact() const
    {
        const auto intact = [](auto first, auto last) {
            return std::all_of(first, last, [](uint16_t word) { return word == kGuard; });
        };
        return intact(words_.begin(), words_.begin() + kGuardWords) &&
               intact(words_.end() - kGuardWords, words_.end());
    }
    std::vector<uint16_t> Buffer() const { return {image(), image() + kParmsBufferWords}; }
    // The image words from word 0 to the trailer's end.
    std::vector<uint16_t> Image() const
    {
        return {image(), image() + std::min<uint32_t>(ParmsImageLength(image()), kParmsBufferWords)};
    }

  private:
    std::vector<uint16_t> words_;
};

} // namespace aurex

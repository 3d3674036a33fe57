#pragma once

// A codeplug in its two forms: the bytes as they travel on the line and as a backup file holds
// them (16-bit words, high byte first), and the words the converters read and write. The two are
// turned into each other by name, whatever the byte order of this computer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "convert/codeplug_image.h"

namespace aurex {

// Words from line bytes, high byte first: words.size() words, or as many as whole pairs of
// bytes give (an odd last byte is its word's high byte).
void WordsFromLineBytes(std::span<const std::uint8_t> bytes, std::span<std::uint16_t> words);
// Line bytes from words, high byte first: as many bytes as both spans hold.
void LineBytesFromWords(std::span<const std::uint16_t> words, std::span<std::uint8_t> bytes);

class CodeplugBuffer
{
  public:
    CodeplugBuffer() : line_(kParmsBufferBytes, 0), words_(kParmsBufferWords, 0) {}

    std::span<std::uint8_t, kParmsBufferBytes> LineBytes()
    {
        return std::span<std::uint8_t, kParmsBufferBytes>(line_.data(), kParmsBufferBytes);
    }
    std::span<const std::uint8_t> LineBytes(std::size_t byteCount) const;
    std::uint16_t* Words() { return words_.data(); }
    const std::uint16_t* Words() const { return words_.data(); }

    // The first byteCount line bytes (at most the buffer) become the words they make.
    void WordsFromLine(std::size_t byteCount);
    // The words of the first byteCount bytes (at most the buffer) become line bytes.
    void LineFromWords(std::size_t byteCount);

  private:
    std::vector<std::uint8_t> line_;
    std::vector<std::uint16_t> words_;
};

} // namespace aurex

// What changed between two codeplug images, in lines for people: a conversion's image before and
// after it, or any two images (the tool's diff). It names the format versions, the blocks and
// tables that changed shape, the records added, emptied or dropped, the words changed or newly set,
// and the change of length. The lines go into a backup's record, so their number and length stay
// bounded whatever the images hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace aurex {

// Upper bounds of DescribeConversion's answer: a backup record keeps lines of up to 4 KiB.
inline constexpr std::size_t kConversionReportMaxLines = 256;
inline constexpr std::size_t kConversionReportMaxLineLength = 512;

// Both images as the buffer holds them: host-order words and the byte count that was transferred
// or read. Words past the byte count (or past the span) count as 0, as in the zero-filled buffer;
// an odd last byte is its word's high byte; nothing past 32768 bytes counts.
bool CodeplugBytesEqual(std::span<const std::uint16_t> before, std::size_t beforeBytes,
                        std::span<const std::uint16_t> after, std::size_t afterBytes);

// DescribeConversion's lines, and whether the image after lost anything the image before held: a
// block, a table, records, header or record words, or words behind the image. An image that fails
// the structure check cannot show what it kept, so it counts as losing.
struct ConversionSummary
{
    std::vector<std::string> lines;
    bool losesData = false;
};
ConversionSummary SummarizeConversion(std::span<const std::uint16_t> before, std::size_t beforeBytes,
                                      std::span<const std::uint16_t> after, std::size_t afterBytes);

// One line when the bytes are equal. Otherwise the format and length lines, one line for each
// block or table that changed, in the order of the image before, and a line of totals. An image
// that fails the structure check is named as such and compared word by word only.
std::vector<std::string> DescribeConversion(std::span<const std::uint16_t> before, std::size_t beforeBytes,
                                            std::span<const std::uint16_t> after, std::size_t afterBytes);

} // namespace aurex

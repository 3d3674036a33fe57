#pragma once

// A codeplug converted to the format a radio expects, as the update's codeplug step and a
// restore both need it: the converters with every decision they already follow.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace aurex {

struct UploadedCodeplug;

// Formats this program converts: 5.8, 5.9 and 5.10 (format indexes 3 to 5).
bool Convertible(std::uint8_t formatIndex);

struct ConvertedCodeplug
{
    bool ok = false;                 // converted (or already in the format)
    std::vector<std::uint8_t> bytes; // the converted image in line order, at its new length
    std::vector<std::string> report; // what the conversion changed, for people
    bool losesData = false;          // a step down that dropped or emptied something the image held
};

// Converts a valid image (line order) to the format of `targetIndex`. Not ok for a format that
// is not converted or a conversion the converters refuse.
ConvertedCodeplug ConvertCodeplug(std::span<const std::uint8_t> lineBytes, std::uint8_t targetIndex);
ConvertedCodeplug ConvertCodeplug(const UploadedCodeplug& uploaded, std::uint8_t targetIndex);

} // namespace aurex

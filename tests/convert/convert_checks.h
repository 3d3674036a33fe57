// Helpers of the converter tests: images in the header word layout the accessors read, table
// contents, and the structural checks every converted image must pass.
#pragma once

#include "codeplug-builder/codeplug_builder.h"
#include "convert/codeplug_image.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"

#include <string>
#include <vector>

namespace aurex {

inline BuiltCodeplug BuildWide(uint8_t format, std::vector<unsigned> kinds = {0, 1, 3, 4, 5})
{
    CodeplugOptions options;
    options.formatIndex = format;
    options.headerWord = CodeplugHeaderWord::Wide;
    options.systemKinds = std::move(kinds);
    return BuildCodeplug(options);
}

inline BuiltCodeplug BuildNative(uint8_t format, std::vector<unsigned> kinds = {0, 1, 3, 4, 5})
{
    CodeplugOptions options;
    options.formatIndex = format;
    options.systemKinds = std::move(kinds);
    return BuildCodeplug(options);
}

// The image as the accessors read it: images below 5.10 keep block word 2 narrow.
inline std::vector<uint16_t> WideCopy(const uint16_t* image)
{
    std::vector<uint16_t> copy(image, image + kParmsBufferWords);
    if (ParmsFormatIndex(image) < 5) {
        ParmsSetHeaderCountWidth(copy.data(), ParmsHeaderWidth::Wide);
    }
    return copy;
}

inline std::vector<uint16_t> ImageWords(const uint16_t* image)
{
    return {image, image + ParmsImageLength(image)};
}

inline std::vector<uint16_t> TableWords(const uint16_t* image, ParmsBlockLocator block, unsigned table)
{
    const ParmsTableLocation location = ParmsRecordTable(image, block, table);
    return {image + location.start, image + location.start + uint32_t{location.count} * location.size};
}

inline uint16_t& RecordWord(uint16_t* image, ParmsBlockLocator block, unsigned table, unsigned record,
                            unsigned word)
{
    const ParmsTableLocation location = ParmsRecordTable(image, block, table);
    return image[location.start + record * location.size + word];
}

inline uint16_t& BlockWord(uint16_t* image, ParmsBlockLocator block, uint32_t word)
{
    return image[*ParmsLocateBlock(image, block) + word];
}

struct ChainBlock
{
    uint32_t start;
    ParmsBlockType type;
    unsigned identity; // block word 3
};

// The blocks of a valid image's chain.
inline std::vector<ChainBlock> ChainOf(const uint16_t* image)
{
    std::vector<ChainBlock> blocks;
    const uint32_t end = ParmsImageLength(image) - kParmsTrailerWords;
    for (uint32_t at = 0; at < end && image[at] == kParmsBlockMark && (image[at + 1] & 0x3FFF) != 0;
         at += image[at + 1] & 0x3FFF) {
        blocks.push_back({at, static_cast<ParmsBlockType>(image[at + 1] >> 14), image[at + 3]});
    }
    return blocks;
}

// Empty when the image is valid, every block's header word is in the layout of the image's
// format (or wide, for an image in a converter's hands), and every block is exactly its
// header, descriptors and records; else what is wrong.
inline std::string StructureFault(const uint16_t* image, bool wideWords = false)
{
    if (!ParmsIsValid(image)) {
        return "not valid";
    }
    const bool narrow = !wideWords && ParmsFormatIndex(image) < 5;
    const std::vector<uint16_t> wide =
        narrow ? WideCopy(image) : std::vector<uint16_t>(image, image + kParmsBufferWords);
    for (const ChainBlock& block : ChainOf(wide.data())) {
        const std::string where = "block at " + std::to_string(block.start);
        // Every block of these formats has 15, 17 or 21 tables: a narrow word reads 15 in bits
        // 15-12 with bit 11 clear, a wide one 15 or more in bits 15-11.
        const uint16_t headerWord = image[block.start + kParmsBlockHeaderWord];
        if (narrow ? (headerWord >> 12) != 15 || (headerWord & 0x0800) != 0 : (headerWord >> 11) < 15) {
            return where + ": header word not in the layout of its format";
        }
        const ParmsHeader header = ParmsBlockHeader(wide.data(), ParmsBlockAt{block.start});
        uint32_t words = header.headerLength + header.descriptorCount;
        for (unsigned t = 0; t < header.descriptorCount; ++t) {
            words += ParmsDescriptor(wide.data(), ParmsBlockAt{block.start}, t).Words();
        }
        if (words != ParmsBlockLength(wide.data(), ParmsBlockAt{block.start})) {
            return where + ": length " +
                   std::to_string(ParmsBlockLength(wide.data(), ParmsBlockAt{block.start})) +
                   " but its parts hold " + std::to_string(words);
        }
    }
    return {};
}

inline std::string WideStructureFault(const uint16_t* image)
{
    return StructureFault(image, true);
}

} // namespace aurex

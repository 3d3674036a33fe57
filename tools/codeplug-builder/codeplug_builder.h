// Builds codeplug images of formats 5.8, 5.9 and 5.10 for tests, fuzz seeds and the simulated
// radio: every block type and system kind, record tables shaped as each format has them,
// recognisable content in every header field, record and trailer word. Plain C++: no test
// framework, so any tool can link it.
#pragma once

#include "convert/codeplug_image.h"
#include "convert/format_tables.h"

#include <cstdint>
#include <string>
#include <vector>

namespace aurex {

// How block word 2 is stored: formats below 5.10 keep header length in bits 0-11 and the
// descriptor count in bits 12-15 (narrow); 5.10, and every image while it is converted to or
// from 5.10, keep 11 + 5 bits (wide).
enum class CodeplugHeaderWord : uint8_t { Native, Narrow, Wide };

struct CodeplugOptions
{
    uint8_t formatIndex = 4;                          // 3 (5.8), 4 (5.9) or 5 (5.10)
    std::vector<unsigned> systemKinds{0, 1, 3, 4, 5}; // kind of system 1, 2, ... (0, 1, 3, 4, 5)
    unsigned sequenceBlocks = 3;                      // 1 to 54
    CodeplugHeaderWord headerWord = CodeplugHeaderWord::Native;
    uint16_t radioCode = 8;        // image word 5 (bits 3-0 are the code the conversions test)
    uint16_t radioFields = 0x0440; // image word 6
    uint8_t genericCount = 2;      // records of every table without a format-specific shape
    uint8_t genericSize = 3;
    // Varies the generic tables' counts (0-4) and sizes (1-6) and the content from this seed.
    uint64_t seed = 0;
    bool shuffleBlocks = false; // kind, system and sequence blocks in a seeded order
    // When not 0, radio block tables 13 and 14 are filled so that the image length (trailer
    // included) is exactly this many words.
    uint32_t imageLength = 0;
};

struct BuiltBlock
{
    ParmsBlockType type;
    unsigned id;      // kind (kind block), number (system block), position (sequence block)
    unsigned ordinal; // position in the chain, radio block 0; selects the content pattern
    uint32_t start;
    uint32_t length;
    std::vector<ParmsTableShape> tables;
};

struct BuiltCodeplug
{
    std::vector<uint16_t> buffer; // always the whole 16384-word buffer, zero behind the image
    std::vector<BuiltBlock> blocks;
    uint32_t imageLength = 0;
    uint64_t seed = 0; // content seed, for the pattern functions below

    uint16_t* image() { return buffer.data(); }
    const uint16_t* image() const { return buffer.data(); }
    const BuiltBlock& Block(ParmsBlockType type, unsigned id) const; // throws when absent
};

// Throws std::invalid_argument for options it cannot build and std::length_error when the image
// would not fit in the buffer.
BuiltCodeplug BuildCodeplug(const CodeplugOptions& options);
// A valid image of a random format, random systems and sequence blocks, random table shapes,
// content and block order, all from the seed; always well inside the buffer.
BuiltCodeplug BuildRandomCodeplug(uint64_t seed);
CodeplugOptions RandomCodeplugOptions(uint64_t seed);

// Shape the builder gives table `table` of a block category in a format (radio block tables 13
// and 14 before any filling).
ParmsTableShape CodeplugTableShape(const CodeplugOptions& options, ParmsBlockCategory category,
                                   unsigned ordinal, unsigned table);
// Header length and descriptor count of a block category in a format, independent of the
// library's layout tables so that tests can check those against it.
ParmsHeader CodeplugHeaderShape(ParmsBlockCategory category, uint8_t formatIndex);

// The content patterns: never 0, 0xFFFF or the block mark, so that inserted zero words, moved
// records and stray marks are told apart.
uint16_t CodeplugRecordWord(uint64_t seed, unsigned ordinal, unsigned table, unsigned record, unsigned word);
uint16_t CodeplugHeaderField(uint64_t seed, unsigned ordinal, unsigned word);
uint16_t CodeplugTrailerWord(uint64_t seed, unsigned word);

// The name of system `number` in words 65 to 69 of a kind 0 system block.
std::string CodeplugSystemAlias(unsigned number);

} // namespace aurex

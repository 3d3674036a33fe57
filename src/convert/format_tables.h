// Codeplug format versions and the shape of every block category in each format, kept as data.
#pragma once

#include <cstdint>
#include <optional>

namespace aurex {

// Format index: 0 to 5 for versions 5.5 to 5.10; anything else is unknown.
inline constexpr uint8_t kParmsUnknownFormat = 255;
inline constexpr uint8_t kParmsFormatCount = 6;

struct ParmsVersion
{
    uint8_t major = 0;
    uint8_t minor = 0;
};

uint8_t ParmsFormatIndex(const uint16_t* image);
uint8_t ParmsIndexOfVersion(uint8_t major, uint8_t minor);
// (5, index + 5) for a known index, else (0, 0).
ParmsVersion ParmsVersionOfIndex(uint8_t index);

// Shape of one block category in one format. The conversion uses the low 16 bits of each field.
struct VNXParmsBlockLayout
{
    int32_t dataOffset;       // header length + descriptor count
    int32_t headerWordsAdded; // header words more than the format one index below
    int32_t descriptorCount;  // record tables in this format
    int32_t descriptorsAdded; // record tables more than the format one index below
};

enum class ParmsBlockCategory : uint8_t {
    Radio,
    Sequence,
    SystemK0,
    SystemK1,
    SystemK3,
    SystemK4,
    SystemK5,
    KindK0,
    KindK1, // kinds 1 and 3 share one kind block
    KindK4,
    KindK5,
};
inline constexpr unsigned kParmsBlockCategoryCount = 11;

// The row for `index`; the all-zero row for an index without a known layout.
const VNXParmsBlockLayout& ParmsBlockLayout(ParmsBlockCategory category, uint8_t index);
// True when the format has a known layout (its rows are not all zero).
bool ParmsHasLayout(uint8_t index);
// True when a step between index - 1 and index can change layouts: both formats are known.
bool ParmsStepHasLayouts(uint8_t targetIndex);

std::optional<ParmsBlockCategory> ParmsSystemCategory(unsigned kind);
std::optional<ParmsBlockCategory> ParmsKindCategory(unsigned kind);

// Record size of a table in one format.
struct VNXParmsRecordSize
{
    int32_t recordSize;
    int32_t wordsAdded; // against the format one index below
};

inline constexpr unsigned kParmsSequenceSizedTables = 5;

// The main record table of a system kind (3 for kind 0, 7 for kinds 1 and 3, 9 for kind 4,
// 2 for kind 5) and its record size per format; empty for other kinds.
std::optional<unsigned> ParmsSystemMainTable(unsigned kind);
std::optional<VNXParmsRecordSize> ParmsSystemRecordSize(unsigned kind, uint8_t index);
// Record size of sequence block table 0 to 4 per format; empty for other tables.
std::optional<VNXParmsRecordSize> ParmsSequenceRecordSize(unsigned table, uint8_t index);

} // namespace aurex

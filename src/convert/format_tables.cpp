#include "convert/format_tables.h"

#include "convert/codeplug_image.h"

#include <array>

namespace aurex {

namespace {

using LayoutRows = std::array<VNXParmsBlockLayout, kParmsFormatCount>;

constexpr VNXParmsBlockLayout kNoLayout{0, 0, 0, 0};

// One row per format index 5.5 .. 5.10; the three oldest formats have no known layout.
constexpr LayoutRows Rows(VNXParmsBlockLayout v58, VNXParmsBlockLayout v59, VNXParmsBlockLayout v510)
{
    return LayoutRows{kNoLayout, kNoLayout, kNoLayout, v58, v59, v510};
}

// Indexed by ParmsBlockCategory.
constexpr std::array<LayoutRows, kParmsBlockCategoryCount> kBlockLayouts{
    Rows({64, 0, 15, 0}, {64, 0, 15, 0}, {84, 20, 15, 0}),   // radio block
    Rows({38, 0, 15, 0}, {38, 0, 15, 0}, {38, 0, 15, 0}),    // sequence block
    Rows({96, 0, 15, 0}, {96, 0, 15, 0}, {96, 0, 15, 0}),    // system block, kind 0
    Rows({144, 0, 15, 0}, {144, 0, 15, 0}, {146, 0, 17, 2}), // system block, kind 1
    Rows({348, 0, 15, 0}, {348, 0, 15, 0}, {354, 0, 21, 6}), // system block, kind 3
    Rows({313, 0, 15, 0}, {313, 0, 15, 0}, {319, 0, 21, 6}), // system block, kind 4
    Rows({57, 0, 15, 0}, {57, 0, 15, 0}, {57, 0, 15, 0}),    // system block, kind 5
    Rows({69, 0, 15, 0}, {69, 0, 15, 0}, {69, 0, 15, 0}),    // kind block, kind 0
    Rows({70, 0, 15, 0}, {70, 0, 15, 0}, {70, 0, 15, 0}),    // kind block, kinds 1 and 3
    Rows({76, 0, 15, 0}, {76, 0, 15, 0}, {76, 0, 15, 0}),    // kind block, kind 4
    Rows({65, 0, 15, 0}, {65, 0, 15, 0}, {65, 0, 15, 0}),    // kind block, kind 5
};

using SizeRows = std::array<VNXParmsRecordSize, kParmsFormatCount>;

constexpr SizeRows SizeRowsOf(VNXParmsRecordSize v58, VNXParmsRecordSize v59, VNXParmsRecordSize v510)
{
    return SizeRows{
        VNXParmsRecordSize{0, 0}, VNXParmsRecordSize{0, 0}, VNXParmsRecordSize{0, 0}, v58, v59, v510};
}

struct MainTable
{
    unsigned kind;
    unsigned table;
    SizeRows sizes;
};

constexpr std::array<MainTable, 5> kSystemMainTables{{
    {0, 3, SizeRowsOf({36, 0}, {36, 0}, {58, 22})},
    {1, 7, SizeRowsOf({36, 0}, {36, 0}, {58, 22})},
    {3, 7, SizeRowsOf({36, 0}, {36, 0}, {58, 22})},
    {4, 9, SizeRowsOf({36, 0}, {36, 0}, {58, 22})},
    {5, 2, SizeRowsOf({37, 0}, {37, 0}, {59, 22})},
}};

constexpr std::array<SizeRows, kParmsSequenceSizedTables> kSequenceSizes{
    SizeRowsOf({17, 3}, {17, 0}, {18, 1}), SizeRowsOf({15, 3}, {15, 0}, {15, 0}),
    SizeRowsOf({13, 3}, {13, 0}, {13, 0}), SizeRowsOf({13, 3}, {13, 0}, {13, 0}),
    SizeRowsOf({14, 0}, {14, 0}, {14, 0}),
};

using Category = std::optional<ParmsBlockCategory>;

// System kinds 0 to 5: which layout a system block and a kind block of that kind take.
constexpr std::array<Category, 6> kSystemCategoryOfKind{
    ParmsBlockCategory::SystemK0, ParmsBlockCategory::SystemK1, std::nullopt,
    ParmsBlockCategory::SystemK3, ParmsBlockCategory::SystemK4, ParmsBlockCategory::SystemK5,
};
constexpr std::array<Category, 6> kKindCategoryOfKind{
    ParmsBlockCategory::KindK0, ParmsBlockCategory::KindK1, std::nullopt,
    ParmsBlockCategory::KindK1, ParmsBlockCategory::KindK4, ParmsBlockCategory::KindK5,
};

const MainTable* MainTableOf(unsigned kind)
{
    for (const MainTable& entry : kSystemMainTables) {
        if (entry.kind == kind) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

uint8_t ParmsFormatIndex(const uint16_t* image)
{
    const uint16_t version = ParmsGetField(image, kParmsVersionWord, 0xFFFF, 0);
    return ParmsIndexOfVersion(static_cast<uint8_t>(version >> 8), static_cast<uint8_t>(version & 0xFF));
}

uint8_t ParmsIndexOfVersion(uint8_t major, uint8_t minor)
{
    if (major != 5 || minor < 5 || minor >= 5 + kParmsFormatCount) {
        return kParmsUnknownFormat;
    }
    return static_cast<uint8_t>(minor - 5);
}

ParmsVersion ParmsVersionOfIndex(uint8_t index)
{
    if (index >= kParmsFormatCount) {
        return {};
    }
    return ParmsVersion{5, static_cast<uint8_t>(index + 5)};
}

const VNXParmsBlockLayout& ParmsBlockLayout(ParmsBlockCategory category, uint8_t index)
{
    const auto row = static_cast<std::size_t>(category);
    if (row >= kBlockLayouts.size() || index >= kParmsFormatCount) {
        return kNoLayout;
    }
    return kBlockLayouts[row][index];
}

bool ParmsHasLayout(uint8_t index)
{
    return ParmsBlockLayout(ParmsBlockCategory::Radio, index).dataOffset != 0;
}

bool ParmsStepHasLayouts(uint8_t targetIndex)
{
    return targetIndex >= 1 && ParmsHasLayout(targetIndex) &&
           ParmsHasLayout(static_cast<uint8_t>(targetIndex - 1));
}

std::optional<ParmsBlockCategory> ParmsSystemCategory(unsigned kind)
{
    return kind < kSystemCategoryOfKind.size() ? kSystemCategoryOfKind[kind] : std::nullopt;
}

std::optional<ParmsBlockCategory> ParmsKindCategory(unsigned kind)
{
    return kind < kKindCategoryOfKind.size() ? kKindCategoryOfKind[kind] : std::nullopt;
}

std::optional<unsigned> ParmsSystemMainTable(unsigned kind)
{
    const MainTable* entry = MainTableOf(kind);
    return entry != nullptr ? std::optional<unsigned>(entry->table) : std::nullopt;
}

std::optional<VNXParmsRecordSize> ParmsSystemRecordSize(unsigned kind, uint8_t index)
{
    const MainTable* entry = MainTableOf(kind);
    if (entry == nullptr || index >= kParmsFormatCount) {
        return std::nullopt;
    }
    return entry->sizes[index];
}

std::optional<VNXParmsRecordSize> ParmsSequenceRecordSize(unsigned table, uint8_t index)
{
    if (table >= kSequenceSizes.size() || index >= kParmsFormatCount) {
        return std::nullopt;
    }
    return kSequenceSizes[table][index];
}

} // namespace aurex

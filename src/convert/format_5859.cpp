#include "convert/format_5859.h"

#include <array>
#include <utility>

namespace aurex {

namespace {

// Radio block.
constexpr unsigned kRadioChannelTable = 0;   // 5.9 holds at least 16 records
constexpr unsigned kRadioFavoritesTable = 3; // 5.9 gives it 16 one-word records
constexpr unsigned kRadioMinimumRecords = 16;
constexpr unsigned kFavoritesRecords = 16;
constexpr uint16_t kFavoritesRecord = 0xFF01; // low byte 1, high byte 255
constexpr uint32_t kFavoritesNameWord = 39;
constexpr uint32_t kRadioPairWord = 25; // two byte fields that must not be 0
constexpr uint32_t kRadioHeaderFields = kFavoritesNameWord + kParmsNameWords;

// Settings that 5.9 keeps in the first kind 0 system and 5.8 in the kind 0 kind block:
// (kind block word, system block word).
constexpr std::array<std::pair<uint32_t, uint32_t>, 7> kCopiedSettings{{
    {10, 18},
    {11, 19},
    {12, 21},
    {13, 22},
    {27, 23},
    {28, 24},
    {30, 25},
}};
constexpr uint32_t kKindBlockCopyFields = 31;
constexpr uint32_t kSystemCopyFields = 26;

// Kind 0 systems.
constexpr unsigned kK0WidenedTable = 2;
constexpr unsigned kK0OlderSize = 2;
constexpr unsigned kK0NewerSize = 4;
// Defaults of the two words 5.9 adds to each record: 548.864 rounded half up, in bits 11-0,
// and a second setting of 659.
constexpr uint16_t kK0RecordWord2Default = 549;
constexpr uint16_t kK0RecordWord3Default = 659;
constexpr uint32_t kK0AliasWord = 65;
constexpr uint32_t kK0AliasFollowerWord = 70; // low byte defaults to 60
constexpr uint16_t kK0AliasFollowerDefault = 60;
constexpr uint32_t kK0HeaderFields = kK0AliasFollowerWord + 1;

// Kind 4 systems, when the radio code is 8: entries of table 0 that lack a setting are blocked.
constexpr uint16_t kBlockedEntriesCode = 8;
constexpr unsigned kEntryTable = 0;
constexpr unsigned kEntryWords = 6;
constexpr uint16_t kBlocked = 0xFFFF;

// Kind 5 systems.
constexpr unsigned kK5EntryTable = 0;
constexpr unsigned kK5OlderEntryWords = 10;
constexpr unsigned kK5NewerEntryWords = 11;
constexpr unsigned kK5ListTable = 1;
constexpr unsigned kK5ListRecordWords = 2;
constexpr unsigned kK5BitmapTable = 2;
constexpr unsigned kBitmapWords = 32;
constexpr unsigned kBitmapRecordWords = kParmsNameWords + kBitmapWords; // 37

} // namespace

void VNXParmsFormat5859::ConvertRadioBlock()
{
    if (!Upgrading()) {
        return;
    }
    const auto block = HeaderFields(ParmsRadioBlock{}, kRadioHeaderFields);
    const auto channels = block ? RequireTable(*block, kRadioChannelTable) : std::nullopt;
    if (!channels) {
        return;
    }
    if (channels->count < kRadioMinimumRecords) {
        ResizeRadioTable(kRadioChannelTable, channels->count, kRadioMinimumRecords);
    }

    const auto favorites = RequireTable(0, kRadioFavoritesTable);
    if (!favorites) {
        return;
    }
    if (favorites->size == 0) {
        if (favorites->count != 0) {
            Refuse(ParmsStepFault::UnexpectedShape); // records without words cannot take a size
            return;
        }
        ParmsSetDescriptor(image, ParmsRadioBlock{}, kRadioFavoritesTable, kParmsKeep, 1);
        ResizeRadioTable(kRadioFavoritesTable, 0, kFavoritesRecords);
        const auto filled = RequireTable(0, kRadioFavoritesTable);
        if (!filled) {
            return;
        }
        for (uint32_t r = 0; r < kFavoritesRecords; ++r) {
            image[filled->Word(r, 0)] = kFavoritesRecord;
        }
        ParmsWriteName("FAVORITES", image, kFavoritesNameWord);
    }

    if (ParmsGetField(image, kRadioPairWord, 0xFF00, 8) == 0) {
        ParmsSetField(image, kRadioPairWord, 0xFF00, 8, 1);
    }
    if (ParmsGetField(image, kRadioPairWord, 0x00FF, 0) == 0) {
        ParmsSetField(image, kRadioPairWord, 0x00FF, 0, 1);
    }
}

void VNXParmsFormat5859::ConvertKindBlockK0()
{
    const unsigned systems = ParmsGetField(image, kParmsBlockCountsWord, 0x00FF, 0);
    unsigned first = 0;
    for (unsigned number = 1; number <= systems && first == 0; ++number) {
        if (ParmsSystemKind(image, number) == 0u) {
            first = number;
        }
    }
    if (first == 0) {
        return;
    }
    const auto kindBlock = HeaderFields(ParmsKindBlock{0}, kKindBlockCopyFields);
    const auto system = HeaderFields(ParmsSystemBlock{first}, kSystemCopyFields);
    if (!kindBlock || !system) {
        return;
    }
    for (const auto& [kindWord, systemWord] : kCopiedSettings) {
        if (Upgrading()) {
            image[*system + systemWord] = image[*kindBlock + kindWord];
        } else {
            image[*kindBlock + kindWord] = image[*system + systemWord];
        }
    }
}

void VNXParmsFormat5859::ConvertSystemBlockK0(unsigned number)
{
    if (!Upgrading()) {
        return;
    }
    const auto block = HeaderFields(ParmsSystemBlock{number}, kK0HeaderFields);
    const auto table = block ? RequireTable(*block, kK0WidenedTable) : std::nullopt;
    if (!table) {
        return;
    }
    if (table->size < kK0NewerSize) {
        ResizeSystemRecords(number, kK0WidenedTable, kK0OlderSize, kK0NewerSize);
        const auto widened = RequireTable(*block, kK0WidenedTable);
        if (!widened) {
            return;
        }
        for (uint32_t r = 0; r < widened->count; ++r) {
            ParmsSetField(image, widened->Word(r, 2), 0x0FFF, 0, kK0RecordWord2Default);
            image[widened->Word(r, 3)] = kK0RecordWord3Default;
        }
    }

    bool aliasEmpty = true;
    for (uint32_t w = 0; w < kParmsNameWords; ++w) {
        aliasEmpty = aliasEmpty && image[*block + kK0AliasWord + w] == 0;
    }
    if (aliasEmpty) {
        ParmsWriteName("SYS ALIAS", image, *block + kK0AliasWord);
    }

    DefaultRecordSize(number, 6, 9);
    DefaultRecordSize(number, 7, 9);
    DefaultRecordSize(number, 8, 2);

    // The word after the alias, in the system block: an image-wide word 70 would lie in the
    // radio block's record data, which this system has nothing to do with.
    if (!Failed() && ParmsGetField(image, *block + kK0AliasFollowerWord, 0x00FF, 0) == 0) {
        ParmsSetField(image, *block + kK0AliasFollowerWord, 0x00FF, 0, kK0AliasFollowerDefault);
    }
}

void VNXParmsFormat5859::ConvertSystemBlockK1(unsigned number)
{
    static constexpr SteppedSystem kKind1{{9, 10}, 10, 0x3E00, 9, {8, 9}, {9, 2}, false};
    ConvertSteppedSystem(number, kKind1);
}

void VNXParmsFormat5859::ConvertSystemBlockK3(unsigned number)
{
    static constexpr SteppedSystem kKind3{{13, 14}, 10, 0x3E00, 9, {12, 13}, {9, 2}, false};
    ConvertSteppedSystem(number, kKind3);
}

void VNXParmsFormat5859::ConvertSystemBlockK4(unsigned number)
{
    static constexpr SteppedSystem kKind4{{13, 14}, 248, 0x001F, 0, {12, 13}, {9, 2}, true};
    ConvertSteppedSystem(number, kKind4);
}

// Kinds 1 and 3 get no further fix-up. The candidate (system word 107 of -625 becoming
// 51100 + 25 x -625 when bits 12-10 of image word 6 are 5) compares the word, taken as unsigned,
// with -625, so it could never apply; it is left out rather than made to apply now.
void VNXParmsFormat5859::ConvertSteppedSystem(unsigned number, const SteppedSystem& system)
{
    const auto block = HeaderFields(ParmsSystemBlock{number}, system.fieldWord + 1);
    if (!block) {
        return;
    }
    if (stepping) {
        EmptySystemTable(number, system.emptiedTables[0]);
        EmptySystemTable(number, system.emptiedTables[1]);
        if (Failed()) {
            return;
        }
        const uint32_t at = *block + system.fieldWord; // emptying its tables never moves the block
        unsigned value = ParmsGetField(image, at, system.fieldMask, system.fieldShift);
        if (Upgrading()) {
            value = value >= 12 ? 16 : value + 4;
        } else {
            value = value <= 4 ? 0 : value - 4;
        }
        ParmsSetField(image, at, system.fieldMask, system.fieldShift, value);
    }
    if (Upgrading()) {
        if (system.blockedEntries) {
            BlockIncompleteEntries(*block);
        }
        DefaultRecordSize(number, system.sizedTables[0], system.sizes[0]);
        DefaultRecordSize(number, system.sizedTables[1], system.sizes[1]);
    }
}

void VNXParmsFormat5859::BlockIncompleteEntries(uint32_t block)
{
    if ((ParmsGetField(image, kParmsRadioCodeWord, 0x000F, 0)) != kBlockedEntriesCode) {
        return;
    }
    const auto entries = RequireTable(block, kEntryTable);
    if (!entries || entries->count == 0) {
        return;
    }
    if (entries->size != kEntryWords) {
        Refuse(ParmsStepFault::UnexpectedShape); // not the entries this fix-up knows
        return;
    }
    for (uint32_t r = 0; r < entries->count; ++r) {
        const uint32_t first = entries->Word(r, 0);
        bool incomplete = false;
        for (uint32_t w = 1; w < kEntryWords; ++w) {
            incomplete = incomplete || image[first + w] == 0;
        }
        if (image[first] != kBlocked && incomplete) {
            for (uint32_t w = 0; w < kEntryWords; ++w) {
                image[first + w] = kBlocked;
            }
        }
    }
}

void VNXParmsFormat5859::ConvertSystemBlockK5(unsigned number)
{
    if (!Upgrading()) {
        return;
    }
    const uint32_t block = ParmsFindSystemBlock(image, number);
    const auto entries = RequireTable(block, kK5EntryTable);
    if (!entries) {
        return;
    }
    if (entries->size <= kK5OlderEntryWords) {
        ResizeSystemRecords(number, kK5EntryTable, kK5OlderEntryWords, kK5NewerEntryWords);
        const auto widened = RequireTable(block, kK5EntryTable);
        if (!widened) {
            return;
        }
        for (uint32_t r = 0; r < widened->count; ++r) {
            image[widened->Word(r, kK5OlderEntryWords)] = 0;
        }
    }

    const auto list = RequireTable(block, kK5ListTable);
    if (!list || list->count == 0) {
        return;
    }
    if (list->size != kK5ListRecordWords) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    std::array<uint16_t, kBitmapRecordWords> bitmap{};
    ParmsWriteName("1", bitmap.data(), 0);
    for (uint32_t r = 0; r < list->count; ++r) {
        const uint16_t entry = image[list->Word(r, 1)];
        const unsigned word = entry >> 8;
        const unsigned bit = entry & 0xFF;
        // An entry outside the 32 x 16 bits has no place in the bitmap: skipped, never
        // written into a neighbouring word.
        if (word < kBitmapWords && bit < 16) {
            bitmap[kParmsNameWords + word] |= static_cast<uint16_t>(1u << (15 - bit));
        }
    }
    if (ReplaceRecordTable(number, kK5BitmapTable, bitmap.data(), 1, kBitmapRecordWords)) {
        ReplaceRecordTable(number, kK5ListTable, nullptr, 0, kK5ListRecordWords);
    }
}

void VNXParmsFormat5859::SystemBlockResizedK1(unsigned number)
{
    NewEmptyTable(number, 9, 2);
}

void VNXParmsFormat5859::SystemBlockResizedK3(unsigned number)
{
    NewEmptyTable(number, 13, 2);
}

void VNXParmsFormat5859::SystemBlockResizedK4(unsigned number)
{
    NewEmptyTable(number, 13, 2);
}

// A well-formed 5.8 image holds no records there; a malformed one that does loses them here,
// since a count of 0 over records still present would shift every later table.
void VNXParmsFormat5859::NewEmptyTable(unsigned number, unsigned table, unsigned size)
{
    ReplaceRecordTable(number, table, nullptr, 0, size);
}

} // namespace aurex

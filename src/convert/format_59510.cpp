#include "convert/format_59510.h"

namespace aurex {

namespace {

constexpr uint8_t kOlderFormat = 4; // 5.9
constexpr uint8_t kNewerFormat = 5; // 5.10

// Radio block.
constexpr unsigned kRadioGrownTable = 1;
constexpr unsigned kRadioOlderRecords = 16;
constexpr unsigned kRadioNewerRecords = 64;
constexpr uint16_t kFieldsLowMask = 0x00F0; // image word 6, bits 7-4: at least 4
constexpr unsigned kFieldsLowShift = 4;
constexpr unsigned kFieldsLowMinimum = 4;
constexpr uint32_t kRadioModeWord = 24; // low byte 1 becomes 2
constexpr uint32_t kRadioNameWord = 46;
// Bits 12-10 of radio block word 28 default to 1 when they are 0. Testing word 29 instead while
// setting word 28 would overwrite a value already in word 28 whenever word 29's field is empty.
// Every other default here tests and sets one word, so this one does too, on word 28: the word
// the default is written to.
constexpr uint32_t kRadioDefaultedWord = 28;
constexpr uint16_t kRadioDefaultedMask = 0x1C00;
constexpr unsigned kRadioDefaultedShift = 10;
constexpr uint32_t kRadioHeaderFields = kRadioNameWord + kParmsNameWords;

// Kind block of kind 0: words 30 to 39 are cleared.
constexpr uint32_t kKindClearedFirst = 30;
constexpr uint32_t kKindClearedWords = 10;

// Kind 4 systems, when the radio code is 4.
constexpr uint16_t kClearedMarksCode = 4;
constexpr uint16_t kMark = 0xFFFF;
constexpr uint16_t kClearedMark = 0x0FFF;

constexpr unsigned kThreeWords = 3;

} // namespace

void VNXParmsFormat59510::ConvertRadioBlock()
{
    const auto block = HeaderFields(ParmsRadioBlock{}, kRadioHeaderFields);
    const auto grown = block ? RequireTable(*block, kRadioGrownTable) : std::nullopt;
    if (!grown) {
        return;
    }
    // A refresh finds the table grown already, unless the image came from elsewhere with 16.
    if (stepping || grown->count == kRadioOlderRecords) {
        ResizeRadioTable(kRadioGrownTable, kRadioOlderRecords, kRadioNewerRecords);
    }
    if (!Upgrading() || Failed()) {
        return;
    }
    if (ParmsGetField(image, kParmsRadioFieldsWord, kFieldsLowMask, kFieldsLowShift) < kFieldsLowMinimum) {
        ParmsSetField(image, kParmsRadioFieldsWord, kFieldsLowMask, kFieldsLowShift, kFieldsLowMinimum);
    }
    if (ParmsGetField(image, kRadioModeWord, 0x00FF, 0) == 1) {
        ParmsSetField(image, kRadioModeWord, 0x00FF, 0, 2);
    }
    SanitizeNameField(kRadioNameWord);
    if (ParmsGetField(image, kRadioDefaultedWord, kRadioDefaultedMask, kRadioDefaultedShift) == 0) {
        ParmsSetField(image, kRadioDefaultedWord, kRadioDefaultedMask, kRadioDefaultedShift, 1);
    }
}

void VNXParmsFormat59510::SanitizeNameField(uint32_t field)
{
    for (uint32_t w = field; w < field + kParmsNameWords && w < kParmsBufferWords; ++w) {
        if ((image[w] & 0x00FF) == 0) {
            image[w] |= 0x0020;
        }
        if ((image[w] & 0xFF00) == 0) {
            image[w] |= 0x2000;
        }
    }
}

void VNXParmsFormat59510::ConvertKindBlockK0()
{
    if (!Upgrading()) {
        return;
    }
    if (const auto block = HeaderFields(ParmsKindBlock{0}, kKindClearedFirst + kKindClearedWords)) {
        ParmsClearWords(image, *block + kKindClearedFirst, kKindClearedWords);
    }
}

void VNXParmsFormat59510::ConvertSystemBlockK0(unsigned number)
{
    static constexpr SystemChanges kKind0{0, {}, 1, 0, nullptr, false};
    ConvertSystem(number, kKind0);
}

void VNXParmsFormat59510::ConvertSystemBlockK1(unsigned number)
{
    static constexpr ThreeWordTable kTable{9, 10, 5, 0x0FFF};
    static constexpr SystemChanges kKind1{1, {{5, 4, 5}, {6, 18, 19}, {}}, 15, 16, &kTable, false};
    ConvertSystem(number, kKind1);
}

void VNXParmsFormat59510::ConvertSystemBlockK3(unsigned number)
{
    static constexpr ThreeWordTable kTable{13, 14, 5, 0x0FFF};
    static constexpr SystemChanges kKind3{3, {{5, 6, 7}, {6, 20, 21}, {}}, 15, 20, &kTable, false};
    ConvertSystem(number, kKind3);
}

void VNXParmsFormat59510::ConvertSystemBlockK4(unsigned number)
{
    static constexpr ThreeWordTable kTable{13, 14, 6, 0xFFFF};
    static constexpr SystemChanges kKind4{4, {{6, 8, 13}, {7, 22, 26}, {11, 32, 64}}, 15, 20, &kTable, true};
    ConvertSystem(number, kKind4);
}

void VNXParmsFormat59510::ConvertSystemBlockK5(unsigned number)
{
    static constexpr SystemChanges kKind5{5, {}, 3, 3, nullptr, false};
    ConvertSystem(number, kKind5);
}

void VNXParmsFormat59510::ConvertSystem(unsigned number, const SystemChanges& changes)
{
    if (stepping) {
        const unsigned mainTable = *ParmsSystemMainTable(changes.kind);
        const auto older = ParmsSystemRecordSize(changes.kind, kOlderFormat)->recordSize;
        const auto newer = ParmsSystemRecordSize(changes.kind, kNewerFormat)->recordSize;
        ResizeSystemRecords(number, mainTable, static_cast<unsigned>(older), static_cast<unsigned>(newer));
        for (const RecordChange& change : changes.others) {
            if (change.newerSize != 0) {
                ResizeSystemRecords(number, change.table, change.olderSize, change.newerSize);
            }
        }
        // Before a downgrade's layout change drops their descriptors, every table 5.10 added
        // (and table 3 of kind 5, which 5.10 redefined) gives up its records, so that no record
        // is left behind without a descriptor to shift every later table.
        for (unsigned table = changes.removedFirst; table <= changes.removedLast; ++table) {
            EmptySystemTable(number, table);
        }
    }
    if (Upgrading()) {
        if (changes.threeWordTable != nullptr) {
            DefaultRecordSize(number, changes.threeWordTable->sizedTable, 2);
            BuildThreeWordTable(number, *changes.threeWordTable);
        }
        if (changes.clearedMarks) {
            ClearMarks(number);
        }
    }
}

void VNXParmsFormat59510::BuildThreeWordTable(unsigned number, const ThreeWordTable& table)
{
    const uint32_t block = ParmsFindSystemBlock(image, number);
    const auto target = RequireTable(block, table.target);
    const auto source = RequireTable(block, table.source);
    if (!target || !source || target->size != 0) {
        return; // built already (or refused)
    }
    if (target->count != 0 || (source->count != 0 && source->size < kThreeWords)) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    if (!InsertWords(block, target->start, source->count * kThreeWords)) {
        return;
    }
    ParmsSetDescriptor(image, ParmsBlockAt{block}, table.target, static_cast<int>(source->count),
                       static_cast<int>(kThreeWords));
    const auto built = RequireTable(block, table.target);
    const auto from = RequireTable(block, table.source); // found again: the source may lie behind
    if (!built || !from) {
        return;
    }
    for (uint32_t r = 0; r < from->count; ++r) {
        image[built->Word(r, 0)] = static_cast<uint16_t>(image[from->Word(r, 0)] & table.firstWordMask);
        image[built->Word(r, 1)] = image[from->Word(r, 1)];
        image[built->Word(r, 2)] = image[from->Word(r, 2)];
    }
}

void VNXParmsFormat59510::ClearMarks(unsigned number)
{
    if (Failed() || ParmsGetField(image, kParmsRadioCodeWord, 0x000F, 0) != kClearedMarksCode) {
        return;
    }
    const uint32_t block = ParmsFindSystemBlock(image, number);
    for (const unsigned tableNumber : {6u, 14u}) {
        const auto table = RequireTable(block, tableNumber);
        if (!table) {
            return;
        }
        if (table->count != 0 && table->size < kThreeWords) {
            Refuse(ParmsStepFault::UnexpectedShape);
            return;
        }
        for (const uint32_t word : {1u, 2u}) {
            for (uint32_t r = 0; r < table->count; ++r) {
                if (image[table->Word(r, word)] == kMark) {
                    image[table->Word(r, word)] = kClearedMark;
                }
            }
        }
    }
}

void VNXParmsFormat59510::SystemBlockResizedK4(unsigned number)
{
    // A new descriptor: the layout change made it (0, 0), so there are no records to remove.
    ReplaceRecordTable(number, 15, nullptr, 0, 2);
}

void VNXParmsFormat59510::SystemBlockResizedK5(unsigned number)
{
    // An existing table that 5.10 redefines: whatever records a malformed 5.9 image holds there
    // go, so that the count of 0 leaves no words behind.
    ReplaceRecordTable(number, 3, nullptr, 0, 37);
}

void VNXParmsFormat59510::ConvertSequenceTable(unsigned position, unsigned table)
{
    if (!stepping) {
        return;
    }
    const auto older = ParmsSequenceRecordSize(table, kOlderFormat);
    const auto newer = ParmsSequenceRecordSize(table, kNewerFormat);
    if (older && newer) {
        ResizeSequenceRecords(position, table, static_cast<unsigned>(older->recordSize),
                              static_cast<unsigned>(newer->recordSize));
    }
}

} // namespace aurex

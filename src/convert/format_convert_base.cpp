#include "convert/format_convert_base.h"

#include <array>

namespace aurex {

namespace {

struct SystemOperations
{
    unsigned kind;
    void (VNXParmsFormatConvertBase::*resized)(unsigned);
    void (VNXParmsFormatConvertBase::*content)(unsigned);
};

} // namespace

const char* ParmsStepFaultText(ParmsStepFault fault)
{
    switch (fault) {
    case ParmsStepFault::None:
        return "converted";
    case ParmsStepFault::NoConverter:
        return "there is no conversion between these formats";
    case ParmsStepFault::ImageTooLarge:
        return "the converted image would not fit in the 32768-byte codeplug buffer";
    case ParmsStepFault::UnexpectedShape:
        return "a block or record table is not shaped as its format has it";
    }
    return "unknown fault";
}

bool VNXParmsFormatConvertBase::RunStep(uint16_t* stepImage, bool stepBackward)
{
    image = stepImage;
    backward = stepBackward;
    stepping = true;
    refreshing = false;
    fault = ParmsStepFault::None;
    Convert();
    return !Failed();
}

bool VNXParmsFormatConvertBase::RunRefresh(uint16_t* stepImage)
{
    image = stepImage;
    backward = false; // a refresh never goes down
    stepping = false;
    refreshing = true;
    fault = ParmsStepFault::None;
    Convert();
    return !Failed();
}

void VNXParmsFormatConvertBase::Convert()
{
    lengthChange = 0;
    if (image == nullptr || !ParmsStepHasLayouts(targetIndex)) {
        Refuse(ParmsStepFault::NoConverter);
        return;
    }
    const int32_t before = ParmsImageLength(image);

    ConvertBlock(
        ParmsBlockCategory::Radio, ParmsRadioBlock{}, [this] { RadioBlockResized(); },
        [this] { ConvertRadioBlock(); });
    if (!Failed() && stepping) {
        // Written before any other block is visited: the radio block's own content operation
        // still sees the older version on an upgrade, every later operation the newer one.
        const ParmsVersion version =
            ParmsVersionOfIndex(static_cast<uint8_t>(backward ? targetIndex - 1 : targetIndex));
        ParmsSetField(image, kParmsVersionWord, 0xFFFF, 0, (uint32_t{version.major} << 8) | version.minor);
    }
    ConvertKindBlocks();
    ConvertSystemBlocks();
    ConvertSequenceBlocks();

    lengthChange = static_cast<int32_t>(ParmsImageLength(image)) - before;
}

// Grow before the content operation on an upgrade step, shrink after it on a downgrade, so
// that the content operation always sees the newer layout. A refresh changes no layout.
template <typename Resized, typename Content>
void VNXParmsFormatConvertBase::ConvertBlock(ParmsBlockCategory category, ParmsBlockLocator where,
                                             Resized resized, Content content)
{
    if (Failed()) {
        return;
    }
    const VNXParmsBlockLayout& layout = ParmsBlockLayout(category, targetIndex);
    const auto resize = [&] {
        const auto block = ParmsLocateBlock(image, where);
        if (!block) {
            Refuse(ParmsStepFault::UnexpectedShape);
            return;
        }
        ResizeBlockLayout(*block, layout);
    };
    if (stepping && !backward) {
        resize();
        if (Failed()) {
            return;
        }
        resized();
    }
    if (Failed()) {
        return;
    }
    content();
    if (!Failed() && stepping && backward) {
        resize(); // found again: the content operation may have moved it
    }
}

void VNXParmsFormatConvertBase::ConvertKindBlocks()
{
    if (ParmsFindKindBlock(image, 0) != 0) {
        ConvertBlock(
            ParmsBlockCategory::KindK0, ParmsKindBlock{0}, [this] { KindBlockResizedK0(); },
            [this] { ConvertKindBlockK0(); });
    }
    // Kinds 1 and 3 share one kind block: the one of kind 1, else the one of kind 3.
    const unsigned sharedKind = ParmsFindKindBlock(image, 1) != 0 ? 1 : 3;
    if (ParmsFindKindBlock(image, sharedKind) != 0) {
        ConvertBlock(
            ParmsBlockCategory::KindK1, ParmsKindBlock{sharedKind}, [this] { KindBlockResizedK1(); },
            [this] { ConvertKindBlockK1(); });
    }
    if (ParmsFindKindBlock(image, 4) != 0) {
        ConvertBlock(
            ParmsBlockCategory::KindK4, ParmsKindBlock{4}, [this] { KindBlockResizedK4(); },
            [this] { ConvertKindBlockK4(); });
    }
    if (ParmsFindKindBlock(image, 5) != 0) {
        ConvertBlock(
            ParmsBlockCategory::KindK5, ParmsKindBlock{5}, [this] { KindBlockResizedK5(); },
            [this] { ConvertKindBlockK5(); });
    }
}

void VNXParmsFormatConvertBase::ConvertSystemBlocks()
{
    using Self = VNXParmsFormatConvertBase;
    static constexpr std::array<SystemOperations, 5> kOperations{{
        {0, &Self::SystemBlockResizedK0, &Self::ConvertSystemBlockK0},
        {1, &Self::SystemBlockResizedK1, &Self::ConvertSystemBlockK1},
        {3, &Self::SystemBlockResizedK3, &Self::ConvertSystemBlockK3},
        {4, &Self::SystemBlockResizedK4, &Self::ConvertSystemBlockK4},
        {5, &Self::SystemBlockResizedK5, &Self::ConvertSystemBlockK5},
    }};
    const unsigned systemCount = ParmsGetField(image, kParmsBlockCountsWord, 0x00FF, 0);
    for (unsigned number = 1; number <= systemCount && !Failed(); ++number) {
        const auto kind = ParmsSystemKind(image, number);
        if (!kind) {
            continue; // a valid image names every system from 1 to the count
        }
        const auto category = ParmsSystemCategory(*kind);
        for (const SystemOperations& operations : kOperations) {
            if (category && operations.kind == *kind) {
                ConvertBlock(
                    *category, ParmsSystemBlock{number}, [&] { (this->*operations.resized)(number); },
                    [&] { (this->*operations.content)(number); });
            }
        }
    }
}

void VNXParmsFormatConvertBase::ConvertSequenceBlocks()
{
    const unsigned sequenceCount = ParmsGetField(image, kParmsBlockCountsWord, 0xFF00, 8);
    for (unsigned position = 1; position <= sequenceCount && !Failed(); ++position) {
        ConvertBlock(
            ParmsBlockCategory::Sequence, ParmsSequenceBlock{position},
            [&] { SequenceBlockResized(position); },
            [&] {
                using Self = VNXParmsFormatConvertBase;
                for (auto table : {&Self::ConvertSequenceTable0, &Self::ConvertSequenceTable1,
                                   &Self::ConvertSequenceTable2, &Self::ConvertSequenceTable3,
                                   &Self::ConvertSequenceTable4}) {
                    if (!Failed()) {
                        (this->*table)(position);
                    }
                }
            });
    }
}

void VNXParmsFormatConvertBase::ResizeBlockLayout(uint32_t block, const VNXParmsBlockLayout& layout)
{
    if (Failed() || image == nullptr) {
        return;
    }
    const uint32_t dataOffset = static_cast<uint16_t>(layout.dataOffset);
    const uint32_t headerAdded = static_cast<uint16_t>(layout.headerWordsAdded);
    const uint32_t descriptors = static_cast<uint16_t>(layout.descriptorCount);
    const uint32_t descriptorsAdded = static_cast<uint16_t>(layout.descriptorsAdded);
    // The older header must keep the four fixed header words in front of every move.
    if (descriptors < descriptorsAdded || dataOffset < descriptors + headerAdded + 4 ||
        dataOffset - descriptors > kParmsMaxHeaderLength || descriptors > kParmsMaxDescriptors ||
        !InChain(block)) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    const bool upgrade = !backward;
    const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{block});
    const uint32_t newerHeader = dataOffset - descriptors;
    const uint32_t olderHeader = newerHeader - headerAdded;
    const uint32_t olderDescriptors = descriptors - descriptorsAdded;
    // The block must have the source format's shape, or the moves below would cut through its
    // tables. The descriptor count is compared only when it changes: formats below 5.10 keep
    // it in a narrower field that a step between them leaves alone.
    const uint32_t fromHeader = upgrade ? olderHeader : newerHeader;
    const uint32_t fromDescriptors = upgrade ? olderDescriptors : descriptors;
    const uint32_t fromDataOffset = fromHeader + fromDescriptors;
    if (header.headerLength != fromHeader ||
        (descriptorsAdded != 0 && header.descriptorCount != fromDescriptors) ||
        ParmsBlockLength(image, ParmsBlockAt{block}) < fromDataOffset) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    const uint32_t change = headerAdded + descriptorsAdded;
    if (upgrade) {
        // Checked whole before the first move, so a block is never left half grown.
        if (!Fits(block, change)) {
            Refuse(ParmsStepFault::ImageTooLarge);
            return;
        }
        ParmsSetBlockHeader(image, ParmsBlockAt{block}, static_cast<int>(newerHeader),
                            static_cast<int>(header.descriptorCount + descriptorsAdded));
        InsertWords(block, block + olderHeader, headerAdded);
        InsertWords(block, block + dataOffset - descriptorsAdded, descriptorsAdded);
    } else {
        // The content operation must have emptied the tables whose descriptors go; records
        // left there would lose their descriptor and shift every later table.
        for (uint32_t t = descriptors - descriptorsAdded; t < descriptors; ++t) {
            if (ParmsDescriptor(image, ParmsBlockAt{block}, t).Words() != 0) {
                Refuse(ParmsStepFault::UnexpectedShape);
                return;
            }
        }
        ParmsSetBlockHeader(image, ParmsBlockAt{block}, static_cast<int>(olderHeader),
                            static_cast<int>(header.descriptorCount - descriptorsAdded));
        RemoveWords(block, block + dataOffset - descriptorsAdded, descriptorsAdded);
        RemoveWords(block, block + olderHeader, headerAdded);
    }
}

void VNXParmsFormatConvertBase::ResizeRadioTable(unsigned table, unsigned olderCount, unsigned newerCount)
{
    if (Failed()) {
        return;
    }
    const auto span = Table(0, table);
    const unsigned fromCount = Upgrading() ? olderCount : newerCount;
    if (!span || olderCount > newerCount || newerCount > 0xFF || span->count != fromCount) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    const uint32_t words = (newerCount - olderCount) * span->size;
    const uint32_t end = span->start + span->count * span->size;
    if (Upgrading()) {
        if (InsertWords(0, end, words)) {
            ParmsSetDescriptor(image, ParmsRadioBlock{}, table, static_cast<int>(newerCount), kParmsKeep);
        }
    } else if (RemoveWords(0, end - words, words)) {
        ParmsSetDescriptor(image, ParmsRadioBlock{}, table, static_cast<int>(olderCount), kParmsKeep);
    }
}

void VNXParmsFormatConvertBase::ResizeSystemRecords(unsigned number, unsigned table, unsigned olderSize,
                                                    unsigned newerSize)
{
    ResizeRecords(ParmsFindSystemBlock(image, number), table, olderSize, newerSize);
}

void VNXParmsFormatConvertBase::ResizeSequenceRecords(unsigned position, unsigned table, unsigned olderSize,
                                                      unsigned newerSize)
{
    ResizeRecords(ParmsFindSequenceBlock(image, position), table, olderSize, newerSize);
}

void VNXParmsFormatConvertBase::ResizeRecords(uint32_t block, unsigned table, unsigned olderSize,
                                              unsigned newerSize)
{
    if (Failed() || olderSize == newerSize) {
        return;
    }
    const auto span = block != 0 ? Table(block, table) : std::nullopt;
    const unsigned fromSize = Upgrading() ? olderSize : newerSize;
    if (!span || olderSize > newerSize || newerSize > 0xFF || (span->count != 0 && span->size != fromSize)) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    const uint32_t added = newerSize - olderSize;
    if (Upgrading()) {
        if (!Fits(block, span->count * added)) {
            Refuse(ParmsStepFault::ImageTooLarge);
            return;
        }
        // Record i (from 1) ends at start + i * older + (i - 1) * added: the records before it
        // already have the newer size.
        for (uint32_t i = 1; i <= span->count && !Failed(); ++i) {
            InsertWords(block, span->start + i * olderSize + (i - 1) * added, added);
        }
    } else {
        // Record i ends at start + i * older + added: the records before it are already narrowed.
        for (uint32_t i = 1; i <= span->count && !Failed(); ++i) {
            RemoveWords(block, span->start + i * olderSize, added);
        }
    }
    if (!Failed()) {
        ParmsSetDescriptor(image, ParmsBlockAt{block}, table, kParmsKeep,
                           static_cast<int>(Upgrading() ? newerSize : olderSize));
    }
}

void VNXParmsFormatConvertBase::EmptySystemTable(unsigned number, unsigned table)
{
    if (Failed() || Upgrading()) {
        return;
    }
    const uint32_t block = ParmsFindSystemBlock(image, number);
    const auto span = block != 0 ? Table(block, table) : std::nullopt;
    if (!span) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    if (RemoveWords(block, span->start, span->count * span->size)) {
        ParmsSetDescriptor(image, ParmsBlockAt{block}, table, 0, kParmsKeep);
    }
}

void VNXParmsFormatConvertBase::DefaultRecordSize(unsigned number, unsigned table, unsigned size)
{
    if (Failed()) {
        return;
    }
    const uint32_t block = ParmsFindSystemBlock(image, number);
    const auto span = block != 0 ? Table(block, table) : std::nullopt;
    if (!span || size > 0xFF) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return;
    }
    if (span->size != 0) {
        return;
    }
    if (span->count != 0) {
        Refuse(ParmsStepFault::UnexpectedShape); // records without words cannot be given a size
        return;
    }
    ParmsSetDescriptor(image, ParmsBlockAt{block}, table, kParmsKeep, static_cast<int>(size));
}

// The size limit. Growth is checked here, before the move, against the image's current length:
// the image (trailer included) must stay within the buffer's 16384 words and the block within
// its 14-bit length field. A growth that does not fit is refused and latched as this step's
// fault, so the step reports it and the caller does not write the result back. Checking each
// growth where it happens is exact even when a step grows one table and shrinks another; the
// image is then partly converted, which is why it must be thrown away, not downloaded.
bool VNXParmsFormatConvertBase::InsertWords(uint32_t block, uint32_t at, uint32_t count)
{
    if (Failed()) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    if (!InChain(block) || at < block || at > block + ParmsBlockLength(image, ParmsBlockAt{block})) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return false;
    }
    if (!Fits(block, count)) {
        Refuse(ParmsStepFault::ImageTooLarge);
        return false;
    }
    ParmsMoveTail(image, at + count, at);
    ParmsClearWords(image, at, count);
    ParmsSetBlockLength(image, ParmsBlockAt{block},
                        static_cast<uint16_t>(ParmsBlockLength(image, ParmsBlockAt{block}) + count));
    ParmsSetImageLength(image, static_cast<uint16_t>(ParmsImageLength(image) + count));
    return true;
}

bool VNXParmsFormatConvertBase::RemoveWords(uint32_t block, uint32_t at, uint32_t count)
{
    if (Failed()) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    const uint32_t blockLength = ParmsBlockLength(image, ParmsBlockAt{block});
    if (!InChain(block) || at < block || at + count > block + blockLength) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return false;
    }
    ParmsMoveTail(image, at, at + count);
    ParmsSetBlockLength(image, ParmsBlockAt{block}, static_cast<uint16_t>(blockLength - count));
    ParmsSetImageLength(image, static_cast<uint16_t>(ParmsImageLength(image) - count));
    return true;
}

bool VNXParmsFormatConvertBase::ReplaceRecordTable(unsigned number, unsigned table, const uint16_t* source,
                                                   unsigned count, unsigned size)
{
    if (Failed()) {
        return false;
    }
    switch (ParmsReplaceRecordTable(image, number, table, source, count, size)) {
    case ParmsEditResult::Done:
        return true;
    case ParmsEditResult::DoesNotFit:
        Refuse(ParmsStepFault::ImageTooLarge);
        return false;
    case ParmsEditResult::NoSuchTable:
        break;
    }
    Refuse(ParmsStepFault::UnexpectedShape);
    return false;
}

void VNXParmsFormatConvertBase::Refuse(ParmsStepFault reason)
{
    if (fault == ParmsStepFault::None) {
        fault = reason; // the first cause is the one worth telling
    }
}

std::optional<VNXParmsFormatConvertBase::TableSpan> VNXParmsFormatConvertBase::Table(uint32_t block,
                                                                                     unsigned table) const
{
    if (!InChain(block)) {
        return std::nullopt;
    }
    const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{block});
    if (table >= header.descriptorCount) {
        return std::nullopt;
    }
    const ParmsTableLocation location = ParmsRecordTable(image, ParmsBlockAt{block}, table);
    const uint32_t end = location.start + uint32_t{location.count} * location.size;
    if (end > block + ParmsBlockLength(image, ParmsBlockAt{block})) {
        return std::nullopt;
    }
    return TableSpan{location.start, location.count, location.size};
}

std::optional<VNXParmsFormatConvertBase::TableSpan> VNXParmsFormatConvertBase::RequireTable(uint32_t block,
                                                                                            unsigned table)
{
    if (Failed()) {
        return std::nullopt;
    }
    const auto span = Table(block, table);
    if (!span) {
        Refuse(ParmsStepFault::UnexpectedShape);
    }
    return span;
}

std::optional<uint32_t> VNXParmsFormatConvertBase::HeaderFields(ParmsBlockLocator where, uint32_t words)
{
    if (Failed()) {
        return std::nullopt;
    }
    const auto block = ParmsLocateBlock(image, where);
    // The header must also lie inside the block, which InChain keeps inside the chain.
    if (!block || !InChain(*block) || ParmsBlockHeader(image, ParmsBlockAt{*block}).headerLength < words ||
        ParmsBlockHeader(image, ParmsBlockAt{*block}).headerLength >
            ParmsBlockLength(image, ParmsBlockAt{*block})) {
        Refuse(ParmsStepFault::UnexpectedShape);
        return std::nullopt;
    }
    return block;
}

// True when a block of the chain starts at `block` and ends before the trailer. Found by
// walking, so that a mark-like word inside a record is never taken for a block.
bool VNXParmsFormatConvertBase::InChain(uint32_t block) const
{
    const uint32_t imageLength = ParmsImageLength(image);
    if (image == nullptr || imageLength > kParmsBufferWords || imageLength <= kParmsTrailerWords) {
        return false;
    }
    const uint32_t end = imageLength - kParmsTrailerWords;
    uint32_t position = 0;
    while (position < end && position <= block && image[position] == kParmsBlockMark) {
        const uint32_t blockLength = ParmsBlockLength(image, ParmsBlockAt{position});
        if (blockLength == 0) {
            return false;
        }
        if (position == block) {
            return position + blockLength <= end;
        }
        position += blockLength;
    }
    return false;
}

bool VNXParmsFormatConvertBase::Fits(uint32_t block, uint32_t words) const
{
    return uint64_t{ParmsImageLength(image)} + words <= kParmsBufferWords &&
           uint64_t{ParmsBlockLength(image, ParmsBlockAt{block})} + words <= kParmsMaxBlockLength;
}

} // namespace aurex

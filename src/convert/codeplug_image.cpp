#include "convert/codeplug_image.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace aurex {

namespace {

uint16_t Word(const uint16_t* image, uint64_t index)
{
    return (image != nullptr && index < kParmsBufferWords) ? image[index] : 0;
}

void PutWord(uint16_t* image, uint64_t index, uint16_t value)
{
    if (image != nullptr && index < kParmsBufferWords) {
        image[index] = value;
    }
}

uint32_t LengthOf(const uint16_t* image, uint32_t block)
{
    return Word(image, block + kParmsBlockTypeLengthWord) & kParmsMaxBlockLength;
}

ParmsBlockType TypeOf(const uint16_t* image, uint32_t block)
{
    return static_cast<ParmsBlockType>(Word(image, block + kParmsBlockTypeLengthWord) >> 14);
}

// End of the block chain: the image length less the trailer, kept inside the buffer.
uint32_t ChainEnd(const uint16_t* image)
{
    const uint32_t length = std::min<uint32_t>(ParmsImageLength(image), kParmsBufferWords);
    return length > kParmsTrailerWords ? length - kParmsTrailerWords : 0;
}

// Walks the chain and answers the index of the first block for which `match` holds, or 0.
template <typename Match> uint32_t FindBlock(const uint16_t* image, Match match)
{
    if (image == nullptr) {
        return 0;
    }
    const uint32_t end = ChainEnd(image);
    uint32_t position = 0;
    while (position < end && Word(image, position) == kParmsBlockMark) {
        if (match(position)) {
            return position;
        }
        const uint32_t length = LengthOf(image, position);
        if (length == 0) {
            return 0; // a walk that cannot advance finds nothing
        }
        position += length;
    }
    return 0;
}

unsigned KindOf(const uint16_t* image, uint32_t block)
{
    return Word(image, block + kParmsBlockIdentityWord) >> 12;
}

unsigned NumberOf(const uint16_t* image, uint32_t block)
{
    return Word(image, block + kParmsBlockIdentityWord) & 0xFF;
}

} // namespace

uint16_t ParmsGetField(const uint16_t* image, uint32_t index, uint16_t mask, unsigned shift)
{
    if (shift > 15) {
        return 0;
    }
    return static_cast<uint16_t>((Word(image, index) & mask) >> shift);
}

void ParmsSetField(uint16_t* image, uint32_t index, uint16_t mask, unsigned shift, uint32_t value)
{
    if (shift > 15) {
        return;
    }
    const uint32_t placed = (value << shift) & mask;
    PutWord(image, index, static_cast<uint16_t>((Word(image, index) & ~mask) | placed));
}

uint16_t ParmsImageLength(const uint16_t* image)
{
    return Word(image, kParmsImageLengthWord);
}

void ParmsSetImageLength(uint16_t* image, uint16_t length)
{
    PutWord(image, kParmsImageLengthWord, length);
}

uint32_t ParmsFindKindBlock(const uint16_t* image, unsigned kind)
{
    return FindBlock(image, [&](uint32_t block) {
        return TypeOf(image, block) == ParmsBlockType::Kind && KindOf(image, block) == kind;
    });
}

uint32_t ParmsFindSystemBlock(const uint16_t* image, unsigned number)
{
    return FindBlock(image, [&](uint32_t block) {
        return TypeOf(image, block) == ParmsBlockType::System && NumberOf(image, block) == number;
    });
}

uint32_t ParmsFindSequenceBlock(const uint16_t* image, unsigned position)
{
    if (position == 0) {
        return 0;
    }
    unsigned seen = 0;
    return FindBlock(image, [&](uint32_t block) {
        return TypeOf(image, block) == ParmsBlockType::Sequence && ++seen == position;
    });
}

std::optional<unsigned> ParmsSystemKind(const uint16_t* image, unsigned number)
{
    const uint32_t block = ParmsFindSystemBlock(image, number);
    if (block == 0) {
        return std::nullopt;
    }
    return KindOf(image, block);
}

std::optional<uint32_t> ParmsLocateBlock(const uint16_t* image, ParmsBlockLocator block)
{
    if (image == nullptr) {
        return std::nullopt;
    }
    // Kind, system and sequence blocks never stand at word 0, so a lookup answering 0 means
    // the block is absent rather than the radio block.
    const auto found = [](uint32_t index) -> std::optional<uint32_t> {
        return index == 0 ? std::nullopt : std::optional<uint32_t>(index);
    };
    std::optional<uint32_t> index;
    if (const auto* at = std::get_if<ParmsBlockAt>(&block)) {
        index = at->index;
    } else if (std::holds_alternative<ParmsRadioBlock>(block)) {
        index = 0;
    } else if (const auto* kind = std::get_if<ParmsKindBlock>(&block)) {
        index = found(ParmsFindKindBlock(image, kind->kind));
    } else if (const auto* system = std::get_if<ParmsSystemBlock>(&block)) {
        index = found(ParmsFindSystemBlock(image, system->number));
    } else if (const auto* sequence = std::get_if<ParmsSequenceBlock>(&block)) {
        index = found(ParmsFindSequenceBlock(image, sequence->position));
    }
    if (!index || *index >= kParmsBufferWords || image[*index] != kParmsBlockMark) {
        return std::nullopt;
    }
    return index;
}

uint16_t ParmsBlockLength(const uint16_t* image, ParmsBlockLocator block)
{
    const auto index = ParmsLocateBlock(image, block);
    return index ? static_cast<uint16_t>(LengthOf(image, *index)) : 0;
}

void ParmsSetBlockLength(uint16_t* image, ParmsBlockLocator block, uint16_t length)
{
    if (const auto index = ParmsLocateBlock(image, block)) {
        ParmsSetField(image, *index + kParmsBlockTypeLengthWord, kParmsMaxBlockLength, 0, length);
    }
}

ParmsHeader ParmsBlockHeader(const uint16_t* image, ParmsBlockLocator block)
{
    const auto index = ParmsLocateBlock(image, block);
    if (!index) {
        return {};
    }
    const uint16_t word = Word(image, *index + kParmsBlockHeaderWord);
    return ParmsHeader{static_cast<uint16_t>(word & kParmsMaxHeaderLength),
                       static_cast<uint16_t>(word >> 11)};
}

void ParmsSetBlockHeader(uint16_t* image, ParmsBlockLocator block, int headerLength, int descriptorCount)
{
    const auto index = ParmsLocateBlock(image, block);
    if (!index) {
        return;
    }
    const uint32_t word = *index + kParmsBlockHeaderWord;
    if (headerLength >= 0) {
        ParmsSetField(image, word, kParmsMaxHeaderLength, 0, static_cast<uint32_t>(headerLength));
    }
    if (descriptorCount >= 0) {
        ParmsSetField(image, word, 0xF800, 11, static_cast<uint32_t>(descriptorCount));
    }
}

ParmsTableShape ParmsDescriptor(const uint16_t* image, ParmsBlockLocator block, unsigned table)
{
    const auto index = ParmsLocateBlock(image, block);
    if (!index) {
        return {};
    }
    const uint16_t word =
        Word(image, uint64_t{*index} + ParmsBlockHeader(image, ParmsBlockAt{*index}).headerLength + table);
    return ParmsTableShape{static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word & 0xFF)};
}

void ParmsSetDescriptor(uint16_t* image, ParmsBlockLocator block, unsigned table, int count, int size)
{
    const auto index = ParmsLocateBlock(image, block);
    if (!index) {
        return;
    }
    const uint64_t at = uint64_t{*index} + ParmsBlockHeader(image, ParmsBlockAt{*index}).headerLength + table;
    if (at >= kParmsBufferWords) {
        return;
    }
    const auto word = static_cast<uint32_t>(at);
    if (count >= 0) {
        ParmsSetField(image, word, 0xFF00, 8, static_cast<uint32_t>(count));
    }
    if (size >= 0) {
        ParmsSetField(image, word, 0x00FF, 0, static_cast<uint32_t>(size));
    }
}

ParmsTableLocation ParmsRecordTable(const uint16_t* image, ParmsBlockLocator block, unsigned table)
{
    const auto index = ParmsLocateBlock(image, block);
    if (!index) {
        return {};
    }
    const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{*index});
    const uint32_t descriptors = *index + header.headerLength;
    uint32_t start = descriptors + header.descriptorCount;
    // Descriptor words past the buffer read as 0 and add nothing, so the sum stops there.
    const uint32_t summed =
        std::min<uint32_t>(table, descriptors < kParmsBufferWords ? kParmsBufferWords - descriptors : 0);
    for (uint32_t i = 0; i < summed; ++i) {
        const uint16_t word = Word(image, descriptors + i);
        start += uint32_t{static_cast<uint8_t>(word >> 8)} * (word & 0xFF);
    }
    const uint16_t word = Word(image, uint64_t{descriptors} + table);
    return ParmsTableLocation{start, static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word & 0xFF)};
}

ParmsEditResult ParmsReplaceRecordTable(uint16_t* image, unsigned number, unsigned table,
                                        const uint16_t* source, unsigned count, unsigned size)
{
    const uint32_t block = ParmsFindSystemBlock(image, number);
    if (block == 0 || count > 0xFF || size > 0xFF) {
        return ParmsEditResult::NoSuchTable;
    }
    const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{block});
    const ParmsTableLocation location = ParmsRecordTable(image, ParmsBlockAt{block}, table);
    const uint32_t oldWords = uint32_t{location.count} * location.size;
    const uint32_t blockLength = LengthOf(image, block);
    // The table must be one of the block's tables and lie inside the block, or the move below
    // would cut into the blocks behind it.
    if (table >= header.descriptorCount || location.start + oldWords > block + blockLength) {
        return ParmsEditResult::NoSuchTable;
    }
    const uint32_t newWords = source != nullptr ? count * size : 0;
    const int64_t change = static_cast<int64_t>(newWords) - oldWords;
    const uint32_t imageLength = ParmsImageLength(image);
    if (imageLength + change > kParmsBufferWords || blockLength + change > kParmsMaxBlockLength) {
        return ParmsEditResult::DoesNotFit;
    }

    ParmsMoveTail(image, location.start + newWords, location.start + oldWords);
    if (source != nullptr) {
        std::memmove(image + location.start, source, std::size_t{newWords} * sizeof(uint16_t));
        ParmsSetDescriptor(image, ParmsBlockAt{block}, table, static_cast<int>(count),
                           static_cast<int>(size));
    } else {
        ParmsSetDescriptor(image, ParmsBlockAt{block}, table, 0, static_cast<int>(size));
    }
    ParmsSetBlockLength(image, ParmsBlockAt{block}, static_cast<uint16_t>(blockLength + change));
    ParmsSetImageLength(image, static_cast<uint16_t>(imageLength + change));
    return ParmsEditResult::Done;
}

void ParmsMoveTail(uint16_t* image, uint32_t destination, uint32_t source)
{
    if (image == nullptr || destination == source || destination >= kParmsBufferWords ||
        source >= kParmsBufferWords) {
        return;
    }
    const uint32_t words = kParmsBufferWords - std::max(destination, source);
    std::memmove(image + destination, image + source, std::size_t{words} * sizeof(uint16_t));
}

void ParmsClearWords(uint16_t* image, uint32_t index, uint32_t count)
{
    if (image == nullptr || index >= kParmsBufferWords) {
        return;
    }
    const uint32_t words = std::min(count, kParmsBufferWords - index);
    std::fill_n(image + index, words, uint16_t{0});
}

bool ParmsIsValid(const uint16_t* image)
{
    if (image == nullptr || image[0] != kParmsBlockMark) {
        return false;
    }
    if (TypeOf(image, 0) != ParmsBlockType::Radio) {
        return false;
    }
    const uint32_t imageLength = ParmsImageLength(image);
    // The whole image, trailer included, must lie in the buffer.
    if (imageLength <= kParmsTrailerWords || imageLength > kParmsBufferWords) {
        return false;
    }
    const unsigned sequenceCount = image[kParmsBlockCountsWord] >> 8;
    const unsigned systemCount = image[kParmsBlockCountsWord] & 0xFF;
    if (sequenceCount < 1 || sequenceCount > kParmsMaxSequenceBlocks || systemCount < 1 ||
        systemCount > kParmsMaxSystemBlocks) {
        return false;
    }

    const uint32_t end = imageLength - kParmsTrailerWords;
    unsigned kindBlocks = 0;
    unsigned systemBlocks = 0;
    unsigned sequenceBlocks = 0;
    std::array<bool, 16> kindUsed{};
    std::array<bool, 256> numberSeen{};
    uint32_t position = 0;
    while (position < end) {
        if (image[position] != kParmsBlockMark) {
            return false;
        }
        const uint32_t length = LengthOf(image, position);
        if (length == 0) {
            return false; // the walk could never advance
        }
        switch (TypeOf(image, position)) {
        case ParmsBlockType::Kind:
            ++kindBlocks;
            break;
        case ParmsBlockType::System: {
            ++systemBlocks;
            const unsigned kind = KindOf(image, position);
            kindUsed[kind == 3 ? 1 : kind] = true; // kinds 1 and 3 share one kind block
            numberSeen[NumberOf(image, position)] = true;
            break;
        }
        case ParmsBlockType::Sequence:
            ++sequenceBlocks;
            break;
        case ParmsBlockType::Radio:
            break;
        }
        position += length;
    }
    if (position != end) {
        return false;
    }
    const auto distinctKinds = static_cast<unsigned>(std::count(kindUsed.begin(), kindUsed.end(), true));
    if (kindBlocks != distinctKinds || systemBlocks != systemCount || sequenceBlocks != sequenceCount) {
        return false;
    }
    // A conversion visits systems by number from 1 to the count: a system it cannot find there
    // would be left in the old format inside an image that claims the new one.
    for (unsigned number = 1; number <= systemCount; ++number) {
        if (!numberSeen[number]) {
            return false;
        }
    }
    return true;
}

void ParmsWriteName(std::string_view text, uint16_t* image, uint32_t field)
{
    for (uint32_t k = 0; k < kParmsNameWords; ++k) {
        uint16_t word = 0x2020;
        for (uint32_t half = 0; half < 2; ++half) {
            const std::size_t i = 2 * k + half;
            if (i < text.size()) {
                const auto character = static_cast<unsigned char>(text[i]);
                word = static_cast<uint16_t>(half == 0 ? (word & 0xFF00) | character
                                                       : (word & 0x00FF) | (character << 8));
            }
        }
        PutWord(image, uint64_t{field} + k, word);
    }
}

} // namespace aurex

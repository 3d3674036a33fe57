// Codeplug image access: the image is a chain of self-describing blocks of 16-bit host-order
// words in a caller-owned 32768-byte buffer, followed by a 128-word trailer.
//
// Every function takes a pointer to the first word of that buffer and works in place. Whatever
// the image holds, nothing here reads or writes outside the 16384 words of the buffer: a read
// outside it answers 0 and a write outside it is dropped. Nothing allocates or keeps state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>

namespace aurex {

inline constexpr std::size_t kParmsBufferBytes = 32768;
inline constexpr uint32_t kParmsBufferWords = 16384;
inline constexpr uint16_t kParmsBlockMark = 0x5F5F;
inline constexpr uint32_t kParmsTrailerWords = 128;
inline constexpr uint32_t kParmsMaxBlockLength = 0x3FFF;  // 14-bit length field
inline constexpr uint32_t kParmsMaxHeaderLength = 0x07FF; // 11-bit header length field
inline constexpr uint32_t kParmsMaxDescriptors = 0x1F;    // 5-bit descriptor count field
inline constexpr unsigned kParmsMaxSystemBlocks = 16;
inline constexpr unsigned kParmsMaxSequenceBlocks = 54;
inline constexpr uint32_t kParmsNameWords = 5;

// Image words of the radio block that describe the whole image.
inline constexpr uint32_t kParmsVersionWord = 3;     // major in the high byte, minor in the low
inline constexpr uint32_t kParmsImageLengthWord = 4; // words from word 0 to the trailer's end
inline constexpr uint32_t kParmsRadioCodeWord = 5;   // 4-bit code in bits 3-0
inline constexpr uint32_t kParmsRadioFieldsWord = 6;
inline constexpr uint32_t kParmsBlockCountsWord = 14; // sequence blocks high byte, systems low

// Words of every block header, relative to the block.
inline constexpr uint32_t kParmsBlockTypeLengthWord = 1; // type bits 15-14, length bits 13-0
inline constexpr uint32_t kParmsBlockHeaderWord = 2;     // descriptors bits 15-11, header 10-0
inline constexpr uint32_t kParmsBlockIdentityWord = 3;   // kind bits 15-12, system number 7-0

enum class ParmsBlockType : uint8_t { Radio = 0, Kind = 1, System = 2, Sequence = 3 };

// The ways a block is named. A kind, system or sequence block that is not in the chain is
// absent: reads of it answer 0 and writes to it do nothing (never the radio block at word 0).
struct ParmsBlockAt
{
    uint32_t index;
};
struct ParmsRadioBlock
{
};
struct ParmsKindBlock
{
    unsigned kind;
};
struct ParmsSystemBlock
{
    unsigned number;
};
struct ParmsSequenceBlock
{
    unsigned position;
};
using ParmsBlockLocator =
    std::variant<ParmsBlockAt, ParmsRadioBlock, ParmsKindBlock, ParmsSystemBlock, ParmsSequenceBlock>;

struct ParmsHeader
{
    uint16_t headerLength = 0; // index of the first descriptor word, relative to the block
    uint16_t descriptorCount = 0;
};

struct ParmsTableShape
{
    uint8_t count = 0; // records
    uint8_t size = 0;  // words per record
    uint32_t Words() const { return uint32_t{count} * size; }
};

struct ParmsTableLocation
{
    uint32_t start = 0; // image index of the table's first data word
    uint8_t count = 0;
    uint8_t size = 0;
};

// Leaves a field unchanged in ParmsSetBlockHeader and ParmsSetDescriptor.
inline constexpr int kParmsKeep = -1;

// Bit fields and lengths.
uint16_t ParmsGetField(const uint16_t* image, uint32_t index, uint16_t mask, unsigned shift);
// Clears the mask bits, then stores value << shift. Bits of value outside the mask are dropped
// so that a value too wide for its field can never spill into a neighbouring field.
void ParmsSetField(uint16_t* image, uint32_t index, uint16_t mask, unsigned shift, uint32_t value);
uint16_t ParmsImageLength(const uint16_t* image);
void ParmsSetImageLength(uint16_t* image, uint16_t length);

// Block lookup. Each walks the chain from word 0 and answers 0 when nothing is found, at the
// first position that is not a block mark, at a block of length 0, or at the chain's end (the
// trailer is never taken for a block, whatever its first word holds).
uint32_t ParmsFindKindBlock(const uint16_t* image, unsigned kind);
uint32_t ParmsFindSystemBlock(const uint16_t* image, unsigned number);
uint32_t ParmsFindSequenceBlock(const uint16_t* image, unsigned position);
// Kind of system block `number`; empty when there is no such block.
std::optional<unsigned> ParmsSystemKind(const uint16_t* image, unsigned number);
// Word index of the named block; empty when it is absent or the index holds no block mark.
std::optional<uint32_t> ParmsLocateBlock(const uint16_t* image, ParmsBlockLocator block);

// Block header fields, in the 11 + 5 bit layout of block word 2.
uint16_t ParmsBlockLength(const uint16_t* image, ParmsBlockLocator block);
void ParmsSetBlockLength(uint16_t* image, ParmsBlockLocator block, uint16_t length);
ParmsHeader ParmsBlockHeader(const uint16_t* image, ParmsBlockLocator block);
void ParmsSetBlockHeader(uint16_t* image, ParmsBlockLocator block, int headerLength, int descriptorCount);

// Descriptors and record tables.
ParmsTableShape ParmsDescriptor(const uint16_t* image, ParmsBlockLocator block, unsigned table);
void ParmsSetDescriptor(uint16_t* image, ParmsBlockLocator block, unsigned table, int count, int size);
ParmsTableLocation ParmsRecordTable(const uint16_t* image, ParmsBlockLocator block, unsigned table);

enum class ParmsEditResult : uint8_t {
    Done,
    NoSuchTable, // the system block is absent, or the table is not one of its tables or does not lie inside
                 // it
    DoesNotFit,  // the image would pass the end of the buffer
};
// Replaces table `table` of system block `number` with `count` records of `size` words copied
// from `source` (which must not point into the image), or removes its records when `source` is
// null (the count then becomes 0 whatever is passed, so the descriptor never claims records
// that are not there). Block and image lengths follow. Checked before anything is changed: on any result but
// Done the image is untouched.
ParmsEditResult ParmsReplaceRecordTable(uint16_t* image, unsigned number, unsigned table,
                                        const uint16_t* source, unsigned count, unsigned size);

// Moves: both bounded by the end of the buffer, never by the image length.
// With destination above source this opens a gap and the last (destination - source) words of
// the buffer are lost; below, it closes a gap and the last words keep their old content.
void ParmsMoveTail(uint16_t* image, uint32_t destination, uint32_t source);
void ParmsClearWords(uint16_t* image, uint32_t index, uint32_t count);

// Structural validity: the only guard before a conversion.
bool ParmsIsValid(const uint16_t* image);

// Fills the 5-word name field at `field` with spaces, then packs up to 10 characters of the
// text, character 2k in the low byte and 2k+1 in the high byte of word k.
void ParmsWriteName(std::string_view text, uint16_t* image, uint32_t field);

} // namespace aurex

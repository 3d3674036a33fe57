// One conversion step of a codeplug image between two adjacent format versions, in place.
//
// The base class visits every block of the image in a fixed order, grows or shrinks each block's
// header and descriptor list between the two formats, and calls the virtual content operations
// that a converter for one pair of formats fills in.
//
// A step that cannot be done faithfully is reported, never half-hidden: it latches a fault,
// changes nothing more from that point on, and RunStep/RunRefresh answer false. The image may
// then be partly converted and must not be written back to the radio. Every change of the
// image's size goes through InsertWords, RemoveWords or ReplaceRecordTable, which check the
// change against the buffer before making it; see InsertWords for the size limit.
#pragma once

#include "convert/codeplug_image.h"
#include "convert/format_tables.h"

#include <cstdint>
#include <optional>

namespace aurex {

enum class ParmsStepFault : uint8_t {
    None,
    NoConverter,     // the converter has no step toward its target format
    ImageTooLarge,   // the converted image would need more than the buffer's 16384 words
    UnexpectedShape, // a block or record table is not shaped as the source format has it
};

// A short English sentence for messages: "the image would not fit in the codeplug buffer".
const char* ParmsStepFaultText(ParmsStepFault fault);

class VNXParmsFormatConvertBase
{
  public:
    VNXParmsFormatConvertBase() = default;
    virtual ~VNXParmsFormatConvertBase() = default;
    VNXParmsFormatConvertBase(const VNXParmsFormatConvertBase&) = delete;
    VNXParmsFormatConvertBase& operator=(const VNXParmsFormatConvertBase&) = delete;

    // One version step: down to the older format of the pair when backward, else up to the newer.
    // True when the step was done whole; false when the image must not be written back.
    bool RunStep(uint16_t* image, bool backward);
    // Same-version pass over an image already in the newer format: content operations only.
    bool RunRefresh(uint16_t* image);

    // Runs one step over the whole image as set up by RunStep or RunRefresh.
    void Convert();
    // Grows (upgrade) or shrinks (downgrade) one block's header and descriptor list from one
    // format's layout to the other's. The block must have the source format's shape.
    void ResizeBlockLayout(uint32_t block, const VNXParmsBlockLayout& layout);

    int32_t LengthChange() const { return lengthChange; }
    uint8_t TargetIndex() const { return targetIndex; }
    ParmsStepFault Fault() const { return fault; }

  protected:
    // Content operations, in slot order. "Resized" operations run only on an upgrade step,
    // right after the block's layout grew; the others run on every step and refresh.
    virtual void ConvertRadioBlock() {}
    virtual void RadioBlockResized() {}
    virtual void ConvertKindBlockK0() {}
    virtual void ConvertKindBlockK1() {}
    virtual void ConvertKindBlockK4() {}
    virtual void ConvertKindBlockK5() {}
    virtual void KindBlockResizedK0() {}
    virtual void KindBlockResizedK1() {}
    virtual void KindBlockResizedK4() {}
    virtual void KindBlockResizedK5() {}
    virtual void ConvertSystemBlockK0(unsigned /*number*/) {}
    virtual void ConvertSystemBlockK1(unsigned /*number*/) {}
    virtual void ConvertSystemBlockK3(unsigned /*number*/) {}
    virtual void ConvertSystemBlockK4(unsigned /*number*/) {}
    virtual void ConvertSystemBlockK5(unsigned /*number*/) {}
    virtual void SystemBlockResizedK0(unsigned /*number*/) {}
    virtual void SystemBlockResizedK1(unsigned /*number*/) {}
    virtual void SystemBlockResizedK3(unsigned /*number*/) {}
    virtual void SystemBlockResizedK4(unsigned /*number*/) {}
    virtual void SystemBlockResizedK5(unsigned /*number*/) {}
    virtual void ConvertSequenceTable0(unsigned /*position*/) {}
    virtual void ConvertSequenceTable1(unsigned /*position*/) {}
    virtual void ConvertSequenceTable2(unsigned /*position*/) {}
    virtual void ConvertSequenceTable3(unsigned /*position*/) {}
    virtual void ConvertSequenceTable4(unsigned /*position*/) {}
    virtual void SequenceBlockResized(unsigned /*position*/) {}

    // Shared content operations. "Upgrade" is any pass that is not backward (a step or a
    // refresh). Each checks that the table has the shape the change starts from; a table that
    // does not is a fault rather than a guess.

    // Radio block table: from olderCount records (upgrade) to newerCount, or back; the added
    // records are zero, the removed ones are the last.
    void ResizeRadioTable(unsigned table, unsigned olderCount, unsigned newerCount);
    // Every record of a table from olderSize words to newerSize (zero words at each record's
    // end), or back (each record loses its last words). Equal sizes change nothing.
    void ResizeSystemRecords(unsigned number, unsigned table, unsigned olderSize, unsigned newerSize);
    void ResizeSequenceRecords(unsigned position, unsigned table, unsigned olderSize, unsigned newerSize);
    // On a downgrade removes all records of the table (its record size stays); else nothing.
    void EmptySystemTable(unsigned number, unsigned table);
    // Gives a table without record layout (size 0) the record size `size`. Such a table must
    // hold no records, since a size cannot be given to records whose words do not exist.
    void DefaultRecordSize(unsigned number, unsigned table, unsigned size);

    // Opens `count` zero words at image index `at`, inside or at the end of the block starting
    // at `block`; the block and image lengths grow with it. False (and a latched fault) when
    // the step has already failed or the words do not fit.
    bool InsertWords(uint32_t block, uint32_t at, uint32_t count);
    // Removes words [at, at + count) of the block; block and image lengths shrink with it.
    bool RemoveWords(uint32_t block, uint32_t at, uint32_t count);
    // ParmsReplaceRecordTable with its refusals latched as this step's fault.
    bool ReplaceRecordTable(unsigned number, unsigned table, const uint16_t* source, unsigned count,
                            unsigned size);

    void Refuse(ParmsStepFault reason);
    bool Failed() const { return fault != ParmsStepFault::None; }
    bool Upgrading() const { return !backward; }

    struct TableSpan
    {
        uint32_t start; // image index of the first record word
        uint32_t count;
        uint32_t size;
        uint32_t Word(uint32_t record, uint32_t word) const { return start + record * size + word; }
    };
    // The table's place, when it is one of the block's tables and lies inside the block.
    std::optional<TableSpan> Table(uint32_t block, unsigned table) const;
    // The same, or a refused step when the table is missing.
    std::optional<TableSpan> RequireTable(uint32_t block, unsigned table);
    // Index of the named block when its header holds at least `words` words (so that fields
    // 0 .. words - 1 are header fields, never descriptors, records or the next block); else a
    // refused step. A step has checked the header through the layout change; a refresh has not.
    std::optional<uint32_t> HeaderFields(ParmsBlockLocator where, uint32_t words);

    uint16_t* image = nullptr;
    bool backward = true;                      // downgrade step: newer format to older
    bool stepping = true;                      // the step changes the format version
    bool refreshing = false;                   // same-version pass: no layout or version change
    int32_t lengthChange = 0;                  // image length after the step minus before, in words
    uint8_t targetIndex = kParmsUnknownFormat; // the newer format of the converter's pair

  private:
    template <typename Resized, typename Content>
    void ConvertBlock(ParmsBlockCategory category, ParmsBlockLocator where, Resized resized, Content content);
    void ConvertKindBlocks();
    void ConvertSystemBlocks();
    void ConvertSequenceBlocks();
    void ResizeRecords(uint32_t block, unsigned table, unsigned olderSize, unsigned newerSize);
    bool InChain(uint32_t block) const;
    bool Fits(uint32_t block, uint32_t words) const;

    ParmsStepFault fault = ParmsStepFault::None;
};

} // namespace aurex

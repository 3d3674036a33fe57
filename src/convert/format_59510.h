// The conversion step between codeplug formats 5.9 and 5.10. Format 5.10 adds 20 header words
// to the radio block and record tables to the kind 1, 3 and 4 systems (the framework's layout
// change), widens the main record tables of every system kind and several smaller tables,
// grows a radio block table from 16 to 64 records, and builds three-word tables from existing
// ones. Record sizes change in both directions; the built tables and defaults stay on a
// downgrade.
#pragma once

#include "convert/format_convert_base.h"

namespace aurex {

class VNXParmsFormat59510 : public VNXParmsFormatConvertBase
{
  public:
    VNXParmsFormat59510() { targetIndex = 5; }

  protected:
    void ConvertRadioBlock() override;
    void ConvertKindBlockK0() override;
    void ConvertSystemBlockK0(unsigned number) override;
    void ConvertSystemBlockK1(unsigned number) override;
    void ConvertSystemBlockK3(unsigned number) override;
    void ConvertSystemBlockK4(unsigned number) override;
    void ConvertSystemBlockK5(unsigned number) override;
    void SystemBlockResizedK4(unsigned number) override;
    void SystemBlockResizedK5(unsigned number) override;
    void ConvertSequenceTable0(unsigned position) override { ConvertSequenceTable(position, 0); }
    void ConvertSequenceTable1(unsigned position) override { ConvertSequenceTable(position, 1); }
    void ConvertSequenceTable2(unsigned position) override { ConvertSequenceTable(position, 2); }
    void ConvertSequenceTable3(unsigned position) override { ConvertSequenceTable(position, 3); }
    void ConvertSequenceTable4(unsigned position) override { ConvertSequenceTable(position, 4); }

    // Turns every zero byte of the 5-word name field at image index `field` into a space.
    void SanitizeNameField(uint32_t field);

  private:
    struct RecordChange
    {
        unsigned table;
        unsigned olderSize;
        unsigned newerSize;
    };
    // A table of three-word records built from the first three words of another table's records.
    struct ThreeWordTable
    {
        unsigned sizedTable; // given record size 2 first
        unsigned target;
        unsigned source;
        uint16_t firstWordMask;
    };
    struct SystemChanges
    {
        unsigned kind;
        RecordChange others[3]; // after the main table; a table of size 0 ends the list
        unsigned removedFirst;  // tables removedFirst .. removedLast are emptied on a downgrade
        unsigned removedLast;
        const ThreeWordTable* threeWordTable;
        bool clearedMarks;
    };

    void ConvertSystem(unsigned number, const SystemChanges& changes);
    void BuildThreeWordTable(unsigned number, const ThreeWordTable& table);
    void ClearMarks(unsigned number);
    void ConvertSequenceTable(unsigned position, unsigned table);
};

} // namespace aurex

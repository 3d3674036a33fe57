// The conversion step between codeplug formats 5.8 and 5.9. Both formats share every block
// layout, so the step changes contents only: it completes tables that 5.8 left short or without
// record layout, widens two tables' records, folds a kind 5 list into a bitmap record, copies
// settings between the kind 0 kind block and the first kind 0 system, steps one field of the
// kind 1, 3 and 4 systems, and supplies defaults. The downgrade undoes only the copy, the stepped
// fields and the tables 5.9 added.
#pragma once

#include "convert/format_convert_base.h"

namespace aurex {

class VNXParmsFormat5859 : public VNXParmsFormatConvertBase
{
  public:
    VNXParmsFormat5859() { targetIndex = 4; }

  protected:
    void ConvertRadioBlock() override;
    void ConvertKindBlockK0() override;
    void ConvertSystemBlockK0(unsigned number) override;
    void ConvertSystemBlockK1(unsigned number) override;
    void ConvertSystemBlockK3(unsigned number) override;
    void ConvertSystemBlockK4(unsigned number) override;
    void ConvertSystemBlockK5(unsigned number) override;
    void SystemBlockResizedK1(unsigned number) override;
    void SystemBlockResizedK3(unsigned number) override;
    void SystemBlockResizedK4(unsigned number) override;

  private:
    // The pattern the kind 1, 3 and 4 systems share; their numbers differ.
    struct SteppedSystem
    {
        unsigned emptiedTables[2]; // tables 5.9 added, emptied on a downgrade
        uint32_t fieldWord;        // the stepped field, relative to the system block
        uint16_t fieldMask;
        unsigned fieldShift;
        unsigned sizedTables[2]; // tables given a record size on an upgrade and a refresh
        unsigned sizes[2];
        bool blockedEntries; // kind 4: mark incomplete entries of table 0 as blocked
    };

    void ConvertSteppedSystem(unsigned number, const SteppedSystem& system);
    void BlockIncompleteEntries(uint32_t block);
    // Gives table `table` of system `number` a new, empty descriptor of record size `size`.
    void NewEmptyTable(unsigned number, unsigned table, unsigned size);
};

} // namespace aurex

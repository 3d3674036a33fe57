// Arbitrary bytes as a whole 32768-byte codeplug buffer: the validity check must hold up on
// anything, and an image it lets through must survive a refresh and a layout step with every
// write inside the buffer (the buffer is its own heap block, so AddressSanitizer sees any
// overrun) and its chain intact.
#include "convert/codeplug_image.h"
#include "convert/format_convert_base.h"
#include "convert/format_tables.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace aurex;

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Uses the shared content operations the way the real converters do, each only where the
// table has the shape the change starts from, so that the fuzzer reaches far into a step.
class ExerciseConverter : public VNXParmsFormatConvertBase
{
  public:
    explicit ExerciseConverter(uint8_t target) { targetIndex = target; }

  protected:
    void ConvertRadioBlock() override
    {
        if (ParmsDescriptor(image, ParmsRadioBlock{}, 1).count == (Upgrading() ? 16 : 64)) {
            ResizeRadioTable(1, 16, 64);
        }
    }
    void ConvertSystemBlockK0(unsigned n) override { ConvertSystem(n, 0); }
    void ConvertSystemBlockK1(unsigned n) override { ConvertSystem(n, 1); }
    void ConvertSystemBlockK3(unsigned n) override { ConvertSystem(n, 3); }
    void ConvertSystemBlockK4(unsigned n) override { ConvertSystem(n, 4); }
    void ConvertSystemBlockK5(unsigned n) override
    {
        ConvertSystem(n, 5);
        if (Upgrading() && ParmsDescriptor(image, ParmsSystemBlock{n}, 1).count != 0) {
            std::vector<uint16_t> record(37, 0x2020);
            ReplaceRecordTable(n, 2, record.data(), 1, 37);
            ReplaceRecordTable(n, 1, nullptr, 0, 2);
        }
    }
    void SystemBlockResizedK4(unsigned n) override
    {
        ParmsSetDescriptor(image, ParmsSystemBlock{n}, 15, 0, 2);
    }
    void ConvertSequenceTable0(unsigned n) override
    {
        if (ParmsDescriptor(image, ParmsSequenceBlock{n}, 0).size == (Upgrading() ? 17 : 18)) {
            ResizeSequenceRecords(n, 0, 17, 18);
        }
    }

  private:
    void ConvertSystem(unsigned n, unsigned kind)
    {
        const unsigned table = *ParmsSystemMainTable(kind);
        const auto older = ParmsSystemRecordSize(kind, 4)->recordSize;
        const auto newer = ParmsSystemRecordSize(kind, 5)->recordSize;
        if (ParmsDescriptor(image, ParmsSystemBlock{n}, table).size == (Upgrading() ? older : newer)) {
            ResizeSystemRecords(n, table, static_cast<unsigned>(older), static_cast<unsigned>(newer));
        }
        const ParmsHeader header = ParmsBlockHeader(image, ParmsSystemBlock{n});
        if (header.descriptorCount > 15) {
            EmptySystemTable(n, 15);
        }
        if (ParmsDescriptor(image, ParmsSystemBlock{n}, 9).count == 0) {
            DefaultRecordSize(n, 9, 2);
        }
    }
};

class LayoutOnlyConverter : public VNXParmsFormatConvertBase
{
  public:
    explicit LayoutOnlyConverter(uint8_t target) { targetIndex = target; }
};

void CheckAfter(const std::vector<uint16_t>& buffer, uint32_t lengthBefore,
                const VNXParmsFormatConvertBase& step, bool done)
{
    const uint16_t* image = buffer.data();
    // Whatever happened, the chain still describes the image and the image fits the buffer.
    Require(ParmsImageLength(image) <= kParmsBufferWords);
    Require(ParmsIsValid(image));
    Require(static_cast<int64_t>(ParmsImageLength(image)) == int64_t{lengthBefore} + step.LengthChange());
    Require(done == (step.Fault() == ParmsStepFault::None));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint16_t> buffer(kParmsBufferWords, 0);
    if (size != 0) {
        std::memcpy(buffer.data(), data, std::min(size, kParmsBufferBytes));
    }
    if (!ParmsIsValid(buffer.data())) {
        return 0;
    }
    const uint8_t format = ParmsFormatIndex(buffer.data());
    const uint32_t length = ParmsImageLength(buffer.data());

    {
        std::vector<uint16_t> refreshed = buffer;
        ExerciseConverter refresh(5);
        const bool done = refresh.RunRefresh(refreshed.data());
        CheckAfter(refreshed, length, refresh, done);
        Require(refreshed[kParmsVersionWord] == buffer[kParmsVersionWord]);
    }
    {
        // Down from 5.10, up from anything else.
        const uint8_t target = format == 3 ? 4 : 5;
        const bool backward = format == 5;
        std::vector<uint16_t> stepped = buffer;
        ExerciseConverter step(target);
        const bool done = step.RunStep(stepped.data(), backward);
        CheckAfter(stepped, length, step, done);
    }
    if (format == 3 || format == 4) {
        // A layout step up and back restores the image word for word.
        std::vector<uint16_t> roundTrip = buffer;
        LayoutOnlyConverter up(static_cast<uint8_t>(format + 1));
        if (up.RunStep(roundTrip.data(), false)) {
            LayoutOnlyConverter down(static_cast<uint8_t>(format + 1));
            Require(down.RunStep(roundTrip.data(), true));
            Require(std::equal(buffer.begin(), buffer.begin() + length, roundTrip.begin()));
        }
    }
    return 0;
}

#include "convert/convert_entry.h"

#include "convert/codeplug_image.h"
#include "convert/format_5859.h"
#include "convert/format_59510.h"
#include "convert/format_tables.h"

namespace aurex {

namespace {

constexpr uint8_t kOldestConverted = 3; // 5.8
constexpr uint8_t kWideFormat = 5;      // 5.10: the first format with the 11 + 5 bit word
constexpr uint16_t kWideCountMask = 0xF800;
constexpr uint16_t kHeaderBit11 = 0x0800;

bool Converted(uint8_t index)
{
    return index >= kOldestConverted && index <= kWideFormat;
}

// Calls visit(index of block word 2) for every block of the chain; false when the chain does
// not run from word 0 to exactly the trailer.
template <typename Visit> bool WalkChain(const uint16_t* image, Visit visit)
{
    const uint32_t length = ParmsImageLength(image);
    if (length <= kParmsTrailerWords || length > kParmsBufferWords) {
        return false;
    }
    const uint32_t end = length - kParmsTrailerWords;
    uint32_t position = 0;
    while (position < end) {
        const uint32_t blockLength = image[position + kParmsBlockTypeLengthWord] & kParmsMaxBlockLength;
        if (image[position] != kParmsBlockMark || blockLength == 0) {
            return false;
        }
        if (!visit(position + kParmsBlockHeaderWord)) {
            return false;
        }
        position += blockLength;
    }
    return position == end;
}

// One step (or refresh) toward or from format `target`; the converter lives for this call.
ParmsStepFault RunConverter(uint16_t* image, uint8_t target, bool backward, bool refresh)
{
    VNXParmsFormat5859 to59;
    VNXParmsFormat59510 to510;
    VNXParmsFormatConvertBase* converter = nullptr;
    if (target == to59.TargetIndex()) {
        converter = &to59;
    } else if (target == to510.TargetIndex()) {
        converter = &to510;
    } else {
        return ParmsStepFault::NoConverter;
    }
    const bool done = refresh ? converter->RunRefresh(image) : converter->RunStep(image, backward);
    return done ? ParmsStepFault::None : converter->Fault();
}

// The whole conversion from `from` to `to`: every step in order, framed by the header word
// moves. Equal indices refresh the image.
ParmsStepFault Convert(int32_t& lengthChange, uint16_t* image, uint8_t from, uint8_t to)
{
    lengthChange = 0;
    if (!Converted(from) || !Converted(to)) {
        return ParmsStepFault::NoConverter;
    }
    if (image == nullptr || !ParmsIsValid(image) || ParmsFormatIndex(image) != from) {
        return ParmsStepFault::UnexpectedShape;
    }
    if (from == to && from == kOldestConverted) {
        return ParmsStepFault::None; // 5.8 has no refresh
    }
    const int32_t before = ParmsImageLength(image);
    ParmsStepFault fault = ParmsStepFault::None;
    if (from < kWideFormat && !ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Wide)) {
        fault = ParmsStepFault::UnexpectedShape;
    }
    if (from == to) {
        if (fault == ParmsStepFault::None) {
            fault = RunConverter(image, to, false, true);
        }
    } else if (from < to) {
        for (unsigned target = from + 1u; target <= to && fault == ParmsStepFault::None; ++target) {
            fault = RunConverter(image, static_cast<uint8_t>(target), false, false);
        }
    } else {
        for (unsigned source = from; source > to && fault == ParmsStepFault::None; --source) {
            fault = RunConverter(image, static_cast<uint8_t>(source), true, false);
        }
    }
    if (fault == ParmsStepFault::None && to < kWideFormat &&
        !ParmsSetHeaderCountWidth(image, ParmsHeaderWidth::Narrow)) {
        fault = ParmsStepFault::UnexpectedShape; // some block kept more than 15 tables
    }
    lengthChange = static_cast<int32_t>(ParmsImageLength(image)) - before;
    return fault;
}

} // namespace

ParmsStepFault ParmsUpgrade(int32_t& lengthChange, uint16_t* image, uint8_t from, uint8_t to)
{
    if (from > to) {
        lengthChange = 0;
        return ParmsStepFault::NoConverter;
    }
    return Convert(lengthChange, image, from, to);
}

ParmsStepFault ParmsDowngrade(int32_t& lengthChange, uint16_t* image, uint8_t to, uint8_t from)
{
    if (to > from) {
        lengthChange = 0;
        return ParmsStepFault::NoConverter;
    }
    return Convert(lengthChange, image, from, to);
}

bool ParmsSetHeaderCountWidth(uint16_t* image, ParmsHeaderWidth width)
{
    if (image == nullptr) {
        return false;
    }
    const bool widen = width == ParmsHeaderWidth::Wide;
    // Checked whole first, so that a block that cannot be moved leaves every block as it was.
    const bool movable = WalkChain(image, [&](uint32_t word) {
        return widen ? (image[word] & kHeaderBit11) == 0 : (image[word] >> 11) <= 15;
    });
    if (!movable) {
        return false;
    }
    WalkChain(image, [&](uint32_t word) {
        const uint16_t value = image[word];
        if (widen) {
            const unsigned count = value >> 12;
            image[word] = static_cast<uint16_t>((value & ~kWideCountMask) | (count << 11));
        } else {
            const unsigned count = value >> 11;
            image[word] = static_cast<uint16_t>((value & ~kWideCountMask) | (count << 12));
        }
        return true;
    });
    return true;
}

} // namespace aurex

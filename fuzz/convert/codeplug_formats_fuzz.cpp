// Arbitrary bytes as a whole 32768-byte codeplug buffer (host-order words). Every image that
// passes the validity check is converted to each of 5.8, 5.9 and 5.10 through the entry points,
// and a converted image back to where it came from. Whatever the outcome, every write stays in
// the buffer (its own heap block, so AddressSanitizer sees an overrun), the length word agrees
// with the reported change and the trailer survives; a conversion that reports success leaves
// a valid image of the target format with its block words in that format's layout. Every
// conversion is also described by the conversion report, which must stay within its bounds.
#include "convert/codeplug_image.h"
#include "convert/conversion_report.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace aurex;

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

ParmsStepFault Convert(int32_t& lengthChange, uint16_t* image, uint8_t from, uint8_t to)
{
    return to >= from ? ParmsUpgrade(lengthChange, image, from, to)
                      : ParmsDowngrade(lengthChange, image, to, from);
}

bool Converted(uint8_t index)
{
    return index >= 3 && index <= 5;
}

std::vector<uint16_t> Trailer(const std::vector<uint16_t>& image)
{
    const uint32_t length = ParmsImageLength(image.data());
    return {image.begin() + (length - kParmsTrailerWords), image.begin() + length};
}

// Every block word 2 of a valid image below 5.10 keeps bit 11 clear (the narrow layout's
// header length is below 2048 and its count starts at bit 12).
bool NarrowWords(const std::vector<uint16_t>& image)
{
    const uint32_t end = ParmsImageLength(image.data()) - kParmsTrailerWords;
    for (uint32_t at = 0; at < end; at += image[at + 1] & kParmsMaxBlockLength) {
        if ((image[at + kParmsBlockHeaderWord] & 0x0800) != 0) {
            return false;
        }
    }
    return true;
}

// The report of a conversion, done or refused: bounded, and one line exactly when nothing changed.
void CheckReport(const std::vector<uint16_t>& before, const std::vector<uint16_t>& after)
{
    const std::size_t beforeBytes = 2 * std::size_t{ParmsImageLength(before.data())};
    const std::size_t afterBytes = 2 * std::size_t{ParmsImageLength(after.data())};
    const std::vector<std::string> report = DescribeConversion(before, beforeBytes, after, afterBytes);
    Require(!report.empty() && report.size() <= kConversionReportMaxLines);
    for (const std::string& line : report) {
        Require(!line.empty() && line.size() <= kConversionReportMaxLineLength);
    }
    Require((report.size() == 1) == CodeplugBytesEqual(before, beforeBytes, after, afterBytes));
}

// Converts `image` from `from` to `to` and checks what must hold whatever the outcome.
ParmsStepFault CheckedConvert(std::vector<uint16_t>& image, uint8_t from, uint8_t to)
{
    const std::vector<uint16_t> before = image;
    const uint32_t length = ParmsImageLength(image.data());
    int32_t lengthChange = 0;
    const ParmsStepFault fault = Convert(lengthChange, image.data(), from, to);
    Require(image.size() == kParmsBufferWords);
    Require(static_cast<int64_t>(ParmsImageLength(image.data())) == int64_t{length} + lengthChange);
    Require(ParmsImageLength(image.data()) <= kParmsBufferWords);
    Require(ParmsImageLength(image.data()) > kParmsTrailerWords);
    Require(Trailer(image) == Trailer(before));
    CheckReport(before, image);
    if (!Converted(from) || !Converted(to)) {
        Require(fault == ParmsStepFault::NoConverter);
        Require(image == before);
        return fault;
    }
    Require(fault != ParmsStepFault::NoConverter);
    if (fault == ParmsStepFault::None) {
        Require(ParmsIsValid(image.data()));
        Require(ParmsFormatIndex(image.data()) == to);
        if (from == 3 && to == 3) {
            Require(image == before); // 5.8 has nothing to refresh
        } else {
            Require(to == 5 || NarrowWords(image));
        }
    }
    return fault;
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
    const uint8_t from = ParmsFormatIndex(buffer.data());
    for (uint8_t to = 3; to <= 5; ++to) {
        std::vector<uint16_t> image = buffer;
        if (CheckedConvert(image, from, to) == ParmsStepFault::None && from != to) {
            // And back: refused or not, the same must hold.
            CheckedConvert(image, to, from);
        }
    }
    return 0;
}

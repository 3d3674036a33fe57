#include "app/codeplug_conversion.h"

#include <algorithm>
#include <utility>

#include "app/codeplug_transfers.h"
#include "convert/codeplug_buffer.h"
#include "convert/conversion_report.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"

namespace aurex {

bool Convertible(std::uint8_t formatIndex)
{
    return formatIndex >= 3 && formatIndex <= 5;
}

ConvertedCodeplug ConvertCodeplug(std::span<const std::uint8_t> lineBytes, std::uint8_t targetIndex)
{
    ConvertedCodeplug converted;
    CodeplugBuffer codeplug;
    const std::size_t length = std::min(lineBytes.size(), static_cast<std::size_t>(kParmsBufferBytes));
    std::copy_n(lineBytes.begin(), length, codeplug.LineBytes().begin());
    codeplug.WordsFromLine(length);
    const std::uint8_t currentIndex = ParmsFormatIndex(codeplug.Words());
    if (!Convertible(currentIndex) || !Convertible(targetIndex)) {
        return converted;
    }
    const std::vector<std::uint16_t> before(codeplug.Words(), codeplug.Words() + kParmsBufferWords);
    std::int32_t lengthChange = 0;
    if (currentIndex != targetIndex) {
        const ParmsStepFault fault =
            currentIndex < targetIndex
                ? ParmsUpgrade(lengthChange, codeplug.Words(), currentIndex, targetIndex)
                : ParmsDowngrade(lengthChange, codeplug.Words(), targetIndex, currentIndex);
        if (fault != ParmsStepFault::None) {
            return converted;
        }
    }
    const auto newLength = static_cast<std::size_t>(std::clamp<std::int64_t>(
        static_cast<std::int64_t>(length) + 2 * static_cast<std::int64_t>(lengthChange), 0,
        static_cast<std::int64_t>(kParmsBufferBytes)));
    codeplug.LineFromWords(newLength);
    const std::span<const std::uint8_t> bytes = codeplug.LineBytes(newLength);
    converted.bytes.assign(bytes.begin(), bytes.end());
    if (currentIndex != targetIndex) {
        ConversionSummary summary = SummarizeConversion(
            before, length, std::span<const std::uint16_t>(codeplug.Words(), kParmsBufferWords), newLength);
        converted.report = std::move(summary.lines);
        // An upgrade carries what it empties into the newer layout (a kind 5 list becomes a
        // bitmap); only a step down leaves records behind.
        converted.losesData = summary.losesData && currentIndex > targetIndex;
    }
    converted.ok = true;
    return converted;
}

ConvertedCodeplug ConvertCodeplug(const UploadedCodeplug& uploaded, std::uint8_t targetIndex)
{
    return ConvertCodeplug(uploaded.bytes, targetIndex);
}

} // namespace aurex

#include "programming/srecord.h"

namespace aurex {
namespace {

// Low byte from the first two digits, high byte from the next two. Digits are already known
// to be 0-15 or the caller discards the word.
inline std::uint16_t MakeWord(int d0, int d1, int d2, int d3)
{
    const auto u = [](int d) { return static_cast<unsigned>(d) & 0xFu; };
    return static_cast<std::uint16_t>(u(d2) << 12 | u(d3) << 8 | u(d0) << 4 | u(d1));
}

bool StartsWith(std::string_view line, char a, char b)
{
    return line.size() >= 2 && line[0] == a && line[1] == b;
}

} // namespace

SRecordClass ClassifyRecord(std::string_view line)
{
    if (line.size() < 2 || line[0] != 'S') {
        return {SRecordKind::Skipped, {}};
    }
    switch (line[1]) {
    case '1':
        return {SRecordKind::Data, kS1Layout};
    case '2':
        return {SRecordKind::Data, kS2Layout};
    case '3':
        return {SRecordKind::Data, kS3Layout};
    case '0':
        return {SRecordKind::Header, {}};
    case '7':
    case '9':
        return {SRecordKind::End, {}};
    default:
        return {SRecordKind::Skipped, {}};
    }
}

bool IsImageEnd(std::string_view line)
{
    return StartsWith(line, 'S', '9') || StartsWith(line, 'S', '7');
}

bool IsDspLoaderEnd(std::string_view line)
{
    return StartsWith(line, 'S', '9');
}

int DataByteCount(std::string_view line, const SRecordDataLayout& layout)
{
    if (line.size() < 4) {
        return -1;
    }
    const std::optional<std::uint8_t> count = ParseHexByte(line[2], line[3]);
    if (!count) {
        return -1;
    }
    return *count - layout.countOverhead;
}

bool WordAt(std::string_view line, std::size_t p, std::uint16_t& word)
{
    if (p > line.size() || line.size() - p < 4) {
        return false;
    }
    const int d0 = HexDigitValue(line[p]);
    const int d1 = HexDigitValue(line[p + 1]);
    const int d2 = HexDigitValue(line[p + 2]);
    const int d3 = HexDigitValue(line[p + 3]);
    if ((d0 | d1 | d2 | d3) < 0) {
        return false;
    }
    word = MakeWord(d0, d1, d2, d3);
    return true;
}

const char* SRecordErrorText(SRecordError error)
{
    switch (error) {
    case SRecordError::None:
        return "no error";
    case SRecordError::BadCount:
        return "the record's byte count is not valid";
    case SRecordError::Truncated:
        return "the record is shorter than its byte count says";
    case SRecordError::BadDigit:
        return "the record's data holds a character that is not a hexadecimal digit";
    case SRecordError::ReadFailed:
        return "the image file could not be read";
    }
    return "unknown error";
}

SRecordError DecodeDataRecord(std::string_view line, const SRecordDataLayout& layout, SRecordData& out)
{
    const int dataBytes = DataByteCount(line, layout);
    if (dataBytes < 0) {
        return SRecordError::BadCount;
    }
    const auto first = static_cast<std::size_t>(layout.firstDataChar);
    const auto chars = static_cast<std::size_t>(dataBytes) * 2;
    if (line.size() < first || line.size() - first < chars) {
        return SRecordError::Truncated;
    }
    const char* p = line.data() + first;
    const std::size_t pairs = static_cast<std::size_t>(dataBytes) / 2;
    int bad = 0;
    for (std::size_t i = 0; i < pairs; ++i, p += 4) {
        const int d0 = HexDigitValue(p[0]);
        const int d1 = HexDigitValue(p[1]);
        const int d2 = HexDigitValue(p[2]);
        const int d3 = HexDigitValue(p[3]);
        bad |= d0 | d1 | d2 | d3;
        out.words[i] = MakeWord(d0, d1, d2, d3);
    }
    std::size_t count = pairs;
    if (dataBytes % 2 != 0) {
        const int d0 = HexDigitValue(p[0]);
        const int d1 = HexDigitValue(p[1]);
        bad |= d0 | d1;
        // No data for the high byte: erased flash, not the record's checksum.
        out.words[count++] = MakeWord(d0, d1, 0xF, 0xF);
    }
    if (bad < 0) {
        return SRecordError::BadDigit;
    }
    out.dataBytes = dataBytes;
    out.progressWeight = layout.progressWeight;
    out.wordCount = count;
    return SRecordError::None;
}

} // namespace aurex

#include "image_store/image_check.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "programming/srecord_writer.h"
#include "text/hex.h"

namespace aurex {

namespace {

// Byte at pos; the record's digits are already checked.
unsigned ByteAt(std::string_view record, std::size_t pos)
{
    return static_cast<unsigned>(HexDigitValue(record[pos]) * 16 + HexDigitValue(record[pos + 1]));
}

std::uint32_t ReadU16(const unsigned char* p)
{
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8;
}
std::uint32_t ReadU32(const unsigned char* p)
{
    return ReadU16(p) | ReadU16(p + 2) << 16;
}

} // namespace

std::string_view ImageFaultName(ImageFault fault)
{
    switch (fault) {
    case ImageFault::None:
        return "none";
    case ImageFault::NotARecord:
        return "line is not an S-record";
    case ImageFault::BadHexDigit:
        return "character that is not a hexadecimal digit";
    case ImageFault::BadLineEnd:
        return "carriage return inside a line";
    case ImageFault::LineTooLong:
        return "line too long";
    case ImageFault::LengthMismatch:
        return "record length does not match its count";
    case ImageFault::BadCount:
        return "record count wrong for its type";
    case ImageFault::BadChecksum:
        return "record checksum wrong";
    case ImageFault::OddDataLength:
        return "odd number of data bytes";
    case ImageFault::MixedDataRecords:
        return "data records of more than one type";
    case ImageFault::MisplacedHeader:
        return "header record after data";
    case ImageFault::UnsupportedRecord:
        return "record type not accepted here";
    case ImageFault::RecordAfterEnd:
        return "data after the end record";
    case ImageFault::NoEndRecord:
        return "no end record";
    case ImageFault::NoData:
        return "no data";
    case ImageFault::TruncatedHeader:
        return "object file header truncated";
    case ImageFault::UnsupportedHeader:
        return "object file optional header of unexpected size";
    case ImageFault::TruncatedSectionTable:
        return "section table truncated";
    case ImageFault::SectionOutsideFile:
        return "section data outside the file";
    case ImageFault::ReadError:
        return "read error";
    }
    return "unknown";
}

void SRecordImageChecker::Feed(std::span<const unsigned char> bytes)
{
    std::size_t at = 0;
    while (at < bytes.size() && result_.Ok()) {
        if (end_seen_) {
            Fail(ImageFault::RecordAfterEnd);
            return;
        }
        // Copy up to and including the next line feed in one go.
        const unsigned char* start = bytes.data() + at;
        const std::size_t left = bytes.size() - at;
        const void* lf = std::memchr(start, '\n', left);
        const std::size_t take =
            lf ? static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - start) + 1 : left;
        if (take > line_.size() - line_length_) {
            Fail(ImageFault::LineTooLong);
            return;
        }
        std::memcpy(line_.data() + line_length_, start, take);
        line_length_ += take;
        at += take;
        if (lf) {
            EndLine();
        }
    }
}

void SRecordImageChecker::EndLine()
{
    std::string_view record(line_.data(), line_length_);
    if (!record.empty() && record.back() == '\n')
        record.remove_suffix(1);
    if (!record.empty() && record.back() == '\r')
        record.remove_suffix(1);
    if (record.find('\r') != std::string_view::npos) {
        Fail(ImageFault::BadLineEnd);
    } else {
        CheckRecord(record);
    }
    line_length_ = 0;
    if (result_.Ok()) {
        ++line_number_;
    }
}

void SRecordImageChecker::CheckRecord(std::string_view record)
{
    if (record.size() < 2 || record[0] != 'S' || record[1] < '0' || record[1] > '9') {
        return Fail(ImageFault::NotARecord);
    }
    // One pass: every character a digit, and the byte sum for the checksum.
    unsigned sum = 0;
    int bad = 0;
    std::size_t pos = 2;
    for (; pos + 1 < record.size(); pos += 2) {
        const int high = HexDigitValue(record[pos]);
        const int low = HexDigitValue(record[pos + 1]);
        bad |= high | low;
        sum += static_cast<unsigned>(high * 16 + low);
    }
    if (bad < 0 || (pos < record.size() && HexDigitValue(record[pos]) < 0))
        return Fail(ImageFault::BadHexDigit);
    if (record.size() < 4)
        return Fail(ImageFault::LengthMismatch);
    const unsigned count = ByteAt(record, 2);
    if (record.size() != 4 + 2 * static_cast<std::size_t>(count))
        return Fail(ImageFault::LengthMismatch);
    if ((sum & 0xFF) != 0xFF)
        return Fail(ImageFault::BadChecksum);

    const char type = record[1];
    const std::size_t address_bytes = SRecordAddressBytes(type);
    if (address_bytes == 0 || type == '8')
        return Fail(ImageFault::UnsupportedRecord);
    if (rules_ == SRecordRules::DspLoader && type != '3' && type != '9')
        return Fail(ImageFault::UnsupportedRecord);
    if (count < address_bytes + 1)
        return Fail(ImageFault::BadCount);
    const std::size_t data_bytes = count - address_bytes - 1;

    switch (type) {
    case '0':
        if (data_records_ != 0)
            return Fail(ImageFault::MisplacedHeader);
        return;
    case '1':
    case '2':
    case '3':
        if (data_bytes % 2 != 0)
            return Fail(ImageFault::OddDataLength);
        if (data_type_ != 0 && data_type_ != type)
            return Fail(ImageFault::MixedDataRecords);
        data_type_ = type;
        ++data_records_;
        return;
    case '5':
    case '6': {
        if (data_bytes != 0)
            return Fail(ImageFault::BadCount);
        std::uint64_t stated = 0;
        for (std::size_t i = 0; i < address_bytes; ++i)
            stated = stated << 8 | ByteAt(record, 4 + 2 * i);
        const std::uint64_t mask = (std::uint64_t{1} << (8 * address_bytes)) - 1;
        if (stated != (data_records_ & mask))
            return Fail(ImageFault::BadCount);
        return;
    }
    default: // '7', '9'
        if (data_bytes != 0)
            return Fail(ImageFault::BadCount);
        end_seen_ = true;
        return;
    }
}

ImageCheckResult SRecordImageChecker::Finish()
{
    if (result_.Ok() && line_length_ > 0) {
        // The last line has no line end; the download reads it all the same.
        std::string_view record(line_.data(), line_length_);
        if (record.back() == '\r')
            record.remove_suffix(1);
        if (record.find('\r') != std::string_view::npos) {
            Fail(ImageFault::BadLineEnd);
        } else {
            CheckRecord(record);
        }
        line_length_ = 0;
    }
    if (result_.Ok() && !end_seen_)
        Fail(ImageFault::NoEndRecord);
    if (result_.Ok() && data_records_ == 0)
        Fail(ImageFault::NoData);
    return result_;
}

bool MemoryByteSource::ReadAt(std::uint64_t offset, std::span<unsigned char> out) const
{
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
        return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

bool IsDownloadedDspPage(int page)
{
    return page == 0 || page == 2 || page == 5 || page == 6 || page == 7 || page == 8;
}

ImageCheckResult CheckDspObject(const ByteSource& file)
{
    // Layout as the DSP download reads it: 22-byte file header, an optional header of 28 bytes
    // or none, then 40-byte section headers.
    constexpr std::size_t kFileHeaderSize = 22;
    constexpr std::size_t kOptionalHeaderSize = 28;
    constexpr std::size_t kSectionHeaderSize = 40;

    const std::uint64_t size = file.Size();
    std::array<unsigned char, kFileHeaderSize> header{};
    if (size < kFileHeaderSize)
        return {ImageFault::TruncatedHeader, 0};
    if (!file.ReadAt(0, header))
        return {ImageFault::ReadError, 0};
    const std::uint32_t sections = ReadU16(&header[2]);
    const std::uint32_t optional_size = ReadU16(&header[16]);
    if (optional_size != 0 && optional_size != kOptionalHeaderSize)
        return {ImageFault::UnsupportedHeader, 0};
    const std::uint64_t table = kFileHeaderSize + (optional_size != 0 ? kOptionalHeaderSize : 0);
    if (table + std::uint64_t{sections} * kSectionHeaderSize > size)
        return {ImageFault::TruncatedSectionTable, 0};

    bool any_downloaded = false;
    std::array<unsigned char, kSectionHeaderSize> section{};
    for (std::uint32_t i = 0; i < sections; ++i) {
        if (!file.ReadAt(table + std::uint64_t{i} * kSectionHeaderSize, section))
            return {ImageFault::ReadError, 0};
        // Negative pages are skipped unread. Other pages are read; without a raw data offset a
        // section is uninitialised, which matters only where the download places it.
        const int page = static_cast<signed char>(section[39]);
        const bool downloaded = IsDownloadedDspPage(page);
        const std::uint64_t bytes = std::uint64_t{ReadU32(&section[16])} * 2;
        const std::uint64_t raw = ReadU32(&section[20]);
        if (page < 0 || (!downloaded && raw == 0))
            continue;
        if (raw > size || bytes > size - raw)
            return {ImageFault::SectionOutsideFile, 0};
        any_downloaded = any_downloaded || downloaded;
    }
    if (!any_downloaded)
        return {ImageFault::NoData, 0};
    return {};
}

} // namespace aurex

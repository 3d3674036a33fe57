#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace aurex {

// Checks that an extracted image is whole before any of it can reach a radio. The download
// reads neither record checksums nor section bounds, so this is the only place where damage
// to the carried images shows.

enum class ImageFault {
    None,
    NotARecord, // a line that is not "S" and a record type digit
    BadHexDigit,
    BadLineEnd,     // a carriage return that does not end a line
    LineTooLong,    // more than the download's line read takes in one piece
    LengthMismatch, // the characters do not match the record's byte count
    BadCount,       // count too small for the record type, or a record count that disagrees
    BadChecksum,
    OddDataLength,     // data that does not fill whole 16-bit words
    MixedDataRecords,  // S1, S2 and S3 data in one image
    MisplacedHeader,   // S0 after data
    UnsupportedRecord, // S4, S8, or in a DSP loader anything but S3 and S9
    RecordAfterEnd,
    NoEndRecord,
    NoData,
    TruncatedHeader,   // object file shorter than its file header
    UnsupportedHeader, // optional header of a size the download does not expect
    TruncatedSectionTable,
    SectionOutsideFile, // a section whose raw data lies beyond the end of the file
    ReadError,
};

std::string_view ImageFaultName(ImageFault fault);

struct ImageCheckResult
{
    ImageFault fault = ImageFault::None;
    std::uint64_t line = 0; // 1-based line of an S-record fault, 0 otherwise
    bool Ok() const { return fault == ImageFault::None; }
};

enum class SRecordRules {
    FlashImage, // S0 header, S1/S2/S3 data of one kind, S5/S6 counts, a final S7 or S9
    DspLoader,  // the DSP download takes every line before S9 as S3 data: only S3, then S9
};

// Longest line, with its line end, that the download's line read takes in one piece.
inline constexpr std::size_t kMaxSRecordLineChars = 299;

// Incremental check of S-record text: feed the bytes in any chunks, then Finish.
class SRecordImageChecker
{
  public:
    explicit SRecordImageChecker(SRecordRules rules) : rules_(rules) {}
    void Feed(std::span<const unsigned char> bytes);
    ImageCheckResult Finish();

  private:
    void EndLine();
    void CheckRecord(std::string_view record);
    void Fail(ImageFault fault)
    {
        if (result_.fault == ImageFault::None) {
            result_ = {fault, line_number_};
        }
    }

    SRecordRules rules_;
    ImageCheckResult result_;
    std::array<char, kMaxSRecordLineChars> line_{};
    std::size_t line_length_ = 0; // characters of the current line, its line end included
    std::uint64_t line_number_ = 1;
    std::uint64_t data_records_ = 0;
    char data_type_ = 0;
    bool end_seen_ = false;
};

// Random access to a DSP object file.
class ByteSource
{
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly out.size() bytes at offset; false when that is not possible.
    virtual bool ReadAt(std::uint64_t offset, std::span<unsigned char> out) const = 0;
};

class MemoryByteSource final : public ByteSource
{
  public:
    explicit MemoryByteSource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, std::span<unsigned char> out) const override;

  private:
    std::span<const unsigned char> bytes_;
};

// Checks what the DSP download relies on in a TI COFF object file: a readable file header, a
// section table inside the file, raw data inside the file for every section that it reads
// (on a downloaded page: 0, 2, 5, 6, 7, 8; or on another page with a raw data offset), and at
// least one section on a downloaded page. A cut-off file fails here.
ImageCheckResult CheckDspObject(const ByteSource& file);

// Pages whose sections the DSP download places.
bool IsDownloadedDspPage(int page);

} // namespace aurex

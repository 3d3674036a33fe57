#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "programming/srecord.h"

namespace aurex {

// Splits a text stream into lines the way a line read into a 300-character buffer does: at
// most 299 characters at a time, so a longer line comes in pieces and each piece counts as a
// line. The line end is removed from the piece handed out.
class SRecordLineReader
{
  public:
    static constexpr std::size_t kLineBufferSize = 300;
    static constexpr std::size_t kMaxPiece = kLineBufferSize - 1;

    enum class Status : std::uint8_t { Line, EndOfStream, ReadFailed };

    static constexpr std::size_t kDefaultReadAhead = 64 * 1024;

    // readAhead is the size of the block read from the stream at a time (at least 1).
    explicit SRecordLineReader(std::istream& in, std::size_t readAhead = kDefaultReadAhead);

    // The view stays valid until the next call.
    Status Next(std::string_view& line);

    // Line of the text (1-based) where the last piece began.
    std::size_t LineNumber() const { return lineNumber_; }

  private:
    bool Refill();

    std::istream& in_;
    std::size_t chunkSize_;
    std::unique_ptr<char[]> chunk_; // read-ahead, bounded; the image is never held whole
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool readFailed_ = false;
    bool atLineStart_ = true;
    std::size_t lineNumber_ = 0;
    char line_[kLineBufferSize] = {};
};

// Which records an image is read by.
enum class SRecordRule : std::uint8_t {
    Standard,  // S1/S2/S3 data, S0 and unknown lines skipped, S7 or S9 ends
    DspLoader, // every line is an S3 data record until a line beginning with S9
};

// Streams one S-record image record by record: only the current line is decoded, so a caller
// can pack the words as they come and stop at any record.
class SRecordImageReader
{
  public:
    enum class Result : std::uint8_t { Record, End, Error };

    explicit SRecordImageReader(std::istream& in, SRecordRule rule = SRecordRule::Standard);

    // Advances to the next data record. End and Error are final: later calls repeat them.
    Result Next();

    // The last data record; valid after Next() returned Record.
    const SRecordData& Record() const { return record_; }

    // True when an end record (not the end of the stream) ended the image.
    bool EndedByRecord() const { return endedByRecord_; }

    SRecordError Error() const { return error_; }
    // Line where the error was found (0 when none).
    std::size_t ErrorLine() const { return errorLine_; }
    // For the user: "line 12: the record is shorter than its byte count says".
    std::string ErrorMessage() const;

  private:
    Result Fail(SRecordError error);

    SRecordLineReader lines_;
    SRecordRule rule_;
    SRecordData record_{};
    Result final_ = Result::Record; // Record while the image goes on
    bool endedByRecord_ = false;
    SRecordError error_ = SRecordError::None;
    std::size_t errorLine_ = 0;
};

// The data bytes the image's records hand out as words (two a word), read through once before a
// download so that its byte progress has a total. The read position is put back; nullopt, with
// nothing read, for a stream that cannot go back, and for an image that cannot be read whole.
std::optional<std::int64_t> ImageDataBytes(std::istream& in, SRecordRule rule = SRecordRule::Standard);

} // namespace aurex

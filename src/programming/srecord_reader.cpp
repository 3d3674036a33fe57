#include "programming/srecord_reader.h"

#include <algorithm>
#include <cstring>

namespace aurex {
namespace {

std::string_view WithoutLineEnd(const char* p, std::size_t n)
{
    if (n > 0 && p[n - 1] == '\n') {
        --n;
    }
    if (n > 0 && p[n - 1] == '\r') {
        --n;
    }
    return {p, n};
}

} // namespace

// The default read-ahead is large enough that reading costs little per line and small enough
// to be irrelevant in memory.
SRecordLineReader::SRecordLineReader(std::istream& in, std::size_t readAhead)
    : in_(in), chunkSize_(std::max<std::size_t>(readAhead, 1)), chunk_(std::make_unique<char[]>(chunkSize_)),
      readFailed_(in.fail())
{
}

bool SRecordLineReader::Refill()
{
    if (readFailed_) {
        return false;
    }
    in_.read(chunk_.get(), static_cast<std::streamsize>(chunkSize_));
    if (in_.bad()) {
        readFailed_ = true;
        return false;
    }
    pos_ = 0;
    end_ = static_cast<std::size_t>(in_.gcount());
    return end_ > 0;
}

SRecordLineReader::Status SRecordLineReader::Next(std::string_view& line)
{
    if (atLineStart_) {
        ++lineNumber_;
    }
    // Usual case: the whole piece lies in the read-ahead; hand it out without copying.
    if (end_ - pos_ >= kMaxPiece || (end_ > pos_ && std::memchr(chunk_.get() + pos_, '\n', end_ - pos_))) {
        const char* start = chunk_.get() + pos_;
        const std::size_t window = std::min(end_ - pos_, kMaxPiece);
        const auto* nl = static_cast<const char*>(std::memchr(start, '\n', window));
        const std::size_t take = nl != nullptr ? static_cast<std::size_t>(nl - start) + 1 : window;
        pos_ += take;
        atLineStart_ = nl != nullptr;
        line = WithoutLineEnd(start, take);
        return Status::Line;
    }
    // The piece crosses the end of the read-ahead: gather it in the line buffer.
    std::size_t len = 0;
    bool endOfLine = false;
    while (len < kMaxPiece && !endOfLine) {
        if (pos_ == end_ && !Refill()) {
            break;
        }
        const char* start = chunk_.get() + pos_;
        const std::size_t window = std::min(end_ - pos_, kMaxPiece - len);
        const auto* nl = static_cast<const char*>(std::memchr(start, '\n', window));
        const std::size_t take = nl != nullptr ? static_cast<std::size_t>(nl - start) + 1 : window;
        std::memcpy(line_ + len, start, take);
        len += take;
        pos_ += take;
        endOfLine = nl != nullptr;
    }
    if (readFailed_) {
        return Status::ReadFailed;
    }
    if (len == 0) {
        return Status::EndOfStream;
    }
    atLineStart_ = endOfLine;
    line = WithoutLineEnd(line_, len);
    return Status::Line;
}

SRecordImageReader::SRecordImageReader(std::istream& in, SRecordRule rule) : lines_(in), rule_(rule) {}

SRecordImageReader::Result SRecordImageReader::Fail(SRecordError error)
{
    error_ = error;
    errorLine_ = lines_.LineNumber();
    final_ = Result::Error;
    return final_;
}

SRecordImageReader::Result SRecordImageReader::Next()
{
    if (final_ != Result::Record) {
        return final_;
    }
    std::string_view line;
    for (;;) {
        switch (lines_.Next(line)) {
        case SRecordLineReader::Status::EndOfStream:
            final_ = Result::End; // a missing end record is harmless
            return final_;
        case SRecordLineReader::Status::ReadFailed:
            return Fail(SRecordError::ReadFailed);
        case SRecordLineReader::Status::Line:
            break;
        }
        SRecordDataLayout layout;
        if (rule_ == SRecordRule::Standard) {
            if (IsImageEnd(line)) {
                endedByRecord_ = true;
                final_ = Result::End;
                return final_;
            }
            const SRecordClass cls = ClassifyRecord(line);
            if (cls.kind != SRecordKind::Data) {
                continue;
            }
            layout = cls.layout;
        } else {
            if (IsDspLoaderEnd(line)) {
                endedByRecord_ = true;
                final_ = Result::End;
                return final_;
            }
            // A blank line holds no record; anything else is read as S3 data.
            if (line.empty()) {
                continue;
            }
            layout = kS3Layout;
        }
        const SRecordError error = DecodeDataRecord(line, layout, record_);
        if (error != SRecordError::None) {
            return Fail(error);
        }
        return Result::Record;
    }
}

std::string SRecordImageReader::ErrorMessage() const
{
    if (error_ == SRecordError::None) {
        return {};
    }
    if (error_ == SRecordError::ReadFailed) {
        return SRecordErrorText(error_);
    }
    return "line " + std::to_string(errorLine_) + ": " + SRecordErrorText(error_);
}

std::optional<std::int64_t> ImageDataBytes(std::istream& in, SRecordRule rule)
{
    const std::istream::pos_type start = in.tellg();
    if (start == std::istream::pos_type(-1)) {
        return std::nullopt;
    }
    std::int64_t bytes = 0;
    SRecordImageReader::Result next = SRecordImageReader::Result::Record;
    {
        SRecordImageReader reader(in, rule);
        while ((next = reader.Next()) == SRecordImageReader::Result::Record) {
            bytes += 2 * static_cast<std::int64_t>(reader.Record().wordCount);
        }
    }
    in.clear();
    in.seekg(start);
    if (next == SRecordImageReader::Result::Error) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace aurex

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "text/hex.h"

namespace aurex {

enum class SRecordKind : std::uint8_t { Data, Header, End, Skipped };

// Where the data of a data record starts and how the count relates to its data bytes.
struct SRecordDataLayout
{
    int firstDataChar;  // 0-based position of the first data character
    int countOverhead;  // count - overhead = data bytes (address bytes + checksum byte)
    int progressWeight; // added to the download's progress counter per record
};

inline constexpr SRecordDataLayout kS1Layout{8, 3, 3};
inline constexpr SRecordDataLayout kS2Layout{10, 4, 3};
inline constexpr SRecordDataLayout kS3Layout{12, 5, 4};

struct SRecordClass
{
    SRecordKind kind;
    SRecordDataLayout layout; // meaningful for Data only
};

// Kind by the first two characters (case matters): S1/S2/S3 data, S0 header, S7/S9 end, all
// else skipped.
SRecordClass ClassifyRecord(std::string_view line);

// End of an image: "S9" or "S7". The DSP loader ends only at "S9".
bool IsImageEnd(std::string_view line);
bool IsDspLoaderEnd(std::string_view line);

// Count field (characters 2 and 3) minus the layout's overhead; -1 when the count field is not
// two hex digits.
int DataByteCount(std::string_view line, const SRecordDataLayout& layout);

// Word from the four characters at p: the first two are the low byte, the next two the high
// byte, so the word stored low byte first gives the bytes in file order. False when a
// character is missing or not a hex digit.
bool WordAt(std::string_view line, std::size_t p, std::uint16_t& word);

// Largest record a two-digit count allows: 255 - 3 data bytes of an S1 record.
inline constexpr std::size_t kMaxRecordDataBytes = 252;
inline constexpr std::size_t kMaxRecordWords = (kMaxRecordDataBytes + 1) / 2;

enum class SRecordError : std::uint8_t {
    None,
    BadCount,   // count field is not two hex digits, or too small for the record kind
    Truncated,  // the count promises more data characters than the line holds
    BadDigit,   // a data character is not a hex digit
    ReadFailed, // the stream could not be read
};

const char* SRecordErrorText(SRecordError error);

// The words of one data record.
struct SRecordData
{
    int dataBytes = 0;
    int progressWeight = 0;
    std::size_t wordCount = 0;
    std::array<std::uint16_t, kMaxRecordWords> words{};

    std::span<const std::uint16_t> Words() const { return {words.data(), wordCount}; }
};

// Decodes the data of a record laid out as given. An odd last data byte gets 0xFF (erased
// flash) as its high byte; the record's checksum is never read.
SRecordError DecodeDataRecord(std::string_view line, const SRecordDataLayout& layout, SRecordData& out);

} // namespace aurex

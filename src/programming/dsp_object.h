#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace aurex {

// The DSP object file (TI COFF, little-endian) as the DSP download reads it: a 22-byte file
// header, an optional header of 28 bytes when its size field is not 0, then 40-byte section
// headers giving each section's word address, size in words, raw data offset and page.

inline constexpr std::size_t kCoffFileHeaderSize = 22;
inline constexpr std::size_t kCoffOptionalHeaderSize = 28;
inline constexpr std::size_t kCoffSectionHeaderSize = 40;

// Nine page slots; sections of pages 0, 2, 5, 6, 7 and 8 are downloaded, all others ignored.
inline constexpr int kDspPageSlots = 9;
bool IsPlacedDspPage(int page);

// Largest extent of a page, in words. The DSP addresses each memory page with 16-bit word
// addresses, so a section ending past 64K words is not DSP code but a damaged header, and taking
// it would make a page file of up to 16 GiB and hours of download of nothing.
inline constexpr std::uint64_t kDspPageWords = 0x10000;

// Sections are copied in chunks of this many words (32000 bytes).
inline constexpr std::uint32_t kDspChunkWords = 16000;

struct DspSection
{
    int number = 0; // 1-based position in the section table
    int page = 0;   // 0 to 127 here; negative pages are never placed
    std::uint32_t wordAddress = 0;
    std::uint32_t words = 0;
    std::uint32_t rawOffset =
        0; // 0 (no raw data) copies from the file's start, as the loader has always had it
};

enum class DspObjectError : std::uint8_t {
    None,
    ReadFailed,
    TruncatedHeader,       // shorter than its file header (and optional header)
    TruncatedSectionTable, // the section table runs past the end of the file
    SectionOutsideFile,    // a placed section's raw data lies outside the file
    SectionBeyondPage,     // a placed section would end past 64K words of its page
    NothingToPlace,        // no section on a downloaded page: not a DSP image
};

struct DspObjectCheck
{
    DspObjectError error = DspObjectError::None;
    int section = 0; // 1-based section of a section error
    bool Ok() const { return error == DspObjectError::None; }
    // For the user: "section 3 lies outside the file".
    std::string Message() const;
};

// Reads the section table and keeps, in file order, the sections the download places, each
// checked against the file and the page bound before any of it can reach the radio.
DspObjectCheck ReadDspSections(std::istream& object, std::vector<DspSection>& placed);

} // namespace aurex

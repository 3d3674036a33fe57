#include "programming/dsp_object.h"

#include <array>

#include "programming/stream_size.h"

namespace aurex {

namespace {

std::uint32_t U16(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t U32(const unsigned char* p)
{
    return U16(p) | U16(p + 2) << 16;
}

bool ReadAt(std::istream& in, std::uint64_t offset, unsigned char* out, std::size_t n)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount()) == n;
}

} // namespace

bool IsPlacedDspPage(int page)
{
    return page == 0 || page == 2 || page == 5 || page == 6 || page == 7 || page == 8;
}

std::string DspObjectCheck::Message() const
{
    const std::string which = "section " + std::to_string(section);
    switch (error) {
    case DspObjectError::None:
        return "no error";
    case DspObjectError::ReadFailed:
        return "the file could not be read";
    case DspObjectError::TruncatedHeader:
        return "the file is shorter than its header";
    case DspObjectError::TruncatedSectionTable:
        return "its section table runs past the end of the file";
    case DspObjectError::SectionOutsideFile:
        return which + " lies outside the file";
    case DspObjectError::SectionBeyondPage:
        return which + " does not fit in a memory page of 64K words";
    case DspObjectError::NothingToPlace:
        return "it holds nothing for the DSP's memory pages";
    }
    return "unknown error";
}

DspObjectCheck ReadDspSections(std::istream& object, std::vector<DspSection>& placed)
{
    placed.clear();
    const std::int64_t size = StreamSize(object);
    const auto fileSize = static_cast<std::uint64_t>(size < 0 ? 0 : size);

    std::array<unsigned char, kCoffFileHeaderSize> header{};
    if (fileSize < header.size()) {
        return {DspObjectError::TruncatedHeader, 0};
    }
    if (!ReadAt(object, 0, header.data(), header.size())) {
        return {DspObjectError::ReadFailed, 0};
    }
    const std::uint32_t count = U16(&header[2]);
    const std::uint64_t table = kCoffFileHeaderSize + (U16(&header[16]) != 0 ? kCoffOptionalHeaderSize : 0);
    if (table > fileSize) {
        return {DspObjectError::TruncatedHeader, 0};
    }
    if (std::uint64_t{count} * kCoffSectionHeaderSize > fileSize - table) {
        return {DspObjectError::TruncatedSectionTable, 0};
    }

    std::array<unsigned char, kCoffSectionHeaderSize> entry{};
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!ReadAt(object, table + std::uint64_t{i} * kCoffSectionHeaderSize, entry.data(), entry.size())) {
            return {DspObjectError::ReadFailed, 0};
        }
        DspSection s;
        s.number = static_cast<int>(i) + 1;
        s.page = static_cast<signed char>(entry[39]);
        if (!IsPlacedDspPage(s.page)) {
            continue; // read over: nothing of it reaches a page file
        }
        s.wordAddress = U32(&entry[12]);
        s.words = U32(&entry[16]);
        s.rawOffset = U32(&entry[20]);
        const std::uint64_t bytes = std::uint64_t{s.words} * 2;
        if (s.rawOffset > fileSize || bytes > fileSize - s.rawOffset) {
            return {DspObjectError::SectionOutsideFile, s.number};
        }
        if (std::uint64_t{s.wordAddress} + s.words > kDspPageWords) {
            return {DspObjectError::SectionBeyondPage, s.number};
        }
        placed.push_back(s);
    }
    // Loading nothing would leave the DSP without software after its loader ran.
    if (placed.empty()) {
        return {DspObjectError::NothingToPlace, 0};
    }
    return {};
}

} // namespace aurex

// The DSP object file's section table from arbitrary bytes: whatever it accepts lies inside
// the file and inside a page of 64K words, so nothing outside the file can reach the radio.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "programming/dsp_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes, std::ios::binary);
    std::vector<aurex::DspSection> placed;
    const aurex::DspObjectCheck check = aurex::ReadDspSections(in, placed);
    if (!check.Ok()) {
        // Every refusal names its reason; a section fault names the section.
        const bool sectionFault = check.error == aurex::DspObjectError::SectionOutsideFile ||
                                  check.error == aurex::DspObjectError::SectionBeyondPage;
        if (check.Message().empty() || sectionFault != (check.section > 0)) {
            std::abort();
        }
        return 0;
    }
    if (placed.empty()) {
        std::abort(); // accepted files have something to download
    }
    int last = 0;
    for (const aurex::DspSection& s : placed) {
        const std::uint64_t end = std::uint64_t{s.rawOffset} + std::uint64_t{s.words} * 2;
        if (!aurex::IsPlacedDspPage(s.page) || end > size ||
            std::uint64_t{s.wordAddress} + s.words > aurex::kDspPageWords || s.number <= last) {
            std::abort();
        }
        last = s.number;
    }
    return 0;
}

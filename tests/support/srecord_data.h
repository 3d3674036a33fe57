// The data bytes of S-record text as a radio flashes them, read here independently of the
// program's reader: S1, S2 and S3 records up to S7 or S9, padded with `filler` bytes to whole
// pairs of 128-byte blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text/hex.h"

namespace aurex::test {

inline std::vector<std::uint8_t> SRecordDataBytes(const std::string& text, std::uint8_t filler = 0xFF)
{
    std::vector<std::uint8_t> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind("S9", 0) == 0 || line.rfind("S7", 0) == 0) {
            break;
        }
        if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') {
            continue;
        }
        const int count = ParseHexByte(line[2], line[3]).value();
        const int addressBytes = line[1] - '0' + 1;
        for (int i = 0; i < count - addressBytes - 1; ++i) {
            const std::size_t p = 4 + 2 * static_cast<std::size_t>(addressBytes + i);
            out.push_back(ParseHexByte(line.at(p), line.at(p + 1)).value());
        }
    }
    while (out.empty() || out.size() % 256 != 0) {
        out.push_back(filler);
    }
    return out;
}

} // namespace aurex::test

// S-record reading of arbitrary text: line pieces must match a plain splitter whatever the
// read-ahead size, and every record handed out must be consistent with its own count.
// Input: one byte choosing the read-ahead size and the rule, then the image text.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "programming/srecord_reader.h"

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

// Pieces as a 300-character line buffer reads them, line ends removed.
std::vector<std::string> ReferencePieces(std::string_view text)
{
    std::vector<std::string> pieces;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t n = 0;
        while (n < 299 && i + n < text.size()) {
            if (text[i + n++] == '\n') {
                break;
            }
        }
        std::string piece(text.substr(i, n));
        if (!piece.empty() && piece.back() == '\n') {
            piece.pop_back();
        }
        if (!piece.empty() && piece.back() == '\r') {
            piece.pop_back();
        }
        pieces.push_back(piece);
        i += n;
    }
    return pieces;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::size_t readAhead = 1 + data[0] % 128 * 3;
    const auto rule = data[0] & 0x80 ? aurex::SRecordRule::DspLoader : aurex::SRecordRule::Standard;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    {
        std::istringstream in(text);
        aurex::SRecordLineReader lines(in, readAhead);
        std::vector<std::string> pieces;
        std::string_view piece;
        while (lines.Next(piece) == aurex::SRecordLineReader::Status::Line) {
            Check(piece.size() <= 299);
            pieces.emplace_back(piece);
        }
        Check(pieces == ReferencePieces(text));
    }

    std::istringstream in(text);
    aurex::SRecordImageReader reader(in, rule);
    aurex::SRecordImageReader::Result result;
    std::size_t records = 0;
    while ((result = reader.Next()) == aurex::SRecordImageReader::Result::Record) {
        const aurex::SRecordData& record = reader.Record();
        Check(record.dataBytes >= 0 &&
              static_cast<std::size_t>(record.dataBytes) <= aurex::kMaxRecordDataBytes);
        Check(record.wordCount == static_cast<std::size_t>(record.dataBytes + 1) / 2);
        Check(record.progressWeight == 3 || record.progressWeight == 4);
        if (record.dataBytes % 2 != 0) {
            Check((record.words[record.wordCount - 1] & 0xFF00) == 0xFF00);
        }
        Check(++records <= text.size());
    }
    Check(reader.Next() == result);
    Check((result == aurex::SRecordImageReader::Result::Error) ==
          (reader.Error() != aurex::SRecordError::None));
    return 0;
}

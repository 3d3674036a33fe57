#include "convert/conversion_report.h"

#include "convert/codeplug_image.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"
#include "text/hex.h"

#include <algorithm>
#include <map>
#include <optional>

namespace aurex {

namespace {

constexpr uint8_t kWideFormat = 5;
// Room for the format, length, left-out and totals lines around the detail lines.
constexpr std::size_t kMaxDetailLines = kConversionReportMaxLines - 8;

// An image as the program's buffer holds it, with block word 2 in the layout the accessors read.
struct LoadedImage
{
    std::vector<uint16_t> words; // the whole buffer, zero behind the given bytes
    std::size_t bytes = 0;
    bool valid = false;
    std::vector<uint16_t> wide; // empty when invalid or when its header words cannot be widened
    uint32_t Length() const { return ParmsImageLength(words.data()); }
    uint32_t FileWords() const { return static_cast<uint32_t>((bytes + 1) / 2); }
};

LoadedImage Load(std::span<const uint16_t> words, std::size_t bytes)
{
    LoadedImage loaded;
    loaded.words.assign(kParmsBufferWords, 0);
    loaded.bytes = std::min(bytes, kParmsBufferBytes);
    const std::size_t count = std::min<std::size_t>(words.size(), loaded.FileWords());
    std::copy_n(words.begin(), count, loaded.words.begin());
    if (loaded.bytes % 2 != 0 && count == loaded.FileWords()) {
        loaded.words[count - 1] &= 0xFF00; // an odd last byte is its word's high byte
    }
    return loaded;
}

bool SameBytes(const LoadedImage& a, const LoadedImage& b)
{
    return a.bytes == b.bytes && a.words == b.words;
}

// Checks the structure and reads block words 2 as wide as the accessors do.
void Inspect(LoadedImage& image)
{
    image.valid = ParmsIsValid(image.words.data());
    if (image.valid) {
        image.wide = image.words;
        if (ParmsFormatIndex(image.words.data()) != kWideFormat &&
            !ParmsSetHeaderCountWidth(image.wide.data(), ParmsHeaderWidth::Wide)) {
            image.wide.clear();
        }
    }
}

std::string VersionText(const LoadedImage& image)
{
    const uint16_t word = image.words[kParmsVersionWord];
    const uint8_t index = ParmsIndexOfVersion(static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word));
    if (index == kParmsUnknownFormat) {
        return "unknown (version word 0x" + HexNumber(word, 4) + ")";
    }
    const ParmsVersion version = ParmsVersionOfIndex(index);
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

std::string Signed(int64_t value)
{
    return (value > 0 ? "+" : "") + std::to_string(value);
}

uint32_t Differing(const uint16_t* a, const uint16_t* b, uint32_t count)
{
    uint32_t differing = 0;
    for (uint32_t i = 0; i < count; ++i) {
        differing += a[i] != b[i] ? 1 : 0;
    }
    return differing;
}

uint32_t NonZero(const uint16_t* words, uint32_t count)
{
    return static_cast<uint32_t>(std::count_if(words, words + count, [](uint16_t w) { return w != 0; }));
}

// "1 record", "3 records".
std::string Count(uint64_t value, const std::string& thing)
{
    return std::to_string(value) + " " + thing + (value == 1 ? "" : "s");
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text;
}

// Blocks are matched by what names them, not by where they stand, since a conversion moves them.
struct BlockKey
{
    ParmsBlockType type;
    unsigned id;         // kind, system number, or position among sequence blocks
    unsigned occurrence; // of the same type and id, for a repeated kind or a radio-type block
    auto operator<=>(const BlockKey&) const = default;
};

struct ChainBlock
{
    BlockKey key;
    unsigned kind;
    uint32_t start;
    uint32_t length;
};

// The chain of an image that passed the structure check, which keeps every block in the buffer.
std::vector<ChainBlock> ChainOf(const LoadedImage& image)
{
    const uint16_t* words = image.words.data();
    std::vector<ChainBlock> blocks;
    std::map<std::pair<ParmsBlockType, unsigned>, unsigned> seen;
    unsigned sequences = 0;
    const uint32_t end = image.Length() - kParmsTrailerWords;
    for (uint32_t at = 0; at < end;) {
        const auto type = static_cast<ParmsBlockType>(words[at + kParmsBlockTypeLengthWord] >> 14);
        const uint16_t identity = words[at + kParmsBlockIdentityWord];
        unsigned id = 0;
        if (type == ParmsBlockType::Kind) {
            id = identity >> 12;
        } else if (type == ParmsBlockType::System) {
            id = identity & 0xFF;
        } else if (type == ParmsBlockType::Sequence) {
            id = ++sequences;
        }
        const unsigned occurrence = seen[{type, id}]++;
        const uint32_t length = words[at + kParmsBlockTypeLengthWord] & kParmsMaxBlockLength;
        blocks.push_back({{type, id, occurrence}, static_cast<unsigned>(identity >> 12), at, length});
        at += length;
    }
    return blocks;
}

// As the tool's info lists blocks.
std::string NameOf(const ChainBlock& block)
{
    const std::string repeat =
        block.key.occurrence == 0 ? "" : " (" + std::to_string(block.key.occurrence + 1) + ")";
    switch (block.key.type) {
    case ParmsBlockType::Radio:
        return "radio block" + repeat;
    case ParmsBlockType::Kind:
        return "kind block, kind " + std::to_string(block.kind) + repeat;
    case ParmsBlockType::System:
        return "system block " + std::to_string(block.key.id) + ", kind " + std::to_string(block.kind) +
               repeat;
    case ParmsBlockType::Sequence:
        return "sequence block " + std::to_string(block.key.id);
    }
    return "block";
}

struct TableSpan
{
    uint32_t start; // image index of the first record word
    uint32_t count;
    uint32_t size;
    const uint16_t* Record(const LoadedImage& image, uint32_t record) const
    {
        return image.words.data() + start + record * size;
    }
};

// A block's header and tables, when its descriptors and every table lie inside it.
struct BlockShape
{
    uint32_t headerLength = 0;
    std::vector<TableSpan> tables;
};

std::optional<BlockShape> ShapeOf(const LoadedImage& image, const ChainBlock& block)
{
    if (image.wide.empty()) {
        return std::nullopt;
    }
    const ParmsHeader header = ParmsBlockHeader(image.wide.data(), ParmsBlockAt{block.start});
    uint32_t used = uint32_t{header.headerLength} + header.descriptorCount;
    if (header.headerLength <= kParmsBlockIdentityWord || used > block.length) {
        return std::nullopt;
    }
    BlockShape shape{header.headerLength, {}};
    for (unsigned t = 0; t < header.descriptorCount; ++t) {
        const ParmsTableShape table = ParmsDescriptor(image.wide.data(), ParmsBlockAt{block.start}, t);
        if (used + table.Words() > block.length) {
            return std::nullopt;
        }
        shape.tables.push_back({block.start + used, table.count, table.size});
        used += table.Words();
    }
    return shape;
}

struct Totals
{
    uint64_t blocksResized = 0;
    uint64_t tablesResized = 0; // record size changed
    uint64_t tablesAdded = 0;
    uint64_t tablesDropped = 0;
    uint64_t tablesEmptied = 0;
    uint64_t recordsAdded = 0;
    uint64_t recordsDropped = 0;
    uint64_t wordsChanged = 0;
    uint64_t wordsSet = 0; // words that did not exist before and hold something other than 0
};

class Report
{
  public:
    Report(const LoadedImage& before, const LoadedImage& after) : a(before), b(after) {}

    void Detail(std::string line)
    {
        if (details.size() < kMaxDetailLines) {
            details.push_back(std::move(line));
        } else {
            ++leftOut;
        }
    }
    void CompareChains();
    void CompareTrailers();
    void CompareBehindImages();
    std::vector<std::string> Lines(std::vector<std::string> lines) const;
    bool Loses() const { return lost; }

  private:
    void CompareBlocks(const ChainBlock& x, const ChainBlock& y);
    void CompareHeaders(const ChainBlock& x, const ChainBlock& y, const BlockShape& sx, const BlockShape& sy,
                        std::vector<std::string>& parts);
    void CompareTables(const std::string& name, unsigned t, const std::optional<TableSpan>& tx,
                       const std::optional<TableSpan>& ty);

    const LoadedImage& a;
    const LoadedImage& b;
    std::vector<std::string> details;
    std::size_t leftOut = 0;
    Totals totals;
    bool lost = false; // something of the image before is not in the image after
};

void Report::CompareChains()
{
    const std::vector<ChainBlock> chainA = ChainOf(a);
    const std::vector<ChainBlock> chainB = ChainOf(b);
    std::map<BlockKey, const ChainBlock*> byKey;
    for (const ChainBlock& block : chainB) {
        byKey[block.key] = &block;
    }
    for (const ChainBlock& x : chainA) {
        const auto match = byKey.find(x.key);
        if (match == byKey.end()) {
            Detail(NameOf(x) + ": dropped (" + Count(x.length, "word") + ")");
            lost = true;
            continue;
        }
        CompareBlocks(x, *match->second);
        byKey.erase(match);
    }
    for (const ChainBlock& y : chainB) {
        if (byKey.count(y.key) != 0) {
            Detail(NameOf(y) + ": added (" + Count(y.length, "word") + ")");
        }
    }
}

void Report::CompareBlocks(const ChainBlock& x, const ChainBlock& y)
{
    const std::string name = NameOf(x);
    std::vector<std::string> parts;
    if (x.length != y.length) {
        parts.push_back("length " + std::to_string(x.length) + " to " + std::to_string(y.length) + " words");
        ++totals.blocksResized;
    }
    const std::optional<BlockShape> sx = ShapeOf(a, x);
    const std::optional<BlockShape> sy = ShapeOf(b, y);
    if (!sx || !sy) {
        // Without its tables a shorter block can only be taken to have lost its end.
        lost = lost || y.length < x.length;
        const uint32_t changed =
            Differing(a.words.data() + x.start, b.words.data() + y.start, std::min(x.length, y.length));
        if (changed != 0) {
            parts.push_back(Count(changed, "word") + " changed (its tables cannot be told apart)");
            totals.wordsChanged += changed;
        }
        if (!parts.empty()) {
            Detail(name + ": " + Join(parts));
        }
        return;
    }
    CompareHeaders(x, y, *sx, *sy, parts);
    if (!parts.empty()) {
        Detail(name + ": " + Join(parts));
    }
    const std::size_t tables = std::max(sx->tables.size(), sy->tables.size());
    for (std::size_t t = 0; t < tables; ++t) {
        const auto table = [t](const BlockShape& shape) {
            return t < shape.tables.size() ? std::optional<TableSpan>(shape.tables[t]) : std::nullopt;
        };
        CompareTables(name, static_cast<unsigned>(t), table(*sx), table(*sy));
    }
}

void Report::CompareHeaders(const ChainBlock& x, const ChainBlock& y, const BlockShape& sx,
                            const BlockShape& sy, std::vector<std::string>& parts)
{
    if (sx.headerLength != sy.headerLength) {
        parts.push_back("header " + std::to_string(sx.headerLength) + " to " +
                        std::to_string(sy.headerLength) + " words");
    }
    if (sx.tables.size() != sy.tables.size()) {
        parts.push_back("tables " + std::to_string(sx.tables.size()) + " to " +
                        std::to_string(sy.tables.size()));
    }
    // Words 0 to 2 are the shape, told above; the radio block's version and length have lines of
    // their own.
    uint32_t changed = 0;
    for (uint32_t w = kParmsBlockIdentityWord; w < std::min(sx.headerLength, sy.headerLength); ++w) {
        const bool told = x.start == 0 && (w == kParmsVersionWord || w == kParmsImageLengthWord);
        changed += !told && a.words[x.start + w] != b.words[y.start + w] ? 1 : 0;
    }
    if (changed != 0) {
        parts.push_back(Count(changed, "header word") + " changed");
        totals.wordsChanged += changed;
    }
    if (sy.headerLength > sx.headerLength) {
        const uint32_t added = sy.headerLength - sx.headerLength;
        const uint32_t set = NonZero(b.words.data() + y.start + sx.headerLength, added);
        parts.push_back(Count(added, "header word") + " added (" + std::to_string(set) + " set)");
        totals.wordsSet += set;
    } else if (sx.headerLength > sy.headerLength) {
        parts.push_back(Count(sx.headerLength - sy.headerLength, "header word") + " removed");
        lost = true;
    }
}

std::string Records(uint32_t count, uint32_t size)
{
    return count == 0 ? "no records" : Count(count, "record") + " of " + Count(size, "word");
}

void Report::CompareTables(const std::string& name, unsigned t, const std::optional<TableSpan>& tx,
                           const std::optional<TableSpan>& ty)
{
    const std::string label = name + ", table " + std::to_string(t) + ": ";
    if (!ty) {
        Detail(label + "dropped, " + Records(tx->count, tx->size));
        ++totals.tablesDropped;
        totals.recordsDropped += tx->count;
        lost = true;
        return;
    }
    if (!tx) {
        const uint32_t set = NonZero(b.words.data() + ty->start, ty->count * ty->size);
        Detail(label + "added, " + Records(ty->count, ty->size) +
               (set != 0 ? ", " + Count(set, "added word") + " set" : ""));
        ++totals.tablesAdded;
        totals.recordsAdded += ty->count;
        totals.wordsSet += set;
        return;
    }
    std::vector<std::string> parts;
    const uint32_t kept = std::min(tx->count, ty->count);
    if (tx->size != ty->size) {
        parts.push_back("records " + std::to_string(tx->size) + " to " + std::to_string(ty->size) + " words" +
                        (kept == 0 ? std::string() : " (" + Count(kept, "record") + " kept)"));
        ++totals.tablesResized;
        lost = lost || (kept != 0 && ty->size < tx->size);
    }
    lost = lost || ty->count < tx->count;
    if (ty->count == 0 && tx->count != 0) {
        parts.push_back("emptied, " + Count(tx->count, "record") + " dropped");
        ++totals.tablesEmptied;
        totals.recordsDropped += tx->count;
    } else if (ty->count > tx->count) {
        parts.push_back(Count(ty->count - tx->count, "record") + " added (" + std::to_string(tx->count) +
                        " to " + std::to_string(ty->count) + ")");
        totals.recordsAdded += ty->count - tx->count;
    } else if (ty->count < tx->count) {
        parts.push_back(Count(tx->count - ty->count, "record") + " dropped (" + std::to_string(tx->count) +
                        " to " + std::to_string(ty->count) + ")");
        totals.recordsDropped += tx->count - ty->count;
    }
    const uint32_t common = std::min(tx->size, ty->size);
    uint32_t changed = 0;
    uint32_t set = 0;
    for (uint32_t r = 0; r < ty->count; ++r) {
        if (r < kept) {
            changed += Differing(tx->Record(a, r), ty->Record(b, r), common);
            set += NonZero(ty->Record(b, r) + common, ty->size - common);
        } else {
            set += NonZero(ty->Record(b, r), ty->size);
        }
    }
    if (changed != 0) {
        parts.push_back(Count(changed, "word") + " changed");
        totals.wordsChanged += changed;
    }
    if (set != 0) {
        parts.push_back(Count(set, "added word") + " set");
        totals.wordsSet += set;
    }
    if (!parts.empty()) {
        Detail(label + Join(parts));
    }
}

void Report::CompareTrailers()
{
    const uint32_t changed = Differing(a.words.data() + a.Length() - kParmsTrailerWords,
                                       b.words.data() + b.Length() - kParmsTrailerWords, kParmsTrailerWords);
    if (changed != 0) {
        Detail("trailer: " + std::to_string(changed) + " of " + std::to_string(kParmsTrailerWords) +
               " words changed");
        totals.wordsChanged += changed;
    }
}

// Bytes a file or transfer holds behind the image's trailer: a conversion carries them along.
void Report::CompareBehindImages()
{
    const uint32_t behindA = a.FileWords() > a.Length() ? a.FileWords() - a.Length() : 0;
    const uint32_t behindB = b.FileWords() > b.Length() ? b.FileWords() - b.Length() : 0;
    if (behindA != behindB) {
        Detail("behind the image: " + std::to_string(behindA) + " to " + std::to_string(behindB) + " words");
        lost = lost || behindB < behindA;
        return;
    }
    const uint32_t changed = Differing(a.words.data() + a.Length(), b.words.data() + b.Length(), behindA);
    if (changed != 0) {
        Detail("behind the image: " + std::to_string(changed) + " of " + std::to_string(behindA) +
               " words changed");
    }
}

std::vector<std::string> Report::Lines(std::vector<std::string> lines) const
{
    lines.insert(lines.end(), details.begin(), details.end());
    if (leftOut != 0) {
        lines.push_back("... and " + std::to_string(leftOut) + " more lines of changed blocks and tables");
    }
    std::vector<std::string> parts;
    const auto count = [&parts](uint64_t value, const std::string& thing, const std::string& what) {
        if (value != 0) {
            parts.push_back(Count(value, thing) + " " + what);
        }
    };
    count(totals.blocksResized, "block", "resized");
    count(totals.tablesResized, "table", "with a new record size");
    count(totals.tablesAdded, "table", "added");
    count(totals.tablesDropped, "table", "dropped");
    count(totals.tablesEmptied, "table", "emptied");
    count(totals.recordsAdded, "record", "added");
    count(totals.recordsDropped, "record", "dropped");
    count(totals.wordsChanged, "word", "changed");
    count(totals.wordsSet, "added word", "set");
    if (!parts.empty()) {
        lines.push_back("in all: " + Join(parts));
    }
    return lines;
}

std::string FormatLine(const LoadedImage& a, const LoadedImage& b)
{
    const std::string from = VersionText(a);
    const std::string to = VersionText(b);
    return from == to ? "format " + from + ", both images" : "format " + from + " to " + to;
}

std::string LengthLine(const LoadedImage& a, const LoadedImage& b)
{
    if (a.Length() == b.Length() && a.bytes == b.bytes) {
        return "length " + std::to_string(a.Length()) + " words, " + std::to_string(a.bytes) +
               " bytes, in both";
    }
    return "length " + std::to_string(a.Length()) + " to " + std::to_string(b.Length()) + " words (" +
           Signed(int64_t{b.Length()} - a.Length()) + "), " + std::to_string(a.bytes) + " to " +
           std::to_string(b.bytes) + " bytes";
}

// For an image the chain of which cannot be trusted: nothing but words at the same index.
std::vector<std::string> WordByWord(const LoadedImage& a, const LoadedImage& b)
{
    std::vector<std::string> lines{FormatLine(a, b)};
    const auto invalid = [&lines](const LoadedImage& image, const std::string& which) {
        if (!image.valid) {
            lines.push_back("the image " + which +
                            " is not a valid codeplug image (it fails the structure check): compared word "
                            "by word only");
        }
    };
    invalid(a, "before");
    invalid(b, "after");
    const uint32_t words = std::max(a.FileWords(), b.FileWords());
    lines.push_back(std::to_string(Differing(a.words.data(), b.words.data(), words)) + " of " +
                    std::to_string(words) + " words differ; " + std::to_string(a.bytes) + " to " +
                    std::to_string(b.bytes) + " bytes");
    return lines;
}

} // namespace

bool CodeplugBytesEqual(std::span<const std::uint16_t> before, std::size_t beforeBytes,
                        std::span<const std::uint16_t> after, std::size_t afterBytes)
{
    return SameBytes(Load(before, beforeBytes), Load(after, afterBytes));
}

ConversionSummary SummarizeConversion(std::span<const std::uint16_t> before, std::size_t beforeBytes,
                                      std::span<const std::uint16_t> after, std::size_t afterBytes)
{
    LoadedImage a = Load(before, beforeBytes);
    LoadedImage b = Load(after, afterBytes);
    if (SameBytes(a, b)) {
        return {
            {"the images are the same: format " + VersionText(a) + ", " + std::to_string(a.bytes) + " bytes"},
            false};
    }
    Inspect(a);
    Inspect(b);
    if (!a.valid || !b.valid) {
        return {WordByWord(a, b), true};
    }
    Report report(a, b);
    report.CompareChains();
    report.CompareTrailers();
    report.CompareBehindImages();
    return {report.Lines({FormatLine(a, b), LengthLine(a, b)}), report.Loses()};
}

std::vector<std::string> DescribeConversion(std::span<const std::uint16_t> before, std::size_t beforeBytes,
                                            std::span<const std::uint16_t> after, std::size_t afterBytes)
{
    return SummarizeConversion(before, beforeBytes, after, afterBytes).lines;
}

} // namespace aurex

#include "codeplug-builder/codeplug_builder.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

namespace aurex {

namespace {

uint64_t Mix(uint64_t value)
{
    // splitmix64: portable, so seeds give the same images with every standard library.
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

uint64_t Key(std::initializer_list<uint64_t> parts)
{
    uint64_t key = 0;
    for (const uint64_t part : parts) {
        key = Mix(key ^ part);
    }
    return key;
}

uint16_t Pattern(uint64_t key)
{
    auto word = static_cast<uint16_t>(key);
    if (word == 0 || word == 0xFFFF || word == kParmsBlockMark) {
        word ^= 0x0101;
    }
    return word;
}

class Random
{
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    unsigned Below(unsigned bound) { return static_cast<unsigned>(Mix(state_++) % bound); }

  private:
    uint64_t state_;
};

// Header length and descriptor count per category and format (5.8, 5.9, 5.10).
struct HeaderRow
{
    ParmsBlockCategory category;
    std::array<ParmsHeader, 3> shapes;
};

constexpr std::array<HeaderRow, kParmsBlockCategoryCount> kHeaderShapes{{
    {ParmsBlockCategory::Radio, {{{49, 15}, {49, 15}, {69, 15}}}},
    {ParmsBlockCategory::Sequence, {{{23, 15}, {23, 15}, {23, 15}}}},
    {ParmsBlockCategory::SystemK0, {{{81, 15}, {81, 15}, {81, 15}}}},
    {ParmsBlockCategory::SystemK1, {{{129, 15}, {129, 15}, {129, 17}}}},
    {ParmsBlockCategory::SystemK3, {{{333, 15}, {333, 15}, {333, 21}}}},
    {ParmsBlockCategory::SystemK4, {{{298, 15}, {298, 15}, {298, 21}}}},
    {ParmsBlockCategory::SystemK5, {{{42, 15}, {42, 15}, {42, 15}}}},
    {ParmsBlockCategory::KindK0, {{{54, 15}, {54, 15}, {54, 15}}}},
    {ParmsBlockCategory::KindK1, {{{55, 15}, {55, 15}, {55, 15}}}},
    {ParmsBlockCategory::KindK4, {{{61, 15}, {61, 15}, {61, 15}}}},
    {ParmsBlockCategory::KindK5, {{{50, 15}, {50, 15}, {50, 15}}}},
}};

// Tables whose shape a format fixes: (count, size) in 5.8, 5.9 and 5.10. Every other table of
// the older 15 holds generic records; tables that 5.10 added are empty without record layout.
struct TableRow
{
    ParmsBlockCategory category;
    unsigned table;
    std::array<ParmsTableShape, 3> shapes;
};

constexpr std::array kTableShapes{
    TableRow{ParmsBlockCategory::Radio, 0, {{{10, 2}, {16, 2}, {16, 2}}}},
    TableRow{ParmsBlockCategory::Radio, 1, {{{16, 2}, {16, 2}, {64, 2}}}},
    TableRow{ParmsBlockCategory::Radio, 3, {{{0, 0}, {16, 1}, {16, 1}}}},
    TableRow{ParmsBlockCategory::Sequence, 0, {{{2, 17}, {2, 17}, {2, 18}}}},
    TableRow{ParmsBlockCategory::Sequence, 1, {{{2, 15}, {2, 15}, {2, 15}}}},
    TableRow{ParmsBlockCategory::Sequence, 2, {{{2, 13}, {2, 13}, {2, 13}}}},
    TableRow{ParmsBlockCategory::Sequence, 3, {{{2, 13}, {2, 13}, {2, 13}}}},
    TableRow{ParmsBlockCategory::Sequence, 4, {{{2, 14}, {2, 14}, {2, 14}}}},
    TableRow{ParmsBlockCategory::SystemK0, 2, {{{3, 2}, {3, 4}, {3, 4}}}},
    TableRow{ParmsBlockCategory::SystemK0, 3, {{{2, 36}, {2, 36}, {2, 58}}}},
    TableRow{ParmsBlockCategory::SystemK0, 6, {{{0, 0}, {2, 9}, {2, 9}}}},
    TableRow{ParmsBlockCategory::SystemK0, 7, {{{0, 0}, {2, 9}, {2, 9}}}},
    TableRow{ParmsBlockCategory::SystemK0, 8, {{{0, 0}, {2, 2}, {2, 2}}}},
    TableRow{ParmsBlockCategory::SystemK1, 5, {{{3, 4}, {3, 4}, {3, 5}}}},
    TableRow{ParmsBlockCategory::SystemK1, 6, {{{2, 18}, {2, 18}, {2, 19}}}},
    TableRow{ParmsBlockCategory::SystemK1, 7, {{{2, 36}, {2, 36}, {2, 58}}}},
    TableRow{ParmsBlockCategory::SystemK1, 8, {{{0, 0}, {2, 9}, {2, 9}}}},
    TableRow{ParmsBlockCategory::SystemK1, 9, {{{0, 0}, {2, 2}, {2, 2}}}},
    TableRow{ParmsBlockCategory::SystemK1, 10, {{{0, 0}, {0, 0}, {3, 3}}}},
    TableRow{ParmsBlockCategory::SystemK3, 5, {{{3, 6}, {3, 6}, {3, 7}}}},
    TableRow{ParmsBlockCategory::SystemK3, 6, {{{2, 20}, {2, 20}, {2, 21}}}},
    TableRow{ParmsBlockCategory::SystemK3, 7, {{{2, 36}, {2, 36}, {2, 58}}}},
    TableRow{ParmsBlockCategory::SystemK3, 12, {{{0, 0}, {2, 9}, {2, 9}}}},
    TableRow{ParmsBlockCategory::SystemK3, 13, {{{0, 0}, {2, 2}, {2, 2}}}},
    TableRow{ParmsBlockCategory::SystemK3, 14, {{{0, 0}, {0, 0}, {3, 3}}}},
    TableRow{ParmsBlockCategory::SystemK4, 0, {{{3, 6}, {3, 6}, {3, 6}}}},
    TableRow{ParmsBlockCategory::SystemK4, 6, {{{3, 8}, {3, 8}, {3, 13}}}},
    TableRow{ParmsBlockCategory::SystemK4, 7, {{{2, 22}, {2, 22}, {2, 26}}}},
    TableRow{ParmsBlockCategory::SystemK4, 9, {{{2, 36}, {2, 36}, {2, 58}}}},
    TableRow{ParmsBlockCategory::SystemK4, 11, {{{2, 32}, {2, 32}, {2, 64}}}},
    TableRow{ParmsBlockCategory::SystemK4, 12, {{{0, 0}, {2, 9}, {2, 9}}}},
    TableRow{ParmsBlockCategory::SystemK4, 13, {{{0, 0}, {2, 2}, {2, 2}}}},
    TableRow{ParmsBlockCategory::SystemK4, 14, {{{0, 0}, {0, 0}, {3, 3}}}},
    TableRow{ParmsBlockCategory::SystemK4, 15, {{{0, 0}, {0, 0}, {0, 2}}}},
    TableRow{ParmsBlockCategory::SystemK5, 0, {{{3, 10}, {3, 11}, {3, 11}}}},
    TableRow{ParmsBlockCategory::SystemK5, 1, {{{2, 2}, {0, 2}, {0, 2}}}},
    TableRow{ParmsBlockCategory::SystemK5, 2, {{{1, 37}, {1, 37}, {1, 59}}}},
    TableRow{ParmsBlockCategory::SystemK5, 3, {{{0, 0}, {0, 0}, {0, 37}}}},
};

constexpr unsigned kOlderTables = 15; // tables of every block before 5.10 added some
constexpr uint32_t kRandomImageWords = 12000;

std::size_t FormatColumn(uint8_t formatIndex)
{
    if (formatIndex < 3 || formatIndex > 5) {
        throw std::invalid_argument("codeplug builder: format index must be 3, 4 or 5");
    }
    return formatIndex - 3u;
}

std::optional<ParmsTableShape> FixedShape(ParmsBlockCategory category, unsigned table, uint8_t formatIndex)
{
    for (const TableRow& row : kTableShapes) {
        if (row.category == category && row.table == table) {
            return row.shapes[FormatColumn(formatIndex)];
        }
    }
    return std::nullopt;
}

struct PlannedBlock
{
    ParmsBlockType type;
    unsigned id;
    ParmsBlockCategory category;
};

ParmsBlockCategory SystemCategoryOf(unsigned kind)
{
    switch (kind) {
    case 0:
        return ParmsBlockCategory::SystemK0;
    case 1:
        return ParmsBlockCategory::SystemK1;
    case 3:
        return ParmsBlockCategory::SystemK3;
    case 4:
        return ParmsBlockCategory::SystemK4;
    case 5:
        return ParmsBlockCategory::SystemK5;
    default:
        throw std::invalid_argument("codeplug builder: system kinds are 0, 1, 3, 4 and 5");
    }
}

std::vector<PlannedBlock> PlanBlocks(const CodeplugOptions& options)
{
    if (options.systemKinds.empty() || options.systemKinds.size() > kParmsMaxSystemBlocks ||
        options.sequenceBlocks < 1 || options.sequenceBlocks > kParmsMaxSequenceBlocks) {
        throw std::invalid_argument("codeplug builder: 1-16 systems and 1-54 sequence blocks");
    }
    const auto uses = [&](unsigned kind) {
        return std::find(options.systemKinds.begin(), options.systemKinds.end(), kind) !=
               options.systemKinds.end();
    };
    std::vector<PlannedBlock> blocks;
    if (uses(0)) {
        blocks.push_back({ParmsBlockType::Kind, 0, ParmsBlockCategory::KindK0});
    }
    if (uses(1) || uses(3)) {
        blocks.push_back({ParmsBlockType::Kind, uses(1) ? 1u : 3u, ParmsBlockCategory::KindK1});
    }
    if (uses(4)) {
        blocks.push_back({ParmsBlockType::Kind, 4, ParmsBlockCategory::KindK4});
    }
    if (uses(5)) {
        blocks.push_back({ParmsBlockType::Kind, 5, ParmsBlockCategory::KindK5});
    }
    for (std::size_t i = 0; i < options.systemKinds.size(); ++i) {
        blocks.push_back(
            {ParmsBlockType::System, static_cast<unsigned>(i + 1), SystemCategoryOf(options.systemKinds[i])});
    }
    for (unsigned position = 1; position <= options.sequenceBlocks; ++position) {
        blocks.push_back({ParmsBlockType::Sequence, position, ParmsBlockCategory::Sequence});
    }
    if (options.shuffleBlocks) {
        // Sequence blocks are told apart only by their order, so they keep it among themselves.
        Random random(Key({options.seed, 0x5EED}));
        for (std::size_t i = blocks.size(); i > 1; --i) {
            std::swap(blocks[i - 1], blocks[random.Below(static_cast<unsigned>(i))]);
        }
        unsigned position = 0;
        for (PlannedBlock& block : blocks) {
            if (block.type == ParmsBlockType::Sequence) {
                block.id = ++position;
            }
        }
    }
    blocks.insert(blocks.begin(), PlannedBlock{ParmsBlockType::Radio, 0, ParmsBlockCategory::Radio});
    return blocks;
}

uint16_t HeaderWordValue(const CodeplugOptions& options, ParmsHeader header)
{
    const bool wide = options.headerWord == CodeplugHeaderWord::Wide ||
                      (options.headerWord == CodeplugHeaderWord::Native && options.formatIndex >= 5);
    if (wide) {
        return static_cast<uint16_t>((header.descriptorCount << 11) | header.headerLength);
    }
    if (header.descriptorCount > 15) {
        throw std::invalid_argument("codeplug builder: more than 15 tables need the wide header word");
    }
    return static_cast<uint16_t>((header.descriptorCount << 12) | header.headerLength);
}

// Writes one block at `at` and answers its length.
BuiltBlock WriteBlock(const CodeplugOptions& options, const PlannedBlock& plan, unsigned ordinal, uint32_t at,
                      std::vector<uint16_t>& out, const std::vector<ParmsTableShape>& tables)
{
    const ParmsHeader header = CodeplugHeaderShape(plan.category, options.formatIndex);
    std::vector<uint16_t> words(header.headerLength);
    for (unsigned w = 4; w < header.headerLength; ++w) {
        words[w] = CodeplugHeaderField(options.seed, ordinal, w);
    }
    words[0] = kParmsBlockMark;
    words[2] = HeaderWordValue(options, header);
    switch (plan.type) {
    case ParmsBlockType::Radio:
        words[3] = static_cast<uint16_t>(0x0500 | (options.formatIndex + 5));
        words[5] = options.radioCode;
        words[6] = options.radioFields;
        words[14] = static_cast<uint16_t>((options.sequenceBlocks << 8) | options.systemKinds.size());
        break;
    case ParmsBlockType::Kind:
        words[3] = static_cast<uint16_t>(plan.id << 12);
        break;
    case ParmsBlockType::System:
        words[3] = static_cast<uint16_t>((options.systemKinds[plan.id - 1] << 12) | plan.id);
        break;
    case ParmsBlockType::Sequence:
        words[3] = CodeplugHeaderField(options.seed, ordinal, 3);
        break;
    }
    for (const ParmsTableShape& table : tables) {
        words.push_back(static_cast<uint16_t>((table.count << 8) | table.size));
    }
    for (unsigned t = 0; t < tables.size(); ++t) {
        for (unsigned r = 0; r < tables[t].count; ++r) {
            for (unsigned w = 0; w < tables[t].size; ++w) {
                words.push_back(CodeplugRecordWord(options.seed, ordinal, t, r, w));
            }
        }
    }
    if (words.size() > kParmsMaxBlockLength) {
        throw std::length_error("codeplug builder: block longer than its length field");
    }
    words[1] = static_cast<uint16_t>((static_cast<unsigned>(plan.type) << 14) | words.size());
    if (at + words.size() > out.size()) {
        throw std::length_error("codeplug builder: image does not fit in the buffer");
    }
    std::copy(words.begin(), words.end(), out.begin() + at);
    return BuiltBlock{plan.type, plan.id, ordinal, at, static_cast<uint32_t>(words.size()), tables};
}

std::vector<ParmsTableShape> TablesOf(const CodeplugOptions& options, const PlannedBlock& plan,
                                      unsigned ordinal)
{
    const ParmsHeader header = CodeplugHeaderShape(plan.category, options.formatIndex);
    std::vector<ParmsTableShape> tables;
    for (unsigned t = 0; t < header.descriptorCount; ++t) {
        tables.push_back(CodeplugTableShape(options, plan.category, ordinal, t));
    }
    return tables;
}

uint32_t SumWords(const std::vector<ParmsTableShape>& tables, std::size_t from)
{
    uint32_t words = 0;
    for (std::size_t t = from; t < tables.size(); ++t) {
        words += tables[t].Words();
    }
    return words;
}

} // namespace

const BuiltBlock& BuiltCodeplug::Block(ParmsBlockType type, unsigned id) const
{
    for (const BuiltBlock& block : blocks) {
        if (block.type == type && block.id == id) {
            return block;
        }
    }
    throw std::out_of_range("codeplug builder: no such block");
}

ParmsHeader CodeplugHeaderShape(ParmsBlockCategory category, uint8_t formatIndex)
{
    for (const HeaderRow& row : kHeaderShapes) {
        if (row.category == category) {
            return row.shapes[FormatColumn(formatIndex)];
        }
    }
    throw std::invalid_argument("codeplug builder: unknown block category");
}

ParmsTableShape CodeplugTableShape(const CodeplugOptions& options, ParmsBlockCategory category,
                                   unsigned ordinal, unsigned table)
{
    if (const auto fixed = FixedShape(category, table, options.formatIndex)) {
        return *fixed;
    }
    if (table >= kOlderTables) {
        return ParmsTableShape{0, 0};
    }
    if (options.seed == 0) {
        return ParmsTableShape{options.genericCount, options.genericSize};
    }
    const uint64_t key = Key({options.seed, ordinal, table, 0x7AB1E});
    return ParmsTableShape{static_cast<uint8_t>(key % 5), static_cast<uint8_t>(1 + (key >> 8) % 6)};
}

BuiltCodeplug BuildCodeplug(const CodeplugOptions& options)
{
    FormatColumn(options.formatIndex);
    const std::vector<PlannedBlock> plan = PlanBlocks(options);
    std::vector<std::vector<ParmsTableShape>> tables;
    for (unsigned ordinal = 0; ordinal < plan.size(); ++ordinal) {
        tables.push_back(TablesOf(options, plan[ordinal], ordinal));
    }

    if (options.imageLength != 0) {
        // Radio block tables 13 and 14 take up the difference: q records of 255 words, then one
        // record of the remainder.
        uint32_t natural = kParmsTrailerWords;
        for (unsigned ordinal = 0; ordinal < plan.size(); ++ordinal) {
            const ParmsHeader header = CodeplugHeaderShape(plan[ordinal].category, options.formatIndex);
            natural += header.headerLength + header.descriptorCount + SumWords(tables[ordinal], 0);
        }
        std::vector<ParmsTableShape>& radio = tables.front();
        const uint32_t filler = radio[13].Words() + radio[14].Words();
        if (options.imageLength + filler < natural || options.imageLength > kParmsBufferWords) {
            throw std::length_error("codeplug builder: image length out of reach");
        }
        const uint32_t words = options.imageLength + filler - natural;
        if (words / 255 > 255) {
            throw std::length_error("codeplug builder: filler too large");
        }
        radio[13] =
            ParmsTableShape{static_cast<uint8_t>(words / 255), static_cast<uint8_t>(words / 255 ? 255 : 0)};
        radio[14] =
            ParmsTableShape{static_cast<uint8_t>(words % 255 ? 1 : 0), static_cast<uint8_t>(words % 255)};
    }

    BuiltCodeplug built;
    built.seed = options.seed;
    built.buffer.assign(kParmsBufferWords, 0);
    uint32_t at = 0;
    for (unsigned ordinal = 0; ordinal < plan.size(); ++ordinal) {
        built.blocks.push_back(
            WriteBlock(options, plan[ordinal], ordinal, at, built.buffer, tables[ordinal]));
        at += built.blocks.back().length;
    }
    if (at + kParmsTrailerWords > kParmsBufferWords) {
        throw std::length_error("codeplug builder: image does not fit in the buffer");
    }
    for (uint32_t w = 0; w < kParmsTrailerWords; ++w) {
        built.buffer[at + w] = CodeplugTrailerWord(options.seed, w);
    }
    built.imageLength = at + kParmsTrailerWords;
    built.buffer[kParmsImageLengthWord] = static_cast<uint16_t>(built.imageLength);

    // Named fields the conversions read or write.
    uint16_t* image = built.buffer.data();
    if (options.formatIndex >= 4) {
        ParmsWriteName("FAVORITES", image, 39);
    }
    if (options.formatIndex >= 5) {
        ParmsWriteName("AUREX", image, 46); // reaches into the header words 5.10 added
    }
    for (const BuiltBlock& block : built.blocks) {
        if (block.type == ParmsBlockType::System && options.systemKinds[block.id - 1] == 0) {
            ParmsWriteName(CodeplugSystemAlias(block.id), image, block.start + 65);
        }
    }
    return built;
}

CodeplugOptions RandomCodeplugOptions(uint64_t seed)
{
    static constexpr std::array<unsigned, 5> kKinds{0, 1, 3, 4, 5};
    Random random(Key({seed, 0xC0DE}));
    CodeplugOptions options;
    options.seed = seed == 0 ? 1 : seed;
    options.formatIndex = static_cast<uint8_t>(3 + random.Below(3));
    options.systemKinds.clear();
    const unsigned systems = 1 + random.Below(kParmsMaxSystemBlocks);
    for (unsigned i = 0; i < systems; ++i) {
        options.systemKinds.push_back(kKinds[random.Below(static_cast<unsigned>(kKinds.size()))]);
    }
    options.sequenceBlocks = 1 + random.Below(12);
    options.radioCode = static_cast<uint16_t>(random.Below(16));
    options.radioFields = static_cast<uint16_t>(random.Below(0x10000));
    options.shuffleBlocks = true;
    // Leave room for a conversion to grow the image: give up blocks until it is small enough.
    while (BuildCodeplug(options).imageLength > kRandomImageWords) {
        if (options.sequenceBlocks > 1) {
            --options.sequenceBlocks;
        } else {
            options.systemKinds.pop_back();
        }
    }
    return options;
}

BuiltCodeplug BuildRandomCodeplug(uint64_t seed)
{
    return BuildCodeplug(RandomCodeplugOptions(seed));
}

uint16_t CodeplugRecordWord(uint64_t seed, unsigned ordinal, unsigned table, unsigned record, unsigned word)
{
    return Pattern(Key({seed, 0x2EC0, ordinal, table, record, word}));
}

uint16_t CodeplugHeaderField(uint64_t seed, unsigned ordinal, unsigned word)
{
    return Pattern(Key({seed, 0x4EAD, ordinal, word}));
}

uint16_t CodeplugTrailerWord(uint64_t seed, unsigned word)
{
    return Pattern(Key({seed, 0x7A11, word}));
}

std::string CodeplugSystemAlias(unsigned number)
{
    return "SYSTEM " + std::to_string(number);
}

} // namespace aurex

#include "image_set_generator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

#include "programming/srecord_writer.h"

namespace aurex::imageset {

namespace {

// SplitMix64: small, fast and the same on every platform, so a seed always gives the same set.
class Random
{
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t state_;
};

std::uint64_t ImageSeed(std::uint64_t seed, const ImageSpec& image)
{
    std::uint64_t h = seed ^ 0xA5A5A5A55A5A5A5AULL;
    for (char c : image.blob_base + image.set_suffix)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
    return h;
}

std::string BlobName(const ImageSpec& image, std::uint32_t piece)
{
    std::string name = image.blob_base + image.set_suffix + "_" + std::to_string(piece);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return name;
}

void AppendRecord(std::string& out, char type, std::uint32_t address, std::string_view data)
{
    if (!AppendSRecord(out, type, address, data))
        throw std::length_error(
            "S-record of a type without an address field, or longer than its count byte allows");
}

// Bytes that look a little like code: mostly varied words, now and then erased flash (FF) or
// zero padding, so that the images are neither uniform nor plain noise.
void FillLine(Random& random, std::array<char, 16>& line)
{
    const std::uint64_t a = random.Next();
    const std::uint64_t b = random.Next();
    const unsigned kind = static_cast<unsigned>(b >> 58); // 0..63
    for (std::size_t i = 0; i < 8; ++i) {
        line[i] = static_cast<char>(a >> (8 * i));
        line[8 + i] = static_cast<char>(b >> (8 * i));
    }
    if (kind == 0)
        line.fill(static_cast<char>(0xFF));
    if (kind == 1)
        line.fill(0);
}

std::uint32_t EmitSRecordImage(const ImageSpec& image, const SRecordImage& layout, std::uint64_t seed,
                               const BlobEmitter& emit)
{
    Random random(seed);
    std::string piece;
    const std::uint32_t lines_hint = layout.lines_per_piece ? layout.lines_per_piece : layout.data_lines + 1;
    piece.reserve(static_cast<std::size_t>(lines_hint) * 48 + 64);
    std::uint32_t pieces = 0;
    std::uint32_t lines_in_piece = 0;
    std::uint32_t address = layout.start_address;
    std::array<char, 16> data{};
    for (std::uint32_t line = 0; line < layout.data_lines; ++line) {
        FillLine(random, data);
        AppendRecord(piece, layout.record_type, address, std::string_view(data.data(), data.size()));
        address += static_cast<std::uint32_t>(data.size());
        if (layout.lines_per_piece != 0 && ++lines_in_piece == layout.lines_per_piece) {
            emit(BlobName(image, ++pieces), piece);
            piece.clear();
            lines_in_piece = 0;
        }
    }
    AppendRecord(piece, '9', 0, {});
    emit(BlobName(image, ++pieces), piece);
    return pieces;
}

void PutU16(std::string& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& out, std::size_t at, std::uint32_t v)
{
    PutU16(out, at, v & 0xFFFF);
    PutU16(out, at + 2, v >> 16);
}

struct DspSection
{
    const char* name;
    int page;
    std::uint32_t word_address;
    std::uint32_t words;
    bool has_data;
};

// Sections on several memory pages: downloaded ones (0, 2, 5, 6, 7, 8), ones the download
// reads over (1, 3) or skips (a negative page), one longer than the download's 16000-word
// chunk, and uninitialised ones without raw data.
constexpr DspSection kDspSections[] = {
    {".text", 0, 0x0080, 0x4200, true},   {".cinit", 0, 0x5000, 0x0300, true},
    {".data", 1, 0x0080, 0x0200, true},   {".bss", 1, 0x0400, 0x0400, false},
    {".switch", 2, 0x1000, 0x0100, true}, {".const", 5, 0x2000, 0x0400, true},
    {".tables", 6, 0x0000, 0x0800, true}, {".coeffs", 7, 0x8000, 0x0200, true},
    {".ext", 8, 0x0100, 0x0100, true},    {".vectors", 0, 0xFF80, 0x0080, true},
    {".trace", 3, 0x0000, 0x0040, true},  {".debug", -128, 0x0000, 0x0100, false},
};

std::size_t DspObjectFileSize()
{
    std::size_t total = 22 + 28 + std::size(kDspSections) * 40;
    for (const DspSection& s : kDspSections)
        total += s.has_data ? s.words * 2 : 0;
    return total;
}

// A TI COFF object file laid out as the DSP download reads it: 22-byte file header, 28-byte
// optional header, 40-byte section headers (page number in the last byte), then raw data.
std::string DspObjectFile(std::uint64_t seed)
{
    constexpr std::size_t kFileHeader = 22, kOptionalHeader = 28, kSectionHeader = 40;
    constexpr std::size_t kSections = std::size(kDspSections);
    Random random(seed);
    std::size_t raw_at = kFileHeader + kOptionalHeader + kSections * kSectionHeader;
    std::string file(DspObjectFileSize(), '\0');

    PutU16(file, 0, 0x00C2); // version ID
    PutU16(file, 2, kSections);
    PutU32(file, 4, static_cast<std::uint32_t>(0x5F000000 | (seed & 0xFFFFFF))); // time stamp
    PutU16(file, 16, kOptionalHeader);
    PutU16(file, 18, 0x0013); // relocated, executable, no line numbers
    PutU16(file, 20, 0x0098); // target ID
    PutU16(file, kFileHeader + 0, 0x0108);
    PutU32(file, kFileHeader + 4, kDspSections[0].words);
    PutU32(file, kFileHeader + 16, kDspSections[0].word_address); // entry point
    PutU32(file, kFileHeader + 20, kDspSections[0].word_address);

    for (std::size_t i = 0; i < kSections; ++i) {
        const DspSection& s = kDspSections[i];
        const std::size_t h = kFileHeader + kOptionalHeader + i * kSectionHeader;
        std::copy_n(s.name, std::char_traits<char>::length(s.name),
                    file.begin() + static_cast<std::ptrdiff_t>(h));
        PutU32(file, h + 8, s.word_address);
        PutU32(file, h + 12, s.word_address);
        PutU32(file, h + 16, s.words);
        PutU32(file, h + 20, s.has_data ? static_cast<std::uint32_t>(raw_at) : 0);
        PutU16(file, h + 36, s.has_data ? 0x0020 : 0x0080); // text or uninitialised
        file[h + 39] = static_cast<char>(static_cast<signed char>(s.page));
        if (s.has_data) {
            for (std::size_t b = 0; b < s.words * 2; b += 8) {
                const std::uint64_t v = random.Next();
                for (std::size_t k = 0; k < 8 && b + k < s.words * 2; ++k)
                    file[raw_at + b + k] = static_cast<char>(v >> (8 * k));
            }
            raw_at += s.words * 2;
        }
    }
    return file;
}

std::uint32_t EmitDspObject(const ImageSpec& image, const DspObjectImage& layout, std::uint64_t seed,
                            const BlobEmitter& emit)
{
    const std::string file = DspObjectFile(seed);
    const std::size_t piece_bytes = std::max<std::size_t>(layout.piece_bytes, 1);
    std::uint32_t pieces = 0;
    for (std::size_t at = 0; at < file.size(); at += piece_bytes) {
        emit(BlobName(image, ++pieces), file.substr(at, piece_bytes));
    }
    return pieces;
}

void SetCount(ResourceAttributes& r, const ImageSpec& image, std::uint32_t pieces)
{
    const bool loader = image.blob_base == "Loader";
    if (image.set_suffix == "_Boot") {
        (loader ? r.boot_loader_pieces : r.boot_code_pieces) = pieces;
    } else if (image.set_suffix == "_BootTwo") {
        (loader ? r.second_boot_loader_pieces : r.second_boot_code_pieces) = pieces;
    } else {
        (loader ? r.loader_pieces : r.code_pieces) = pieces;
    }
}

ResourceAttributes BaseRecord(std::uint8_t radio_model, std::uint8_t kind_flag, std::int8_t series,
                              UpgradeType type)
{
    ResourceAttributes r;
    r.radio_model = radio_model;
    r.kind_flag = kind_flag;
    r.series = series;
    r.upgrade_type = static_cast<std::uint8_t>(type);
    SetVersionText(r.tessaro_version, "2.8.2");
    SetVersionText(r.brevio_version, "3.0.9");
    return r;
}

SRecordImage Loader(std::uint32_t lines)
{
    return {'2', 0x010100, lines, 0};
}
SRecordImage AppCode(std::uint32_t lines, std::uint32_t per_piece)
{
    return {'3', 0xFE040100, lines, per_piece};
}
SRecordImage BootCode(std::uint32_t lines)
{
    return {'3', 0xFE000100, lines, 0};
}

} // namespace

bool SetVersionText(std::array<char, ResourceAttributes::kVersionTextSize>& field, std::string_view text)
{
    if (text.size() > field.size())
        return false;
    field.fill('\0');
    std::copy(text.begin(), text.end(), field.begin());
    return true;
}

std::vector<std::string_view> PresetNames()
{
    return {"carried", "application", "boot", "dsp", "second-boot", "portable"};
}

std::optional<ImageSetRecipe> Preset(std::string_view name)
{
    ImageSetRecipe recipe;
    if (name == "carried") {
        // The set every default build carries: twelve application code pieces of 21,312 lines of
        // 48 bytes (the last one shorter), one piece for every other image, about 12 MB in all.
        recipe.record = BaseRecord(1, 1, 4, UpgradeType::ApplicationBoot);
        recipe.record.boot_major = 4;
        recipe.record.boot_minor = 0;
        // The maker's tool left unrelated bytes after the NULs; keep some so readers stop at NUL.
        constexpr std::array<char, 10> kTessaro = {'2', '.', '8', '.', '2', '\0', '\x1F', '\xA0', ';', '~'};
        constexpr std::array<char, 10> kBrevio = {'3', '.', '0', '.', '9', '\0', '\0', '\xE8', '\x12', '@'};
        recipe.record.tessaro_version = kTessaro;
        recipe.record.brevio_version = kBrevio;
        recipe.images = {{"Loader", "", Loader(700)},
                         {"Code", "", AppCode(11 * 21312 + 14000, 21312)},
                         {"Loader", "_Boot", Loader(300)},
                         {"Code", "_Boot", BootCode(6000)}};
        recipe.seed = 0x0309;
    } else if (name == "application") {
        recipe.record = BaseRecord(1, 1, 5, UpgradeType::Application);
        recipe.images = {{"Loader", "", Loader(120)}, {"Code", "", AppCode(3 * 200 + 57, 200)}};
        recipe.seed = 11;
    } else if (name == "boot") {
        // A "Boot" set keeps the boot images under the names without a set suffix.
        recipe.record = BaseRecord(1, 1, 4, UpgradeType::Boot);
        recipe.record.boot_major = 4;
        recipe.record.boot_minor = 1;
        recipe.images = {{"Loader", "", Loader(100)}, {"Code", "", BootCode(300)}};
        recipe.seed = 12;
    } else if (name == "dsp") {
        recipe.record = BaseRecord(1, 1, 4, UpgradeType::Dsp);
        recipe.images = {{"Loader", "", SRecordImage{'3', 0x00008000, 120, 0}},
                         {"Code", "", DspObjectImage{16384}}};
        recipe.seed = 13;
    } else if (name == "second-boot") {
        recipe.record = BaseRecord(1, 1, 4, UpgradeType::ApplicationBoot);
        recipe.record.boot_major = 4;
        recipe.record.boot_minor = 0;
        recipe.record.second_boot_major = 7;
        recipe.record.second_boot_minor = 2;
        recipe.images = {{"Loader", "", Loader(80)},         {"Code", "", AppCode(2 * 150 + 20, 150)},
                         {"Loader", "_Boot", Loader(60)},    {"Code", "_Boot", BootCode(200)},
                         {"Loader", "_BootTwo", Loader(64)}, {"Code", "_BootTwo", BootCode(210)}};
        recipe.seed = 14;
    } else if (name == "portable") {
        // An 8400 (portable) set of series 6.
        recipe.record = BaseRecord(0, 0, 6, UpgradeType::ApplicationBoot);
        recipe.record.boot_major = 6;
        recipe.record.boot_minor = 3;
        recipe.images = {{"Loader", "", Loader(90)},
                         {"Code", "", AppCode(2 * 180 + 33, 180)},
                         {"Loader", "_Boot", Loader(50)},
                         {"Code", "_Boot", BootCode(150)}};
        recipe.seed = 15;
    } else {
        return std::nullopt;
    }
    return recipe;
}

ResourceAttributes GenerateImageSet(const ImageSetRecipe& recipe, const BlobEmitter& emit)
{
    ResourceAttributes record = recipe.record;
    record.loader_pieces = record.code_pieces = 0;
    record.boot_loader_pieces = record.boot_code_pieces = 0;
    record.second_boot_loader_pieces = record.second_boot_code_pieces = 0;
    // Counts first, so that the record can lead; pieces are cheap to count without making them.
    for (const ImageSpec& image : recipe.images) {
        std::uint32_t pieces = 0;
        if (const auto* s = std::get_if<SRecordImage>(&image.content)) {
            const std::uint32_t lines = s->data_lines + 1;
            pieces = s->lines_per_piece == 0 ? 1 : (lines + s->lines_per_piece - 1) / s->lines_per_piece;
        } else {
            const auto& d = std::get<DspObjectImage>(image.content);
            const std::size_t size = DspObjectFileSize();
            const std::size_t per = std::max<std::size_t>(d.piece_bytes, 1);
            pieces = static_cast<std::uint32_t>((size + per - 1) / per);
        }
        SetCount(record, image, pieces);
    }
    const auto bytes = record.Encode();
    emit("RESOURCEATTRIBUTES_", std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    for (const ImageSpec& image : recipe.images) {
        const std::uint64_t seed = ImageSeed(recipe.seed, image);
        if (const auto* s = std::get_if<SRecordImage>(&image.content)) {
            EmitSRecordImage(image, *s, seed, emit);
        } else {
            EmitDspObject(image, std::get<DspObjectImage>(image.content), seed, emit);
        }
    }
    return record;
}

namespace {

bool IsIdentifier(std::string_view id)
{
    return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// A path as the text of an assembler string inside a C++ string literal.
std::optional<std::string> QuotedForIncbin(std::string_view path)
{
    std::string out;
    for (char c : path) {
        if (c == '\n' || c == '\r' || c == '\0')
            return std::nullopt;
        if (c == '\\')
            out += "\\\\\\\\";
        else if (c == '"')
            out += "\\\\\\\"";
        else
            out.push_back(c);
    }
    return out;
}

} // namespace

std::optional<std::string> BindingSource(std::string_view set_id, const std::vector<BoundBlob>& blobs)
{
    if (!IsIdentifier(set_id) || blobs.empty())
        return std::nullopt;
    const std::string prefix = "aurex_blob_" + std::string(set_id) + "_";
    std::string asm_text, externs, table;
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        const auto path = QuotedForIncbin(blobs[i].path);
        if (!path || !IsIdentifier(blobs[i].name))
            return std::nullopt;
        const std::string symbol = prefix + std::to_string(i);
        asm_text += "    \".balign 16\\n\"\n";
        asm_text += "    \".globl \" AUREX_BLOB_SYM(" + symbol + ") \"\\n\"\n";
        asm_text += "    \".hidden \" AUREX_BLOB_SYM(" + symbol + ") \"\\n\"\n";
        asm_text += "    AUREX_BLOB_SYM(" + symbol + ") \":\\n\"\n";
        asm_text += "    \".incbin \\\"" + *path + "\\\"\\n\"\n";
        externs += "__attribute__((visibility(\"hidden\"))) extern const unsigned char " + symbol + "[];\n";
        table += "    {\"" + blobs[i].name + "\", " + symbol + ", " + std::to_string(blobs[i].size) + "u},\n";
    }

    std::string out;
    out += "// Generated by aurex-image-set: binds image set \"" + std::string(set_id) +
           "\" into the executable.\n";
    out += "// The blobs stay in the read-only data of the program file and are read in place.\n";
    out += "#include \"image_store/embedded_blobs.h\"\n\n";
    out += "#if !defined(__GNUC__) || !defined(__ELF__)\n";
    out += "#error \"image sets are bound with .incbin into ELF read-only data; add the directives for this "
           "toolchain\"\n";
    out += "#endif\n\n";
    out += "#define AUREX_BLOB_STR2(x) #x\n#define AUREX_BLOB_STR(x) AUREX_BLOB_STR2(x)\n";
    out += "#define AUREX_BLOB_SYM(name) AUREX_BLOB_STR(__USER_LABEL_PREFIX__) #name\n\n";
    out += "asm(\".pushsection .rodata.aurex_blobs_" + std::string(set_id) + ",\\\"a\\\",@progbits\\n\"\n";
    out += asm_text;
    out += "    \".popsection\\n\");\n\n";
    out += "extern \"C\" {\n" + externs + "}\n\n";
    out += "namespace aurex {\nnamespace {\nconstexpr EmbeddedBlob kBlobs[] = {\n" + table +
           "};\n}  // namespace\n\n";
    out += "const EmbeddedBlobs& CarriedImageSet() {\n";
    out += "  static const LinkedBlobTable table(kBlobs);\n  return table;\n}\n\n}  // namespace aurex\n";
    return out;
}

} // namespace aurex::imageset

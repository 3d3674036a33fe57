#include "codeplug/codeplug_tool.h"

#include "convert/codeplug_image.h"
#include "convert/conversion_report.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"
#include "text/hex.h"

#include <algorithm>
#include <array>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace aurex {

namespace {

constexpr const char* kUsage =
    "usage: aurex-codeplug validate FILE\n"
    "       aurex-codeplug info FILE\n"
    "       aurex-codeplug convert [--report] --to 5.8|5.9|5.10 IN OUT\n"
    "       aurex-codeplug diff A B\n"
    "Files hold the codeplug as the radio sends it: 16-bit words, high byte first.\n"
    "--report lists what the conversion changed; diff lists what differs from A to B.\n"
    "An empty or odd-sized file, or one cut short of its image's 128-word trailer, is invalid.\n"
    "OUT must be a new file or a regular file (no link) other than IN; it is replaced only once the\n"
    "converted image is written in full, and never written for a refused image.\n"
    "Exit status: 0 done, 1 invalid or unconvertible image, 2 wrong command line,\n"
    "3 a file could not be read or written, or OUT is IN or no regular file.\n"
    "diff answers 0 when A and B are the same, 1 when they differ or one is invalid, 2 and 3 as above.\n";

constexpr uint8_t kWideFormat = 5;

std::string Hex4(unsigned value)
{
    return "0x" + HexNumber(value, 4);
}

std::string VersionText(uint16_t versionWord)
{
    const uint8_t index =
        ParmsIndexOfVersion(static_cast<uint8_t>(versionWord >> 8), static_cast<uint8_t>(versionWord));
    if (index == kParmsUnknownFormat) {
        return "unknown (version word " + Hex4(versionWord) + ")";
    }
    const ParmsVersion version = ParmsVersionOfIndex(index);
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

bool ParseTarget(const std::string& text, uint8_t& index)
{
    for (uint8_t i = 3; i <= 5; ++i) {
        const ParmsVersion version = ParmsVersionOfIndex(i);
        if (text == std::to_string(version.major) + "." + std::to_string(version.minor)) {
            index = i;
            return true;
        }
    }
    return false;
}

const char* TypeName(ParmsBlockType type)
{
    switch (type) {
    case ParmsBlockType::Radio:
        return "radio block";
    case ParmsBlockType::Kind:
        return "kind block";
    case ParmsBlockType::System:
        return "system block";
    case ParmsBlockType::Sequence:
        return "sequence block";
    }
    return "block";
}

// Reads and checks IN for the commands; prints the error and answers the exit status.
int LoadValid(const std::string& path, CodeplugFile& file, std::ostream& err)
{
    std::string error;
    const CodeplugRead read = ReadCodeplugFile(path, file, error);
    if (read != CodeplugRead::Ok) {
        err << "aurex-codeplug: " << error << "\n";
        return read == CodeplugRead::NotAnImage ? kCodeplugToolRefused : kCodeplugToolFileError;
    }
    std::string fault = DiagnoseCodeplug(file.buffer.data(), file.byteCount);
    if (fault.empty()) {
        fault = DiagnoseTruncation(file.buffer.data(), file.byteCount);
    }
    if (!fault.empty()) {
        err << "aurex-codeplug: " << path << " is not a valid codeplug image: " << fault << "\n";
        return kCodeplugToolRefused;
    }
    return kCodeplugToolOk;
}

int Validate(const std::string& path, std::ostream& out, std::ostream& err)
{
    CodeplugFile file;
    const int status = LoadValid(path, file, err);
    if (status != kCodeplugToolOk) {
        return status;
    }
    const uint16_t* image = file.buffer.data();
    out << path << ": valid codeplug image, format " << VersionText(image[kParmsVersionWord]) << ", "
        << ParmsImageLength(image) << " words\n";
    return kCodeplugToolOk;
}

int Info(const std::string& path, std::ostream& out, std::ostream& err)
{
    CodeplugFile file;
    const int status = LoadValid(path, file, err);
    if (status != kCodeplugToolOk) {
        return status;
    }
    out << path << ": ";
    DescribeCodeplug(file.buffer.data(), file.byteCount, out);
    return kCodeplugToolOk;
}

void PrintReport(const std::vector<std::string>& lines, std::ostream& out)
{
    for (const std::string& line : lines) {
        out << line << "\n";
    }
}

int Diff(const std::string& first, const std::string& second, std::ostream& out, std::ostream& err)
{
    CodeplugFile a;
    CodeplugFile b;
    int status = LoadValid(first, a, err);
    if (status == kCodeplugToolOk) {
        status = LoadValid(second, b, err);
    }
    if (status != kCodeplugToolOk) {
        return status;
    }
    PrintReport(DescribeConversion(a.buffer, a.byteCount, b.buffer, b.byteCount), out);
    return CodeplugBytesEqual(a.buffer, a.byteCount, b.buffer, b.byteCount) ? kCodeplugToolOk
                                                                            : kCodeplugToolRefused;
}

int Convert(const std::string& target, const std::string& in, const std::string& outPath, bool report,
            std::ostream& out, std::ostream& err)
{
    uint8_t to = 0;
    if (!ParseTarget(target, to)) {
        err << "aurex-codeplug: cannot convert to '" << target << "': the formats are 5.8, 5.9 and 5.10\n";
        return kCodeplugToolUsage;
    }
    std::string error;
    if (!CheckCodeplugOutput(in, outPath, error)) {
        err << "aurex-codeplug: " << error << "\n";
        return kCodeplugToolFileError;
    }
    CodeplugFile file;
    const int status = LoadValid(in, file, err);
    if (status != kCodeplugToolOk) {
        return status;
    }
    uint16_t* image = file.buffer.data();
    const uint8_t from = ParmsFormatIndex(image);
    const std::string fromText = VersionText(image[kParmsVersionWord]);
    if (from < 3 || from > 5) {
        err << "aurex-codeplug: " << in << " is in format " << fromText
            << ", which cannot be converted; the formats are 5.8, 5.9 and 5.10\n";
        return kCodeplugToolRefused;
    }
    const uint16_t lengthBefore = ParmsImageLength(image);
    // Kept only for the report: the conversion works in place.
    const std::vector<uint16_t> original = report ? file.buffer : std::vector<uint16_t>{};
    int32_t lengthChange = 0;
    if (from != to) {
        const ParmsStepFault fault = to > from ? ParmsUpgrade(lengthChange, image, from, to)
                                               : ParmsDowngrade(lengthChange, image, to, from);
        if (fault != ParmsStepFault::None) {
            err << "aurex-codeplug: cannot convert " << in << " from " << fromText << " to " << target << ": "
                << ParmsStepFaultText(fault) << "; " << outPath << " not written\n";
            return kCodeplugToolRefused;
        }
        if (!ParmsIsValid(image)) {
            err << "aurex-codeplug: the image converted from " << in
                << " fails the structure check (a fault of this tool); " << outPath << " not written\n";
            return kCodeplugToolRefused;
        }
    }
    // As the radio's download does: the transferred bytes and the change, which keeps any bytes
    // that followed the image in IN behind it (within the buffer).
    const auto outBytes = static_cast<std::size_t>(
        std::min<int64_t>(static_cast<int64_t>(file.byteCount) + 2 * int64_t{lengthChange},
                          static_cast<int64_t>(kParmsBufferBytes)));
    if (!WriteCodeplugFile(outPath, file.buffer, outBytes, error)) {
        err << "aurex-codeplug: " << error << "\n";
        return kCodeplugToolFileError;
    }
    if (from == to) {
        out << in << ": already format " << fromText << "; copied unchanged to " << outPath << "\n";
    } else {
        out << in << ": format " << fromText << " to " << target << ", " << lengthBefore << " to "
            << ParmsImageLength(image) << " words; wrote " << outPath << " (" << outBytes << " bytes)\n";
    }
    if (report) {
        PrintReport(DescribeConversion(original, file.byteCount, file.buffer, outBytes), out);
    }
    return kCodeplugToolOk;
}

} // namespace

std::string DiagnoseCodeplug(const uint16_t* image, std::size_t byteCount)
{
    const std::size_t fileWords = byteCount / 2;
    if (image[0] != kParmsBlockMark) {
        return "word 0 is " + Hex4(image[0]) + ", not the block mark " + Hex4(kParmsBlockMark);
    }
    if ((image[kParmsBlockTypeLengthWord] >> 14) != 0) {
        return "the first block is of type " + std::to_string(image[kParmsBlockTypeLengthWord] >> 14) +
               ", not a radio block (type 0)";
    }
    const uint32_t length = ParmsImageLength(image);
    if (length <= kParmsTrailerWords || length > kParmsBufferWords) {
        return "the image length word (word 4) says " + std::to_string(length) +
               " words; it must be more than " + std::to_string(kParmsTrailerWords) + " and at most " +
               std::to_string(kParmsBufferWords);
    }
    const unsigned sequences = image[kParmsBlockCountsWord] >> 8;
    const unsigned systems = image[kParmsBlockCountsWord] & 0xFF;
    if (sequences < 1 || sequences > kParmsMaxSequenceBlocks) {
        return "word 14 counts " + std::to_string(sequences) + " sequence blocks; there must be 1 to " +
               std::to_string(kParmsMaxSequenceBlocks);
    }
    if (systems < 1 || systems > kParmsMaxSystemBlocks) {
        return "word 14 counts " + std::to_string(systems) + " system blocks; there must be 1 to " +
               std::to_string(kParmsMaxSystemBlocks);
    }
    const uint32_t end = length - kParmsTrailerWords;
    std::array<bool, 16> kinds{};
    std::array<bool, 256> numbers{};
    unsigned kindBlocks = 0;
    unsigned systemBlocks = 0;
    unsigned sequenceBlocks = 0;
    uint32_t position = 0;
    while (position < end) {
        if (position >= fileWords) {
            return "the file ends at word " + std::to_string(fileWords) +
                   ", inside the chain of blocks that runs to word " + std::to_string(end);
        }
        if (image[position] != kParmsBlockMark) {
            return "no block mark at word " + std::to_string(position) +
                   " where the chain of blocks goes on (found " + Hex4(image[position]) + ")";
        }
        const uint32_t blockLength = image[position + kParmsBlockTypeLengthWord] & kParmsMaxBlockLength;
        if (blockLength == 0) {
            return "the block at word " + std::to_string(position) + " has length 0";
        }
        const auto type = static_cast<ParmsBlockType>(image[position + kParmsBlockTypeLengthWord] >> 14);
        const uint16_t identity = image[position + kParmsBlockIdentityWord];
        if (type == ParmsBlockType::Kind) {
            ++kindBlocks;
        } else if (type == ParmsBlockType::System) {
            ++systemBlocks;
            const unsigned kind = identity >> 12;
            kinds[kind == 3 ? 1 : kind] = true;
            numbers[identity & 0xFF] = true;
        } else if (type == ParmsBlockType::Sequence) {
            ++sequenceBlocks;
        }
        position += blockLength;
    }
    if (position != end) {
        return "the chain of blocks ends at word " + std::to_string(position) +
               ", but the image length says the " + std::to_string(kParmsTrailerWords) +
               "-word trailer starts at word " + std::to_string(end);
    }
    unsigned distinctKinds = 0;
    for (const bool used : kinds) {
        distinctKinds += used ? 1 : 0;
    }
    if (kindBlocks != distinctKinds) {
        return std::to_string(kindBlocks) + " kind blocks for " + std::to_string(distinctKinds) +
               " system kinds (kinds 1 and 3 share one)";
    }
    if (systemBlocks != systems) {
        return std::to_string(systemBlocks) + " system blocks, but word 14 counts " + std::to_string(systems);
    }
    if (sequenceBlocks != sequences) {
        return std::to_string(sequenceBlocks) + " sequence blocks, but word 14 counts " +
               std::to_string(sequences);
    }
    for (unsigned number = 1; number <= systems; ++number) {
        if (!numbers[number]) {
            return "no system block numbered " + std::to_string(number) + " (systems are numbered 1 to " +
                   std::to_string(systems) + ")";
        }
    }
    if (!ParmsIsValid(image)) {
        return "it fails the structure check";
    }
    return {};
}

std::string DiagnoseTruncation(const uint16_t* image, std::size_t byteCount)
{
    const std::size_t fileWords = byteCount / 2;
    const uint32_t length = ParmsImageLength(image);
    if (fileWords >= length) {
        return {};
    }
    const uint32_t trailer = length - kParmsTrailerWords;
    return "the file is truncated: it ends at word " + std::to_string(fileWords) + ", " +
           std::to_string(length - fileWords) + " of the " + std::to_string(kParmsTrailerWords) +
           " trailer words (words " + std::to_string(trailer) + " to " + std::to_string(length - 1) +
           ") are missing";
}

void DescribeCodeplug(const uint16_t* image, std::size_t byteCount, std::ostream& out)
{
    const uint8_t format = ParmsFormatIndex(image);
    const uint32_t length = ParmsImageLength(image);
    out << "format " << VersionText(image[kParmsVersionWord]) << ", " << length << " words (" << 2 * length
        << " bytes), file " << byteCount << " bytes\n";
    out << "  systems " << (image[kParmsBlockCountsWord] & 0xFF) << ", sequence blocks "
        << (image[kParmsBlockCountsWord] >> 8) << ", trailer at word " << length - kParmsTrailerWords << "\n";

    // Below 5.10 block word 2 is 12 + 4 bits; the accessors read 11 + 5.
    std::vector<uint16_t> wide(image, image + kParmsBufferWords);
    const bool readable =
        format == kWideFormat || ParmsSetHeaderCountWidth(wide.data(), ParmsHeaderWidth::Wide);
    const uint32_t end = length - kParmsTrailerWords;
    for (uint32_t at = 0; at < end;) {
        const uint32_t blockLength = ParmsBlockLength(wide.data(), ParmsBlockAt{at});
        const auto type = static_cast<ParmsBlockType>(wide[at + kParmsBlockTypeLengthWord] >> 14);
        const uint16_t identity = wide[at + kParmsBlockIdentityWord];
        std::ostringstream name;
        name << TypeName(type);
        if (type == ParmsBlockType::System) {
            name << " " << (identity & 0xFF) << ", kind " << (identity >> 12);
        } else if (type == ParmsBlockType::Kind) {
            name << ", kind " << (identity >> 12);
        }
        out << "  word " << std::setw(5) << at << "  " << std::left << std::setw(24) << name.str()
            << std::right << " length " << std::setw(5) << blockLength;
        if (readable) {
            const ParmsHeader header = ParmsBlockHeader(wide.data(), ParmsBlockAt{at});
            out << "  header " << std::setw(3) << header.headerLength << "  tables " << std::setw(2)
                << header.descriptorCount << ":";
            for (unsigned t = 0; t < header.descriptorCount; ++t) {
                const ParmsTableShape shape = ParmsDescriptor(wide.data(), ParmsBlockAt{at}, t);
                out << " " << unsigned{shape.count} << "x" << unsigned{shape.size};
            }
        } else {
            out << "  header word " << Hex4(image[at + kParmsBlockHeaderWord]);
        }
        out << "\n";
        at += blockLength;
    }
}

int RunCodeplugTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    if (arguments.size() == 1 &&
        (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help")) {
        out << kUsage;
        return kCodeplugToolOk;
    }
    const auto usage = [&](const std::string& problem) {
        err << "aurex-codeplug: " << problem << "\n" << kUsage;
        return kCodeplugToolUsage;
    };
    if (arguments.empty()) {
        return usage("no command given");
    }
    const std::string& command = arguments[0];
    if (command == "validate" || command == "info") {
        if (arguments.size() != 2) {
            return usage(command + " takes one FILE");
        }
        return command == "validate" ? Validate(arguments[1], out, err) : Info(arguments[1], out, err);
    }
    if (command == "diff") {
        if (arguments.size() != 3) {
            return usage("diff takes two files, A and B");
        }
        return Diff(arguments[1], arguments[2], out, err);
    }
    if (command != "convert") {
        return usage("unknown command '" + command + "'");
    }
    std::string target;
    bool report = false;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--to") {
            if (i + 1 >= arguments.size()) {
                return usage("--to needs a format");
            }
            target = arguments[++i];
        } else if (argument.rfind("--to=", 0) == 0) {
            target = argument.substr(5);
        } else if (argument == "--report") {
            report = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return usage("unknown option '" + argument + "'");
        } else {
            files.push_back(argument);
        }
    }
    if (target.empty()) {
        return usage("convert needs --to 5.8, 5.9 or 5.10");
    }
    if (files.size() != 2) {
        return usage("convert takes IN and OUT");
    }
    return Convert(target, files[0], files[1], report, out, err);
}

} // namespace aurex

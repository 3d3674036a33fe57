// The commands of aurex-codeplug run in-process: file reading and writing, the diagnosis of
// invalid images, the description, and the command line.
#include "codeplug/codeplug_tool.h"

#include "codeplug-builder/codeplug_builder.h"
#include "codeplug_files.h"
#include "convert/codeplug_image.h"
#include "convert/conversion_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

namespace aurex {
namespace {

using ::testing::HasSubstr;

BuiltCodeplug Native(uint8_t format)
{
    CodeplugOptions options;
    options.formatIndex = format;
    return BuildCodeplug(options);
}

// Every entry of the folder by its kind and, for a regular file, a hash of its bytes.
std::map<std::string, std::string> Snapshot(const ScratchFolder& folder)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        const auto type = entry.symlink_status().type();
        std::string bytes;
        if (type == std::filesystem::file_type::regular) {
            const std::vector<unsigned char> read = ReadBytes(entry.path());
            bytes.assign(read.begin(), read.end());
        }
        entries[entry.path().filename().string()] =
            std::to_string(static_cast<int>(type)) + " " + std::to_string(std::hash<std::string>{}(bytes));
    }
    return entries;
}

TEST(CodeplugToolFiles, ReadsRadioOrderWordsAndRefusesFilesThatAreNoImage)
{
    ScratchFolder folder;
    WriteBytes(folder / "words", {0x5F, 0x5F, 0x00, 0x10, 0x12, 0x34});
    CodeplugFile file;
    std::string error;
    ASSERT_EQ(ReadCodeplugFile((folder / "words").string(), file, error), CodeplugRead::Ok) << error;
    EXPECT_EQ(file.byteCount, 6u);
    ASSERT_EQ(file.buffer.size(), kParmsBufferWords);
    EXPECT_EQ(file.buffer[0], 0x5F5F);
    EXPECT_EQ(file.buffer[1], 0x0010);
    EXPECT_EQ(file.buffer[2], 0x1234);
    EXPECT_EQ(file.buffer[3], 0);

    const std::vector<std::pair<std::vector<unsigned char>, std::string>> bad{
        {{}, "is empty"},
        {{0x5F, 0x5F, 0x00}, "not a whole number of 16-bit words"},
        {std::vector<unsigned char>(kParmsBufferBytes + 2, 0), "larger than the 32768-byte codeplug buffer"},
    };
    for (const auto& [bytes, message] : bad) {
        WriteBytes(folder / "bad", bytes);
        EXPECT_EQ(ReadCodeplugFile((folder / "bad").string(), file, error), CodeplugRead::NotAnImage);
        EXPECT_THAT(error, HasSubstr(message));
    }
    WriteBytes(folder / "full", std::vector<unsigned char>(kParmsBufferBytes, 0x20));
    EXPECT_EQ(ReadCodeplugFile((folder / "full").string(), file, error), CodeplugRead::Ok);
    EXPECT_EQ(ReadCodeplugFile((folder / "missing").string(), file, error), CodeplugRead::Unreadable);
    EXPECT_THAT(error, HasSubstr("cannot read"));
    EXPECT_THAT(error, HasSubstr("missing"));
}

TEST(CodeplugToolFiles, WritesThroughATemporaryNameAndLeavesNoTraceOnFailure)
{
    ScratchFolder folder;
    std::vector<uint16_t> buffer(kParmsBufferWords, 0);
    buffer[0] = 0x5F5F;
    buffer[1] = 0xABCD;
    std::string error;
    ASSERT_TRUE(WriteCodeplugFile((folder / "out").string(), buffer, 4, error)) << error;
    EXPECT_EQ(ReadBytes(folder / "out"), (std::vector<unsigned char>{0x5F, 0x5F, 0xAB, 0xCD}));
#ifndef _WIN32 // only the owner reads a codeplug
    EXPECT_EQ(std::filesystem::status(folder / "out").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
    ASSERT_TRUE(WriteCodeplugFile((folder / "out").string(), buffer, 2, error)); // replaces
    EXPECT_EQ(ReadBytes(folder / "out").size(), 2u);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"out"});

    EXPECT_FALSE(WriteCodeplugFile((folder / "no-such-folder" / "out").string(), buffer, 4, error));
    EXPECT_THAT(error, HasSubstr("cannot write"));
    // A folder in the way of OUT is refused before any temporary file is made.
    std::filesystem::create_directory(folder / "taken");
    std::filesystem::create_directory(folder / "taken" / "inner");
    EXPECT_FALSE(WriteCodeplugFile((folder / "taken").string(), buffer, 4, error));
    EXPECT_EQ(folder.Names().size(), 2u);
}

TEST(CodeplugToolDiagnosis, NamesTheFirstStructuralFault)
{
    const BuiltCodeplug built = Native(4);
    const std::size_t bytes = 2 * built.imageLength;
    EXPECT_EQ(DiagnoseCodeplug(built.image(), bytes), "");

    const uint32_t system2 = built.Block(ParmsBlockType::System, 2).start;
    const uint32_t sequence1 = built.Block(ParmsBlockType::Sequence, 1).start;
    const uint32_t kind4 = built.Block(ParmsBlockType::Kind, 4).start;
    struct Case
    {
        std::string message;
        std::function<void(std::vector<uint16_t>&)> damage;
    };
    const std::vector<Case> cases{
        {"word 0 is 0x5F5E, not the block mark", [](auto& w) { w[0] = 0x5F5E; }},
        {"not a radio block", [](auto& w) { w[1] |= 0x4000; }},
        {"image length word (word 4) says 128 words", [](auto& w) { w[4] = 128; }},
        {"counts 0 sequence blocks", [](auto& w) { w[14] &= 0x00FF; }},
        {"counts 17 system blocks", [](auto& w) { w[14] = static_cast<uint16_t>((w[14] & 0xFF00) | 17); }},
        {"no block mark at word " + std::to_string(sequence1), [&](auto& w) { w[sequence1] = 0x1234; }},
        {"has length 0", [&](auto& w) { w[system2 + 1] &= 0xC000; }},
        {"ends at word", [](auto& w) { w[4] = static_cast<uint16_t>(w[4] - 1); }},
        {"3 kind blocks for 4 system kinds",
         [&](auto& w) { w[kind4 + 1] = static_cast<uint16_t>((w[kind4 + 1] & 0x3FFF) | 0xC000); }},
        {"no system block numbered 2",
         [&](auto& w) { w[system2 + 3] = static_cast<uint16_t>((w[system2 + 3] & 0xFF00) | 9); }},
    };
    for (const Case& c : cases) {
        std::vector<uint16_t> words = built.buffer;
        c.damage(words);
        EXPECT_THAT(DiagnoseCodeplug(words.data(), bytes), HasSubstr(c.message));
    }
    // A file cut inside the chain is told apart from a broken chain.
    EXPECT_THAT(DiagnoseCodeplug(built.image(), 2 * sequence1), HasSubstr("the file ends at word"));
    // One cut inside the trailer still holds every block, as an upload may.
    EXPECT_EQ(DiagnoseCodeplug(built.image(), bytes - 64), "");
}

TEST(CodeplugToolRefusals, LeaveEveryFileAsItWasAndSayWhy)
{
    ScratchFolder folder;
    const auto at = [&](const char* name) { return (folder / name).string(); };
    const BuiltCodeplug built = Native(4);
    const std::vector<unsigned char> image = RadioBytes(built.image(), built.imageLength);
    const std::string in = at("in.cpl");
    WriteBytes(in, image);
    std::filesystem::create_symlink(in, at("link.cpl"));
    std::filesystem::create_hard_link(in, at("hard.cpl"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(at("folder"));
    WriteBytes(at("empty.cpl"), {});
    WriteBytes(at("odd.cpl"), {0x5F, 0x5F, 0x00});
    WriteBytes(at("cut.cpl"), std::vector<unsigned char>(image.begin(), image.end() - 64));
    const std::string cut = "is not a valid codeplug image: the file is truncated: it ends at word " +
                            std::to_string(built.imageLength - 32) + ", 32 of the 128 trailer words (words " +
                            std::to_string(built.imageLength - 128) + " to ";
    const auto convert = [](const std::string& from, const std::string& to) {
        return std::vector<std::string>{"convert", "--to", "5.10", from, to};
    };
    const std::string same = "is the same file as " + in + "; name a new file for OUT";
    const int refused = kCodeplugToolRefused;
    const int fileError = kCodeplugToolFileError;
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases{
        {convert(in, in), fileError, same},
        {convert(in, at("link.cpl")), fileError, same},
        {convert(in, at("hard.cpl")), fileError, same},
        {convert(at("link.cpl"), in), fileError, "is the same file as"},
        {convert(in, "/dev/null"), fileError, "cannot write /dev/null: it is a device"},
        {convert(in, at("fifo")), fileError, "fifo: it is a FIFO"},
        {convert(in, at("folder")), fileError, "folder: it is a folder"},
        {convert(at("empty.cpl"), at("out")), refused,
         "empty.cpl is not a valid codeplug image: the file is empty"},
        {convert(at("odd.cpl"), at("out")), refused,
         "odd.cpl is not a valid codeplug image: the file holds 3 bytes"},
        {convert(at("cut.cpl"), at("out")), refused, cut},
        {{"validate", at("cut.cpl")}, refused, cut},
        {{"info", at("cut.cpl")}, refused, cut},
    };
    const std::map<std::string, std::string> before = Snapshot(folder);
    for (const auto& [arguments, status, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        std::ostringstream printed;
        std::ostringstream err;
        EXPECT_EQ(RunCodeplugTool(arguments, printed, err), status);
        EXPECT_THAT(err.str(), HasSubstr(message));
        EXPECT_EQ(printed.str(), "");
        EXPECT_EQ(Snapshot(folder), before); // IN byte for byte, no OUT, no temporary file
    }
    EXPECT_EQ(ReadBytes(in), image);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

TEST(CodeplugToolDescription, ListsEveryBlockWithItsShapeInItsOwnHeaderWordLayout)
{
    for (const uint8_t format : {3, 5}) {
        const BuiltCodeplug built = Native(format);
        std::ostringstream out;
        DescribeCodeplug(built.image(), 2 * built.imageLength, out);
        const std::string text = out.str();
        SCOPED_TRACE(text);
        EXPECT_THAT(text, HasSubstr(format == 3 ? "format 5.8" : "format 5.10"));
        EXPECT_THAT(text, HasSubstr("systems 5, sequence blocks 3"));
        EXPECT_THAT(text, HasSubstr("system block 3, kind 3"));
        EXPECT_THAT(text, HasSubstr("kind block, kind 4"));
        // Kind 3 systems have 21 tables only in 5.10; the radio block's header grows to 69.
        EXPECT_THAT(text, HasSubstr(format == 3 ? "header  49  tables 15: 10x2 16x2"
                                                : "header  69  tables 15: 16x2 64x2"));
        EXPECT_THAT(text, HasSubstr(format == 3 ? "header 333  tables 15:" : "header 333  tables 21:"));
        const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        EXPECT_EQ(lines, 2 + built.blocks.size());
    }
}

TEST(CodeplugToolCommandLine, WrongCommandLinesGetUsageAndStatusTwo)
{
    const std::vector<std::vector<std::string>> wrong{
        {},
        {"frobnicate", "x"},
        {"validate"},
        {"info", "a", "b"},
        {"convert", "in", "out"},
        {"convert", "--to", "5.9", "in"},
        {"convert", "--to"},
        {"convert", "--to", "5.9", "--force", "in", "out"},
        {"convert", "--to", "5.7", "in", "out"},
        {"convert", "--to", "6.0", "in", "out"},
        {"convert", "--report", "in", "out"},
        {"convert", "--report", "--to", "5.9", "in"},
        {"diff"},
        {"diff", "a"},
        {"diff", "a", "b", "c"},
        {"diff", "--report", "a", "b"},
    };
    for (const auto& arguments : wrong) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunCodeplugTool(arguments, out, err), kCodeplugToolUsage)
            << ::testing::PrintToString(arguments);
        EXPECT_THAT(err.str(), HasSubstr("aurex-codeplug: "));
        EXPECT_EQ(out.str(), "");
    }
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunCodeplugTool({"--help"}, out, err), kCodeplugToolOk);
    EXPECT_THAT(out.str(), HasSubstr("convert [--report] --to 5.8|5.9|5.10 IN OUT"));
    EXPECT_THAT(out.str(), HasSubstr("diff A B"));
}

struct Printed
{
    int status = -1;
    std::string out;
    std::string err;
};

Printed RunTool(const std::vector<std::string>& arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCodeplugTool(arguments, out, err);
    return {status, out.str(), err.str()};
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

TEST(CodeplugToolReport, ConvertWithReportWritesWhatConvertWritesAndPrintsWhatItChanged)
{
    ScratchFolder folder;
    const auto at = [&](const std::string& name) { return (folder / name).string(); };
    for (const auto& [format, target, changes] : std::vector<std::tuple<uint8_t, std::string, std::string>>{
             {5, "5.9", "format 5.10 to 5.9"}, {3, "5.10", "format 5.8 to 5.10"}, {4, "5.9", ""}}) {
        SCOPED_TRACE(target);
        const BuiltCodeplug built = Native(format);
        const std::string in = at("in.cpl");
        WriteBytes(in, RadioBytes(built.image(), built.imageLength));
        const Printed plain = RunTool({"convert", "--to", target, in, at("plain.cpl")});
        const Printed reported = RunTool({"convert", "--report", "--to", target, in, at("reported.cpl")});
        ASSERT_EQ(plain.status, kCodeplugToolOk) << plain.err;
        EXPECT_EQ(reported.status, plain.status);
        EXPECT_EQ(reported.err, "");
        EXPECT_EQ(ReadBytes(at("reported.cpl")), ReadBytes(at("plain.cpl")));

        // The convert line as without --report, then the report of IN against what was written.
        CodeplugFile written;
        std::string error;
        ASSERT_EQ(ReadCodeplugFile(at("reported.cpl"), written, error), CodeplugRead::Ok) << error;
        const std::vector<std::string> lines = DescribeConversion(
            built.buffer, 2 * std::size_t{built.imageLength}, written.buffer, written.byteCount);
        std::string convertLine = plain.out;
        convertLine.replace(convertLine.find("plain.cpl"), 9, "reported.cpl");
        EXPECT_EQ(reported.out, convertLine + Joined(lines));
        if (changes.empty()) {
            EXPECT_EQ(lines.size(), 1u); // a 5.9 image refreshed in its own format stays as it was
            EXPECT_THAT(lines[0], HasSubstr("the images are the same"));
        } else {
            EXPECT_EQ(lines[0], changes);
            EXPECT_THAT(reported.out, HasSubstr("\nin all: "));
        }
    }
    // A refused conversion prints no report and keeps its status.
    const BuiltCodeplug built = Native(5);
    const std::vector<unsigned char> image = RadioBytes(built.image(), built.imageLength);
    WriteBytes(at("cut.cpl"), std::vector<unsigned char>(image.begin(), image.end() - 2));
    const Printed refused = RunTool({"convert", "--report", "--to", "5.9", at("cut.cpl"), at("out.cpl")});
    EXPECT_EQ(refused.status, kCodeplugToolRefused);
    EXPECT_EQ(refused.out, "");
    EXPECT_THAT(refused.err, HasSubstr("the file is truncated"));
    EXPECT_FALSE(std::filesystem::exists(at("out.cpl")));
}

TEST(CodeplugToolReport, DiffAnswersAsDiffDoesAndPrintsTheReport)
{
    ScratchFolder folder;
    const auto at = [&](const std::string& name) { return (folder / name).string(); };
    const BuiltCodeplug built = Native(5);
    const std::vector<unsigned char> image = RadioBytes(built.image(), built.imageLength);
    WriteBytes(at("a.cpl"), image);
    WriteBytes(at("copy.cpl"), image);
    std::vector<unsigned char> changed = image;
    const uint32_t word = built.Block(ParmsBlockType::Sequence, 2).start + 6;
    changed[2 * word + 1] ^= 0x40;
    WriteBytes(at("changed.cpl"), changed);
    WriteBytes(at("cut.cpl"), std::vector<unsigned char>(image.begin(), image.end() - 2));
    ASSERT_EQ(RunTool({"convert", "--to", "5.9", at("a.cpl"), at("older.cpl")}).status, kCodeplugToolOk);

    struct Case
    {
        std::string first;
        std::string second;
        int status;
        std::string out; // text in standard output; "" for none at all
        std::string err; // text in standard error; "" for none at all
    };
    const std::vector<Case> cases{
        {"a.cpl", "copy.cpl", kCodeplugToolOk, "the images are the same: format 5.10", ""},
        {"a.cpl", "changed.cpl", kCodeplugToolRefused, "sequence block 2: 1 header word changed", ""},
        {"a.cpl", "older.cpl", kCodeplugToolRefused, "format 5.10 to 5.9\n", ""},
        {"a.cpl", "cut.cpl", kCodeplugToolRefused, "", "cut.cpl is not a valid codeplug image: the file is"},
        {"a.cpl", "missing.cpl", kCodeplugToolFileError, "", "cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first + " " + c.second);
        const Printed run = RunTool({"diff", at(c.first), at(c.second)});
        EXPECT_EQ(run.status, c.status);
        if (c.out.empty()) {
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_THAT(run.out, HasSubstr(c.out));
        }
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_THAT(run.err, HasSubstr(c.err));
        }
    }
    // What it prints is the report, line for line.
    CodeplugFile a;
    CodeplugFile b;
    std::string error;
    ASSERT_EQ(ReadCodeplugFile(at("a.cpl"), a, error), CodeplugRead::Ok);
    ASSERT_EQ(ReadCodeplugFile(at("older.cpl"), b, error), CodeplugRead::Ok);
    EXPECT_EQ(RunTool({"diff", at("a.cpl"), at("older.cpl")}).out,
              Joined(DescribeConversion(a.buffer, a.byteCount, b.buffer, b.byteCount)));
}

} // namespace
} // namespace aurex

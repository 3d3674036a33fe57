// The aurex-codeplug executable on real files: what it writes, its exit status and messages,
// and that OUT is never written for an image it refuses.
#include "codeplug-builder/codeplug_builder.h"
#include "codeplug_files.h"
#include "convert/codeplug_image.h"
#include "convert/convert_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

namespace aurex {
namespace {

using ::testing::HasSubstr;

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

ToolRun RunTool(const ScratchFolder& folder, const std::vector<std::string>& arguments)
{
    std::string command = Quoted(AUREX_CODEPLUG_TOOL);
    for (const std::string& argument : arguments) {
        command += " " + Quoted(argument);
    }
    const auto outFile = folder.Path().parent_path() / (folder.Path().filename().string() + ".out");
    const auto errFile = folder.Path().parent_path() / (folder.Path().filename().string() + ".err");
    command += " >" + Quoted(outFile.string()) + " 2>" + Quoted(errFile.string());
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const auto text = [](const std::filesystem::path& path) {
        const std::vector<unsigned char> bytes = ReadBytes(path);
        std::filesystem::remove(path);
        return std::string(bytes.begin(), bytes.end());
    };
    run.out = text(outFile);
    run.err = text(errFile);
    return run;
}

BuiltCodeplug Native(uint8_t format)
{
    CodeplugOptions options;
    options.formatIndex = format;
    return BuildCodeplug(options);
}

std::string WriteImage(const ScratchFolder& folder, const std::string& name, const BuiltCodeplug& built)
{
    WriteBytes(folder / name, RadioBytes(built.image(), built.imageLength));
    return (folder / name).string();
}

TEST(CodeplugToolExecutable, ConvertsLikeTheLibraryInBothDirections)
{
    ScratchFolder folder;
    const BuiltCodeplug built = Native(3);
    const std::string in = WriteImage(folder, "in.cpl", built);
    const std::string up = (folder / "up.cpl").string();

    const ToolRun run = RunTool(folder, {"convert", "--to", "5.10", in, up});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("format 5.8 to 5.10"));
    std::vector<uint16_t> expected = built.buffer;
    int32_t lengthChange = 0;
    ASSERT_EQ(ParmsUpgrade(lengthChange, expected.data(), 3, 5), ParmsStepFault::None);
    EXPECT_EQ(ReadBytes(up), RadioBytes(expected.data(), built.imageLength + lengthChange));

    const std::string down = (folder / "down.cpl").string();
    ASSERT_EQ(RunTool(folder, {"convert", up, down, "--to=5.9"}).status, 0);
    ASSERT_EQ(ParmsDowngrade(lengthChange, expected.data(), 4, 5), ParmsStepFault::None);
    EXPECT_EQ(ReadBytes(down), RadioBytes(expected.data(), ParmsImageLength(expected.data())));

    const ToolRun validate = RunTool(folder, {"validate", down});
    EXPECT_EQ(validate.status, 0);
    EXPECT_THAT(validate.out, HasSubstr("valid codeplug image, format 5.9"));
    const ToolRun info = RunTool(folder, {"info", up});
    EXPECT_EQ(info.status, 0);
    EXPECT_THAT(info.out, HasSubstr("format 5.10"));
    EXPECT_THAT(info.out, HasSubstr("system block 5, kind 5"));

    // The same format again is a plain copy.
    const std::string same = (folder / "same.cpl").string();
    const ToolRun copy = RunTool(folder, {"convert", "--to", "5.8", in, same});
    EXPECT_EQ(copy.status, 0);
    EXPECT_THAT(copy.out, HasSubstr("already format 5.8"));
    EXPECT_EQ(ReadBytes(same), ReadBytes(in));
    EXPECT_EQ(folder.Names().size(), 4u); // no temporary file left behind
}

TEST(CodeplugToolExecutable, DiffAndConvertReportThroughTheExecutable)
{
    ScratchFolder folder;
    const std::string in = WriteImage(folder, "in.cpl", Native(3));
    const std::string up = (folder / "up.cpl").string();
    const ToolRun convert = RunTool(folder, {"convert", "--report", "--to", "5.10", in, up});
    ASSERT_EQ(convert.status, 0) << convert.err;
    EXPECT_THAT(convert.out, HasSubstr("wrote " + up));
    EXPECT_THAT(convert.out, HasSubstr("\nformat 5.8 to 5.10\n"));
    EXPECT_THAT(convert.out, HasSubstr("radio block, table 1: 48 records added (16 to 64)\n"));

    const ToolRun same = RunTool(folder, {"diff", in, in});
    EXPECT_EQ(same.status, 0);
    EXPECT_THAT(same.out, HasSubstr("the images are the same"));
    const ToolRun differ = RunTool(folder, {"diff", in, up});
    EXPECT_EQ(differ.status, 1);
    EXPECT_THAT(differ.out, HasSubstr("format 5.8 to 5.10\n"));
    EXPECT_EQ(RunTool(folder, {"diff", in, (folder / "missing.cpl").string()}).status, 3);
    EXPECT_EQ(RunTool(folder, {"diff", in}).status, 2);
}

TEST(CodeplugToolExecutable, NeverWritesOutForARefusedImage)
{
    ScratchFolder folder;
    const std::string out = (folder / "out.cpl").string();
    const std::vector<unsigned char> kept{'k', 'e', 'e', 'p'};

    BuiltCodeplug invalid = Native(4);
    invalid.buffer[kParmsBlockCountsWord] = static_cast<uint16_t>(invalid.buffer[kParmsBlockCountsWord] + 1);
    BuiltCodeplug oldFormat = Native(4);
    oldFormat.buffer[kParmsVersionWord] = 0x0507;
    CodeplugOptions full;
    full.formatIndex = 4;
    full.imageLength = kParmsBufferWords - 60;
    const BuiltCodeplug tooLarge = BuildCodeplug(full);

    struct Case
    {
        std::string name;
        std::string in;
        int status;
        std::string message;
    };
    const std::vector<Case> cases{
        {"invalid", WriteImage(folder, "invalid.cpl", invalid), 1,
         "is not a valid codeplug image: 5 system blocks, but word 14 counts 6"},
        {"format 5.7", WriteImage(folder, "old.cpl", oldFormat), 1,
         "in format 5.7, which cannot be converted"},
        {"too large", WriteImage(folder, "large.cpl", tooLarge), 1,
         "would not fit in the 32768-byte codeplug buffer"},
        {"missing", (folder / "missing.cpl").string(), 3, "cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(out, kept);
        const ToolRun run = RunTool(folder, {"convert", "--to", "5.10", c.in, out});
        EXPECT_EQ(run.status, c.status);
        EXPECT_THAT(run.err, HasSubstr(c.message));
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(ReadBytes(out), kept);
    }
    EXPECT_EQ(folder.Names().size(), 4u); // the three inputs and OUT

    const ToolRun validate = RunTool(folder, {"validate", (folder / "invalid.cpl").string()});
    EXPECT_EQ(validate.status, 1);
    EXPECT_THAT(validate.err, HasSubstr("5 system blocks, but word 14 counts 6"));
    EXPECT_EQ(RunTool(folder, {"info"}).status, 2);
}

} // namespace
} // namespace aurex

// The archive is read back by the system's tar, the reader a user has.
#include "record/tar_gz_writer.h"

#include "record/line_trace.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

namespace aurex {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The command's standard output and its exit status.
std::pair<std::string, int> RunCommand(const std::string& command)
{
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {"", -1};
    }
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    return {out, ::pclose(pipe)};
}

// Each line with its words joined by one space.
std::vector<std::string> WordLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string joined;
        for (std::string word; words >> word;) {
            joined += (joined.empty() ? "" : " ") + word;
        }
        lines.push_back(joined);
    }
    return lines;
}

std::vector<fs::path> FolderEntries(const fs::path& folder)
{
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        entries.push_back(entry.path().filename());
    }
    return entries;
}

constexpr std::int64_t kMtime = 1'700'000'000; // 2023-11-14 22:13:20 UTC

TEST(TarGzWriter, TarReadsBackNamesSizesAndContents)
{
    test::TempFolder folder;
    const std::string archive = folder.File("run.tar.gz");
    // Larger than one compression piece, and not a whole number of blocks.
    std::string big;
    for (int i = 0; big.size() < 200'000; ++i) {
        big += std::to_string(i * 7919 % 100'003) + ' ';
    }
    WriteFile(folder.path / "source.bin", big);
    const std::vector<std::uint8_t> bytes{0x00, 0xFF, 0x10, 0x7E, 0xBA};

    TarGzWriter writer;
    ASSERT_TRUE(writer.Open(archive)) << writer.Error();
    EXPECT_TRUE(writer.AddText("run/summary.txt", "Done.\n", kMtime)) << writer.Error();
    EXPECT_TRUE(writer.AddBytes("run/raw.bin", bytes, kMtime)) << writer.Error();
    EXPECT_TRUE(writer.AddText("run/empty.txt", "", kMtime)) << writer.Error();
    EXPECT_TRUE(writer.AddFile("run/big.txt", (folder.path / "source.bin").string(), kMtime))
        << writer.Error();
    EXPECT_FALSE(fs::exists(archive)); // only under its temporary name until Finish
    ASSERT_TRUE(writer.Finish()) << writer.Error();
    EXPECT_EQ(FolderEntries(folder.path).size(), 2u); // the source and the archive, no leftover

    struct stat st
    {
    };
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const auto [listing, listed] = RunCommand("TZ=UTC tar -tzvf '" + archive + "' 2>&1");
    ASSERT_EQ(listed, 0) << listing;
    // tar pads its columns to the widest entry: compare the words of each line.
    const std::vector<std::string> expected{
        "-rw------- aurex/aurex 6 2023-11-14 22:13 run/summary.txt",
        "-rw------- aurex/aurex 5 2023-11-14 22:13 run/raw.bin",
        "-rw------- aurex/aurex 0 2023-11-14 22:13 run/empty.txt",
        "-rw------- aurex/aurex " + std::to_string(big.size()) + " 2023-11-14 22:13 run/big.txt",
    };
    EXPECT_EQ(WordLines(listing), expected);

    const fs::path out = folder.path / "out";
    fs::create_directory(out);
    const auto [extractLog, extracted] =
        RunCommand("tar -xzf '" + archive + "' -C '" + out.string() + "' 2>&1");
    ASSERT_EQ(extracted, 0) << extractLog;
    EXPECT_EQ(ReadAll(out / "run/summary.txt"), "Done.\n");
    EXPECT_EQ(ReadAll(out / "run/raw.bin"), std::string("\x00\xFF\x10\x7E\xBA", 5));
    EXPECT_EQ(ReadAll(out / "run/empty.txt"), "");
    EXPECT_EQ(ReadAll(out / "run/big.txt"), big);
}

TEST(TarGzWriter, RefusedEntriesLeaveASoundArchive)
{
    test::TempFolder folder;
    const std::string archive = folder.File("run.tar.gz");
    WriteFile(folder.path / "large.bin", std::string(2000, 'x'));
    TarGzWriter writer;
    ASSERT_TRUE(writer.Open(archive)) << writer.Error();
    for (const std::string& name : std::vector<std::string>{
             "", "/etc/passwd", "../up.txt", "run/../../up.txt", "run/..", "dir/", std::string(101, 'n')}) {
        EXPECT_FALSE(writer.AddText(name, "x", kMtime)) << name;
        EXPECT_EQ(writer.Error(), "refused entry name \"" + name + "\"");
    }
    EXPECT_FALSE(writer.AddFile("large.bin", (folder.path / "large.bin").string(), kMtime, 1999));
    EXPECT_EQ(writer.Error(), (folder.path / "large.bin").string() + " is larger than 1999 bytes");
    EXPECT_FALSE(writer.AddFile("folder", folder.path.string(), kMtime));
    EXPECT_EQ(writer.Error(), folder.path.string() + " is not a regular file");
    EXPECT_FALSE(writer.AddFile("missing", (folder.path / "missing").string(), kMtime));
    EXPECT_TRUE(writer.AddText(std::string(100, 'n'), "fits", kMtime)) << writer.Error();
    EXPECT_TRUE(writer.AddText("a..b/ok.txt", "ok", kMtime)) << writer.Error();
    ASSERT_TRUE(writer.Finish()) << writer.Error();

    const auto [listing, status] = RunCommand("tar -tzf '" + archive + "' 2>&1");
    ASSERT_EQ(status, 0) << listing;
    EXPECT_EQ(listing, std::string(100, 'n') + "\na..b/ok.txt\n");
}

TEST(TarGzWriter, AFolderThatDoesNotExistFailsAndLeavesNothing)
{
    test::TempFolder folder;
    const std::string archive = (folder.path / "missing" / "run.tar.gz").string();
    TarGzWriter writer;
    EXPECT_FALSE(writer.Open(archive));
    EXPECT_EQ(writer.Error(), "cannot create " + archive + ": No such file or directory");
    EXPECT_FALSE(writer.AddText("a.txt", "a", kMtime));
    EXPECT_FALSE(writer.Finish());
    EXPECT_EQ(writer.Error(), "cannot create " + archive + ": No such file or directory");
    EXPECT_TRUE(FolderEntries(folder.path).empty());
}

// A name taken by anything but a plain file of one name is never opened, written through or
// replaced, by an archive or a trace; a plain file only when the user let it go (then made 0600).
TEST(TarGzWriter, ATakenNameIsWrittenOnlyWhenPlainAndLetGo)
{
    for (const ExistingFile existing : {ExistingFile::Keep, ExistingFile::Replace}) {
        test::TempFolder folder;
        const auto at = [&folder](const std::string& name) { return folder.File(name); };
        WriteFile(at("victim"), "victim");
        WriteFile(at("plain"), "plain");
        ::chmod(at("plain").c_str(), 0644);
        ::link(at("victim").c_str(), at("twin").c_str());
        ::symlink(at("victim").c_str(), at("link").c_str());
        ::mkfifo(at("fifo").c_str(), 0666);
        fs::create_directory(at("folder"));
        const bool device = ::mknod(at("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; // as root
        const bool keep = existing == ExistingFile::Keep;
        for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>>{
                 {"device", "it is a device; name a new file"},
                 {"fifo", "it is a FIFO; name a new file"},
                 {"folder", "it is a folder; name a new file"},
                 {"link", "it is a symbolic link; name a new file"},
                 {"twin", keep ? "it already exists" : "it has other names (hard links); name a new file"},
                 {"plain", keep ? "it already exists" : ""}}) {
            const std::string path = at(name);
            const std::string error = reason.empty() ? "" : "cannot write " + path + ": " + reason;
            struct stat before
            {
            }, after{};
            if (::lstat(path.c_str(), &before) != 0) {
                continue; // no device node without root
            }
            LineTrace trace;
            std::string traceError;
            EXPECT_EQ(trace.RecordTo(path, {existing, false}, traceError), reason.empty()) << path;
            EXPECT_EQ(traceError, error);
            trace.Close();
            ::lstat(path.c_str(), &after);
            EXPECT_EQ(after.st_mode & 07777, reason.empty() ? 0600u : before.st_mode & 07777) << path;
            TarGzWriter writer;
            EXPECT_EQ(writer.Open(path, existing) && writer.Finish(), reason.empty()) << path;
            EXPECT_EQ(writer.Error(), error);
        }
        EXPECT_EQ(ReadAll(at("victim")), "victim");
        EXPECT_EQ(ReadAll(at("plain")).substr(0, 2), keep ? "pl" : "\x1f\x8b");
        EXPECT_EQ(FolderEntries(folder.path).size(), device ? 7u : 6u); // no temporary file left
    }
    test::TempFolder folder; // a name taken while the archive was written stays as it is
    TarGzWriter writer;
    ASSERT_TRUE(writer.Open(folder.File("late"))) << writer.Error();
    WriteFile(folder.path / "late", "late");
    EXPECT_FALSE(writer.Finish());
    EXPECT_EQ(writer.Error(), "cannot write " + folder.File("late") + ": it already exists");
    EXPECT_EQ(ReadAll(folder.path / "late"), "late");
}

TEST(TarGzWriter, AnUnfinishedArchiveIsRemoved)
{
    test::TempFolder folder;
    {
        TarGzWriter writer;
        ASSERT_TRUE(writer.Open(folder.File("run.tar.gz"))) << writer.Error();
        EXPECT_TRUE(writer.AddText("a.txt", "a", kMtime));
        EXPECT_EQ(FolderEntries(folder.path).size(), 1u); // the temporary file
    }
    EXPECT_TRUE(FolderEntries(folder.path).empty());
}

} // namespace
} // namespace aurex

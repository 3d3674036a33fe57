// The private folder of a run for its extracted images, and the removal of what killed runs left.

#include "app/scratch_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "app/run_recorder.h"
#include "link/qt_app.h"

namespace aurex {
namespace {

namespace fs = std::filesystem;

struct TempParent
{
    TempParent()
    {
        std::string name = "/tmp/aurex-scratch-test-XXXXXX";
        path = ::mkdtemp(name.data());
    }
    ~TempParent() { fs::remove_all(path); }
    fs::path path;
};

// A process number that has just ended.
pid_t EndedProcess()
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

fs::path RunFolder(const fs::path& parent, pid_t pid, bool withLock, std::initializer_list<const char*> files)
{
    const fs::path folder = parent / ("run-" + std::to_string(pid));
    fs::create_directories(folder);
    if (withLock) {
        std::ofstream(folder / "lock").flush();
    }
    for (const char* name : files) {
        std::ofstream(folder / name) << "S00600004844521B\n";
    }
    return folder;
}

TEST(ScratchFolderTest, ARunsFolderIsPrivateAndGoesWithEverythingInIt)
{
    TempParent parent;
    ScratchFolder folder(parent.path / "cache");
    EXPECT_EQ(folder.Path(), parent.path / "cache" / ("run-" + std::to_string(::getpid())));
    ASSERT_EQ(folder.Prepare(), "");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(folder.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700U);
    CreatedFile file = folder.CreateNew("Code.hex");
    ASSERT_TRUE(file.file);
    EXPECT_TRUE(file.file->Close());
    // Another start of the program meanwhile leaves a running run's folder alone.
    EXPECT_EQ(RemoveStaleScratchFolders(parent.path / "cache"), 0);
    folder.Release();
    EXPECT_FALSE(fs::exists(folder.Path()));

    // A file in the way is named, not written through.
    std::ofstream(folder.Path()) << "x";
    EXPECT_NE(folder.Prepare().find(folder.Path().string()), std::string::npos);
}

// A killed run whose process number has come round again: the start skips the folder as its own,
// and the pieces there must not stand in the way of this run's extraction.
TEST(ScratchFolderTest, WhatAnEarlierProcessOfTheSameNumberLeftIsClearedOnPrepare)
{
    TempParent parent;
    const fs::path left = RunFolder(parent.path, ::getpid(), true, {"Loader.1", "Code.12", "Loader.hex"});
    fs::create_directories(left / "sub");
    EXPECT_EQ(RemoveStaleScratchFolders(parent.path), 0);
    ScratchFolder folder(parent.path);
    ASSERT_EQ(folder.Prepare(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(left), fs::directory_iterator()), 1); // the lock
    CreatedFile piece = folder.CreateNew("Loader.1");
    ASSERT_TRUE(piece.file);
    EXPECT_TRUE(piece.file->Close());
    // A second folder object of this process finds the lock held and touches nothing.
    ScratchFolder second(parent.path);
    EXPECT_NE(second.Prepare(), "");
    EXPECT_TRUE(fs::exists(left / "Loader.1"));
}

TEST(ScratchFolderTest, OnlyFoldersOfEndedRunsAreRemoved)
{
    TempParent parent;
    const fs::path killedInExtraction =
        RunFolder(parent.path, EndedProcess(), true, {"Loader.1", "Code.1", "Code.12"});
    const fs::path killedBeforeItsLock = RunFolder(parent.path, EndedProcess(), false, {});
    // A run whose lock is held, whatever its number now names.
    const fs::path running = RunFolder(parent.path, EndedProcess(), true, {"Code.hex"});
    const int held = ::open((running / "lock").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // Without a lock a living process keeps its folder.
    const fs::path living = RunFolder(parent.path, 1, false, {});
    const fs::path other = parent.path / "run-notanumber";
    fs::create_directories(other);

    EXPECT_EQ(RemoveStaleScratchFolders(parent.path), 2);
    EXPECT_FALSE(fs::exists(killedInExtraction));
    EXPECT_FALSE(fs::exists(killedBeforeItsLock));
    EXPECT_TRUE(fs::exists(running / "Code.hex"));
    EXPECT_TRUE(fs::exists(living));
    EXPECT_TRUE(fs::exists(other));
    ::close(held);
    EXPECT_EQ(RemoveStaleScratchFolders(parent.path), 1);
    EXPECT_FALSE(fs::exists(running));
}

// Made under umask 000, the data and cache folders were open to all: another user could plant
// links there for a run as root to follow.
TEST(ScratchFolderTest, FoldersAreThisUsersAloneAndLinksAnotherUserPlantedAreNotFollowed)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "planting links as another user needs root";
    }
    TempParent parent;
    const fs::path data = parent.path / "data", cache = parent.path / "cache",
                   theirs = parent.path / "theirs";
    const mode_t umask = ::umask(0);
    ASSERT_EQ(::mkdir(data.c_str(), 0777) | ::mkdir(cache.c_str(), 0777) | ::mkdir(theirs.c_str(), 0777) |
                  ::chmod(parent.path.c_str(), 0755) | ::chown(theirs.c_str(), 65534, 65534),
              0);
    const pid_t planter = ::fork();
    if (planter == 0) {
        const bool planted = ::setgid(65534) == 0 && ::setuid(65534) == 0 &&
                             ::symlink(theirs.c_str(), (data / "logs").c_str()) == 0 &&
                             ::symlink((theirs / "chosen").c_str(), (data / "history.sqlite").c_str()) == 0;
        ::_exit(planted ? 0 : 1);
    }
    int status = -1;
    ASSERT_TRUE(::waitpid(planter, &status, 0) == planter && status == 0);
    test::EnsureCoreApplication();
    std::string warned;
    RunRecorder recorder([&](const std::string& text) { warned += text + "\n"; });
    recorder.settings.dataFolder = data.string();
    recorder.Begin(RunKind::Backup, {}, {});
    recorder.End(RunResult::Succeeded, "Done.");
    ScratchFolder scratch(cache);
    EXPECT_EQ(scratch.Prepare(), "");
    ::umask(umask);
    EXPECT_TRUE(fs::is_empty(theirs)) << warned;
    for (const char* said :
         {"logs (it is a symbolic link", "history.sqlite could not be made: it is a symbolic"}) {
        EXPECT_NE(warned.find(said), std::string::npos) << warned;
    }
    for (const fs::path& folder : {data, cache, scratch.Path()}) {
        EXPECT_EQ(static_cast<int>(fs::status(folder).permissions()), 0700) << folder;
    }
}

} // namespace
} // namespace aurex

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "record/run_log.h"
#include "temp_folder.h"

namespace aurex {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using test::TempFolder;

std::string Read(const fs::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(RunLogTest, LinesCarryTheirTimeAndReachTheDiskAtEachFlush)
{
    TempFolder temp;
    std::int64_t now = 0;
    RunLog log([&now] { return now; });
    const std::string folder = (temp.path / "logs").string();
    ASSERT_TRUE(log.Open(folder, RunLogName("20261208T101500Z", 42, "update"))) << log.Warning();
    EXPECT_EQ(log.Path(), folder + "/run-20261208T101500Z-42-update.log");

    now = 1'500'000'000;
    log.Line("Status: Erasing flash (80 seconds)...");
    EXPECT_EQ(Read(log.Path()), ""); // buffered until the caller flushes
    log.Flush();
    now = 12'345'000'000;
    log.Line("Message box \"Check connection\": The radio did not answer.\n\nNothing answered.");
    log.Close();
    EXPECT_EQ(Read(log.Path()), "+    1.500 Status: Erasing flash (80 seconds)...\n"
                                "+   12.345 Message box \"Check connection\": The radio did not answer.\n"
                                "           \n"
                                "           Nothing answered.\n");
    struct stat info
    {
    };
    ASSERT_EQ(::stat(log.Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700U);
}

TEST(RunLogTest, RotationKeepsTheNewestLogsWithTheirTracesAndNothingElseIsTouched)
{
    TempFolder temp;
    const fs::path folder = temp.path;
    for (int i = 0; i < 6; ++i) {
        const std::string stem = "run-2026120" + std::to_string(i) + "T000000Z-1-update";
        std::ofstream(folder / (stem + ".log")) << i;
        if (i % 2 == 0) {
            std::ofstream(folder / (stem + ".trace")) << i;
        }
    }
    std::ofstream(folder / "notes.txt") << "kept";
    RotateRunLogs(folder.string(), 3);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_THAT(left, ElementsAre("notes.txt", "run-20261203T000000Z-1-update.log",
                                  "run-20261204T000000Z-1-update.log", "run-20261204T000000Z-1-update.trace",
                                  "run-20261205T000000Z-1-update.log"));
    EXPECT_THAT(NewestRunFiles(folder.string(), ".log", 2),
                ElementsAre((folder / "run-20261205T000000Z-1-update.log").string(),
                            (folder / "run-20261204T000000Z-1-update.log").string()));
}

TEST(RunLogTest, ALogThatCannotBeWrittenSaysSoOnceAndTheCallsGoOn)
{
    TempFolder temp;
    const fs::path blocker = temp.path / "file";
    std::ofstream(blocker) << "not a folder";
    RunLog log;
    EXPECT_FALSE(log.Open((blocker / "logs").string(), "run.log"));
    EXPECT_THAT(log.Warning(), HasSubstr((blocker / "logs").string()));
    log.Line("dropped");
    log.Flush();
    log.Close();
    EXPECT_FALSE(log.IsOpen());

    // A name already taken is never written over: the later log takes a numbered name.
    RunLog first;
    ASSERT_TRUE(first.Open(temp.path.string(), "run.log"));
    first.Line("first");
    first.Close();
    RunLog second;
    ASSERT_TRUE(second.Open(temp.path.string(), "run.log"));
    EXPECT_EQ(second.Path(), (temp.path / "run-2.log").string());
    EXPECT_THAT(Read(temp.path / "run.log"), HasSubstr("first"));
}

} // namespace
} // namespace aurex

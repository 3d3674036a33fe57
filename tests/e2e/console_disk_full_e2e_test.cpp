// The console updater against the simulated radio when a folder it writes to is full or cannot be
// written: the run folder, the codeplug backups, the run logs, the update history and the line
// trace, each on a small tmpfs of its own. What the program cannot do without (the run folder,
// the backup) stops the run before anything reaches the radio, naming the folder; what it can
// (log, history, trace) is dropped with a warning naming it, and the update goes on. A data
// folder's disk that fills during the update leaves the backup and the history row whole.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "e2e_support.h"
#include "updater_process.h"

namespace aurex::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const char* const kApp = "Aurex Code Updater";

// RestoreBackups: --restore, whose backup of the radio's present codeplug cannot be kept.
// TraceOnData: the data folder on a 1 MB disk, with the run's trace, filled during the update;
// BootOnData the same during a boot code load, which keeps no backup.
enum class Target { RunFolder, Backups, RestoreBackups, Logs, History, Trace, TraceOnData, BootOnData };
enum class Trouble { Full, ReadOnly };

struct Case
{
    const char* name;
    Target target;
    Trouble trouble;
};

// A tmpfs mount of `size`, read-only when asked. Empty when it worked, else the reason.
std::string MountTmpfs(const fs::path& dir, const char* size, bool readOnly)
{
    const std::string options = std::string("size=") + size + ",mode=0700";
    if (::mount("tmpfs", dir.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
        return "mount -t tmpfs on " + dir.string() + ": " + std::strerror(errno);
    }
    return {};
}

// Fills the file system of `dir` until the write fails with ENOSPC.
bool Fill(const fs::path& dir)
{
    std::FILE* file = std::fopen((dir / "filler").c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    const std::vector<char> block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), file) == block.size()) {
    }
    const bool full = errno == ENOSPC;
    std::fclose(file);
    return full;
}

class ConsoleDiskFullE2eTest : public ::testing::TestWithParam<Case>
{
  protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "mounting a tmpfs needs root; this test runs as uid " << ::geteuid();
        }
        const fs::path probe = work_.path / "probe";
        fs::create_directories(probe);
        const std::string problem = MountTmpfs(probe, "64k", false);
        if (!problem.empty()) {
            GTEST_SKIP() << "mounting is not permitted here (" << problem << ")";
        }
        mounted_.push_back(probe);
    }

    void TearDown() override
    {
        // Innermost first; a mount still busy is detached all the same.
        for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it) {
            if (::umount2(it->c_str(), 0) != 0) {
                ::umount2(it->c_str(), MNT_DETACH);
            }
        }
        mounted_.clear();
    }

    // A small tmpfs at `dir` (made first), full or read-only as the case says; `inner` folders are
    // made in it before it becomes so, as mount points for what must stay writable.
    void Spoil(const fs::path& dir, Trouble trouble, const std::vector<std::string>& inner = {})
    {
        fs::create_directories(dir);
        ASSERT_EQ(MountTmpfs(dir, "256k", false), "");
        mounted_.push_back(dir);
        for (const std::string& name : inner) {
            fs::create_directories(dir / name);
        }
        if (trouble == Trouble::Full) {
            ASSERT_TRUE(Fill(dir)) << dir;
        } else {
            ASSERT_EQ(::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k"), 0)
                << std::strerror(errno);
        }
    }

    // A writable tmpfs at `dir`, which exists already.
    void Roomy(const fs::path& dir, const char* size = "16m")
    {
        ASSERT_EQ(MountTmpfs(dir, size, false), "");
        mounted_.push_back(dir);
    }

    Scratch work_{"diskfull"};
    std::vector<fs::path> mounted_;
};

TEST_P(ConsoleDiskFullE2eTest, TheRunStopsBeforeWritingOrGoesOnWithAWarningNamingTheFolder)
{
    const Case& c = GetParam();
    const bool restore = c.target == Target::RestoreBackups;
    // A restore talks to the radio in normal mode; an update in boot-load mode.
    const bool boot = c.target == Target::BootOnData;
    SimulatedRadio radio(restore ? std::vector<std::string>{"--mode", "application"}
                         : boot  ? std::vector<std::string>{"--boot-version", "4.0", "--boot-updates", "1"}
                                 : std::vector<std::string>{"--boot-version", "6.0"});
    const fs::path data = work_.path / "data";
    const fs::path cache = work_.path / "cache";
    const fs::path appData = data / kApp;
    fs::create_directories(appData);
    fs::create_directories(cache);
    // What the last run sees of each output line as it comes.
    std::function<void(const std::string&, const Interrupt&)> onLine;
    const auto runUpdater = [&](const std::vector<std::string>& options, const fs::path& dataHome) {
        ConsoleCommand command;
        command.executable = boot ? AUREX_UPDATER_BOOT_SET : AUREX_UPDATER_APPLICATION;
        command.args = {"--console", "--port", "1"};
        command.args.insert(command.args.end(), options.begin(), options.end());
        command.environment = {"AUREX_COM1=" + radio.Device(), "AUREX_TIME_SCALE=" + kTimeScaleText,
                               "XDG_DATA_HOME=" + dataHome.string(), "XDG_CACHE_HOME=" + cache.string()};
        command.workingDirectory = work_.path.string();
        return RunConsole(command, onLine);
    };

    std::vector<std::string> options = {"--password", boot ? "marvoski" : "brontel"};
    // The folder the program must name.
    fs::path named;
    bool mustStop = false;
    switch (c.target) {
    case Target::RunFolder:
        Spoil(cache / kApp, c.trouble);
        named = cache / kApp;
        mustStop = true;
        break;
    case Target::Backups:
        Spoil(appData / "codeplug-backups", c.trouble);
        named = appData / "codeplug-backups";
        mustStop = true;
        break;
    case Target::RestoreBackups: {
        // The file to restore: this radio's codeplug, backed up into another data folder.
        const ConsoleRun backup = runUpdater({"--backup"}, work_.path / "elsewhere");
        ASSERT_EQ(backup.exitStatus, 0) << backup.output;
        const std::vector<fs::path> saved = BackupsBelow(work_.path / "elsewhere");
        ASSERT_EQ(saved.size(), 1U) << backup.output;
        options = {"--restore", saved[0].string(), "--yes"};
        Spoil(appData / "codeplug-backups", c.trouble);
        named = appData / "codeplug-backups";
        mustStop = true;
        break;
    }
    case Target::Logs:
        Spoil(appData / "logs", c.trouble);
        named = appData / "logs";
        break;
    case Target::History:
        // The data folder itself (history.sqlite and logs/ in it), the backups beside them fine.
        Spoil(appData, c.trouble, {"codeplug-backups"});
        Roomy(appData / "codeplug-backups");
        named = appData / "history.sqlite";
        break;
    case Target::Trace:
        Spoil(work_.path / "trace", c.trouble);
        named = work_.path / "trace" / "run.trace";
        options.insert(options.end(), {"--trace", named.string()});
        break;
    case Target::TraceOnData:
    case Target::BootOnData:
        Roomy(appData, "1m");
        named = appData / "run.trace";
        options.insert(options.end(), {"--trace", named.string()});
        break;
    }
    if (HasFatalFailure()) {
        return;
    }

    // The disk fills up once the new code is in, before the codeplug is read out; the boot code
    // load's as the code goes in.
    const bool fills = c.target == Target::TraceOnData || boot;
    bool filled = false;
    onLine = [&](const std::string& line, const Interrupt&) {
        if (fills && !filled &&
            line == (boot ? "Status: Checking target radio..." : "Status: Download finished.")) {
            filled = Fill(appData);
        }
    };
    const ConsoleRun run = runUpdater(options, data);
    EXPECT_EQ(filled, fills);
    EXPECT_FALSE(run.timedOut);
    EXPECT_THAT(run.output, HasSubstr(named.string())) << "the folder is named";
    const std::vector<fs::path> backups = BackupsBelow(appData);

    if (mustStop) {
        EXPECT_NE(run.exitStatus, 0) << run.output;
        EXPECT_THAT(run.output, Not(HasSubstr("Status: Done.")));
        EXPECT_THAT(radio.StopAndListDumps(), IsEmpty()) << "nothing written\n" << run.output;
        return;
    }
    EXPECT_EQ(run.exitStatus, 0) << run.output << radio.Log();
    const std::size_t warning = run.output.find("Aurex Code Updater: warning: ");
    ASSERT_NE(warning, std::string::npos) << run.output;
    EXPECT_THAT(run.output.substr(warning), HasSubstr(named.string())) << "a warning names it";
    if (c.target != Target::History) {
        EXPECT_THAT(run.output, Not(HasSubstr("history cannot be written"))) << "the row is finished";
    }
    if (boot) {
        EXPECT_EQ(run.LastStatus(), "Download finished.");
        return;
    }
    EXPECT_EQ(run.LastStatus(), "Done.");
    // The codeplug went back into the radio, and its backup is on the disk, whole.
    EXPECT_FALSE(radio.Dump("codeplug").empty()) << radio.Log();
    ASSERT_EQ(backups.size(), 1U) << run.output;
    EXPECT_THAT(run.output, HasSubstr("\nCodeplug backup: " + backups[0].string() + "\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ConsoleDiskFullE2eTest,
    ::testing::Values(Case{"RunFolderFull", Target::RunFolder, Trouble::Full},
                      Case{"RunFolderReadOnly", Target::RunFolder, Trouble::ReadOnly},
                      Case{"BackupsFull", Target::Backups, Trouble::Full},
                      Case{"BackupsReadOnly", Target::Backups, Trouble::ReadOnly},
                      Case{"RestoreBackupsFull", Target::RestoreBackups, Trouble::Full},
                      Case{"RestoreBackupsReadOnly", Target::RestoreBackups, Trouble::ReadOnly},
                      Case{"LogsFull", Target::Logs, Trouble::Full},
                      Case{"LogsReadOnly", Target::Logs, Trouble::ReadOnly},
                      Case{"HistoryFull", Target::History, Trouble::Full},
                      Case{"HistoryReadOnly", Target::History, Trouble::ReadOnly},
                      Case{"TraceFull", Target::Trace, Trouble::Full},
                      Case{"TraceReadOnly", Target::Trace, Trouble::ReadOnly},
                      Case{"TraceFillsTheDataDisk", Target::TraceOnData, Trouble::Full},
                      Case{"BootLoadFillsTheDataDisk", Target::BootOnData, Trouble::Full}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
} // namespace aurex::e2e

// The console updater killed (SIGKILL) at points spread over an update of the carried set, then
// run again against the radio as it comes back from a power cycle; and stopped (SIGSTOP) in the
// middle of the code download, then let go on. By default a few points and a short stop; with
// AUREX_KILL_POINTS=all (or a list such as 3,8,17) every point, and AUREX_STOP_SECONDS=<s> the
// stop of that length.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <map>
#include <sstream>

#include "e2e_support.h"
#include "history/history_columns.h"
#include "text/json_reader.h"
#include "text/sha256.h"
#include "updater_process.h"

namespace aurex::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::vector<std::string> kCarriedRadio = {"--boot-version", "4.0", "--format-after-update", "5.10"};

// One run of the carried updater in --json mode against a radio, with its own data, cache and
// working folders; the data and cache folders can be handed on to the next run.
struct KillBench
{
    ConsoleRun Run(const std::string& device, std::vector<std::string> options,
                   const std::function<void(const std::string&, const Interrupt&)>& onLine = {},
                   int* pid = nullptr) const
    {
        ConsoleCommand command;
        command.executable = AUREX_UPDATER_CARRIED;
        command.args = {"--console", "--port", "1"};
        command.args.insert(command.args.end(), options.begin(), options.end());
        command.environment = {"AUREX_COM1=" + device, "AUREX_TIME_SCALE=" + kTimeScaleText,
                               "XDG_DATA_HOME=" + data.path.string(),
                               "XDG_CACHE_HOME=" + cache.path.string()};
        command.workingDirectory = work.path.string();
        command.separateErrors = true;
        command.timeoutMs = 300000; // the carried set's 4 MB of code, a loaded machine, a long stop
        command.started = [pid](int started) {
            if (pid != nullptr) {
                *pid = started;
            }
        };
        return RunConsole(command, onLine);
    }

    fs::path Programs() const { return data.path / "Aurex Code Updater"; }
    fs::path RunFolderParent() const { return cache.path / "Aurex Code Updater"; }

    Scratch work{"work"};
    Scratch data{"data"};
    Scratch cache{"cache"};
};

std::string Field(const JsonValue& event, std::string_view key)
{
    const JsonValue* v = event.Find(key);
    return v == nullptr ? std::string() : v->text;
}

// ---- where the updater is killed ----

struct KillPoint
{
    const char* name;
    const char* status = nullptr; // killed when this status is shown ...
    int afterMs = 0;              // ... this long after it (real time)
    // Or while the updater waits for the radio's reply to this frame ("CODE#K", the K-th of its
    // code the radio has heard): the radio holds that reply back, so the kill lands exactly there.
    const char* frame = nullptr;
    int extractedFile = 0; // or once the run has made its N-th file in its run folder
};

// In the order an update of the carried set passes them. The loader is 88 data blocks, the code
// 31054, the codeplug read out 56 blocks, written 64 and read back 63.
const std::vector<KillPoint> kKillPoints = {
    {"extraction, first file", nullptr, 0, nullptr, 1},
    {"extraction, tenth file", nullptr, 0, nullptr, 10},
    {"target check", "Checking target radio..."},
    {"before the loader", "Preparing to download ..."},
    {"loader begins", "Downloading Loader code ..."},
    {"loader, block 44 of 88", nullptr, 0, "02 09#44"},
    {"erase begins", "Erasing flash (80 seconds)..."},
    {"erase wait, 3 s in", "Erasing flash (80 seconds)...", 3000},
    {"code begins", "Downloading Application code ..."},
    {"code, block 10351 of 31054", nullptr, 0, "02 09#10439"},
    {"code, block 27949 of 31054", nullptr, 0, "02 09#28037"},
    {"code finished", "Download finished."},
    {"restart after the code", "Resetting radio..."},
    {"codeplug read-out begins", "Uploading codeplug..."},
    {"codeplug read-out, block 29 of 56", nullptr, 0, "03 08#28"},
    {"conversion", "Resetting radio and converting codeplug..."},
    {"codeplug write-back begins", "Downloading codeplug..."},
    {"codeplug write-back, block 32 of 64", nullptr, 0, "03 02#32"},
    {"verification restart", "Resetting radio and verifying codeplug..."},
    {"verification read-back, about block 30 of 63", nullptr, 0, "03 08#86"},
};

// The points of this run: a sample spread over the update, or those AUREX_KILL_POINTS names
// ("all", or numbers from 1 counted in the table above).
std::vector<std::size_t> ChosenKillPoints()
{
    const char* chosen = std::getenv("AUREX_KILL_POINTS");
    std::vector<std::size_t> points;
    if (chosen == nullptr || *chosen == '\0') {
        return {7, 10, 17}; // the erase wait, late in the code download, the codeplug write-back
    }
    if (std::string(chosen) == "all") {
        for (std::size_t i = 0; i < kKillPoints.size(); ++i) {
            points.push_back(i);
        }
        return points;
    }
    std::istringstream list(chosen);
    for (std::string item; std::getline(list, item, ',');) {
        const std::size_t number = std::stoul(item);
        if (number < 1 || number > kKillPoints.size()) {
            throw std::invalid_argument("AUREX_KILL_POINTS: no point " + item);
        }
        points.push_back(number - 1);
    }
    return points;
}

// Blocks until the run folder of `pid` holds `count` files besides its lock.
void WaitForExtractedFiles(const fs::path& parent, int pid, int count)
{
    const fs::path folder = parent / ("run-" + std::to_string(pid));
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0) << folder;
    alignas(inotify_event) char events[4096];
    for (int made = 0; made < count;) {
        const ssize_t n = ::read(watch, events, sizeof events);
        ASSERT_GT(n, 0);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            made += event->len > 0 && std::string(event->name) != "lock" ? 1 : 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
}

// Sends SIGKILL once, at the point. `radioLog` reads what the radio has logged so far.
std::function<void(const std::string&, const Interrupt&)>
KillAt(const KillPoint& point, const KillBench& bench, const int& pid, std::function<std::string()> radioLog)
{
    auto done = std::make_shared<bool>(false);
    return [&point, &bench, &pid, radioLog, done](const std::string& line, const Interrupt& interrupt) {
        const JsonParse parsed = ParseJson(line);
        if (*done || !parsed.value) {
            return;
        }
        if (Field(*parsed.value, "event") != "status") {
            return;
        }
        const std::string where = Field(*parsed.value, "text");
        if (point.extractedFile > 0 && where == "Extracting embedded files...") {
            WaitForExtractedFiles(bench.RunFolderParent(), pid, point.extractedFile);
        } else if (point.status != nullptr && where == point.status) {
            std::this_thread::sleep_for(std::chrono::milliseconds(point.afterMs));
        } else if (point.frame != nullptr) {
            // Output stops while the updater waits; the radio's log says when it holds the reply.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
            while (radioLog().find("is delayed by") == std::string::npos) {
                ASSERT_LT(std::chrono::steady_clock::now(), deadline)
                    << "the radio never held " << point.frame;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        } else {
            return;
        }
        *done = true;
        interrupt(SIGKILL);
    };
}

// ---- what is left on disk ----

// The CSV rows of the history, each a map from column name to field.
std::vector<std::map<std::string, std::string>> HistoryRows(const std::string& csv)
{
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted && c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
            records.back().back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            records.back().emplace_back();
        } else if (!quoted && c == '\n') {
            records.emplace_back(1);
        } else if (quoted || c != '\r') {
            records.back().back() += c;
        }
    }
    std::vector<std::map<std::string, std::string>> rows;
    for (std::size_t r = 1; r < records.size(); ++r) { // the header first
        if (records[r].size() != kHistoryColumns.size()) {
            continue;
        }
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < kHistoryColumns.size(); ++c) {
            row[std::string(kHistoryColumns[c])] = records[r][c];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Every backup has its record, and the record's length and SHA-256 are the backup's: a backup
// cut short cannot pass for a whole one. Nothing else (no hidden half-written file) is there.
void ExpectOnlyWholeBackups(const fs::path& folder)
{
    for (const std::string& name : Entries(folder)) {
        SCOPED_TRACE(name);
        const fs::path path = folder / name;
        if (path.extension() == ".json") {
            EXPECT_TRUE(fs::exists(fs::path(path).replace_extension(".bin")));
            continue;
        }
        ASSERT_EQ(path.extension(), ".bin");
        const Bytes bytes = ReadBytes(path);
        const JsonParse record = ParseJson(ReadFile(fs::path(path).replace_extension(".json")));
        ASSERT_TRUE(record.value) << record.error;
        EXPECT_EQ(Field(*record.value, "length"), std::to_string(bytes.size()));
        EXPECT_EQ(Field(*record.value, "sha256"), Sha256Hex(bytes));
        EXPECT_THAT(CodeplugInfo(path), HasSubstr(": format 5."));
    }
}

// What a power cycle leaves of the radio the killed run was talking to: the boot code, the
// application when the whole image had gone in (the firmware then wants 5.10), and the codeplug
// the radio last accepted whole. It comes back at 19200 baud; the technician puts it into
// boot-load mode again to rerun the update. `keep` receives a codeplug the radio held.
std::vector<std::string> AfterPowerCycle(const std::vector<std::string>& dumps, const fs::path& dumpFolder,
                                         const fs::path& keep)
{
    std::vector<std::string> settings = kCarriedRadio;
    const bool code = std::any_of(dumps.begin(), dumps.end(), [](const std::string& d) {
        return d.size() > 8 && d.compare(d.size() - 8, 8, "code.bin") == 0 &&
               d.find("boot") == std::string::npos;
    });
    if (code) {
        settings.insert(settings.end(), {"--format", "5.10"});
    }
    for (const std::string& d : dumps) {
        if (d.find("-codeplug.bin") != std::string::npos) {
            fs::copy_file(dumpFolder / d, keep, fs::copy_options::overwrite_existing);
            settings.insert(settings.end(), {"--codeplug", keep.string()});
        }
    }
    return settings;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : " ") + item;
    }
    return out.empty() ? "-" : out;
}

TEST(ConsoleKillE2eTest, AKilledUpdateStaysUnfinishedAndTheRerunAfterAPowerCycleEndsDoneLeavingNothingStale)
{
    for (const std::size_t index : ChosenKillPoints()) {
        const KillPoint& point = kKillPoints[index];
        SCOPED_TRACE(std::to_string(index + 1) + ": " + point.name);
        KillBench bench;
        Scratch kept("kept");
        std::vector<std::string> restarted;
        std::vector<std::string> dumps;
        std::string where;
        int pid = -1;
        {
            std::vector<std::string> settings = kCarriedRadio;
            if (point.frame != nullptr) {
                // Long enough to be seen, far shorter than the updater's wait for a reply.
                settings.insert(settings.end(), {"--delay", std::string(point.frame) + ":1000"});
            }
            SimulatedRadio radio(settings);
            const ConsoleRun killed =
                bench.Run(radio.Device(), {"--password", "brontel", "--json"},
                          KillAt(point, bench, pid, [&radio] { return radio.Log(); }), &pid);
            ASSERT_EQ(killed.exitStatus, 128 + SIGKILL) << killed.output << killed.errors << radio.Log();
            // The human text went to standard error: the last status before the kill.
            ConsoleRun text;
            text.output = killed.errors;
            where = text.LastStatus();
            dumps = radio.StopAndListDumps();
            restarted = AfterPowerCycle(dumps, radio.DumpFolder(), kept.path / "codeplug.bin");
        }

        SimulatedRadio radio(restarted);
        const ConsoleRun rerun = bench.Run(radio.Device(), {"--password", "brontel"});
        std::cout << "[ kill point " << index + 1 << " ] " << point.name << ": killed at \"" << where
                  << "\", radio had " << Joined(dumps) << "; rerun exit " << rerun.exitStatus << ", \""
                  << rerun.LastStatus() << "\"\n";
        EXPECT_EQ(rerun.exitStatus, 0) << rerun.output << rerun.errors << radio.Log();
        EXPECT_EQ(rerun.LastStatus(), "Done.") << rerun.output;
        EXPECT_EQ(ReadBytes(radio.Dump("code")), SRecordData(ImageText(AUREX_SET_CARRIED, "CODE")));

        // Nothing of either run is left but its records: no run folder, no scratch file, no
        // database journal, no file half written.
        EXPECT_THAT(Entries(bench.RunFolderParent()), IsEmpty());
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
        EXPECT_THAT(Entries(bench.Programs()),
                    ::testing::IsSubsetOf({"codeplug-backups", "history.sqlite", "logs"}));
        ExpectOnlyWholeBackups(bench.Programs() / "codeplug-backups");
        for (const std::string& name : Entries(bench.Programs() / "logs")) {
            EXPECT_EQ(fs::path(name).extension(), ".log") << name;
        }

        // The killed run stays in the history, begun and never finished; the rerun is done.
        const ConsoleRun history = bench.Run(radio.Device(), {"--history", "--csv"});
        const auto rows = HistoryRows(history.output);
        ASSERT_EQ(rows.size(), 2U) << history.output;
        EXPECT_EQ(rows[0].at("finished_utc"), "");
        EXPECT_EQ(rows[0].at("result_code"), "-1");
        EXPECT_THAT(rows[0].at("log_file"), HasSubstr("-" + std::to_string(pid) + "-update.log"));
        // Its log stops where it was killed, without the result a finished run's log ends with.
        EXPECT_THAT(ReadFile(rows[0].at("log_file")), ::testing::Not(HasSubstr(" Result: ")));
        EXPECT_THAT(ReadFile(rows[1].at("log_file")), HasSubstr(" Result: succeeded (0): Done."));
        EXPECT_NE(rows[1].at("finished_utc"), "");
        EXPECT_EQ(rows[1].at("result_code"), "0");
        EXPECT_EQ(rows[1].at("result_text"), "Done.");
    }
}

// SIGSTOP in the middle of the code download (a suspended terminal, a debugger, a machine that
// sleeps), SIGCONT after a while: the run ends, either "Done." with the code whole in the radio
// or with a failure that says so; it never hangs.
TEST(ConsoleKillE2eTest, AStopInTheCodeDownloadEndsInDoneWithTheCodeInTheRadioOrAClearFailure)
{
    const char* seconds = std::getenv("AUREX_STOP_SECONDS");
    const int stopSeconds = seconds != nullptr && *seconds != '\0' ? std::stoi(seconds) : 3;
    KillBench bench;
    SimulatedRadio radio(kCarriedRadio);
    auto continued = std::make_shared<std::chrono::steady_clock::time_point>();
    auto stopped = std::make_shared<bool>(false);
    ConsoleRun run = bench.Run(
        radio.Device(), {"--password", "brontel", "--json"},
        [stopSeconds, continued, stopped](const std::string& line, const Interrupt& interrupt) {
            const JsonParse parsed = ParseJson(line);
            if (*stopped || !parsed.value || Field(*parsed.value, "phase") != "application" ||
                Field(*parsed.value, "total").empty() ||
                std::stod(Field(*parsed.value, "done")) < 0.3 * std::stod(Field(*parsed.value, "total"))) {
                return;
            }
            *stopped = true;
            interrupt(SIGSTOP);
            std::this_thread::sleep_for(std::chrono::seconds(stopSeconds));
            *continued = std::chrono::steady_clock::now();
            interrupt(SIGCONT);
        });
    const double afterContinue =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - *continued).count();
    ASSERT_TRUE(*stopped) << run.output << run.errors;
    EXPECT_FALSE(run.timedOut);
    ConsoleRun text;
    text.output = run.errors;
    const std::string last = text.LastStatus();
    const auto dumps = radio.StopAndListDumps();
    std::cout << "[ stopped " << stopSeconds << " s ] exit " << run.exitStatus << ", \"" << last << "\", "
              << afterContinue << " s after SIGCONT; radio had " << Joined(dumps) << "\n";
    // The result event names the outcome the exit status gives.
    EXPECT_THAT(run.output,
                HasSubstr("\"event\":\"result\",\"code\":" + std::to_string(run.exitStatus) + ","));
    if (run.exitStatus == 0) {
        EXPECT_EQ(last, "Done.") << run.errors;
        EXPECT_EQ(ReadBytes(radio.DumpFolder() / "02-code.bin"),
                  SRecordData(ImageText(AUREX_SET_CARRIED, "CODE")));
    } else {
        EXPECT_NE(last, "Done.");
        EXPECT_THAT(run.errors, ::testing::Not(HasSubstr("Status: Done.")));
        EXPECT_EQ(std::count(dumps.begin(), dumps.end(), "02-code.bin"), 0)
            << "a failure with the code whole";
    }
    EXPECT_THAT(Entries(bench.RunFolderParent()), IsEmpty());
}

} // namespace
} // namespace aurex::e2e

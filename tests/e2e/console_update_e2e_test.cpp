// The updater's console front end, the real executables, updating the simulated radio over its
// pseudo-terminal: the carried image set and small sets of every kind, the target checks, the
// boot refresh, and Ctrl-C (Stop) at each stage.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <map>
#include <sstream>

#include "e2e_support.h"
#include "text/hex.h"
#include "text/json_reader.h"
#include "updater_process.h"

namespace aurex::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const char* const kTimedOut = "Code download timed out or canceled by user.";
// What a signal during the codeplug step prints, the first time and after.
const char* const kFinishingTheStep = "Stopping after the codeplug step: the new code is in the radio, and "
                                      "stopping now would leave it a codeplug it cannot read.";
const char* const kStillFinishingTheStep =
    "Still finishing the codeplug step; the program ends when it is done.";

// One updater run: its working folder and its data folder (where codeplug backups go), both
// fresh, COM 1 pointed at the radio.
struct Bench
{
    explicit Bench(std::vector<std::string> radioSettings) : radio(std::move(radioSettings)) {}

    // `pid`, when given, holds the updater's process id while it runs.
    ConsoleRun Update(const std::string& updater, std::vector<std::string> options,
                      const std::function<void(const std::string&, const Interrupt&)>& onLine = {},
                      const std::string& input = {}, int* pid = nullptr)
    {
        ConsoleCommand command;
        command.executable = updater;
        command.args = {"--console", "--port", "1"};
        command.args.insert(command.args.end(), options.begin(), options.end());
        command.environment = {"AUREX_COM1=" + radio.Device(), "AUREX_TIME_SCALE=" + kTimeScaleText,
                               "XDG_DATA_HOME=" + data.path.string(),
                               "XDG_CACHE_HOME=" + cache.path.string()};
        command.environment.insert(command.environment.end(), extraEnvironment.begin(),
                                   extraEnvironment.end());
        command.workingDirectory = work.path.string();
        command.input = input;
        command.separateErrors = separateErrors;
        command.outputFile = outputFile;
        command.started = [pid](int started) {
            if (pid != nullptr) {
                *pid = started;
            }
        };
        return RunConsole(command, onLine);
    }

    std::vector<fs::path> Backups() const { return BackupsBelow(data.path); }

    // The runs' private folders for the extracted images, the program's own part of the cache.
    std::vector<std::string> RunFolders() const { return Entries(cache.path / "Aurex Code Updater"); }

    SimulatedRadio radio;
    Scratch work{"work"};
    Scratch data{"data"};
    Scratch cache{"cache"};
    std::vector<std::string> extraEnvironment;
    bool separateErrors = false; // standard error into ConsoleRun::errors
    std::string outputFile;      // standard output into this file instead
};

// Presses Ctrl-C (or sends another signal) once, when the updater shows `status`.
std::function<void(const std::string&, const Interrupt&)> StopAt(const std::string& status,
                                                                 int signal = SIGINT)
{
    auto done = std::make_shared<bool>(false);
    return [status, done, signal](const std::string& line, const Interrupt& interrupt) {
        if (!*done && line == "Status: " + status) {
            *done = true;
            interrupt(signal);
        }
    };
}

bool Contains(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string Box(const std::string& caption, const std::string& icon, const std::string& text)
{
    return "== " + caption + " (" + icon + ") ==\n" + text + "\n";
}

std::string SeriesBox(const std::string& wanted)
{
    return Box("Aurex Code Updater", "Error",
               "This version of Aurex Code Updater does not match the radio series.\nRadio requires a " +
                   wanted + " version of Aurex Code Updater.");
}

// ---- the carried image set: the boot path of series 4 ----

TEST(ConsoleUpdateE2eTest, CarriedSetWithCurrentBootCodeLoadsTheApplicationAndConvertsTheCodeplug)
{
    Bench bench({"--boot-version", "4.0", "--format-after-update", "5.10"});
    const ConsoleRun run = bench.Update(AUREX_UPDATER_CARRIED, {"--password", "brontel"});
    ASSERT_EQ(run.exitStatus, 0) << run.output << bench.radio.Log();
    EXPECT_THAT(run.output, HasSubstr("Name: AurexCodeUpdater_8600_Series_4_Release_3_0_9\n"));
    std::vector<std::string> statuses = kCarriedSetStatuses;
    std::erase(statuses, "Idle"); // between two steps the console shows the step instead
    EXPECT_THAT(run.Statuses(), ElementsAreArray(statuses));
    // The code's bar ends full beside the whole run's time, and the steps and the disconnect line
    // go as the window's.
    EXPECT_THAT(run.output,
                ::testing::ContainsRegex("\\] 100%  [0-9]+:[0-9]{2} elapsed, about [0-9]+:[0-9]{2} "
                                         "left\nStatus: Download finished\\.\nStep 5 of 10"));
    // So does the erase's, rather than showing the code's bar begun at 0% under it.
    EXPECT_THAT(run.output, ::testing::ContainsRegex(
                                "\\] 100%  [^\n]*\nStatus: Downloading Application code \\.\\.\\.\n"));
    EXPECT_THAT(run.output, HasSubstr("Status: Resetting radio...\nStep 6 of 10: radio restart\n"));
    EXPECT_THAT(run.output, HasSubstr("Step 1 of 10: preparing the images\nDo not disconnect the radio.\n"));
    EXPECT_THAT(run.output, HasSubstr("Status: Done.\nThe radio may be disconnected.\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("== "))); // no message box
    EXPECT_EQ(run.LastProgressPercent(), 100);

    // The radio holds exactly the carried images and a 5.10 codeplug.
    EXPECT_EQ(ReadBytes(bench.radio.Dump("loader")), SRecordData(ImageText(AUREX_SET_CARRIED, "LOADER")));
    EXPECT_EQ(ReadBytes(bench.radio.Dump("code")), SRecordData(ImageText(AUREX_SET_CARRIED, "CODE")));
    EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
    EXPECT_THAT(bench.radio.StopAndListDumps(),
                ElementsAre("01-loader.bin", "02-code.bin", "03-codeplug.bin"));

    // The codeplug as it was read out is kept; no merged image is left behind.
    const auto backups = bench.Backups();
    ASSERT_EQ(backups.size(), 1U);
    EXPECT_THAT(CodeplugInfo(backups[0]), HasSubstr("format 5.8"));
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

// ---- the boot path on a small set (8600, series 6) ----

// Nobody is at the terminal to press OK once the radio is back: the console waits until the
// radio answers in boot-load mode again, whether it restarts at once or takes its time.
TEST(ConsoleUpdateE2eTest, OutdatedBootCodeIsRefreshedThenTheApplicationFollowsOnceTheRadioIsBack)
{
    for (const char* restartMs : {"0", "5000"}) {
        SCOPED_TRACE(restartMs);
        Bench bench({"--boot-version", "6.2", "--boot-updates", "1", "--restart-ms", restartMs});
        const ConsoleRun run = bench.Update(AUREX_UPDATER_BOOT_PATH, {"--password", "brontel"});
        ASSERT_EQ(run.exitStatus, 0) << run.output << bench.radio.Log();
        EXPECT_THAT(run.output,
                    HasSubstr(Box("Aurex Code Updater", "Information",
                                  "Aurex Code Updater has detected that the connected radio did not\n"
                                  "have the latest bootload code version.  This has been automatically\n"
                                  "updated.  Please place the radio back into bootload mode to continue\n"
                                  "with the application code upgrade.\n\n"
                                  "Press OK once the radio is ready.")));
        const auto statuses = run.Statuses();
        const auto box = std::find(statuses.begin(), statuses.end(), "Downloading Boot code ...");
        ASSERT_NE(box, statuses.end()) << run.output;
        EXPECT_THAT(std::vector<std::string>(box, statuses.end()),
                    ElementsAre("Downloading Boot code ...", "Download finished.",
                                "Waiting for the radio to answer in boot-load mode...",
                                "Extracting embedded files...", "Checking target radio...",
                                "Preparing to download ...", "Downloading Loader code ...",
                                "Erasing flash (2 seconds)...", "Downloading Application code ...",
                                "Download finished.", "Resetting radio...", "Uploading codeplug...",
                                "Resetting radio and converting codeplug...", "Downloading codeplug...",
                                "Resetting radio and verifying codeplug...", "Reading codeplug back...",
                                "Codeplug verified: the radio holds the codeplug written.", "Done."));
        EXPECT_EQ(ReadBytes(bench.radio.Dump("boot-code")),
                  SRecordData(ImageText(AUREX_SET_BOOT_PATH, "CODE", "_BOOT")));
        EXPECT_EQ(ReadBytes(bench.radio.Dump("code")), SRecordData(ImageText(AUREX_SET_BOOT_PATH, "CODE")));
        EXPECT_THAT(bench.radio.StopAndListDumps(),
                    ElementsAre("01-loader.bin", "02-boot-code.bin", "03-loader.bin", "04-code.bin",
                                "05-codeplug.bin"));
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    }
}

// Older boot code than the radio's goes in only when asked for; else the application code follows.
TEST(ConsoleUpdateE2eTest, NewerBootCodeInTheRadioIsReplacedOnlyWithAllowBootDowngrade)
{
    struct Case
    {
        std::vector<std::string> options;
        int exitStatus;
        const char* says;
        std::vector<std::string> dumps;
    };
    for (const Case& c :
         {Case{{},
               0,
               "The radio keeps its boot code 6.5, newer than this updater's 6.3.",
               {"01-loader.bin", "02-code.bin", "03-codeplug.bin"}},
          Case{{"--allow-boot-downgrade"},
               0,
               "The radio's boot code 6.5 has been replaced by this updater's 6.3.",
               {"01-loader.bin", "02-boot-code.bin", "03-loader.bin", "04-code.bin", "05-codeplug.bin"}}}) {
        SCOPED_TRACE(c.exitStatus);
        Bench bench(
            {"--boot-version", "6.5", "--boot-updates", c.options.empty() ? "0" : "1", "--restart-ms", "0"});
        std::vector<std::string> options = {"--password", "brontel"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        const ConsoleRun run = bench.Update(AUREX_UPDATER_BOOT_PATH, options);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.output;
        EXPECT_THAT(run.output, HasSubstr(c.says));
        EXPECT_EQ(c.options.empty(), run.output.find("Give --allow-boot-downgrade") != std::string::npos);
        EXPECT_EQ(bench.radio.StopAndListDumps(), c.dumps);
    }
}

TEST(ConsoleUpdateE2eTest, AFailedBootDownloadEndsTheRunWithoutTheBox)
{
    Bench bench({"--boot-version", "6.2", "--boot-updates", "1", "--verify-fail", "3"});
    const ConsoleRun run = bench.Update(AUREX_UPDATER_BOOT_PATH, {"--password", "brontel"});
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_THAT(run.output, Not(HasSubstr("== ")));
    EXPECT_TRUE(Contains(run.Statuses(), "Downloading Boot code ...")) << run.output;
    // The download's own failure text stays.
    EXPECT_NE(run.LastStatus(), "Idle");
    EXPECT_FALSE(Contains(run.Statuses(), "Downloading Application code ..."));
    EXPECT_FALSE(Contains(run.Statuses(), "Resetting radio..."));
    const auto dumps = bench.radio.StopAndListDumps();
    EXPECT_FALSE(Contains(dumps, "02-boot-code.bin"));
    EXPECT_FALSE(Contains(dumps, "03-loader.bin"));
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

TEST(ConsoleUpdateE2eTest, BootPathStopsAtABootCodeOfAnotherMajorOrNoAnswer)
{
    {
        Bench bench({"--boot-version", "4.0"});
        const ConsoleRun run = bench.Update(AUREX_UPDATER_BOOT_PATH, {"--password", "brontel"});
        EXPECT_NE(run.exitStatus, 0);
        EXPECT_THAT(run.Statuses(),
                    ElementsAre("Extracting embedded files...",
                                "Error: the major boot versions of the radio and file are different."));
        EXPECT_THAT(bench.radio.StopAndListDumps(), IsEmpty());
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    }
    {
        Bench bench({"--silent-at", "04 2D"});
        const ConsoleRun run = bench.Update(AUREX_UPDATER_BOOT_PATH, {"--password", "brontel"});
        EXPECT_NE(run.exitStatus, 0);
        EXPECT_THAT(run.Statuses(),
                    ElementsAre("Extracting embedded files...",
                                "Communication error while trying to retrieve boot version."));
        EXPECT_THAT(bench.radio.StopAndListDumps(), IsEmpty());
    }
}

// ---- image sets of each upgrade type ----

TEST(ConsoleUpdateE2eTest, ApplicationSetLoadsTheCodeAndConvertsTheCodeplug)
{
    Bench bench({"--boot-version", "6.0"});
    const ConsoleRun run = bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"});
    ASSERT_EQ(run.exitStatus, 0) << run.output << bench.radio.Log();
    EXPECT_EQ(run.LastStatus(), "Done.");
    EXPECT_EQ(ReadBytes(bench.radio.Dump("code")), SRecordData(ImageText(AUREX_SET_APPLICATION, "CODE")));
    EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    // The run ends by naming the backup the codeplug step saved.
    const auto backups = bench.Backups();
    ASSERT_EQ(backups.size(), 1U);
    EXPECT_THAT(run.output, HasSubstr("\nCodeplug backup: " + backups[0].string() + "\n"));
}

TEST(ConsoleUpdateE2eTest, BootSetNeedsItsOwnPasswordAndLoadsTheBootCodeWithoutCodeplugStep)
{
    Bench bench({"--boot-version", "4.0", "--boot-updates", "1"});
    const ConsoleRun refused = bench.Update(AUREX_UPDATER_BOOT_SET, {"--password", "brontel"});
    EXPECT_NE(refused.exitStatus, 0);
    // Refused before anything runs: the status line says so and nothing else happens.
    EXPECT_THAT(refused.Statuses(), ElementsAre("The password was not accepted."));

    const ConsoleRun run = bench.Update(AUREX_UPDATER_BOOT_SET, {"--password", " marvoski "});
    EXPECT_EQ(run.exitStatus, 0) << run.output << bench.radio.Log();
    EXPECT_EQ(run.LastStatus(), "Download finished.");
    EXPECT_FALSE(Contains(run.Statuses(), "Resetting radio..."));
    // A "Boot" set keeps its boot code under the names without a suffix.
    EXPECT_EQ(ReadBytes(bench.radio.Dump("boot-code")), SRecordData(ImageText(AUREX_SET_BOOT_SET, "CODE")));
    EXPECT_THAT(bench.radio.StopAndListDumps(), ElementsAre("01-loader.bin", "02-boot-code.bin"));
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

TEST(ConsoleUpdateE2eTest, ApplicationBootSetOfSeriesFiveTakesEachChoiceWithItsPassword)
{
    // Runs follow one another at once: the radio is back from each restart at once, too.
    Bench bench({"--boot-updates", "1", "--restart-ms", "0"});
    // Boot: "marvoski" only; the boot code goes in and no codeplug step follows.
    EXPECT_NE(bench.Update(AUREX_UPDATER_CHOICE, {"--boot", "--password", "brontel"}).exitStatus, 0);
    const ConsoleRun boot = bench.Update(AUREX_UPDATER_CHOICE, {"--boot", "--password", "marvoski"});
    EXPECT_EQ(boot.exitStatus, 0) << boot.output << bench.radio.Log();
    EXPECT_EQ(boot.LastStatus(), "Download finished.");
    EXPECT_FALSE(Contains(boot.Statuses(), "Resetting radio..."));
    EXPECT_EQ(ReadBytes(bench.radio.Dump("boot-code")),
              SRecordData(ImageText(AUREX_SET_CHOICE, "CODE", "_BOOT")));

    // Application: "brontel" only; the application and then the codeplug step.
    EXPECT_NE(bench.Update(AUREX_UPDATER_CHOICE, {"--password", "marvoski"}).exitStatus, 0);
    const ConsoleRun application = bench.Update(AUREX_UPDATER_CHOICE, {"--password", "brontel"});
    EXPECT_EQ(application.exitStatus, 0) << application.output << bench.radio.Log();
    EXPECT_EQ(application.LastStatus(), "Done.");
    EXPECT_EQ(ReadBytes(bench.radio.Dump("code")), SRecordData(ImageText(AUREX_SET_CHOICE, "CODE")));
    EXPECT_THAT(
        bench.radio.StopAndListDumps(),
        ElementsAre("01-loader.bin", "02-boot-code.bin", "03-loader.bin", "04-code.bin", "05-codeplug.bin"));
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

TEST(ConsoleUpdateE2eTest, DspSetLoadsItsPagesAndTheCodeplugStepFollows)
{
    Bench bench({"--boot-version", "4.0", "--erase-ms", "0"});
    const auto before = Entries(fs::path(AUREX_UPDATER_DSP).parent_path());
    const ConsoleRun run = bench.Update(AUREX_UPDATER_DSP, {"--password", "brontel"});
    EXPECT_EQ(run.exitStatus, 0) << run.output << bench.radio.Log();
    const auto statuses = run.Statuses();
    EXPECT_TRUE(Contains(statuses, "Download finished")) << run.output;
    EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(),
                            [](const std::string& s) { return s.rfind("Downloading page 1 of ", 0) == 0; }));
    EXPECT_EQ(run.LastStatus(), "Done.");
    const auto dumps = bench.radio.StopAndListDumps();
    EXPECT_TRUE(std::any_of(dumps.begin(), dumps.end(),
                            [](const std::string& d) { return d.find("-dsp-page-") != std::string::npos; }));
    // The codeplug was read out; the radio's new DSP asks for the same format, so nothing is
    // written back.
    EXPECT_TRUE(Contains(statuses, "Uploading codeplug...")) << run.output;
    EXPECT_FALSE(std::any_of(dumps.begin(), dumps.end(),
                             [](const std::string& d) { return d.find("codeplug") != std::string::npos; }));
    // The page files beside the program are gone again, as are the merged images.
    EXPECT_EQ(Entries(fs::path(AUREX_UPDATER_DSP).parent_path()), before);
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

// ---- the outcome of the codeplug step ----

struct OutcomeCase
{
    std::vector<std::string> radio; // besides boot version 6.0
    const char* status;
    bool infoBox;
    bool writtenBack;
    int exitStatus;
};

TEST(ConsoleUpdateE2eTest, EachOutcomeOfTheCodeplugStepHasItsText)
{
    const char* const noConversion = "Aurex Code updaters do not support a file format conversion for your\n"
                                     "radio.  To clear the Bad File Format error, please perform a parms\n"
                                     "upload and then download using Tessaro 1.30.x.  If you do not\n"
                                     "have Tessaro 1.30.x, then contact your local dealer for assistance.";
    for (const OutcomeCase& c :
         {OutcomeCase{{"--format-after-update", "5.8"}, "Done.", false, false, 0},
          // "Done.", but a script must not count a radio left with a bad file format as updated.
          OutcomeCase{{"--format-after-update", "5.7"}, "Done.", true, false, 12},
          OutcomeCase{{"--unanswered", "04 1C"}, "The radio is no longer responding.", false, false, 6},
          OutcomeCase{
              {"--silent-at", "03 07"}, "An error occurred while uploading the codeplug.", false, false, 8},
          OutcomeCase{{"--silent-at", "03 00"},
                      "An error occurred while downloading the codeplug.",
                      false,
                      false,
                      9}}) {
        SCOPED_TRACE(c.radio[0] + " " + c.radio[1]);
        std::vector<std::string> settings = {"--boot-version", "6.0"};
        settings.insert(settings.end(), c.radio.begin(), c.radio.end());
        Bench bench(settings);
        const ConsoleRun run = bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"});
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.output;
        EXPECT_EQ(run.LastStatus(), c.status) << run.output << bench.radio.Log();
        EXPECT_EQ(run.output.find(Box("Aurex Code Updater", "Information", noConversion)) !=
                      std::string::npos,
                  c.infoBox);
        const auto dumps = bench.radio.StopAndListDumps();
        EXPECT_TRUE(Contains(dumps, "02-code.bin"));
        EXPECT_EQ(Contains(dumps, "03-codeplug.bin"), c.writtenBack);
    }
}

// A radio that never hears the end of the codeplug write keeps its old codeplug; the read-back
// finds that out, and the run does not end with "Done.". Without the read-back it would.
TEST(ConsoleUpdateE2eTest, AWriteTheRadioDidNotKeepIsFoundByTheReadBack)
{
    for (const bool verify : {true, false}) {
        SCOPED_TRACE(verify ? "verified" : "--no-verify");
        Bench bench({"--boot-version", "6.0", "--unanswered", "03 04#2"});
        std::vector<std::string> options = {"--password", "brontel"};
        if (!verify) {
            options.push_back("--no-verify");
        }
        const ConsoleRun run = bench.Update(AUREX_UPDATER_APPLICATION, options);
        EXPECT_EQ(run.exitStatus, verify ? 10 : 0) << run.output << bench.radio.Log();
        if (verify) {
            EXPECT_THAT(run.LastStatus(), HasSubstr("differs from the one written"));
            EXPECT_THAT(run.LastStatus(), HasSubstr(bench.Backups().at(0).string()));
        } else {
            EXPECT_EQ(run.LastStatus(), "Done.");
            EXPECT_FALSE(Contains(run.Statuses(), "Reading codeplug back..."));
        }
    }
}

// --backup and --restore on a radio started normally; another radio's backup needs --other-radio.
TEST(ConsoleUpdateE2eTest, BackupAndRestoreInTheConsole)
{
    Bench bench({"--mode", "application"});
    const ConsoleRun backup = bench.Update(AUREX_UPDATER_APPLICATION, {"--backup"});
    ASSERT_EQ(backup.exitStatus, 0) << backup.output << bench.radio.Log();
    ASSERT_EQ(bench.Backups().size(), 1U);
    const std::string file = bench.Backups()[0].string();
    EXPECT_EQ(backup.LastStatus(), "Codeplug backed up to " + file + ".");
    EXPECT_THAT(bench.radio.StopAndListDumps(), IsEmpty()); // nothing written to the radio

    Bench other({"--mode", "application", "--format", "5.10", "--serial", "11 22 33 44 55 66 77 88"});
    const ConsoleRun unasked = other.Update(AUREX_UPDATER_APPLICATION, {"--restore", file, "--other-radio"});
    EXPECT_EQ(unasked.exitStatus, 2) << unasked.output;
    EXPECT_THAT(unasked.output, HasSubstr("give --yes"));
    EXPECT_THAT(unasked.Statuses(), IsEmpty()); // no terminal to ask at, no --yes: nothing began

    const ConsoleRun refused = other.Update(AUREX_UPDATER_APPLICATION, {"--restore", file, "--yes"});
    EXPECT_EQ(refused.exitStatus, 1) << refused.output;
    EXPECT_THAT(refused.output, HasSubstr("Give --other-radio to write it all the same."));
    EXPECT_THAT(other.Backups(), IsEmpty());

    const ConsoleRun restored =
        other.Update(AUREX_UPDATER_APPLICATION, {"--restore", file, "--other-radio", "--yes"});
    EXPECT_EQ(restored.exitStatus, 0) << restored.output << other.radio.Log();
    EXPECT_THAT(restored.output, HasSubstr("Write this codeplug backup into the radio 1122334455667788?"));
    EXPECT_EQ(restored.LastStatus(), "Codeplug restored and verified.");
    EXPECT_EQ(other.Backups().size(), 1U); // what that radio held before
    EXPECT_THAT(CodeplugInfo(other.radio.Dump("codeplug")), HasSubstr("format 5.10"));

    EXPECT_EQ(other.Update(AUREX_UPDATER_APPLICATION, {"--restore", file + ".missing", "--yes"}).exitStatus,
              1);
}

// Each outcome a script must tell apart has its own exit status; the history keeps the same
// number. (Done 0, a failed code download 7, the codeplug step's ends 6, 8, 9, 10 and 12 are
// shown with their runs above and below.)
TEST(ConsoleUpdateE2eTest, ExitCodesTellTheOutcomesApart)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> radio;
        std::vector<std::string> options;
        int exitStatus;
        const char* says;
        const char* updater = AUREX_UPDATER_APPLICATION;
        const char* historySays = nullptr; // the history row's result text, when the run has one
    };
    const std::vector<std::string> fits = {"--boot-version", "6.0"};
    for (const Case& c : {
             Case{"wrong usage", fits, {"--csv"}, 2, "--csv goes with --history only"},
             Case{"the port cannot be opened",
                  fits,
                  {"--password", "brontel", "--port", "64"},
                  4,
                  "Selected COM port is in use or not available.",
                  AUREX_UPDATER_APPLICATION,
                  "The selected COM port is in use or not available."},
             Case{"a radio of another series",
                  {"--boot-version", "5.0"},
                  {"--password", "brontel"},
                  5,
                  "does not match the radio series",
                  AUREX_UPDATER_APPLICATION,
                  "does not match the radio series"},
             Case{"a silent radio",
                  {"--interface", "direct", "--silent-at", "04 2D"},
                  {"--password", "brontel"},
                  6,
                  "Communication error while trying to check target radio.",
                  AUREX_UPDATER_PORTABLE},
             Case{"a wrong update password",
                  fits,
                  {"--password", "guess"},
                  11,
                  "The password was not accepted."},
             Case{"a radio password nobody gives",
                  {"--boot-version", "6.0", "--password", "2468"},
                  {"--password", "brontel"},
                  8,
                  "(no answer: give --radio-password)"},
             Case{"a radio password the radio refuses",
                  {"--boot-version", "6.0", "--password", "2468"},
                  {"--password", "brontel", "--radio-password", "1357"},
                  13,
                  "The radio refused its codeplug password. The new code is in,",
                  AUREX_UPDATER_APPLICATION,
                  "The radio refused its codeplug password."},
             Case{"a radio password the radio refuses at a backup",
                  {"--mode", "application", "--password", "4711"},
                  {"--backup", "--radio-password", "1234", "--json"},
                  13,
                  "{\"event\":\"result\",\"code\":13,\"name\":\"radio password refused\",\"status\":\"The "
                  "radio "
                  "refused its codeplug password. Nothing was saved.\""},
             Case{"a radio password that is not digits",
                  fits,
                  {"--radio-password", "4321abc"},
                  2,
                  "1 to 8 digits"},
         }) {
        SCOPED_TRACE(c.what);
        Bench bench(c.radio);
        const ConsoleRun run = bench.Update(c.updater, c.options);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.output;
        EXPECT_THAT(run.output, HasSubstr(c.says));
        if (c.historySays != nullptr) {
            // The history keeps why, not a status line left at "Idle".
            const ConsoleRun history = bench.Update(c.updater, {"--history", "--csv"});
            EXPECT_THAT(history.output, HasSubstr("," + std::to_string(c.exitStatus) + ","))
                << history.output;
            EXPECT_THAT(history.output, HasSubstr(c.historySays)) << history.output;
        }
    }

    // Stop, and the radio's password given on its own: the update password opens the program only.
    Bench stopped({"--boot-version", "6.0", "--pace", "on"});
    EXPECT_EQ(stopped
                  .Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"},
                          StopAt("Downloading Application code ..."))
                  .exitStatus,
              3);
    Bench guarded({"--boot-version", "6.0", "--password", "2468"});
    const ConsoleRun run =
        guarded.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel", "--radio-password", "2468"});
    EXPECT_EQ(run.exitStatus, 0) << run.output << guarded.radio.Log();
    const ConsoleRun history = guarded.Update(AUREX_UPDATER_APPLICATION, {"--history"});
    EXPECT_THAT(history.output, ::testing::ContainsRegex("update +0 +Done\\."));
}

// A radio running its normal code ignores the loader's start: exit 14, nothing written, the
// radio back at 19200 for the next Start. One an interrupted run left at 115200 is set back and
// updated.
TEST(ConsoleUpdateE2eTest, ARadioNotInBootLoadModeOrLeftAt115200IsToldApartAndSetBackTo19200)
{
    for (const bool left : {false, true}) {
        SCOPED_TRACE(left);
        Bench bench(
            {left ? "--start-baud" : "--mode", left ? "115200" : "application", "--boot-version", "6.0"});
        for (int start = 0; start < (left ? 1 : 2); ++start) {
            const ConsoleRun run =
                bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel", "--json"});
            const std::string log = bench.radio.Log();
            EXPECT_EQ(run.exitStatus, left ? 0 : 14) << run.output << log;
            EXPECT_THAT(run.output, HasSubstr(left ? "where an interrupted run left it: set back to 19200."
                                                   : "\"code\":14,\"name\":\"radio not in boot-load mode\","
                                                     "\"status\":\"The radio answered but did not start"));
            EXPECT_EQ(log.substr(log.rfind("line speed ")).substr(0, 21), "line speed 19200 baud");
        }
        if (!left) {
            EXPECT_THAT(bench.radio.StopAndListDumps(), IsEmpty());
        }
    }
}

// ---- what every run leaves: log, line trace, history, support bundle ----

// The frame lines of a trace: a time stamp, then '>' sent, '<' heard or '!' a time-out.
std::vector<std::string> FrameLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t mark = line.find_first_not_of(" 0123456789.");
        if (mark != std::string::npos && mark > 0 && line.find_first_not_of(' ') < mark &&
            (line[mark] == '>' || line[mark] == '<' || line[mark] == '!')) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The names in a .tar.gz, as tar lists them (`how` "-xzOf": the contents, one after the other).
ConsoleRun ListArchive(const fs::path& archive, const std::string& how = "-tzf")
{
    ConsoleCommand command;
    command.executable = "/bin/tar";
    command.args = {how, archive.string()};
    return RunConsole(command);
}

TEST(ConsoleUpdateE2eTest, EveryRunLeavesItsLogTraceAndHistoryRow)
{
    Bench bench({"--boot-version", "6.0"});
    const fs::path trace = bench.work.path / "line.trace";
    const ConsoleRun run =
        bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel", "--trace", trace.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.output << bench.radio.Log();
    const fs::path logs = bench.data.path / "Aurex Code Updater" / "logs";
    const std::vector<std::string> names = Entries(logs);
    ASSERT_EQ(names.size(), 1U) << run.output;
    EXPECT_THAT(names[0], ::testing::MatchesRegex("run-[0-9]{8}T[0-9]{9}Z-[0-9]+-update\\.log"));
    const std::string log = ReadFile(logs / names[0]);
    for (const std::string& status : run.Statuses()) {
        EXPECT_THAT(log, HasSubstr("Status: " + status + "\n"));
    }
    ASSERT_EQ(bench.Backups().size(), 1U);
    for (const char* text :
         {"Program: ", "Build: ", "Image set: ", "Host: ", "Port: COM 1 (", "Radio version: boot 6.0",
          "Radio identity: ", "Radio version: codeplug format 5.8", "After the update: codeplug format 5.10",
          "Verification: verified", "Phases:", "Frames sent ", "Result: succeeded (0): Done."}) {
        EXPECT_THAT(log, HasSubstr(text));
    }
    EXPECT_THAT(log, HasSubstr("Codeplug backup: " + bench.Backups()[0].string() + "\n"));
    EXPECT_THAT(log, Not(HasSubstr("frames on the line"))); // a run that succeeded keeps them out
    EXPECT_THAT(log, HasSubstr("; resends 0, time-outs 0, checksum mismatches 0, frames dropped 0\n"));

    // The whole trace: every message both ways, by name.
    const std::string traced = ReadFile(trace);
    const std::vector<std::string> frames = FrameLines(traced);
    EXPECT_GT(frames.size(), 100U);
    EXPECT_THAT(traced, HasSubstr("> 04 2D BootVersion"));
    EXPECT_THAT(traced, HasSubstr("< 04 2E BootVersionReply 06 00"));
    EXPECT_THAT(traced, HasSubstr("> 02 09 DataBlock"));

    // The history has the run, finished, with what it read and where the backup went.
    const ConsoleRun history = bench.Update(AUREX_UPDATER_APPLICATION, {"--history", "--csv"});
    ASSERT_EQ(history.exitStatus, 0) << history.output;
    EXPECT_THAT(history.output, HasSubstr(",update,COM 1 ("));
    EXPECT_THAT(history.output, HasSubstr(",\"boot 6.0, codeplug format 5.8\",codeplug format 5.10,"));
    EXPECT_THAT(history.output, HasSubstr(bench.Backups()[0].string()));
    EXPECT_THAT(history.output, HasSubstr(",0,Done.,"));
    EXPECT_THAT(history.output, HasSubstr(",verified,"));
}

TEST(ConsoleUpdateE2eTest, AFailedRunsLogHoldsTheFramesBeforeTheCut)
{
    Bench bench({"--boot-version", "6.0", "--drop-after", "60"});
    const fs::path trace = bench.work.path / "line.trace";
    const ConsoleRun run =
        bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel", "--trace", trace.string()});
    ASSERT_EQ(run.exitStatus, 7) << run.output; // the code download failed
    const fs::path logs = bench.data.path / "Aurex Code Updater" / "logs";
    ASSERT_EQ(Entries(logs).size(), 1U);
    const std::string log = ReadFile(logs / Entries(logs)[0]);
    EXPECT_THAT(log, HasSubstr("Result: code download failed (7): " + run.LastStatus() + "\n"));
    EXPECT_THAT(log, HasSubstr("frames on the line:"));
    // The log's frames are the trace's last ones, up to the cut: the same lines in the same order.
    const std::vector<std::string> inLog = FrameLines(log);
    const std::vector<std::string> inTrace = FrameLines(ReadFile(trace));
    ASSERT_FALSE(inLog.empty());
    ASSERT_GE(inTrace.size(), inLog.size());
    EXPECT_TRUE(std::equal(inLog.begin(), inLog.end(), inTrace.end() - static_cast<long>(inLog.size())));
    // 60 frames went through before the radio fell silent; the waits after them timed out.
    EXPECT_GE(std::count_if(inLog.begin(), inLog.end(),
                            [](const std::string& l) { return l.find(" < ") != std::string::npos; }),
              50);

    const ConsoleRun table = bench.Update(AUREX_UPDATER_APPLICATION, {"--history"});
    EXPECT_THAT(table.output, ::testing::ContainsRegex("update +7 +Code download timed out"));
}

TEST(ConsoleUpdateE2eTest, TheRadioPasswordNeverReachesTheTraceAndTheBundleHoldsTheRecords)
{
    Bench bench({"--mode", "application", "--password", "4711"});
    const fs::path trace = bench.work.path / "line.trace";
    const ConsoleRun backup = bench.Update(
        AUREX_UPDATER_APPLICATION, {"--backup", "--radio-password", "4711", "--trace", trace.string()});
    ASSERT_EQ(backup.exitStatus, 0) << backup.output << bench.radio.Log();
    const std::string traced = ReadFile(trace);
    EXPECT_THAT(traced, HasSubstr("03 0C"));
    EXPECT_THAT(traced, HasSubstr("** ** ** **"));
    EXPECT_THAT(traced, Not(HasSubstr("47 11")));
    const fs::path logs = bench.data.path / "Aurex Code Updater" / "logs";
    ASSERT_EQ(Entries(logs).size(), 1U);
    EXPECT_THAT(ReadFile(logs / Entries(logs)[0]), Not(HasSubstr("4711")));

    const fs::path bundle = bench.work.path / "support.tar.gz";
    const ConsoleRun saved = bench.Update(AUREX_UPDATER_APPLICATION, {"--support-bundle", bundle.string()});
    ASSERT_EQ(saved.exitStatus, 0) << saved.output;
    const ConsoleRun listed = ListArchive(bundle);
    ASSERT_EQ(listed.exitStatus, 0) << listed.output;
    EXPECT_THAT(listed.output, HasSubstr("aurex-support/about.txt\n"));
    EXPECT_THAT(listed.output, HasSubstr("aurex-support/connection-check.txt\n"));
    EXPECT_THAT(listed.output, HasSubstr("aurex-support/history.csv\n"));
    EXPECT_THAT(listed.output, HasSubstr("aurex-support/logs/" + Entries(logs)[0] + "\n"));
    EXPECT_THAT(listed.output, Not(HasSubstr("codeplug-backups/")));

    const ConsoleRun withCodeplugs = bench.Update(
        AUREX_UPDATER_APPLICATION, {"--support-bundle", bundle.string(), "--with-codeplugs", "--force"});
    ASSERT_EQ(withCodeplugs.exitStatus, 0) << withCodeplugs.output;
    const ConsoleRun listedAgain = ListArchive(bundle);
    EXPECT_THAT(listedAgain.output,
                HasSubstr("aurex-support/codeplug-backups/" + bench.Backups()[0].filename().string() + "\n"));
}

// A bundle without --with-codeplugs holds none of the codeplug's bytes: neither the blocks in a
// failed restore's log nor a trace asked for with them.
TEST(ConsoleUpdateE2eTest, NoCodeplugByteGoesIntoABundleWithoutWithCodeplugs)
{
    Bench bench({"--mode", "application", "--silent-at", "03 00"});
    const fs::path clear = bench.data.path / "Aurex Code Updater" / "logs" / "run-clear.trace";
    const ConsoleRun backup = bench.Update(AUREX_UPDATER_APPLICATION,
                                           {"--backup", "--trace", clear.string(), "--trace-codeplug-data"});
    ASSERT_EQ(backup.exitStatus, 0) << backup.output << bench.radio.Log();
    ASSERT_EQ(bench.Backups().size(), 1U);
    const Bytes codeplug = ReadBytes(bench.Backups()[0]);
    std::vector<std::string> blocks; // each block's first bytes as a trace line shows them
    for (std::size_t at = 0; at + 16 <= codeplug.size(); at += 128) {
        blocks.push_back(EncodeHex(std::span(codeplug).subspan(at, 16), ' '));
    }
    EXPECT_THAT(ReadFile(clear), HasSubstr(blocks.back()));
    EXPECT_NE(bench.Update(AUREX_UPDATER_APPLICATION, {"--restore", bench.Backups()[0].string(), "--yes"})
                  .exitStatus,
              0);

    const fs::path bundle = bench.work.path / "support.tar.gz";
    std::ofstream(bundle) << "kept"; // until --force lets it go
    EXPECT_EQ(bench.Update(AUREX_UPDATER_APPLICATION, {"--support-bundle", bundle.string()}).exitStatus, 1);
    EXPECT_EQ(ReadFile(bundle), "kept");
    for (const bool withCodeplugs : {false, true}) {
        std::vector<std::string> options{"--support-bundle", bundle.string(), "--force", "--with-codeplugs"};
        options.resize(withCodeplugs ? 4 : 3);
        ASSERT_EQ(bench.Update(AUREX_UPDATER_APPLICATION, options).exitStatus, 0);
        const std::string contents = ListArchive(bundle, "-xzOf").output;
        EXPECT_THAT(contents, HasSubstr("frames on the line:")); // the failed restore's log
        for (const std::string& block : blocks) {
            EXPECT_EQ(contents.find(block) != std::string::npos, withCodeplugs) << block;
        }
    }
}

// ---- the target check ----

TEST(ConsoleUpdateE2eTest, ARadioOfAnotherSeriesGetsTheMismatchBoxAndNothingIsWritten)
{
    for (const std::string version : {"4.0", "7.0"}) {
        SCOPED_TRACE(version);
        // An 8600 of series 6 build: boot major 4 is a series 4 radio; major 7 derives another
        // platform for the 8600 family.
        Bench bench({"--boot-version", version});
        const ConsoleRun run = bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"});
        EXPECT_NE(run.exitStatus, 0);
        EXPECT_THAT(run.output, HasSubstr(SeriesBox("8600_Series_" + version.substr(0, 1))));
        EXPECT_EQ(run.LastStatus(), "Idle");
        EXPECT_THAT(run.Statuses(), Not(testing::Contains("Preparing to download ...")));
        EXPECT_THAT(bench.radio.StopAndListDumps(), IsEmpty());
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    }
}

TEST(ConsoleUpdateE2eTest, BootLoadMajorSevenFitsAPortableBuildOfSeriesFour)
{
    // The download is cut short by a radio that falls silent: the check is what is looked at.
    Bench bench({"--interface", "direct", "--boot-version", "7.1", "--silent-at", "02 01"});
    const ConsoleRun run = bench.Update(AUREX_UPDATER_PORTABLE, {"--password", "brontel"});
    EXPECT_THAT(run.output, Not(HasSubstr("== ")));
    const auto statuses = run.Statuses();
    const auto check = std::find(statuses.begin(), statuses.end(), "Checking target radio...");
    ASSERT_NE(check, statuses.end()) << run.output;
    ASSERT_NE(check + 1, statuses.end());
    EXPECT_EQ(*(check + 1), "Preparing to download ...");
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

TEST(ConsoleUpdateE2eTest, NoBootInformationLetsTheRunGoOn)
{
    // The radio does not answer the boot version query at all; platform 8 may lack it.
    Bench bench({"--boot-version", "6.0", "--unanswered", "04 2D"});
    const ConsoleRun run = bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"});
    EXPECT_EQ(run.exitStatus, 0) << run.output << bench.radio.Log();
    const auto statuses = run.Statuses();
    const auto noInfo = std::find(statuses.begin(), statuses.end(), "No Boot Info.");
    ASSERT_NE(noInfo, statuses.end()) << run.output;
    EXPECT_EQ(*(noInfo + 1), "Preparing to download ...");
    EXPECT_EQ(run.LastStatus(), "Done.");
}

TEST(ConsoleUpdateE2eTest, ASilentTargetRadioEndsTheRunAndTheMergedImagesGo)
{
    Bench bench({"--interface", "direct", "--silent-at", "04 2D"});
    const ConsoleRun run = bench.Update(AUREX_UPDATER_PORTABLE, {"--password", "brontel"});
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_EQ(run.LastStatus(), "Communication error while trying to check target radio.");
    EXPECT_THAT(bench.radio.StopAndListDumps(), IsEmpty());
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

// ---- --json: the events for scripts ----

// Every line of standard output parsed; a line that is not an object with "event" and "t" fails.
std::vector<JsonValue> JsonEvents(const std::string& output)
{
    std::vector<JsonValue> events;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        JsonParse parsed = ParseJson(line);
        const JsonValue* event = parsed.value ? parsed.value->Find("event") : nullptr;
        const JsonValue* t = parsed.value ? parsed.value->Find("t") : nullptr;
        EXPECT_TRUE(event != nullptr && event->kind == JsonValue::Kind::String && t != nullptr &&
                    t->kind == JsonValue::Kind::Number)
            << line << parsed.error;
        if (event != nullptr) {
            events.push_back(std::move(*parsed.value));
        }
    }
    return events;
}

// A field as text: a string's contents, a number as written, "null".
std::string Field(const JsonValue& event, std::string_view key)
{
    const JsonValue* v = event.Find(key);
    return v == nullptr ? "<none>" : v->kind == JsonValue::Kind::Null ? "null" : v->text;
}

std::vector<const JsonValue*> OfKind(const std::vector<JsonValue>& events, const std::string& kind)
{
    std::vector<const JsonValue*> out;
    for (const JsonValue& e : events) {
        if (Field(e, "event") == kind) {
            out.push_back(&e);
        }
    }
    return out;
}

// The progress events by phase, checked: the phases come once each, in the order given; "done"
// never goes back and ends at the total, which stays once known; readings within a phase are a
// fifth of a second apart at least, but for the last.
std::map<std::string, std::vector<const JsonValue*>> CheckProgress(const std::vector<JsonValue>& events,
                                                                   const std::vector<std::string>& phases)
{
    std::map<std::string, std::vector<const JsonValue*>> byPhase;
    std::vector<std::string> order;
    for (const JsonValue* p : OfKind(events, "progress")) {
        const std::string phase = Field(*p, "phase");
        if (order.empty() || order.back() != phase) {
            order.push_back(phase);
        }
        byPhase[phase].push_back(p);
    }
    EXPECT_EQ(order, phases);
    for (const auto& [phase, readings] : byPhase) {
        SCOPED_TRACE(phase);
        std::string total = "null";
        for (std::size_t i = 0; i < readings.size(); ++i) {
            const JsonValue& r = *readings[i];
            if (i > 0) {
                EXPECT_GE(std::stoll(Field(r, "done")), std::stoll(Field(*readings[i - 1], "done")));
            }
            if (i > 0 && i + 1 < readings.size()) {
                EXPECT_GE(std::stod(Field(r, "t")) - std::stod(Field(*readings[i - 1], "t")), 0.2);
            }
            EXPECT_TRUE(total == "null" || Field(r, "total") == total) << "the total changed";
            total = Field(r, "total");
        }
        EXPECT_EQ(Field(*readings.back(), "done"), total);
        EXPECT_EQ(Field(*readings.back(), "left"), "0.0");
    }
    return byPhase;
}

TEST(ConsoleUpdateE2eTest, JsonEventsOfAWholeUpdateTellItInOrder)
{
    Bench bench({"--boot-version", "4.0", "--format-after-update", "5.10"});
    bench.separateErrors = true;
    const ConsoleRun run = bench.Update(AUREX_UPDATER_CARRIED, {"--password", "brontel", "--json"});
    ASSERT_EQ(run.exitStatus, 0) << run.output << run.errors << bench.radio.Log();
    const std::vector<JsonValue> events = JsonEvents(run.output);

    std::vector<std::string> statuses;
    for (const JsonValue* s : OfKind(events, "status")) {
        statuses.push_back(Field(*s, "text"));
    }
    EXPECT_THAT(statuses, ElementsAreArray(kCarriedSetStatuses));
    // The text for people went to standard error.
    EXPECT_THAT(run.errors, HasSubstr("Status: Downloading Application code ...\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("Status: ")));

    const auto phases = CheckProgress(
        events, {"loader", "application", "codeplug-upload", "codeplug-download", "codeplug-read-back"});
    // An image's total, known from its first reading, is its data bytes: what the radio flashed
    // less the fill to a whole pair of blocks.
    for (const auto& [phase, image] : {std::pair{"loader", "LOADER"}, {"application", "CODE"}}) {
        const auto flashed = static_cast<long long>(SRecordData(ImageText(AUREX_SET_CARRIED, image)).size());
        EXPECT_EQ(Field(*phases.at(phase).front(), "total"), Field(*phases.at(phase).back(), "total"));
        EXPECT_GT(std::stoll(Field(*phases.at(phase).back(), "total")), flashed - 256) << phase;
        EXPECT_LE(std::stoll(Field(*phases.at(phase).back(), "total")), flashed) << phase;
    }
    // Codeplugs go in whole blocks; the read-back holds no more than was written.
    const long long written = std::stoll(Field(*phases.at("codeplug-download").back(), "total"));
    const long long readBack = std::stoll(Field(*phases.at("codeplug-read-back").back(), "total"));
    EXPECT_EQ(written % 256, 0);
    EXPECT_EQ(readBack % 128, 0);
    EXPECT_LE(readBack, written);

    std::vector<std::string> radio;
    for (const JsonValue* r : OfKind(events, "radio")) {
        radio.push_back(Field(*r, "name") + " " + Field(*r, "when") + " " + Field(*r, "value"));
    }
    EXPECT_THAT(radio, ElementsAre("boot before 4.0", "codeplug format after 5.10",
                                   "identity before 00001A2B3C4D5E6F", "codeplug format before 5.8"));
    EXPECT_THAT(OfKind(events, "box"), IsEmpty());
    EXPECT_EQ(OfKind(events, "result").size(), 1U);
    EXPECT_EQ(Field(events.back(), "event") + " " + Field(events.back(), "code") + " " +
                  Field(events.back(), "name") + " " + Field(events.back(), "status"),
              "result 0 succeeded Done.");
}

TEST(ConsoleUpdateE2eTest, JsonEventsOfARunThatFailsEndWithItsResult)
{
    struct Case
    {
        std::vector<std::string> radio;
        std::vector<std::string> options;
        std::string result; // code and status of the last event
    };
    for (const Case& c : {
             Case{{"--interface", "direct", "--silent-at", "04 2D"},
                  {"--password", "brontel"},
                  "6 Communication error while trying to check target radio."},
             Case{{"--interface", "direct"}, {"--password", "guess"}, "11 The password was not accepted."},
             Case{{"--interface", "direct"}, {"--csv"}, "2 "},
             Case{{"--interface", "direct"}, {"--version"}, "0 Aurex Code Updater "},
         }) {
        SCOPED_TRACE(c.result);
        Bench bench(c.radio);
        bench.separateErrors = true;
        std::vector<std::string> options = c.options;
        options.push_back("--json");
        const ConsoleRun run = bench.Update(AUREX_UPDATER_PORTABLE, options);
        const std::vector<JsonValue> events = JsonEvents(run.output);
        ASSERT_FALSE(events.empty()) << run.errors;
        EXPECT_EQ(OfKind(events, "result").size(), 1U);
        EXPECT_THAT(Field(events.back(), "code") + " " + Field(events.back(), "status"),
                    ::testing::StartsWith(c.result));
        EXPECT_EQ(Field(events.back(), "code"), std::to_string(run.exitStatus));
        // Nothing went to the radio: no transfer had begun.
        EXPECT_THAT(OfKind(events, "progress"), IsEmpty());
    }
}

// A signal stops the connection check; events a script could not get fail the run; a terminal
// another program holds, chosen by mistake, is named and neither sent a byte nor set up.
TEST(ConsoleUpdateE2eTest, StoppedChecksUnwrittenEventsAndHeldTerminalsEndAsTheyShould)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const std::string terminal = ::ptsname(master);
    const int own = ::open(terminal.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios before{};
    ASSERT_TRUE(own >= 0 && ::tcgetattr(own, &before) == 0);
    ::cfsetspeed(&before, B9600);
    before.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(own, TCSANOW, &before), 0);
    posix_spawn_file_actions_t hold;
    ::posix_spawn_file_actions_init(&hold);
    ::posix_spawn_file_actions_addopen(&hold, STDIN_FILENO, terminal.c_str(), O_RDONLY | O_NOCTTY, 0);
    char* sleepArgs[] = {const_cast<char*>("sleep"), const_cast<char*>("60"), nullptr};
    pid_t holder = 0;
    const int spawned = ::posix_spawn(&holder, "/bin/sleep", &hold, nullptr, sleepArgs, environ);
    ::posix_spawn_file_actions_destroy(&hold);
    ASSERT_EQ(spawned, 0);
    struct Case
    {
        std::vector<std::string> options;
        int signal; // sent once the port is named, or 0
        std::string device, outputFile;
        int exitStatus;
        std::string says;
    };
    for (const Case& c :
         {Case{{"--check-port"}, SIGTERM, "", "", 3, "The check was stopped before it"},
          Case{{"--retrieve", "--json"}, 0, "", "/dev/full", 1, "output: No space left on"},
          Case{{"--check-port"}, 0, terminal, "", 1, "sleep (pid " + std::to_string(holder) + ") has"}}) {
        Bench bench({c.signal != 0 ? "--silent-at" : "--boot-version", c.signal != 0 ? "04 2D" : "6.0"});
        bench.outputFile = c.outputFile;
        bench.extraEnvironment = {"AUREX_COM1=" + (c.device.empty() ? bench.radio.Device() : c.device)};
        const ConsoleRun run = bench.Update(AUREX_UPDATER_APPLICATION, c.options,
                                            [&c](const std::string& line, const Interrupt& interrupt) {
                                                if (c.signal != 0 && line.rfind("Port: ", 0) == 0) {
                                                    interrupt(c.signal);
                                                }
                                            });
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.output;
        EXPECT_THAT(run.output, HasSubstr(c.says));
    }
    termios after{};
    EXPECT_EQ(::read(master, &after, 1), -1) << "the terminal was sent bytes";
    EXPECT_TRUE(::tcgetattr(own, &after) == 0 && after.c_lflag == before.c_lflag);
    EXPECT_EQ(::cfgetospeed(&after), speed_t{B9600});
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
}

// ---- Stop (Ctrl-C) ----

// The radio carries bytes at the line's real pace, so each stage lasts long enough to be stopped.
struct StopCase
{
    const char* at;          // the status at which Ctrl-C comes
    const char* finalStatus; // what the run ends with
    bool codeComplete;       // the application image reached the radio whole: the codeplug step has begun
};

// Before the new code is in the radio a Stop ends the run; after, the codeplug step is finished
// first (the radio may not read its old codeplug), and its outcome stands.
TEST(ConsoleUpdateE2eTest, StopEndsEachStageWithItsTextAndNoCodeplugStepAfterAStoppedDownload)
{
    for (const StopCase c :
         {StopCase{"Downloading Loader code ...", kTimedOut, false},
          StopCase{"Erasing flash (2 seconds)...", kTimedOut, false},
          StopCase{"Downloading Application code ...", kTimedOut, false},
          StopCase{"Resetting radio...", "Done.", true}, StopCase{"Uploading codeplug...", "Done.", true}}) {
        SCOPED_TRACE(c.at);
        Bench bench({"--boot-version", "6.0", "--pace", "on"});
        const ConsoleRun run =
            bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"}, StopAt(c.at));
        EXPECT_EQ(run.LastStatus(), c.finalStatus) << run.output;
        const auto statuses = run.Statuses();
        const auto dumps = bench.radio.StopAndListDumps();
        EXPECT_EQ(Contains(dumps, "02-code.bin"), c.codeComplete) << testing::PrintToString(dumps);
        if (c.codeComplete) {
            EXPECT_EQ(run.exitStatus, 0) << run.output;
            EXPECT_THAT(run.output, HasSubstr(std::string("\n") + kFinishingTheStep + "\n"));
            EXPECT_THAT(run.output, Not(HasSubstr("Stopping...")));
            EXPECT_TRUE(Contains(statuses, "Reading codeplug back...")) << run.output;
            EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
        } else {
            EXPECT_NE(run.exitStatus, 0) << run.output;
            EXPECT_THAT(run.output, HasSubstr("Stopping..."));
            EXPECT_FALSE(Contains(statuses, "Resetting radio...")) << run.output;
            // Nothing is written back into the radio after a Stop.
            EXPECT_FALSE(std::any_of(dumps.begin(), dumps.end(), [](const std::string& d) {
                return d.find("codeplug") != std::string::npos;
            }));
        }
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    }
}

// Once the converted codeplug is going back into the radio, Stop ends the run state but the
// write is finished: a radio must never be left with half a codeplug.
TEST(ConsoleUpdateE2eTest, StopDuringTheCodeplugWriteBackLetsTheWriteFinish)
{
    // Every reply comes 10 ms late: the write-back lasts long enough to be stopped.
    Bench bench({"--boot-version", "6.0", "--latency-ms", "200"});
    const ConsoleRun run =
        bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"}, StopAt("Downloading codeplug..."));
    EXPECT_THAT(run.output, HasSubstr(kFinishingTheStep));
    EXPECT_EQ(run.LastStatus(), "Done.") << run.output << bench.radio.Log();
    EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
}

// A shutdown (SIGTERM) or a closed terminal (SIGHUP) is Stop: during the codeplug write-back the
// write is finished, also when a second signal follows the first.
TEST(ConsoleUpdateE2eTest, TerminationSignalsDuringTheWriteBackLetTheWriteFinish)
{
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        Bench bench({"--boot-version", "6.0", "--latency-ms", "200"});
        int sent = 0;
        const ConsoleRun run =
            bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"},
                         [&sent, signal](const std::string& line, const Interrupt& interrupt) {
                             if ((sent == 0 && line == "Status: Downloading codeplug...") ||
                                 (sent == 1 && line == kFinishingTheStep)) {
                                 ++sent;
                                 interrupt(signal);
                             }
                         });
        EXPECT_EQ(run.exitStatus, 0) << run.output;
        EXPECT_EQ(sent, 2) << run.output;
        EXPECT_THAT(run.output, HasSubstr(kStillFinishingTheStep));
        EXPECT_EQ(run.LastStatus(), "Done.") << run.output << bench.radio.Log();
        EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
        EXPECT_THAT(bench.RunFolders(), IsEmpty());
    }
}

// A backup folder that cannot take a backup is found before anything goes to the radio, and the
// box names the folder and why: found after the flash it would cost a second one.
TEST(ConsoleUpdateE2eTest, AnUnusableBackupFolderIsFoundBeforeTheRadioHearsAnything)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> environment; // <data> stands for the run's data folder
        const char* says;
        int logWarnings; // the run log that cannot be written is said once (no folder: no log)
    };
    for (const Case& c :
         {Case{"a file where the folder goes", {"XDG_DATA_HOME=<data>/file/data"}, "/file/data/", 1},
          Case{"no home folder", {"XDG_DATA_HOME=", "HOME="}, "neither HOME nor XDG_DATA_HOME is set", 0}}) {
        SCOPED_TRACE(c.what);
        Bench bench({"--boot-version", "6.0", "--verbose"});
        std::ofstream(bench.data.path / "file") << "x";
        for (std::string setting : c.environment) {
            if (const auto at = setting.find("<data>"); at != std::string::npos) {
                setting.replace(at, 6, bench.data.path.string());
            }
            bench.extraEnvironment.push_back(setting);
        }
        const ConsoleRun run = bench.Update(AUREX_UPDATER_APPLICATION, {"--password", "brontel"});
        EXPECT_NE(run.exitStatus, 0);
        EXPECT_THAT(run.output, HasSubstr("Codeplug backups cannot be saved"));
        EXPECT_THAT(run.output, HasSubstr(c.says));
        EXPECT_THAT(run.output, HasSubstr("Nothing has been sent to the radio."));
        EXPECT_FALSE(Contains(run.Statuses(), "Extracting embedded files...")) << run.output;
        EXPECT_EQ(bench.radio.Log().find("in  "), std::string::npos) << bench.radio.Log();
        EXPECT_THAT(bench.RunFolders(), IsEmpty());
        std::size_t warnings = 0;
        for (std::size_t at = 0;
             (at = run.output.find("warning: The run log cannot be written", at)) != std::string::npos;
             ++at) {
            ++warnings;
        }
        EXPECT_EQ(warnings, static_cast<std::size_t>(c.logWarnings)) << run.output;
    }
}

// Kills the updater with SIGKILL as soon as it creates a file in its run folder: in the middle
// of extracting its images.
std::function<void(const std::string&, const Interrupt&)> KillInExtraction(const Bench& bench, const int& pid)
{
    return [&bench, &pid](const std::string& line, const Interrupt& interrupt) {
        if (line != "Status: Extracting embedded files...") {
            return;
        }
        // The run folder exists before this status; extraction follows the interface box probe.
        const fs::path folder = bench.cache.path / "Aurex Code Updater" / ("run-" + std::to_string(pid));
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0) << folder;
        alignas(inotify_event) char events[4096];
        for (bool piece = false; !piece;) {
            const ssize_t n = ::read(watch, events, sizeof events);
            ASSERT_GT(n, 0);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                piece = piece || (event->len > 0 && std::string(event->name) != "lock");
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        interrupt(SIGKILL);
        ::close(watch);
    };
}

// A run killed on the way leaves its images in its own folder, never in the folder it was
// started from; the next run, against the radio restarted, removes them and ends "Done.".
TEST(ConsoleUpdateE2eTest, ARunKilledOnTheWayLeavesNothingForTheNextRun)
{
    struct Case
    {
        const char* at; // the status at which the updater is killed; empty: in extraction
        const char* updater;
        std::vector<std::string> radio;
    };
    const std::vector<std::string> seriesFour = {"--boot-version", "4.0", "--format-after-update", "5.10"};
    const std::vector<std::string> seriesSix = {"--boot-version", "6.0"};
    // The carried set's twelve pieces take long enough to be caught in the middle.
    for (const Case& c : {Case{"", AUREX_UPDATER_CARRIED, seriesFour},
                          Case{"Checking target radio...", AUREX_UPDATER_APPLICATION, seriesSix},
                          Case{"Downloading Application code ...", AUREX_UPDATER_APPLICATION, seriesSix}}) {
        SCOPED_TRACE(*c.at == 0 ? "in extraction" : c.at);
        Bench bench(c.radio);
        int pid = -1;
        const ConsoleRun killed =
            bench.Update(c.updater, {"--password", "brontel"},
                         *c.at == 0 ? KillInExtraction(bench, pid) : StopAt(c.at, SIGKILL), {}, &pid);
        EXPECT_EQ(killed.exitStatus, 128 + SIGKILL) << killed.output;
        const std::string folder = "run-" + std::to_string(killed.pid);
        EXPECT_THAT(bench.RunFolders(), ElementsAre(folder));
        EXPECT_THAT(Entries(bench.cache.path / "Aurex Code Updater" / folder),
                    ::testing::Contains(Not(std::string("lock"))));
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
        // The history keeps the killed run, begun and never finished.
        const ConsoleRun history = bench.Update(c.updater, {"--history", "--csv"});
        EXPECT_THAT(history.output, ::testing::ContainsRegex("\n1,[-0-9T:]+Z,,update,[^\n]*,-1,"))
            << history.output;

        Bench restarted(c.radio);
        restarted.extraEnvironment = {"XDG_CACHE_HOME=" + bench.cache.path.string()};
        const ConsoleRun next = restarted.Update(c.updater, {"--password", "brontel"});
        EXPECT_EQ(next.exitStatus, 0) << next.output << restarted.radio.Log();
        EXPECT_EQ(next.LastStatus(), "Done.");
        EXPECT_THAT(bench.RunFolders(), IsEmpty());
        EXPECT_THAT(Entries(restarted.work.path), IsEmpty());
    }
}

} // namespace
} // namespace aurex::e2e

// The console on a production bench, the real executable against simulated radios: waiting for
// a radio before a run, waiting for it after a boot code refresh, and radio after radio on one
// port. A port whose radio is swapped is a link that points at the radio connected now.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include "e2e_support.h"
#include "updater_process.h"

namespace aurex::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class SwappedPort
{
  public:
    fs::path Path() const { return folder_.path / "radio"; }

    void Connect(std::vector<std::string> settings)
    {
        radio_ = std::make_unique<SimulatedRadio>(std::move(settings));
        fs::create_symlink(radio_->Device(), Path());
    }
    // What the radio received, in order of arrival.
    std::vector<std::string> Disconnect()
    {
        fs::remove(Path());
        std::vector<std::string> dumps = radio_->StopAndListDumps();
        radio_.reset();
        return dumps;
    }
    bool Connected() const { return radio_ != nullptr; }
    const SimulatedRadio& Radio() const { return *radio_; }

  private:
    Scratch folder_{"port"};
    std::unique_ptr<SimulatedRadio> radio_;
};

struct Updater
{
    ConsoleRun Run(const std::string& executable, const fs::path& device, std::vector<std::string> options,
                   const std::function<void(const std::string&, const Interrupt&)>& onLine = {})
    {
        ConsoleCommand command;
        command.executable = executable;
        command.args = {"--console", "--device", device.string()};
        command.args.insert(command.args.end(), options.begin(), options.end());
        command.environment = {"AUREX_TIME_SCALE=" + kTimeScaleText, "XDG_DATA_HOME=" + data.path.string(),
                               "XDG_CACHE_HOME=" + cache.path.string()};
        command.workingDirectory = work.path.string();
        return RunConsole(command, onLine);
    }
    Scratch work{"work"};
    Scratch data{"data"};
    Scratch cache{"cache"};
};

const std::vector<std::string> kFits = {"--boot-version", "6.0"};

TEST(ConsoleProductionE2eTest, WaitForRadioStartsOnceARadioAnswersOrSaysWhyNot)
{
    struct Case
    {
        const char* what;
        bool connectWhileWaiting;
        std::vector<std::string> radio; // connected from the start unless empty
        int exitStatus;
        const char* says;
        const char* last = ""; // the last status: none when no run began
    };
    for (const Case& c : {
             Case{"a radio connected while waiting", true, {}, 0, "A radio answered (boot 6.0).", "Done."},
             Case{"nothing on the port", false, {}, 4, "(the port could not be opened: "},
             Case{"a radio that never answers", false, {"--silent-from", "1"}, 6, "No radio answered on "},
             Case{"left at 115200",
                  false,
                  {"--start-baud", "115200", "--boot-version", "6.0"},
                  0,
                  "only at 115200 baud (boot version 6.0): an interrupted run left it there. The run sets "
                  "it back to 19200 baud.",
                  "Done."},
         }) {
        SCOPED_TRACE(c.what);
        SwappedPort port;
        if (!c.radio.empty()) {
            port.Connect(c.radio);
        }
        Updater updater;
        const ConsoleRun run = updater.Run(
            AUREX_UPDATER_APPLICATION, port.Path(), {"--password", "brontel", "--wait-for-radio", "4"},
            [&](const std::string& line, const Interrupt&) {
                if (c.connectWhileWaiting && line.rfind("Waiting up to 4 s", 0) == 0) {
                    port.Connect(kFits);
                }
            });
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.output;
        EXPECT_THAT(run.output, HasSubstr(c.says));
        EXPECT_EQ(run.LastStatus(), c.last) << run.output;
    }
}

// Three radios, each disconnected once its result line is out and the next connected once the
// updater has seen it go; Ctrl-C while it waits for a fourth ends with the table.
TEST(ConsoleProductionE2eTest, RepeatUpdatesRadioAfterRadioAndEndsWithTheirTable)
{
    const std::vector<std::string> serials = {"00 00 00 00 00 00 00 01", "00 00 00 00 00 00 00 02",
                                              "00 00 00 00 00 00 00 03"};
    SwappedPort port;
    std::size_t connected = 0;
    std::vector<std::vector<std::string>> received;
    auto connectNext = [&] {
        std::vector<std::string> settings = kFits;
        settings.insert(settings.end(), {"--serial", serials[connected++]});
        port.Connect(settings);
    };
    connectNext();
    Updater updater;
    const ConsoleRun run =
        updater.Run(AUREX_UPDATER_APPLICATION, port.Path(), {"--password", "brontel", "--repeat"},
                    [&](const std::string& line, const Interrupt& interrupt) {
                        if (line.rfind("Disconnect this radio", 0) == 0) {
                            received.push_back(port.Disconnect());
                        } else if (line.rfind("Waiting for the next radio", 0) == 0) {
                            if (connected < serials.size()) {
                                connectNext();
                            } else {
                                interrupt(SIGINT);
                            }
                        }
                    });
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    ASSERT_EQ(received.size(), 3U) << run.output;
    for (const std::vector<std::string>& dumps : received) {
        EXPECT_THAT(dumps, ::testing::ElementsAre("01-loader.bin", "02-code.bin", "03-codeplug.bin"));
    }
    for (int radio = 1; radio <= 3; ++radio) {
        EXPECT_THAT(run.output, ::testing::ContainsRegex("Radio " + std::to_string(radio) + ": " +
                                                         "000000000000000" + std::to_string(radio) +
                                                         ", succeeded \\(0\\), [0-9]+ s: Done\\."));
    }
    // The table holds the history's own rows: the same three as --history shows.
    EXPECT_THAT(run.output, HasSubstr("3 radios:\n"));
    const std::string table = run.output.substr(run.output.find("3 radios:\n") + 10);
    const ConsoleRun history = updater.Run(AUREX_UPDATER_APPLICATION, port.Path(), {"--history"});
    for (int radio = 1; radio <= 3; ++radio) {
        const std::string identity = "000000000000000" + std::to_string(radio);
        EXPECT_THAT(table, ::testing::ContainsRegex(identity + " +update +0 +Done\\.")) << table;
        EXPECT_THAT(history.output, ::testing::ContainsRegex(identity + " +update +0 +Done\\."));
    }
}

// A first Ctrl-C during a radio's update lets it finish; the run then ends with the table.
TEST(ConsoleProductionE2eTest, CtrlCDuringARepeatedUpdateEndsAfterThatRadio)
{
    SwappedPort port;
    port.Connect({"--boot-version", "6.0", "--pace", "on"});
    Updater updater;
    bool pressed = false;
    const ConsoleRun run =
        updater.Run(AUREX_UPDATER_APPLICATION, port.Path(), {"--password", "brontel", "--repeat"},
                    [&](const std::string& line, const Interrupt& interrupt) {
                        if (!pressed && line == "Status: Downloading Application code ...") {
                            pressed = true;
                            interrupt(SIGINT);
                        }
                    });
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("Ending after this radio (Ctrl-C again stops it now)."));
    EXPECT_EQ(run.LastStatus(), "Done.");
    EXPECT_THAT(run.output, HasSubstr("1 radio:\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("Disconnect this radio")));
}

// Four radios at once, one process each; the third falls silent in the middle of its code. The
// others finish as if alone, and the whole ends with the failing port's status.
TEST(ConsoleProductionE2eTest, FourPortsAtOnceAndOneFailingStopsNoOther)
{
    std::vector<std::unique_ptr<SimulatedRadio>> radios;
    ConsoleCommand command;
    command.executable = AUREX_UPDATER_APPLICATION;
    command.args = {"--console", "--password", "brontel"};
    Updater updater;
    command.environment = {"AUREX_TIME_SCALE=" + kTimeScaleText,
                           "XDG_DATA_HOME=" + updater.data.path.string(),
                           "XDG_CACHE_HOME=" + updater.cache.path.string()};
    command.workingDirectory = updater.work.path.string();
    for (int n = 1; n <= 4; ++n) {
        std::vector<std::string> settings = kFits;
        if (n == 3) {
            settings.insert(settings.end(), {"--silent-at", "02 09#40"});
        }
        radios.push_back(std::make_unique<SimulatedRadio>(settings));
        command.args.insert(command.args.end(), {"--port", std::to_string(n)});
        command.environment.push_back("AUREX_COM" + std::to_string(n) + "=" + radios.back()->Device());
    }
    const ConsoleRun run = RunConsole(command);
    EXPECT_EQ(run.exitStatus, 7) << run.output;
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const std::vector<std::string> dumps = radios[static_cast<std::size_t>(n - 1)]->StopAndListDumps();
        if (n == 3) {
            EXPECT_THAT(run.output,
                        ::testing::ContainsRegex("\nCOM 3 +code download failed \\(7\\) +[0-9.]+ s"));
            EXPECT_THAT(dumps, Not(::testing::Contains(::testing::HasSubstr("codeplug"))));
        } else {
            EXPECT_THAT(run.output, ::testing::ContainsRegex("\nCOM " + std::to_string(n) +
                                                             " +succeeded \\(0\\) +[0-9.]+ s +Done\\."));
            EXPECT_THAT(dumps, ::testing::ElementsAre("01-loader.bin", "02-code.bin", "03-codeplug.bin"));
            // Each port's own line showed its progress on the way.
            EXPECT_THAT(run.output,
                        HasSubstr("COM " + std::to_string(n) + "  Downloading Application code ..."));
        }
    }
}

// Two radios that guard their codeplugs: without a radio password (and nobody to ask) that is said
// before any code goes in; with one, each port's process gets it on its input and converts.
TEST(ConsoleProductionE2eTest, TwoGuardedRadiosOnTwoPortsGetTheirPasswordOrAWordBeforehand)
{
    for (const bool given : {false, true}) {
        SCOPED_TRACE(given);
        Updater updater;
        ConsoleCommand command;
        command.executable = AUREX_UPDATER_APPLICATION;
        command.args = {"--console", "--password", "brontel", "--port", "1", "--port", "2"};
        if (given) {
            command.args.insert(command.args.end(), {"--radio-password", "2468"});
        }
        command.environment = {"AUREX_TIME_SCALE=" + kTimeScaleText,
                               "XDG_DATA_HOME=" + updater.data.path.string(),
                               "XDG_CACHE_HOME=" + updater.cache.path.string()};
        SimulatedRadio one({"--boot-version", "6.0", "--password", "2468"});
        SimulatedRadio two({"--boot-version", "6.0", "--password", "2468"});
        command.environment.push_back("AUREX_COM1=" + one.Device());
        command.environment.push_back("AUREX_COM2=" + two.Device());
        const ConsoleRun run = RunConsole(command);
        EXPECT_EQ(run.exitStatus, given ? 0 : 8) << run.output;
        const std::size_t notice = run.output.find("No radio password was given");
        EXPECT_EQ(notice == std::string::npos, given) << run.output;
        if (!given) {
            EXPECT_LT(notice, run.output.find("Downloading")) << run.output;
        }
        EXPECT_THAT(run.output, Not(HasSubstr("2468")));
    }
}

} // namespace
} // namespace aurex::e2e

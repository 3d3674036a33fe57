// The parent of several ports' updates: what it reads of each port's events, what it shows, and
// the command line each port's process gets.

#include <gtest/gtest.h>

#include "ui/console/many_ports.h"

namespace aurex {
namespace {

TEST(ManyPortsTest, EventsMoveAPortsLineAndOthersAreIgnored)
{
    struct Step
    {
        const char* line;
        bool taken;
        const char* shown; // the port's line after it
    };
    PortRun run;
    run.name = "COM 17";
    for (const Step& s : {
             Step{R"({"event":"status","text":"Downloading Application code ...","t":1.5})", true,
                  "COM 17  Downloading Application code ..."},
             Step{R"({"event":"progress","phase":"code","done":512,"total":2048,"rate":1000.5,"left":70.2})",
                  true, "COM 17  Downloading Application code ... 25%  1:10 left"},
             Step{R"({"event":"progress","phase":"codeplug upload","done":128,"total":null,"left":null})",
                  true, "COM 17  Downloading Application code ... 25%"},
             Step{R"({"event":"box","caption":"x","text":"y","answer":"OK"})", false,
                  "COM 17  Downloading Application code ... 25%"},
             Step{"not json at all", false, "COM 17  Downloading Application code ... 25%"},
             Step{R"({"event":"status","text":"Done."} trailing)", false,
                  "COM 17  Downloading Application code ... 25%"},
             Step{R"({"event":"status","text":"Done."})", true, "COM 17  Done."},
             Step{R"({"event":"result","code":"zero"})", false, "COM 17  Done."},
             Step{R"({"event":"result","code":12,"name":"codeplug not converted"})", true, "COM 17  Done."},
         }) {
        SCOPED_TRACE(s.line);
        EXPECT_EQ(TakePortEvent(run, s.line), s.taken);
        EXPECT_EQ(PortRunLine(run, 6, 80), s.shown);
    }
    EXPECT_EQ(run.resultCode, 12);
    run.exitStatus = 12;
    EXPECT_EQ(PortRunLine(run, 8, 200), "COM 17    ended: codeplug not converted (12), Done.");
    // A narrow line keeps the name and the progress and cuts the status.
    PortRun busy{"/dev/ttyUSB0", "Downloading Application code ...", 40, 65.0, {}, {}, 0, {}};
    EXPECT_EQ(PortRunLine(busy, 12, 40), "/dev/ttyUSB0  Downloading 40%  1:05 left");
}

TEST(ManyPortsTest, TheWholeFailsWithTheLastFailingPort)
{
    auto runs = [](std::vector<std::optional<int>> statuses) {
        std::vector<PortRun> out;
        for (const auto& s : statuses) {
            PortRun run;
            run.exitStatus = s;
            out.push_back(run);
        }
        return out;
    };
    EXPECT_EQ(ManyPortsExitStatus(runs({0, 0, 0})), 0);
    EXPECT_EQ(ManyPortsExitStatus(runs({7, 0, 6, 0})), 6);
    EXPECT_EQ(ManyPortsExitStatus(runs({0, -9})), 3); // killed by a signal
    EXPECT_EQ(ManyPortsExitStatus(runs({0, std::nullopt})), 1);
    const std::string table = ManyPortsSummary({PortRun{"COM 1", "Done.", -1, {}, 0, 0, 95.3, {}},
                                                PortRun{"/dev/ttyUSB3", "Failure", -1, {}, 7, 7, 12.0, {}}});
    EXPECT_EQ(table, "Port          Result                    Duration  Last status\n"
                     "COM 1         succeeded (0)             95.3 s    Done.\n"
                     "/dev/ttyUSB3  code download failed (7)  12.0 s    Failure\n");
}

TEST(ManyPortsTest, EachPortsProcessGetsEveryOptionButTheOtherPorts)
{
    // The radio password goes on each process's input, never on its command line.
    const std::vector<std::string> args = {
        "--console", "--port",     "17",          "--password",       "x y",
        "--device",  "/dev/pts/3", "--no-verify", "--radio-password", "2468"};
    EXPECT_EQ(PortArguments(args, {"--device", "/dev/pts/3"}),
              (std::vector<std::string>{"--console", "--password", "x y", "--no-verify", "--device",
                                        "/dev/pts/3", "--radio-password-input", "--json"}));
    EXPECT_EQ(PortArguments({"--port", "1", "--port", "2", "--radio-password-input"}, {"--port", "2"}),
              (std::vector<std::string>{"--console", "--port", "2", "--radio-password-input", "--json"}));
}

} // namespace
} // namespace aurex

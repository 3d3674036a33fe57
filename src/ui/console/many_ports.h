#pragma once

// Several ports at once: one updater process per port, each holding only its own port and
// running the single-radio sequence as it stands, its events read back as JSON lines. One
// port's failure never stops the others.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/console/console_options.h"

namespace aurex {

// What the parent knows of one port's run.
struct PortRun
{
    std::string name;   // "COM 17" or the device path
    std::string status; // the last status text
    int percent = -1;   // of the phase under way; -1: no progress yet
    std::optional<double> secondsLeft;
    std::optional<int> resultCode; // from the result event
    std::optional<int> exitStatus; // once the process has ended
    double seconds = 0;            // from start to end
    std::string errorTail;         // the end of its standard error, for a run that failed
};

// Takes one line of a port's standard output; false when it is not an event this reads (it
// is then ignored, so a newer updater's extra events do no harm).
bool TakePortEvent(PortRun& run, std::string_view line);

// "COM 17   Downloading Application code ...   45%  1:10 left", at most `width` characters.
std::string PortRunLine(const PortRun& run, std::size_t nameWidth, std::size_t width);

// The table after every port has ended: port, result, duration, last status.
std::string ManyPortsSummary(const std::vector<PortRun>& runs);

// The exit status of the whole: 0 when every port's update succeeded, else that of the last
// port (in the order given) whose update did not.
int ManyPortsExitStatus(const std::vector<PortRun>& runs);

// One port's command line: every argument but the ports and the radio password, then that port,
// --radio-password-input and --json.
std::vector<std::string> PortArguments(const std::vector<std::string>& args,
                                       const std::array<std::string, 2>& port);

// Runs one update process per port and shows their progress; the exit status as above.
int RunManyPorts(const std::string& program, const std::vector<std::string>& args,
                 const ConsoleOptions& options);

} // namespace aurex

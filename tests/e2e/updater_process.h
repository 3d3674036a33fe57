// Runs the updater's console front end as a child process, the way a technician's script would:
// options on the command line, answers on standard input, the output read line by line while it
// runs (so a test can press Ctrl-C at a chosen status), bounded in time.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace aurex::e2e {

struct ConsoleRun
{
    int pid = -1;
    int exitStatus = -1; // 128 + signal when killed
    bool timedOut = false;
    std::string output;           // standard output and standard error, interleaved (unless kept apart)
    std::string errors;           // standard error, when the command kept it apart
    double processorSeconds = -1; // user and system time of the updater, from its end

    // "Status: X" lines, in order.
    std::vector<std::string> Statuses() const;
    std::string LastStatus() const;
    // The percentage of the last progress bar line, -1 when none was drawn.
    int LastProgressPercent() const;
};

struct ConsoleCommand
{
    std::string executable;
    std::vector<std::string> args;
    std::vector<std::string> environment; // NAME=VALUE, added to (or replacing in) this process's
    std::string workingDirectory;
    std::string input; // standard input, then end of file
    int timeoutMs = 180000;
    std::function<void(int pid)> started; // called once the updater runs
    bool separateErrors = false;          // standard error into ConsoleRun::errors
    std::string outputFile;               // standard output into this file (/dev/full) instead
};

// Sends a signal to the running updater: SIGINT as Ctrl-C at its terminal, SIGTERM as a
// shutdown, SIGHUP as a closed terminal, SIGKILL as a crash.
using Interrupt = std::function<void(int signal)>;

// Runs the command to its end; `onLine` sees every complete output line as it comes.
ConsoleRun
RunConsole(const ConsoleCommand& command,
           const std::function<void(const std::string& line, const Interrupt& interrupt)>& onLine = {});

} // namespace aurex::e2e

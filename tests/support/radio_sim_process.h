// Runs the real aurex-radio-sim for a test: starts it with the given settings, reads the device
// path it prints, and stops it again. Its log goes to a file the test can show on failure.
#pragma once

#include <string>
#include <vector>

namespace aurex::test {

class RadioSimProcess
{
  public:
    // Starts the simulator built with this tree (or `executable`) with these arguments and
    // waits, at most 10 s, for the device path on its first line. Throws std::runtime_error
    // when it does not start.
    explicit RadioSimProcess(const std::vector<std::string>& args, std::string executable = {});
    ~RadioSimProcess();
    RadioSimProcess(const RadioSimProcess&) = delete;
    RadioSimProcess& operator=(const RadioSimProcess&) = delete;

    // The pseudo-terminal (or port) the program under test opens.
    const std::string& DevicePath() const { return devicePath_; }

    // SIGTERM, then waits for the exit; the exit status (-1 when it did not end in 10 s and
    // was killed).
    int Stop();
    // Waits up to timeoutMs for the simulator to end by itself; its exit status, or -1 when
    // it is still running.
    int WaitForExit(int timeoutMs);
    bool Running();

    // User and system time the simulator took, in seconds, once it has ended; -1 before.
    double ProcessorSeconds() const { return processorSeconds_; }

    // Everything it has written to standard error so far.
    std::string Log() const;

  private:
    int pid_ = -1;
    int exitStatus_ = -1;
    double processorSeconds_ = -1;
    std::string devicePath_;
    std::string logPath_;
};

// The simulator executable of this build tree.
std::string RadioSimExecutable();

} // namespace aurex::test

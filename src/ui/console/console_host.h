#pragma once

// The terminal rendering of the window model: status texts, the run's step and whether the radio
// may be disconnected, a progress bar with the run's time on the terminal, message boxes as text,
// the port, the Boot choice and the password from options or a prompt.

#include <cstdio>
#include <functional>
#include <string>

#include "app/control.h"
#include "app/dialog_host.h"
#include "ui/console/console_options.h"

namespace aurex {

// Draws "[#####.....]  50%" for a position in a range, `width` marks wide.
std::string ProgressBarText(int position, int min, int max, int width = 40);

class ConsoleHost : public DialogHost, public ControlListener
{
  public:
    // Prompts are read from `in`; everything is written to `out`.
    ConsoleHost(const ConsoleOptions& options, std::FILE* in, std::FILE* out);

    MessageAnswer ShowMessage(const FormModel& owner, const UiText& text, const UiText& caption,
                              MessageIcon icon, MessageButtons buttons) override;
    void ShowModal(const FormModel& owner, FormModel& dialog) override;
    void RequestClose(FormModel& form) override;
    void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) override;

    // Ends a progress line that is being redrawn, before other output.
    void EndProgressLine();

    // Set once Stop has been asked for by a signal (Ctrl-C, SIGTERM, SIGHUP).
    bool stopRequested = false;
    // While the console waits for a radio, a signal ends the wait rather than the program.
    bool waitingForRadio = false;
    // The same while the connection check runs: it has the port open and set up.
    bool checkingPort = false;
    // --repeat: the first signal during a run lets that radio finish and ends after it.
    bool endAfterThisRadio = false;

    // Prompts watch `pendingFd` beside their input: when it becomes readable, `handle` runs and
    // the prompt ends unanswered (OK, No, or an empty password).
    void WatchSignals(int pendingFd, std::function<void()> handle);
    // Handles the signals that came while nothing waited in the event loop.
    void HandlePendingSignals();

  private:
    void ShowProgress(const Control& bar);
    void ShowStatus(const std::string& status);
    void RunClockChanged(bool running);

    std::string ReadLine(bool hidden);
    bool WaitForInput();
    int signalFd_ = -1;
    std::function<void()> handleSignals_;
    bool interrupted_ = false;

    const ConsoleOptions& options_;
    std::FILE* in_;
    std::FILE* out_;
    bool interactive_;
    bool progressLineOpen_ = false;
    int lastPrintedPercent_ = -1;
    std::size_t progressLineLength_ = 0;
    const Control* lastBar_ = nullptr;
    // The run under way: its step and its time, as the window's lines under the bar show them.
    bool runUnderWay_ = false;
    std::string stepText_;
    std::string timeText_;
    // "Idle" between two steps of a run that goes on: told only if the run ends with it.
    bool idleHeld_ = false;
};

} // namespace aurex

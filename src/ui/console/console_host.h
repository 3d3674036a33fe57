#pragma once

// The terminal rendering of the window model: status texts and a progress bar on the terminal,
// message boxes as text, the port, the Boot choice and the password from options or a prompt.

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
};

} // namespace aurex

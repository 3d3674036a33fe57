#pragma once

// The terminal rendering of the window model: status texts and a progress bar on the terminal,
// message boxes as text, the port, the Boot choice and the password from options or a prompt.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/code_updater_main_form.h"
#include "app/control.h"
#include "app/dialog_host.h"

namespace aurex {

struct ConsoleOptions
{
    std::optional<int> port;           // COM number
    std::optional<std::string> device; // a device path instead of a COM number
    bool checkPort = false;            // the connection check instead of an update
    bool boot = false;
    std::optional<std::string> password;      // the update password
    std::optional<std::string> radioPassword; // the radio's own codeplug password
    bool retrieve = false;
    bool backup = false;                      // the codeplug into a backup instead of an update
    std::optional<std::string> restore;       // a backup to put back into the radio
    bool otherRadio = false;                  // a backup of another radio may be restored
    bool noVerify = false;                    // no read-back after a codeplug write
    std::optional<std::string> trace;         // the whole line trace into this file
    bool history = false;                     // print the update history instead of a run
    std::string historyIdentity;              // only this radio's rows
    bool csv = false;                         // the history as CSV
    std::optional<std::string> supportBundle; // write a support bundle instead of a run
    bool withCodeplugs = false;               // the bundle holds the newest codeplug backups too
    bool yes = false;                         // answer OK / Yes to every box
    bool help = false;
};

// Parses the options after the program name; false with `error` set for a bad one.
bool ParseConsoleOptions(const std::vector<std::string>& args, ConsoleOptions& options, std::string& error);

std::string ConsoleUsage();

// What the terminal says when a signal asks the program to end and it cannot end at once:
// `again` when an earlier signal has been answered already.
const char* TerminationNotice(TCodeUpdaterMainDispForm::Termination termination, bool again);

// Draws "[#####.....]  50%" for a position in a range, `width` marks wide.
std::string ProgressBarText(int position, int min, int max, int width = 40);

class ConsoleHost : public DialogHost, public ControlListener
{
  public:
    // Prompts are read from `in`; everything is written to `out`.
    ConsoleHost(const ConsoleOptions& options, std::FILE* in, std::FILE* out);

    MessageAnswer ShowMessage(const FormModel& owner, std::string_view text, std::string_view caption,
                              MessageIcon icon, MessageButtons buttons) override;
    void ShowModal(const FormModel& owner, FormModel& dialog) override;
    void RequestClose(FormModel& form) override;
    void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) override;

    // Ends a progress line that is being redrawn, before other output.
    void EndProgressLine();

    // Set once Stop has been asked for by a signal (Ctrl-C, SIGTERM, SIGHUP).
    bool stopRequested = false;

    // Prompts watch `pendingFd` beside their input: when it becomes readable, `handle` runs and
    // the prompt ends unanswered (OK, No, or an empty password).
    void WatchSignals(int pendingFd, std::function<void()> handle);

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

// Runs one update (or Retrieve) on the given window model and returns the exit code: 0 after
// "Done.", after a boot code load that ended with its download finished (no codeplug step is due
// then) unless it was stopped, or after a Retrieve that filled the version group; else non-zero.
int RunConsoleSession(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                      std::FILE* out);

// The whole front end: options, the window model, the session.
int RunConsole(int argc, char** argv, MainFormEnvironment environment = {});

} // namespace aurex

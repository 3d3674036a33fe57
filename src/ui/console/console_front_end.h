#pragma once

// The console front end: the options, the window model and one session on it.

#include <cstdio>

#include "app/code_updater_main_form.h"
#include "ui/console/console_host.h"
#include "ui/console/console_options.h"

namespace aurex {

// What the terminal says when a signal asks the program to end and it cannot end at once:
// `again` when an earlier signal has been answered already.
const char* TerminationNotice(TCodeUpdaterMainDispForm::Termination termination, bool again);

// Runs one update (or Retrieve) on the given window model and returns the exit code: 0 after
// "Done.", after a boot code load that ended with its download finished (no codeplug step is due
// then) unless it was stopped, or after a Retrieve that filled the version group; else non-zero.
int RunConsoleSession(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                      std::FILE* out);

// The whole front end: options, the window model, the session.
int RunConsole(int argc, char** argv, MainFormEnvironment environment = {});

} // namespace aurex

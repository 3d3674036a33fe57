#pragma once

// The console front end: the options, the window model and one session on it.

#include <cstdio>

#include "app/code_updater_main_form.h"
#include "ui/console/console_host.h"
#include "ui/console/console_options.h"

namespace aurex {

// Runs one update (or Retrieve) on the given window model and returns the exit code: 0 after
// "Done.", after a boot code load that ended with its download finished (no codeplug step is due
// then) unless it was stopped, or after a Retrieve that filled the version group; else non-zero.
int RunConsoleSession(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                      std::FILE* out);

// The whole front end: options, the window model, the session.
int RunConsole(int argc, char** argv, MainFormEnvironment environment = {});

} // namespace aurex

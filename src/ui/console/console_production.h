#pragma once

// The console on a production bench: waiting for the radio before a run starts, and updating
// radio after radio on one port.

#include <cstdio>

#include "app/code_updater_main_form.h"
#include "ui/console/console_host.h"
#include "ui/console/console_options.h"

namespace aurex {

// Clicks Start once and tells how the run ended, as the exit status.
int RunOneUpdate(TCodeUpdaterMainDispForm& form, ConsoleHost& host, std::FILE* out);

// --wait-for-radio: 0 once a radio answers on the selected port, else the exit status (stopped,
// or no answer within the limit).
int WaitForFirstRadio(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                      std::FILE* out);

// --repeat: an update for each radio connected, one after the other, until Ctrl-C (which lets
// the radio under way finish), then a table of every radio. The exit status is 0 when every
// radio was updated, else that of the last one that was not.
int RunRepeatedUpdates(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                       std::FILE* out);

} // namespace aurex

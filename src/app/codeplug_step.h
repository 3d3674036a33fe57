#pragma once

// The codeplug preservation step that the main window runs after a code update: wait for the
// radio to restart, ask for its identity and for the codeplug format its new firmware expects,
// read the codeplug out, convert it, write it back and read it back to verify the write.

#include <optional>
#include <string>

#include "app/codeplug_transfers.h"

namespace aurex {

class TCodeUpdaterMainDispForm;

enum class CodeplugStepResult {
    NoFormatReply = 0,   // no 04 1D: nothing transferred
    NotSupported = 1,    // a format not converted (or conversion refused): nothing written
    SameFormat = 2,      // nothing to convert, nothing written
    Converted = 3,       // converted and written back
    UploadFailed = 4,    // upload failed or not a valid codeplug
    DownloadFailed = 5,  // not written back whole (or not at all)
    PasswordRefused = 6, // the radio refused its codeplug password: nothing read, nothing written
};

struct CodeplugStepOutcome
{
    CodeplugStepResult result = CodeplugStepResult::NoFormatReply;
    // After Converted, when verification is on.
    std::optional<ReadBackOutcome> verification;
    std::string backupPath; // the backup saved before the write, when one was
};

// Runs the step over the window's link, status line and progress bar. Before anything is written
// back, the uploaded codeplug is saved as a backup file (CodeplugBackupFolder) with its record,
// which keeps the conversion's report; without the backup (an error box then says why), or
// without the radio's identity, nothing is written and the result is DownloadFailed. Stop does
// not cut the step short: it runs to its end and its result stands.
CodeplugStepOutcome PreserveCodeplug(TCodeUpdaterMainDispForm& window);

} // namespace aurex

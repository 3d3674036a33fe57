#pragma once

// The codeplug preservation step that runs after a code update: wait for the radio to restart,
// ask for its identity and for the codeplug format its new firmware expects, read the codeplug
// out, convert it and write it back.

#include <string>

namespace aurex {

class TCodeUpdaterMainDispForm;

// Results of PreserveCodeplug.
inline constexpr int kPreserveNoFormatReply = 0;   // no 04 1D: nothing transferred
inline constexpr int kPreserveNotSupported = 1;    // a format not converted (or conversion refused): nothing written
inline constexpr int kPreserveSameFormat = 2;      // nothing to convert, nothing written
inline constexpr int kPreserveConverted = 3;       // converted and written back
inline constexpr int kPreserveUploadFailed = 4;    // upload failed or not a valid codeplug
inline constexpr int kPreserveDownloadFailed = 5;  // not written back whole (or not at all)

// Runs the step over the window's link, status line and progress bar; one of the results above.
// Before anything is written back, the uploaded codeplug is saved as a backup file
// (CodeplugBackupFolder); without the backup (an error box then says why), or without the radio's
// identity, nothing is written and the result is 5.
int PreserveCodeplug(TCodeUpdaterMainDispForm& window);

// Asks the radio for its identity (04 04, skipping one 07 25 notice). True with the identity as
// 16 upper-case hex digits; false, leaving `identity` as it was, when it did not answer. The
// link's time-out must exist.
bool QueryRadioIdentity(TCodeUpdaterMainDispForm& window, std::string& identity);

}  // namespace aurex

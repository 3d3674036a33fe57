#pragma once

// The codeplug exchanges that the update's codeplug step, a backup on request and a restore
// share: the restart wait, the upload, the write with its password step, and the read-back that
// checks a write. Each shows its own status and progress in the window.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/radio_link.h"
#include "programming/radio_identity.h"
#include "programming/radio_programming.h"
#include "text/ui_text.h"
#include "transfer/radio_transfer_link.h"
#include "transfer/vnx_transfer.h"

namespace aurex {

class TCodeUpdaterMainDispForm;

// The start of the status after the radio refused the password that guards its codeplug.
inline constexpr std::string_view kRadioPasswordRefusedText = "The radio refused its codeplug password.";

// The radio's link as the two kinds of exchange use it: queries and transfers.
struct CodeplugLinks
{
    explicit CodeplugLinks(RadioLink& link) : radio(link), queries(link), transfer(link) {}
    RadioLink& radio;
    RadioLinkChannel queries;
    RadioTransferLink transfer;
};

// Shows `status` with a timed progress bar for as long as the radio takes to restart; only the
// application's quit ends the wait early.
void WaitForRadioRestart(TCodeUpdaterMainDispForm& window, const char* status);

// The password the user typed for one transfer, offered once to the next transfer of the same
// run (the read-back after a write) before the user is asked again.
class RunPassword
{
  public:
    explicit RunPassword(TCodeUpdaterMainDispForm& window) : window_(window) {}
    // Asks the user, remembering what was typed.
    PasswordPromptFn Asking();
    // Offers the remembered text first, then asks.
    PasswordPromptFn Remembered();

  private:
    TCodeUpdaterMainDispForm& window_;
    std::string typed_;
};

struct UploadedCodeplug
{
    TransferResult result = TransferResult::Failed;
    std::vector<std::uint8_t> bytes; // as the radio sent them, in line order
    bool valid = false;              // read whole and passes the structure check
    bool passwordRefused = false;    // the radio refused its codeplug password: nothing was read

    // The image as words, zero past its bytes: what the converters take.
    std::vector<std::uint16_t> Words() const;
};

// Reads the codeplug out, showing `status` with a timed progress bar; its bytes go to the window's
// byte progress as `phase`.
UploadedCodeplug UploadCodeplug(TCodeUpdaterMainDispForm& window, CodeplugLinks& links,
                                const PasswordPromptFn& password, const char* status,
                                const char* phase = "codeplug-upload");

// Writes `bytes` (line order) into the radio with the password step, scrambled with `identity`,
// under "Downloading codeplug...". Stop cannot cut the write short once it has begun.
bool DownloadCodeplug(TCodeUpdaterMainDispForm& window, CodeplugLinks& links, const RadioIdentity& identity,
                      const PasswordPromptFn& password, std::span<const std::uint8_t> bytes);

enum class ReadBackOutcome {
    Verified,    // the radio holds what was written
    NotAnswered, // the read-back did not come: the write itself succeeded
    Stopped,     // Stop came before the read-back ended: the write itself succeeded
    Differs,     // the radio holds something else
};

// "verified", "not verified: no answer", "not verified: stopped", "differs": as the history keeps it.
std::string VerificationName(ReadBackOutcome outcome);

// After a write: waits for the radio to restart, reads the codeplug back and compares it with
// `written`. Sends nothing but the upload.
ReadBackOutcome ReadBackCodeplug(TCodeUpdaterMainDispForm& window, CodeplugLinks& links,
                                 const PasswordPromptFn& password, std::span<const std::uint8_t> written);

// The status after a read-back that did not differ.
std::string ReadBackText(ReadBackOutcome outcome);
// The status after one that did, naming the backup of what the radio held before.
UiText ReadBackDiffersText(const std::string& backupPath);

// True when `readBack` starts with the image of `written`, up to the image's own length (a
// read-back comes in whole blocks).
bool HoldsWrittenCodeplug(std::span<const std::uint8_t> readBack, std::span<const std::uint8_t> written);

} // namespace aurex

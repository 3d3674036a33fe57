#include "app/codeplug_step.h"

#include <algorithm>
#include <vector>

#include "app/app_timeouts.h"
#include "app/code_updater_main_form.h"
#include "app/codeplug_conversion.h"
#include "app/codeplug_spare.h"
#include "convert/format_tables.h"
#include "convert/hex_text.h"
#include "link/radio_link.h"
#include "transfer/codeplug_backup.h"

namespace aurex {

namespace {

CodeplugStepOutcome TransferCodeplug(TCodeUpdaterMainDispForm& window, CodeplugLinks& links,
                                     std::optional<RadioIdentity> identity, const CodeplugFormat& format)
{
    CodeplugStepOutcome outcome;
    RunPassword password(window);
    const UploadedCodeplug uploaded =
        UploadCodeplug(window, links, password.Asking(), "Uploading codeplug...");
    if (!uploaded.valid) {
        outcome.result =
            uploaded.passwordRefused ? CodeplugStepResult::PasswordRefused : CodeplugStepResult::UploadFailed;
        return outcome;
    }
    std::vector<std::uint16_t> words = uploaded.Words();
    const std::uint8_t currentIndex = ParmsFormatIndex(words.data());
    const std::uint8_t targetIndex = ParmsIndexOfVersion(format.major, format.minor);
    if (!Convertible(currentIndex) || !Convertible(targetIndex)) {
        outcome.result = CodeplugStepResult::NotSupported;
        return outcome;
    }
    if (currentIndex == targetIndex) {
        outcome.result = CodeplugStepResult::SameFormat;
        return outcome;
    }

    // From here on the radio's codeplug is rewritten. Blocks scrambled with a wrong identity
    // would corrupt it, so without the identity (asked once more) nothing is written; nor is it
    // without a backup on this computer.
    if (!identity) {
        SetLinkActive(links.radio, true);
        identity = QueryRadioIdentity(links.queries);
        if (!identity) {
            outcome.result = CodeplugStepResult::DownloadFailed;
            return outcome;
        }
    }
    // Converted before the backup is saved, so that its record keeps what the conversion did;
    // the radio meanwhile restarts into its new firmware, as the wait below allows for.
    const ConvertedCodeplug converted = ConvertCodeplug(uploaded, targetIndex);
    BackupRecord facts = window.BackupFacts(BackupReason::BeforeUpdate);
    facts.conversionReport = converted.report;
    const std::shared_ptr<BackupDisk>& disk = window.Environment().backupDisk;
    BackupDisk& backupDisk = disk ? *disk : SystemBackupDisk();
    const std::string identityText = ParmsBytesToText(*identity);
    const CodeplugBackupResult backup =
        SaveCodeplugBackup(identityText, uploaded.bytes, backupDisk, facts, &window.m_BackupRoom);
    window.RecordBackup(backup);
    if (!backup.saved) {
        // The radio runs its new code over the old codeplug now: what was read out is the way
        // back to its settings, so it is kept elsewhere and the user told how to finish.
        const CodeplugBackupResult spare = SaveSpareCodeplug(identityText, uploaded.bytes, backupDisk, facts);
        window.RecordBackup(spare);
        window.ShowError(UnsavedBackupText(backup.error, spare));
        outcome.backupPath = spare.path;
        outcome.result = CodeplugStepResult::DownloadFailed;
        return outcome;
    }
    outcome.backupPath = backup.path;

    WaitForRadioRestart(window, "Resetting radio and converting codeplug...");
    if (!converted.ok) {
        // A refused image may be half converted: it never goes back into the radio.
        outcome.result = CodeplugStepResult::NotSupported;
        return outcome;
    }
    if (!DownloadCodeplug(window, links, *identity, password.Asking(), converted.bytes)) {
        outcome.result = CodeplugStepResult::DownloadFailed;
        return outcome;
    }
    outcome.result = CodeplugStepResult::Converted;
    if (window.m_FileVerifyMenuItem.Checked()) {
        outcome.verification = ReadBackCodeplug(window, links, password.Remembered(), converted.bytes);
    }
    return outcome;
}

} // namespace

CodeplugStepOutcome PreserveCodeplug(TCodeUpdaterMainDispForm& window)
{
    // The new code is in the radio, which may not read its old codeplug: stopping now could only
    // leave it worse off, so Stop does not cut any phase of the step short. A radio that falls
    // silent still ends it through the time-outs.
    const TCodeUpdaterMainDispForm::HoldStop hold(window, TCodeUpdaterMainDispForm::StopHold::CodeplugStep);
    CodeplugLinks links(window.RadioLink);
    WaitForRadioRestart(window, "Resetting radio...");
    CreateLinkTimeout(links.radio, app_timeouts::kCodeplugReplyMs);

    // Each exchange sets the link active for its waits: an identity query that did not wait would
    // leave its late reply to be taken for the answer to the format query.
    SetLinkActive(links.radio, true);
    const std::optional<RadioIdentity> identity = QueryRadioIdentity(links.queries);

    SetLinkActive(links.radio, true);
    const std::optional<CodeplugFormat> format = QueryCodeplugFormat(links.queries);
    if (format) {
        window.m_RunEvents.FactLearnt("codeplug format",
                                      std::to_string(format->major) + "." + std::to_string(format->minor),
                                      &HistoryRow::versionsAfter);
    }
    CodeplugStepOutcome outcome;
    if (format) {
        outcome = TransferCodeplug(window, links, identity, *format);
    }
    ReleaseLinkTimeout(links.radio);
    return outcome;
}

} // namespace aurex

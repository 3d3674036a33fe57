// File -> "Back up codeplug..." and "Restore codeplug...": the codeplug of a radio in normal mode
// read into a backup, and a backup put back into a radio, each with the codeplug step's messages.

#include "app/codeplug_requests.h"

#include <cctype>
#include <functional>

#include "app/app_timeouts.h"
#include "app/code_updater_main_form.h"
#include "app/codeplug_conversion.h"
#include "app/codeplug_transfers.h"
#include "app/restore_question.h"
#include "convert/format_tables.h"
#include "convert/hex_text.h"
#include "programming/version_info.h"
#include "transfer/backup_catalog.h"
#include "transfer/codeplug_backup.h"

namespace aurex {

namespace {

// A request that wrote or read what it was for has succeeded: a restore whose read-back did not
// come still wrote the radio whole. Other ends go by what the run noted, or a Stop.
std::optional<RunResult> RunResultOf(CodeplugRequestResult result)
{
    switch (result) {
    case CodeplugRequestResult::BackedUp:
    case CodeplugRequestResult::Restored:
    case CodeplugRequestResult::NotVerified:
        return RunResult::Succeeded;
    case CodeplugRequestResult::ReadBackStopped:
        return RunResult::Stopped;
    case CodeplugRequestResult::Differs:
        return RunResult::VerificationDiffers;
    case CodeplugRequestResult::NoRadio:
        return RunResult::NoAnswer;
    default:
        return std::nullopt;
    }
}

constexpr std::string_view kNotInNormalModeText =
    "The radio did not answer. For a codeplug backup or restore the radio must be started normally, "
    "not in boot-load mode.";
constexpr std::string_view kNoCodeplugGivenText =
    "The radio did not give its codeplug. For a codeplug backup or restore the radio must be started "
    "normally, not in boot-load mode.";

// An upload that the radio did not begin: a radio in boot-load mode tells its identity but
// keeps its codeplug to itself.
bool UploadNeverBegan(const UploadedCodeplug& uploaded)
{
    return uploaded.result != TransferResult::Done && uploaded.bytes.empty();
}

bool SameIdentity(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string FormatText(const CodeplugFormat& format)
{
    return std::to_string(format.major) + "." + std::to_string(format.minor);
}

BackupDisk& DiskOf(const MainFormEnvironment& environment)
{
    return environment.backupDisk ? *environment.backupDisk : SystemBackupDisk();
}

} // namespace

BackupRecord TCodeUpdaterMainDispForm::BackupFacts(BackupReason reason) const
{
    BackupRecord facts;
    facts.reason = reason;
    facts.updaterModel = ResourceAttributes.radio_model;
    facts.updaterSeries = ResourceAttributes.series;
    facts.programName = ProgramBaseName(environment_.programPath);
    facts.programRelease = m_TargetReleaseLabel.Caption();
    if (m_ReportedBootVersion != std::array<std::uint8_t, 2>{}) {
        facts.radioVersions["boot"] =
            std::to_string(m_ReportedBootVersion[0]) + "." + std::to_string(m_ReportedBootVersion[1]);
    }
    if (m_LastRetrieveStatus && VersionInfoRead(*m_LastRetrieveStatus)) {
        facts.radioVersions["file"] = FileVersionLabel.Caption();
        facts.radioVersions["dsp"] = DSPVersionLabel.Caption();
        facts.radioVersions["controller"] = HWControllerVersionLabel.Caption();
        facts.radioVersions["hardware"] = HWRevisionLabel.Caption();
        facts.radioVersions["sem"] = SEMVersionLabel.Caption();
    }
    return facts;
}

bool TCodeUpdaterMainDispForm::AllowConversion(const ConvertedCodeplug& converted,
                                               const std::string& backupFormat,
                                               const std::string& radioFormat)
{
    if (converted.report.empty()) {
        return true;
    }
    std::string lines = "Conversion of the backup from format " + backupFormat + " to " + radioFormat + ":";
    for (const std::string& line : converted.report) {
        lines += "\n  " + line;
    }
    m_RunRecorder.Note(lines);
    if (!converted.losesData || m_ConversionLossPolicy == OtherRadioPolicy::Allow) {
        return true;
    }
    // The report ends in its totals, which name every kind of loss in one line.
    const std::vector<UiText> facts = {UiText::Verbatim(backupFormat), UiText::Verbatim(radioFormat),
                                       UiText::Verbatim(converted.report.back())};
    if (m_ConversionLossPolicy == OtherRadioPolicy::Ask &&
        AskYesNo({"Converting this backup from codeplug format %1 to format %2, which the radio expects, "
                  "loses data (%3).\nThe run log lists every change.\n\nWrite the converted backup into the "
                  "radio?",
                  facts},
                 "Restore codeplug")) {
        return true;
    }
    ShowStatusText({"Restore refused: converting the backup from codeplug format %1 to format %2 loses data "
                    "(%3). Nothing was written to the radio.",
                    facts});
    return false;
}

void TCodeUpdaterMainDispForm::m_FileBackupMenuItemClick()
{
    BackUpCodeplug();
}

void TCodeUpdaterMainDispForm::m_FileRestoreMenuItemClick()
{
    if (m_ClickHandlerRunning || m_UpdateInProgress) {
        return;
    }
    const std::string path = host_.ChooseBackupFile(*this, CodeplugBackupFolder());
    if (!path.empty()) {
        RestoreCodeplug(path);
    }
}

void TCodeUpdaterMainDispForm::m_FileVerifyMenuItemClick()
{
    m_FileVerifyMenuItem.SetChecked(!m_FileVerifyMenuItem.Checked());
}

CodeplugRequestResult TCodeUpdaterMainDispForm::RunCodeplugRequest(
    const std::function<CodeplugRequestResult(CodeplugLinks&)>& exchange)
{
    if (const std::string problem = CheckCodeplugBackupFolder(DiskOf(environment_), &m_BackupRoom);
        !problem.empty()) {
        ShowError({"%1\n\nNothing has been sent to the radio.", {problem}});
        return CodeplugRequestResult::Failed;
    }
    BeginUpdateRun();
    CodeplugLinks links(RadioLink);
    CodeplugRequestResult result = CodeplugRequestResult::Failed;
    // At 19200 baud, where a radio in normal mode listens and where the codeplug step talks: no
    // baud-rate message, so no radio is left at 115200 afterwards.
    if (OpenRadioLink(true)) {
        CreateLinkTimeout(links.radio, app_timeouts::kCodeplugReplyMs);
        result = exchange(links);
        ReleaseLinkTimeout(links.radio);
    }
    m_BackupRoom.Release();
    EndUpdateRun(false);
    CloseRadioLink();
    return result;
}

CodeplugRequestResult TCodeUpdaterMainDispForm::BackUpCodeplug()
{
    if (m_ClickHandlerRunning || m_UpdateInProgress) {
        return CodeplugRequestResult::Refused;
    }
    ClickHandlerScope handler(*this);
    RunRecordScope record(*this, RunKind::Backup);
    const CodeplugRequestResult result = RunCodeplugRequest([this](CodeplugLinks& links) {
        const std::optional<RadioIdentity> identity = QueryRadioIdentity(links.queries);
        // Stop ends the wait for the reply: the radio's silence is then not the radio's fault.
        if (!m_UpdateInProgress) {
            ShowStatus("Stopped. Nothing was saved.");
            return CodeplugRequestResult::Refused;
        }
        if (!identity) {
            ShowStatus(std::string(kNotInNormalModeText));
            return CodeplugRequestResult::NoRadio;
        }
        RunPassword password(*this);
        const UploadedCodeplug uploaded =
            UploadCodeplug(*this, links, password.Asking(), "Uploading codeplug...");
        if (!m_UpdateInProgress) {
            ShowStatus("Stopped. Nothing was saved.");
            return CodeplugRequestResult::Refused;
        }
        if (uploaded.passwordRefused) {
            NoteOutcome(RunResult::RadioPasswordRefused);
            ShowStatus(std::string(kRadioPasswordRefusedText) + " Nothing was saved.");
            return CodeplugRequestResult::Failed;
        }
        if (UploadNeverBegan(uploaded)) {
            ShowStatus(std::string(kNoCodeplugGivenText));
            return CodeplugRequestResult::NoRadio;
        }
        if (!uploaded.valid) {
            NoteOutcome(RunResult::CodeplugUploadFailed);
            ShowStatus("An error occurred while uploading the codeplug.");
            return CodeplugRequestResult::Failed;
        }
        const CodeplugBackupResult backup =
            SaveCodeplugBackup(ParmsBytesToText(*identity), uploaded.bytes, DiskOf(environment_),
                               BackupFacts(BackupReason::OnRequest), &m_BackupRoom);
        RecordBackup(backup);
        if (!backup.saved) {
            ShowStatusText({"The codeplug was read, but its backup could not be saved: %1", {backup.error}});
            return CodeplugRequestResult::Failed;
        }
        ShowStatusText({"Codeplug backed up to %1.", {UiText::Verbatim(backup.path)}});
        return CodeplugRequestResult::BackedUp;
    });
    if (const std::optional<RunResult> ended = RunResultOf(result)) {
        record.SetResult(*ended);
    }
    return result;
}

CodeplugRequestResult TCodeUpdaterMainDispForm::RestoreCodeplug(const std::string& backupPath)
{
    if (m_ClickHandlerRunning || m_UpdateInProgress) {
        return CodeplugRequestResult::Refused;
    }
    ClickHandlerScope handler(*this);
    RunRecordScope record(*this, RunKind::Restore);
    m_RunRecorder.Note("Backup to restore: " + backupPath);
    // A file that is no sound backup is refused before anything goes on the line.
    const BackupForRestore chosen = ReadBackupForRestore(backupPath);
    if (!chosen.error.empty()) {
        ShowError({"%1\n\nNothing has been sent to the radio.", {chosen.error}}, "Restore codeplug");
        return CodeplugRequestResult::Refused;
    }
    const CodeplugRequestResult result = RunCodeplugRequest([this, &chosen,
                                                             &backupPath](CodeplugLinks& links) {
        const std::optional<RadioIdentity> identity = QueryRadioIdentity(links.queries);
        const std::optional<CodeplugFormat> format =
            identity ? QueryCodeplugFormat(links.queries) : std::optional<CodeplugFormat>();
        if (!m_UpdateInProgress) {
            ShowStatus("Stopped. Nothing was written to the radio.");
            return CodeplugRequestResult::Refused;
        }
        if (!identity || !format) {
            ShowStatus(std::string(kNotInNormalModeText));
            return CodeplugRequestResult::NoRadio;
        }
        const std::string radioIdentity = ParmsBytesToText(*identity);
        if (!SameIdentity(chosen.identity, radioIdentity)) {
            const UiText backupOf = chosen.identity.empty()
                                        ? UiText("an unknown radio")
                                        : UiText("the radio %1", {UiText::Verbatim(chosen.identity)});
            const UiText question = {
                "This backup was made from %1.\nThe connected radio is %2.\n\nWrite the backup into the "
                "connected radio?",
                {backupOf, UiText::Verbatim(radioIdentity)}};
            const bool allowed =
                m_OtherRadioPolicy == OtherRadioPolicy::Allow ||
                (m_OtherRadioPolicy == OtherRadioPolicy::Ask && AskYesNo(question, "Restore codeplug"));
            if (!allowed) {
                ShowStatusText({"Restore refused: the backup was made from %1, not from the connected radio "
                                "%2. Nothing was written to the radio.",
                                {backupOf, UiText::Verbatim(radioIdentity)}});
                return CodeplugRequestResult::OtherRadio;
            }
        }
        const ConvertedCodeplug converted =
            ConvertCodeplug(chosen.bytes, ParmsIndexOfVersion(format->major, format->minor));
        if (!converted.ok) {
            ShowStatusText(
                {"The backup (codeplug format %1) cannot be converted to format %2, which the radio "
                 "expects. Nothing was written to the radio.",
                 {UiText::Verbatim(chosen.format), UiText::Verbatim(FormatText(*format))}});
            return CodeplugRequestResult::Refused;
        }
        if (!AllowConversion(converted, chosen.format, FormatText(*format))) {
            return CodeplugRequestResult::LosesData;
        }
        // Nothing goes into the radio before the user has seen which backup goes where.
        if (!AskYesNo(RestoreQuestion(chosen, backupPath, radioIdentity), "Restore codeplug")) {
            ShowStatus("Restore cancelled. Nothing was written to the radio.");
            return CodeplugRequestResult::Refused;
        }

        // What the radio holds now goes to the disk first: a restore never loses it.
        RunPassword password(*this);
        const UploadedCodeplug present =
            UploadCodeplug(*this, links, password.Asking(), "Uploading codeplug...");
        if (!m_UpdateInProgress) {
            ShowStatus("Stopped. Nothing was written to the radio.");
            return CodeplugRequestResult::Refused;
        }
        if (present.passwordRefused) {
            NoteOutcome(RunResult::RadioPasswordRefused);
            ShowStatus(std::string(kRadioPasswordRefusedText) + " Nothing was written to the radio.");
            return CodeplugRequestResult::Failed;
        }
        if (UploadNeverBegan(present)) {
            ShowStatusText({"%1 Nothing was written to the radio.", {std::string(kNoCodeplugGivenText)}});
            return CodeplugRequestResult::NoRadio;
        }
        if (present.result != TransferResult::Done) {
            NoteOutcome(RunResult::CodeplugUploadFailed);
            ShowStatus(
                "An error occurred while uploading the codeplug. The radio's present codeplug is not backed "
                "up, so nothing was written to the radio.");
            return CodeplugRequestResult::Failed;
        }
        // Its record keeps what the restore's conversion changed, beside what it replaced.
        BackupRecord facts = BackupFacts(BackupReason::BeforeRestore);
        facts.conversionReport = converted.report;
        const CodeplugBackupResult before =
            SaveCodeplugBackup(radioIdentity, present.bytes, DiskOf(environment_), facts, &m_BackupRoom);
        RecordBackup(before);
        if (!before.saved) {
            ShowError({"The radio keeps the codeplug it has: the backup was not written into it, since the "
                       "radio's present codeplug could not be saved.\n%1",
                       {before.error}});
            ShowStatus("Idle");
            return CodeplugRequestResult::Failed;
        }
        WaitForRadioRestart(*this, "Resetting radio and converting codeplug...");
        if (!m_UpdateInProgress) {
            ShowStatus("Stopped. Nothing was written to the radio.");
            return CodeplugRequestResult::Refused;
        }
        if (!DownloadCodeplug(*this, links, *identity, password.Remembered(), converted.bytes)) {
            NoteOutcome(RunResult::CodeplugDownloadFailed);
            ShowStatusText({"An error occurred while downloading the codeplug. The codeplug the radio held "
                            "before is saved in %1.",
                            {UiText::Verbatim(before.path)}});
            return CodeplugRequestResult::Failed;
        }
        if (!m_FileVerifyMenuItem.Checked()) {
            ShowStatus("Codeplug restored (not verified).");
            return CodeplugRequestResult::NotVerified;
        }
        const ReadBackOutcome outcome =
            ReadBackCodeplug(*this, links, password.Remembered(), converted.bytes);
        m_RunEvents.FactLearnt("Verification", VerificationName(outcome), &HistoryRow::verification);
        switch (outcome) {
        case ReadBackOutcome::Verified:
            ShowStatus("Codeplug restored and verified.");
            return CodeplugRequestResult::Restored;
        case ReadBackOutcome::NotAnswered:
            ShowStatus(ReadBackText(outcome));
            return CodeplugRequestResult::NotVerified;
        case ReadBackOutcome::Stopped:
            ShowStatus(ReadBackText(outcome));
            return CodeplugRequestResult::ReadBackStopped;
        case ReadBackOutcome::Differs:
            break;
        }
        ShowStatusText(ReadBackDiffersText(before.path));
        return CodeplugRequestResult::Differs;
    });
    if (const std::optional<RunResult> ended = RunResultOf(result)) {
        record.SetResult(*ended);
    }
    return result;
}

} // namespace aurex

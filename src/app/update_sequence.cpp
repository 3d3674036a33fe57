// The Start button: the password gate and the two update sequences, the application path and the
// boot path, with the target check and the codeplug step that ends a run.

#include <filesystem>

#include "app/code_down_pass_dlg.h"
#include "app/code_updater_main_form.h"
#include "app/codeplug_step.h"
#include "app/host_info.h"
#include "app/image_stream.h"
#include "app/radio_types.h"
#include "app/radio_wait.h"
#include "app/scratch_folder.h"
#include "programming/radio_programming.h"
#include "transfer/codeplug_backup.h"

namespace aurex {

namespace {

std::string VersionText(const std::array<std::uint32_t, 2>& version)
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]);
}

constexpr std::string_view kBootRefreshedText =
    "Aurex Code Updater has detected that the connected radio did not\n"
    "have the latest bootload code version.  This has been automatically\n"
    "updated.  Please place the radio back into bootload mode to continue\n"
    "with the application code upgrade.\n\n"
    "Press OK once the radio is ready.";

constexpr std::string_view kNoConversionText =
    "Aurex Code updaters do not support a file format conversion for your\n"
    "radio.  To clear the Bad File Format error, please perform a parms\n"
    "upload and then download using Tessaro 1.30.x.  If you do not\n"
    "have Tessaro 1.30.x, then contact your local dealer for assistance.";

constexpr std::string_view kNotInBootModeText =
    "The radio answered but did not start the code download: it is probably running its normal "
    "code. Restart it in boot-load mode and press Start again.";

} // namespace

void TCodeUpdaterMainDispForm::m_StartButtonClick()
{
    const bool bootRequested =
        ResourceAttributes.Upgrade() == UpgradeType::Boot ||
        (ResourceAttributes.Upgrade() == UpgradeType::ApplicationBoot && m_BootRadioButton.Checked());
    if (m_UpdateInProgress) {
        RequestStop();
        return;
    }
    if (m_ClickHandlerRunning) {
        return; // an earlier run (or Retrieve) has not returned yet
    }
    ClickHandlerScope handler(*this);
    m_CodeplugBackupLabel.SetVisible(false); // the last run's backup is not this run's
    m_OpenBackupFolderButton.SetVisible(false);
    if (!ChosenPortPermitted()) {
        return; // a password would be asked for nothing
    }
    if (!m_PasswordAccepted) {
        std::string typed;
        {
            // Only the text decides: how the dialog was closed is not asked.
            TCodeDownPassDispDlg dialog;
            host_.ShowModal(*this, dialog);
            typed = ReadTrimmedPassword(dialog);
        }
        const char* expected = bootRequested && !m_BootPathSelected ? "marvoski" : "brontel";
        if (typed != expected) {
            // The dialog closing alone left the user guessing; a prompt ended by a signal is no
            // refusal to report.
            if (!m_TerminationRequested) {
                ShowStatus("The password was not accepted.");
            }
            return;
        }
        m_PasswordAccepted = true;
    }
    RunRecordScope record(*this, RunKind::Update);
    if (m_TerminationRequested || !ReadyToUpdate(m_BootPathSelected || !bootRequested)) {
        return;
    }
    SetFocus(m_RetrieveVersionInfoButton);
    if (m_BootPathSelected) {
        RunBootUpdate();
    } else {
        RunApplicationUpdate(bootRequested);
    }
    m_BackupRoom.Release();
    CloseRadioLink();
}

std::vector<RunStep> TCodeUpdaterMainDispForm::PlannedRunSteps(RunKind kind, bool bootFirst) const
{
    RunPlan plan;
    plan.kind = kind;
    plan.verify = m_FileVerifyMenuItem.Checked();
    if (kind == RunKind::Update) {
        // As m_StartButtonClick and the two sequences below choose.
        const bool bootRequested =
            ResourceAttributes.Upgrade() == UpgradeType::Boot ||
            (ResourceAttributes.Upgrade() == UpgradeType::ApplicationBoot && m_BootRadioButton.Checked());
        plan.bootFirst = m_BootPathSelected && bootFirst;
        plan.bootOnly = !m_BootPathSelected && bootRequested;
        plan.dsp = ResourceAttributes.Upgrade() == UpgradeType::Dsp;
        plan.codeplugStep = !plan.bootOnly;
    }
    return PlannedSteps(plan);
}

void TCodeUpdaterMainDispForm::StopUpdateRun()
{
    if (!m_UpdateInProgress) {
        return; // ended meanwhile (a signal while the question was up)
    }
    m_RunStopped = true;
    EndUpdateRun(true);
    m_ProgressBar.SetPosition(0);
}

void TCodeUpdaterMainDispForm::RequestStop()
{
    if (!m_CodeDownloadUnderway || m_TerminationRequested) {
        StopUpdateRun();
        return;
    }
    if (m_StopQuestionOpen) {
        return;
    }
    // The download goes on under the box: a question left open must not run out the radio's
    // reply time. Yes ends the waits as Stop does; No leaves the download as it is.
    m_StopQuestionOpen = true;
    const UiText text(kStopDuringCodeDownloadText);
    const UiText caption("Confirm");
    host_.AskWithoutWaiting(*this, text, caption, [this, text, caption](MessageAnswer answer) {
        m_StopQuestionOpen = false;
        m_RunEvents.BoxAnswered(caption.Plain(), MessageIcon::Question, text.Plain(), answer);
        if (answer == MessageAnswer::Yes) {
            StopUpdateRun();
        }
    });
}

ProgrammingStatus
TCodeUpdaterMainDispForm::RunCodeDownload(const std::function<ProgrammingStatus()>& download)
{
    MarkVersionsReadBeforeUpdate();
    m_CodeDownloadUnderway = true;
    struct Underway
    {
        TCodeUpdaterMainDispForm& form;
        ~Underway()
        {
            form.m_CodeDownloadUnderway = false;
            // The download has ended: a Stop question still open no longer asks anything.
            if (form.m_StopQuestionOpen) {
                form.m_StopQuestionOpen = false;
                form.host_.WithdrawQuestion(form);
            }
        }
    } underway{*this};
    return download();
}

bool TCodeUpdaterMainDispForm::ReadyToUpdate(bool codeplugStep)
{
    std::string problem = scratch_ ? scratch_->Prepare() : std::string();
    if (problem.empty() && codeplugStep) {
        problem = CheckCodeplugBackupFolder(
            environment_.backupDisk ? *environment_.backupDisk : SystemBackupDisk(), &m_BackupRoom);
    }
    if (problem.empty()) {
        return true;
    }
    ShowError({"%1\n\nNothing has been sent to the radio.", {problem}});
    return false;
}

void TCodeUpdaterMainDispForm::RunApplicationUpdate(bool bootRequested)
{
    m_BootCodeRefreshed = false;
    const bool bootChosen =
        ResourceAttributes.Upgrade() == UpgradeType::ApplicationBoot && m_BootRadioButton.Checked();
    ProgrammingStatus result = ProgrammingStatus::Success;
    bool extracted = false;
    BeginUpdateRun();
    ShowStatus("Extracting embedded files...");
    [&] {
        if (!OpenRadioLink(false)) {
            return; // the status says what failed
        }
        if (bootRequested && !CheckBootVersion()) {
            return; // the check has said why
        }
        if (!ExtractEmbeddedFiles(bootChosen)) {
            ShowStatus("Idle");
            return;
        }
        extracted = true;
        ShowStatus("Checking target radio...");
        if (!CheckTargetRadio()) {
            return;
        }
        WorkingFolder& folder = *environment_.workingFolder;
        WorkingFileStream loader(folder, m_LoaderFileName);
        WorkingFileStream code(folder, m_CodeFileName);
        if (ResourceAttributes.Upgrade() == UpgradeType::Dsp) {
            // The page files go beside the program, as the radio maker's tools expect them; an
            // installed program's folder is not the user's to write in, so then the temporary
            // folder (an empty folder here) takes them.
            std::filesystem::path programFolder =
                std::filesystem::path(environment_.programPath).parent_path();
            if (!FolderIsWritable(programFolder.string())) {
                programFolder.clear();
            }
            // A failed DSP download keeps its own text: the codeplug step would otherwise end the
            // run with "Done." over an update that did not happen.
            // A Stop asks first here too: a DSP cut short leaves the radio without working DSP code.
            result = RunCodeDownload([&] {
                return DownloadDsp(RadioLink, loader, code, RadioTypeCode, StatusCallbackForDownloads(),
                                   programFolder, m_ProgressBarDisplay, &m_ByteProgress);
            });
            if (result == ProgrammingStatus::Success) {
                // The radio restarts at 19200 baud after its DSP is loaded, as after new code; the
                // DSP download leaves the line at 115200, so the codeplug step would find the
                // radio deaf. Tell a radio that is still listening, then follow it.
                ChangeBaudRate(RadioLink, 19200);
            }
        } else {
            result = RunCodeDownload([&] {
                return DownloadCode(RadioLink, loader, code, StatusCallbackForDownloads(), RadioTypeCode,
                                    m_ProgressBarDisplay, bootRequested, &m_ByteProgress);
            });
        }
        loader.Close();
        code.Close();
        if (result != ProgrammingStatus::Success) {
            NoteCodeDownloadFailure(result);
        }
        if (!bootRequested && !bootChosen && m_UpdateInProgress && result == ProgrammingStatus::Success) {
            ShowCodeplugOutcome(PreserveCodeplug(*this));
        }
    }();
    EndUpdateRun(extracted);
}

// One pass of the boot path: extracts the boot or application images, checks the radio and
// downloads them; true on success. A failed extraction leaves "Idle"; a failed check or download
// leaves its own text.
bool TCodeUpdaterMainDispForm::ExtractCheckAndDownload(bool boot)
{
    if (!ExtractEmbeddedFiles(boot)) {
        ShowStatus("Idle");
        return false;
    }
    ShowStatus("Checking target radio...");
    if (!CheckTargetRadio()) {
        return false;
    }
    return DownloadExtractedCode(boot) == ProgrammingStatus::Success;
}

// Downloads one extracted pair of images and deletes the two merged files; the result of the
// download.
ProgrammingStatus TCodeUpdaterMainDispForm::DownloadExtractedCode(bool boot)
{
    WorkingFolder& folder = *environment_.workingFolder;
    ProgrammingStatus result = ProgrammingStatus::Success;
    {
        WorkingFileStream loader(folder, m_LoaderFileName);
        WorkingFileStream code(folder, m_CodeFileName);
        result = RunCodeDownload([&] {
            return DownloadCode(RadioLink, loader, code, StatusCallbackForDownloads(), RadioTypeCode,
                                m_ProgressBarDisplay, boot, &m_ByteProgress);
        });
    }
    if (result != ProgrammingStatus::Success) {
        NoteCodeDownloadFailure(result);
    }
    folder.Remove(m_LoaderFileName);
    folder.Remove(m_CodeFileName);
    return result;
}

void TCodeUpdaterMainDispForm::NoteCodeDownloadFailure(ProgrammingStatus status)
{
    if (status != ProgrammingStatus::StartUnanswered) {
        NoteOutcome(RunResult::CodeDownloadFailed);
        return;
    }
    if (!m_UpdateInProgress) {
        ShowStatus(kCodeTimedOutText); // stopped
        NoteOutcome(RunResult::CodeDownloadFailed);
        return;
    }
    // The run has switched the radio to 115200: back to 19200, as after a download, so that the
    // next Start finds it. The loader's start timed out, which stopped the link.
    SetLinkActive(RadioLink, true);
    ChangeBaudRate(RadioLink, 19200);
    if (!m_TargetAnswered) {
        // Nothing answered before either: no telling what the radio runs.
        NoteOutcome(RunResult::CodeDownloadFailed);
        ShowStatus(kCodeTimedOutText);
        return;
    }
    NoteOutcome(RunResult::NotInBootMode);
    ShowStatus(std::string(kNotInBootModeText) + (m_BootCodeRefreshed
                                                      ? " Its boot code was refreshed."
                                                      : " Nothing was written to the radio."));
}

bool TCodeUpdaterMainDispForm::AllowBootDowngrade(bool applicationFollows)
{
    const std::string radio = VersionText(m_RadioBootVersion);
    const std::string carried = VersionText(m_CarriedBootVersion);
    switch (m_BootDowngradePolicy) {
    case BootDowngradePolicy::Allow:
        m_RunRecorder.Note("Older boot code allowed: the radio has " + radio + ", this updater carries " +
                           carried + ".");
        return true;
    case BootDowngradePolicy::Ask:
        if (AskYesNo(
                {"The radio's boot code is version %1, newer than the version %2 this updater carries.\n\n"
                 "Load the older boot code %2 into the radio?",
                 {UiText::Verbatim(radio), UiText::Verbatim(carried)}},
                "Aurex Code Updater")) {
            return true;
        }
        break;
    case BootDowngradePolicy::Refuse:
        break;
    }
    m_BootDowngradeRefused = true;
    if (applicationFollows) {
        m_RunRecorder.Note("Older boot code refused: the radio keeps its " + radio + ".");
        ShowStatusText({"The radio keeps its boot code %1, newer than this updater's %2.",
                        {UiText::Verbatim(radio), UiText::Verbatim(carried)}});
        return false;
    }
    NoteOutcome(RunResult::RadioDoesNotFit);
    ShowStatusText({"Nothing loaded: the radio's boot code %1 is newer than this updater's %2.",
                    {UiText::Verbatim(radio), UiText::Verbatim(carried)}});
    return false;
}

void TCodeUpdaterMainDispForm::AwaitRadioReturn()
{
    ShowStatus("Waiting for the radio to answer in boot-load mode...");
    RadioWait wait;
    wait.look = [this] { return LookOnLink(RadioLink); };
    wait.limit = *m_RadioReturnWait;
    wait.stopped = [this] { return !m_UpdateInProgress; };
    RadioLook last;
    if (WaitForRadio(wait, last) == WaitEnd::Found) {
        m_RunRecorder.Note("The radio answered again (" + BootVersionText(last.bootVersion) + ").");
    } else if (m_UpdateInProgress) {
        m_RunRecorder.Note("The radio did not answer within " + std::to_string(m_RadioReturnWait->count()) +
                           " s; the run goes on.");
    }
}

void TCodeUpdaterMainDispForm::RunBootUpdate()
{
    bool done = true;
    m_BootCodeRefreshed = false;
    BeginUpdateRun();
    ShowStatus("Extracting embedded files...");
    [&] {
        if (!OpenRadioLink(false)) {
            return; // the status says what failed
        }
        bool majorMismatch = false;
        bool communicationError = false;
        bool needsUpdate = QueryBootUpgrade(majorMismatch, communicationError);
        m_BootDowngradeRefused = false;
        const bool downgrade = needsUpdate && BootDowngrade();
        if (downgrade && !AllowBootDowngrade(true)) {
            needsUpdate = false; // the newer boot code stays: on with the application, as for a current one
        }
        if (needsUpdate) {
            m_RunStanding.Replan(PlannedRunSteps(RunKind::Update, true));
            done = ExtractCheckAndDownload(true);
            if (!done) {
                return; // the failing step's own text stays
            }
            m_BootCodeRefreshed = true;
            ShowStatus("Idle");
            if (!m_UpdateInProgress) {
                return; // stopped: the application is not loaded after all
            }
            if (m_RadioReturnWait) {
                AwaitRadioReturn();
                if (!m_UpdateInProgress) {
                    return; // stopped while waiting
                }
            }
            // The usual text says the radio lacked the latest code: not so after a downgrade.
            ShowInformation(downgrade
                                ? UiText("The radio's boot code %1 has been replaced by this updater's %2.  "
                                         "Please place the radio back into bootload mode to\n"
                                         "continue with the application code upgrade.\n\n"
                                         "Press OK once the radio is ready.",
                                         {UiText::Verbatim(VersionText(m_RadioBootVersion)),
                                          UiText::Verbatim(VersionText(m_CarriedBootVersion))})
                                : UiText(kBootRefreshedText));
            if (!m_UpdateInProgress) {
                return; // stopped while the box was up (a signal closes it)
            }
            ChangeBaudRate(RadioLink, 115200);
            // Takes the keyboard focus away from the Stop button.
            m_RetrieveVersionInfoButton.SetEnabled(true);
            SetFocus(m_RetrieveVersionInfoButton);
            m_RetrieveVersionInfoButton.SetEnabled(false);
            ShowStatus("Extracting embedded files...");
            done = ExtractCheckAndDownload(false);
        } else if (majorMismatch) {
            NoteOutcome(RunResult::RadioDoesNotFit);
            ShowStatus("Error: the major boot versions of the radio and file are different.");
            return;
        } else if (communicationError) {
            NoteOutcome(RunResult::NoAnswer);
            ShowStatus("Communication error while trying to retrieve boot version.");
            ExplainUnansweredRadio();
            return;
        } else {
            done = ExtractCheckAndDownload(false);
            if (done) {
                ShowStatus("Idle");
            }
        }
        if (m_UpdateInProgress && done) {
            ShowCodeplugOutcome(PreserveCodeplug(*this));
        }
    }();
    EndUpdateRun(false);
}

bool TCodeUpdaterMainDispForm::CheckTargetRadio()
{
    m_TargetAnswered = false;
    if (SkipsBootCheck(RadioTypeCode)) {
        return true;
    }
    std::array<std::uint8_t, 2> version{};
    const ProgrammingStatus status = ReadBootVersion(RadioLink, RadioTypeCode, version);
    m_ReportedBootVersion = version;
    m_TargetAnswered = status == ProgrammingStatus::Success;
    if (status == ProgrammingStatus::Success) {
        m_RunEvents.FactLearnt("boot", std::to_string(version[0]) + "." + std::to_string(version[1]),
                               &HistoryRow::versionsBefore);
        const std::uint8_t major = version[0];
        const std::uint8_t radioCode =
            RadioTypeCodeOfRadio(ResourceAttributes.radio_model, major, version[1]);
        const bool seriesFits = major == static_cast<std::uint8_t>(ResourceAttributes.series) || major == 7;
        if (radioCode == RadioTypeCode && seriesFits) {
            return true;
        }
        NoteOutcome(RunResult::RadioDoesNotFit);
        ShowSeriesMismatch(ResourceAttributes.radio_model, major);
        ShowStatus("Idle");
        m_ProgressBar.SetPosition(0);
        return false;
    }
    if (status == ProgrammingStatus::NoBootInfo) {
        ShowStatus("No Boot Info.");
        // The unanswered query's time-out has stopped the link; a radio without boot information
        // is to be updated all the same, so the download must not find its waits ended. A Stop
        // meanwhile is another matter: the run is over then.
        if (m_UpdateInProgress) {
            SetLinkActive(RadioLink, true);
        }
        return true;
    }
    NoteOutcome(RunResult::NoAnswer);
    ShowStatus("Communication error while trying to check target radio.");
    ExplainUnansweredRadio();
    return false;
}

void TCodeUpdaterMainDispForm::ExplainUnansweredRadio()
{
    if (!m_UpdateInProgress) {
        return; // stopped: the silence is ours
    }
    const int n = SelectedComNumber();
    // The check probes the line itself, so the link lets go of the device first.
    CloseRadioLink();
    const std::string cause = LikelyCause(n, LineProbes::Run);
    if (!cause.empty()) {
        ShowError({"The radio did not answer.%1", {cause}}, "Check connection");
    }
}

void TCodeUpdaterMainDispForm::ShowCodeplugOutcome(const CodeplugStepOutcome& outcome)
{
    if (!outcome.backupPath.empty()) {
        m_CodeplugBackupPath = outcome.backupPath;
        m_CodeplugBackupLabel.SetCaption({kCodeplugBackupLabelText, {UiText::Verbatim(outcome.backupPath)}});
        m_CodeplugBackupLabel.SetVisible(true);
        m_OpenBackupFolderButton.SetVisible(true);
    }
    if (outcome.verification) {
        m_RunEvents.FactLearnt("Verification", VerificationName(*outcome.verification),
                               &HistoryRow::verification);
    }
    switch (outcome.result) {
    case CodeplugStepResult::NotSupported:
        NoteOutcome(RunResult::CodeplugNotConverted);
        ShowStatus("Done.");
        ShowInformation(kNoConversionText);
        break;
    case CodeplugStepResult::SameFormat:
        ShowStatus("Done.");
        break;
    case CodeplugStepResult::Converted:
        if (outcome.verification == ReadBackOutcome::Differs) {
            // Not "Done.": the radio holds something other than its converted codeplug.
            NoteOutcome(RunResult::VerificationDiffers);
            ShowStatusText(ReadBackDiffersText(outcome.backupPath));
            break;
        }
        if (outcome.verification) {
            ShowStatus(ReadBackText(*outcome.verification));
        }
        ShowStatus("Done.");
        break;
    case CodeplugStepResult::UploadFailed:
        NoteOutcome(RunResult::CodeplugUploadFailed);
        ShowStatus("An error occurred while uploading the codeplug.");
        break;
    case CodeplugStepResult::PasswordRefused:
        NoteOutcome(RunResult::RadioPasswordRefused);
        ShowStatus(std::string(kRadioPasswordRefusedText) +
                   " The new code is in, but the codeplug was not converted.");
        break;
    case CodeplugStepResult::DownloadFailed:
        NoteOutcome(RunResult::CodeplugDownloadFailed);
        ShowStatus("An error occurred while downloading the codeplug.");
        break;
    case CodeplugStepResult::NoFormatReply:
        NoteOutcome(RunResult::NoAnswer);
        ShowStatus("The radio is no longer responding.");
        break;
    }
}

void TCodeUpdaterMainDispForm::m_OpenBackupFolderButtonClick()
{
    Host().ShowFolder(*this, std::filesystem::path(m_CodeplugBackupPath).parent_path().string());
}

} // namespace aurex

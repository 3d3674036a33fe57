// The main window's side of the run records: what a run's log begins with, where a run begins
// and ends for the record, and the Help menu's trace, history and support bundle.

#include <QSysInfo>
#include <cstdio>

#include "app/about_dlg.h"
#include "app/code_updater_main_form.h"
#include "app/support_bundle.h"
#include "app/window_rules.h"
#include "link/com_port_map.h"
#include "ports/adapter_identity.h"
#include "ports/finding_report.h"
#include "transfer/codeplug_backup.h"

#ifndef AUREX_BUILD_ID
#define AUREX_BUILD_ID "unknown"
#endif

namespace aurex {

std::string ProgramBuild()
{
    return std::string(kProgramVersion) + " (" + AUREX_BUILD_ID + ", " + __DATE__ + ")";
}

namespace {

std::string HostText()
{
    return QSysInfo::machineHostName().toStdString() + ", " + QSysInfo::prettyProductName().toStdString() +
           ", kernel " + QSysInfo::kernelVersion().toStdString();
}

// The status texts after which a run has done what it was for.
bool EndedWell(RunKind kind, const std::string& status, bool stopped)
{
    if (kind == RunKind::Update) {
        // Loading boot code alone ends with the download: no codeplug step says "Done." then.
        return status == "Done." || (status == "Download finished." && !stopped);
    }
    return false;
}

// The name label reads "Name: <set>".
std::string ImageSetName(const std::string& label)
{
    constexpr std::string_view kPrefix = "Name: ";
    return label.starts_with(kPrefix) ? label.substr(kPrefix.size()) : label;
}

} // namespace

std::vector<std::pair<std::string, std::string>> TCodeUpdaterMainDispForm::RunHeader() const
{
    std::vector<std::pair<std::string, std::string>> header{
        {"Program",
         ProgramBaseName(environment_.programPath) + ", release " + m_TargetReleaseLabel.Caption()},
        {"Build", ProgramBuild()},
        {"Image set", ImageSetName(m_NameLabel.Caption()) + "; radio " + m_TargetRadioLabel.Caption() +
                          ", series " + m_TargetSeriesLabel.Caption() + ", release " +
                          m_TargetReleaseLabel.Caption() + ", upgrade type " +
                          m_TargetUpgradeTypeLabel.Caption()},
        {"Host", HostText()},
    };
    const int n = SelectedComNumber();
    if (n > 0) {
        const std::string device = ComDevicePath(n);
        const ports::AdapterIdentity adapter = ports::DescribeAdapter(ports::HostFiles(), device);
        header.emplace_back("Port", "COM " + std::to_string(n) + " (" + device + ")");
        header.emplace_back("Adapter", adapter.Hint());
    } else {
        header.emplace_back("Port", "none chosen");
    }
    return header;
}

TCodeUpdaterMainDispForm::RunRecordScope::RunRecordScope(TCodeUpdaterMainDispForm& form, RunKind kind)
    : form_(form), kind_(kind)
{
    form_.m_RunStopped = false;
    form_.m_RunOutcome.reset();
    form_.m_LastRunResult = RunResult::Failed;
    HistoryRow row;
    const int n = form_.SelectedComNumber();
    if (n > 0) {
        row.port = "COM " + std::to_string(n) + " (" + ComDevicePath(n) + ")";
    }
    row.model = form_.m_TargetRadioLabel.Caption();
    row.series = form_.m_TargetSeriesLabel.Caption();
    row.imageSetName = ImageSetName(form_.m_NameLabel.Caption());
    row.imageSetRelease = form_.m_TargetReleaseLabel.Caption();
    form_.m_RunRecorder.Begin(kind, form_.RunHeader(), std::move(row));
    form_.m_RunStanding.Begin(kind, form_.PlannedRunSteps(kind), form_.RadioTypeCode);
}

TCodeUpdaterMainDispForm::RunRecordScope::~RunRecordScope()
{
    const std::string& status = form_.m_StatusLabel.Caption();
    const std::optional<RunResult>& noted = form_.m_RunOutcome;
    RunResult result = RunResult::Failed;
    if (result_) {
        result = *result_;
    } else if (EndedWell(kind_, status, form_.m_RunStopped)) {
        // A Stop that came too late to stop anything leaves the run done all the same.
        result = noted == RunResult::CodeplugNotConverted ? *noted : RunResult::Succeeded;
    } else if (form_.m_RunStopped) {
        result = RunResult::Stopped;
    } else if (noted) {
        result = *noted;
    }
    form_.m_LastRunResult = result;
    form_.m_RunRecorder.End(result, resultText_.value_or(status));
    form_.m_RunStanding.End(result);
    if (result != RunResult::Succeeded && result != RunResult::Stopped &&
        result != RunResult::CodeplugNotConverted) {
        form_.m_StatusLabel.RaiseAlert(); // the status line now says what failed
    }
}

std::string TCodeUpdaterMainDispForm::RunRecordScope::EndCheck(const std::string& device,
                                                               const ports::Findings& findings, bool stopped)
{
    const std::string report = ConnectionReport(device, findings);
    form_.m_RunRecorder.Note("Connection check:\n" + report);
    if (stopped) {
        result_ = RunResult::Stopped;
        resultText_ = "The connection check was stopped.";
    } else {
        result_ = ports::LikeliestCause(findings) == nullptr ? RunResult::Succeeded : RunResult::Failed;
        resultText_ = ports::Verdict(findings);
    }
    return report;
}

void TCodeUpdaterMainDispForm::RecordBackup(const CodeplugBackupResult& backup)
{
    if (!backup.saved) {
        return;
    }
    RunEvents& record = m_RunEvents;
    // The versions the record names were recorded as the run read them.
    record.FactLearnt("Radio identity", backup.record.radioIdentity, &HistoryRow::radioIdentity);
    record.FactLearnt("codeplug format",
                      std::to_string(backup.record.codeplugFormatMajor) + "." +
                          std::to_string(backup.record.codeplugFormatMinor),
                      &HistoryRow::versionsBefore);
    record.FactLearnt("Codeplug backup", backup.path, &HistoryRow::backupFile);
    record.FactLearnt("Backup SHA-256", backup.record.sha256, &HistoryRow::backupSha256);
}

void TCodeUpdaterMainDispForm::Warn(const std::string& text)
{
    if (environment_.warn) {
        environment_.warn(text);
    } else {
        std::fprintf(stderr, "%s: warning: %s\n", std::string(kAppTitle).c_str(), text.c_str());
    }
}

void TCodeUpdaterMainDispForm::m_HelpTraceMenuItemClick()
{
    m_HelpTraceMenuItem.SetChecked(!m_HelpTraceMenuItem.Checked());
    m_RunRecorder.settings.traceBesideLog = m_HelpTraceMenuItem.Checked();
}

void TCodeUpdaterMainDispForm::m_HelpHistoryMenuItemClick()
{
    UpdateHistory* history = m_RunRecorder.History();
    if (history == nullptr) {
        ShowError(m_RunRecorder.settings.dataFolder.empty()
                      ? "There is no data folder to keep an update history in."
                      : "The update history cannot be opened.");
        return;
    }
    host_.ShowHistory(*this, *history);
}

void TCodeUpdaterMainDispForm::m_HelpBundleMenuItemClick()
{
    const std::string suggested =
        (m_RunRecorder.settings.dataFolder.empty() ? std::string(".") : m_RunRecorder.settings.dataFolder) +
        "/aurex-support-" + UtcNowCompact() + ".tar.gz";
    const std::string path = host_.ChooseSaveFile(*this, "Save support bundle", suggested);
    // The save dialog itself asked before a file of that name is replaced.
    if (!path.empty() && SaveSupportBundle(path, false, ExistingFile::Replace)) {
        ShowInformation({"Support bundle saved to %1.", {UiText::Verbatim(path)}});
    }
}

bool TCodeUpdaterMainDispForm::SaveSupportBundle(const std::string& path, bool withCodeplugs,
                                                 ExistingFile existing)
{
    SupportBundleInput input;
    input.dataFolder = m_RunRecorder.settings.dataFolder;
    input.about = "Program: " + ProgramBaseName(environment_.programPath) +
                  "\nRelease: " + m_TargetReleaseLabel.Caption() + "\nBuild: " + ProgramBuild() +
                  "\nImage set: " + ImageSetName(m_NameLabel.Caption()) + "\nHost: " + HostText() +
                  "\nSaved: " + UtcNowIso() + "\n";
    const int n = SelectedComNumber();
    if (n > 0 && !m_ClickHandlerRunning) {
        // The host's side only: the bundle never touches the line.
        const std::string device = ComDevicePath(n);
        input.connectionReport =
            "COM " + std::to_string(n) + ": " +
            ConnectionReport(device, environment_.checkConnection(device, LineProbes::Skip));
    } else {
        input.connectionReport = n > 0 ? "Not checked: a run was under way.\n" : "No COM port was chosen.\n";
    }
    input.history = m_RunRecorder.History();
    input.withCodeplugs = withCodeplugs;
    input.existing = existing;
    const SupportBundleResult result = WriteSupportBundle(path, input);
    if (!result.written) {
        ShowError(
            {"The support bundle could not be saved to %1: %2", {UiText::Verbatim(path), result.error}});
    }
    return result.written;
}

} // namespace aurex

#pragma once

// The main window as a model: its controls, the state it keeps for the whole program, and its
// operations and handlers. Members are defined in one file per concern:
//   main_form.cpp        the window, its state, timers, menu and closing
//   port_selection.cpp   the port list, probing, opening and closing the radio link
//   image_files.cpp      the carried image set: its record and extraction
//   update_sequence.cpp  the Start button
//   version_info.cpp     the Retrieve button

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/codeplug_requests.h"
#include "app/codeplug_step.h"
#include "app/connection_check.h"
#include "app/control.h"
#include "app/dialog_host.h"
#include "app/progress_feed.h"
#include "app/run_events.h"
#include "app/run_recorder.h"
#include "app/run_standing.h"
#include "app/window_rules.h"
#include "image_store/embedded_blobs.h"
#include "image_store/resource_attributes.h"
#include "image_store/window_requests.h"
#include "image_store/working_folder.h"
#include "link/com_port.h"
#include "link/link_timer.h"
#include "link/port_open_result.h"
#include "link/radio_link.h"
#include "programming/programming_link.h"
#include "programming/programming_status.h"
#include "transfer/disk_room.h"

class QEventLoopLocker;

namespace aurex {

class BackupDisk;
class ScratchFolder;
struct ConvertedCodeplug;

// The Stop button's question while a code download is under way.
inline constexpr std::string_view kStopDuringCodeDownloadText =
    "Stopping now leaves the radio without working code until it is updated again.\n\n"
    "Stop the update anyway?";
// The start of m_CodeplugBackupLabel; the backup's path follows.
inline constexpr const char* kCodeplugBackupLabelText = "Codeplug backup: %1";

// What the window takes from its surroundings; tests replace each of these.
struct MainFormEnvironment
{
    // The blobs bound into the program; null: none (the record reads as zeros).
    std::shared_ptr<const EmbeddedBlobs> blobs;
    // Where extraction writes; null: a private folder of each run under the cache folder.
    std::shared_ptr<WorkingFolder> workingFolder;
    // Where codeplug backups are written; null: the real disk.
    std::shared_ptr<BackupDisk> backupDisk;
    // The program's own file name; empty: the running executable.
    std::string programPath;
    // Logical processors of the host; empty: std::thread::hardware_concurrency().
    std::function<unsigned()> processorCount;
    // Whether the device of one COM number could be opened now; empty: the real devices, looked at
    // without opening them.
    std::function<PortOpenResult(int comNumber)> probePort;
    // Looks at a device for the connection check; empty: CheckConnection.
    std::function<ports::Findings(const std::string& devicePath, LineProbes line)> checkConnection;
    // Where run logs and the update history are kept; empty: none are (the front ends give the
    // user's data folder).
    std::string dataFolder;
    // Tells the user what could not be recorded; empty: standard error.
    std::function<void(const std::string&)> warn;
};

// The time-out timer of the link's device path is the window's m_CommTimer.
class ControlLinkTimer : public LinkTimer
{
  public:
    explicit ControlLinkTimer(Control& timer) : timer_(timer) {}
    void SetInterval(int milliseconds) override { timer_.SetInterval(milliseconds); }
    void SetEnabled(bool enabled) override { timer_.SetEnabled(enabled); }
    int Interval() const override { return timer_.Interval(); }
    bool Enabled() const override { return timer_.Enabled(); }

  private:
    Control& timer_;
};

// The downloads show their progress in m_ProgressBar through this; a timed wait fills the bar a
// hundredth at each tick of ProgressBarTimer (whose handler steps the bar).
class ControlProgressDisplay : public ProgressDisplay
{
  public:
    static constexpr int kTimedSteps = 100;

    ControlProgressDisplay(Control& bar, Control& timer) : bar_(bar), timer_(timer) {}
    void SetRange(int minimum, int maximum) override { bar_.SetRange(minimum, maximum); }
    void SetPosition(int position) override { bar_.SetPosition(position); }
    void BeginTimedWait(std::int32_t milliseconds) override
    {
        StartTimed(std::max(1, milliseconds / kTimedSteps));
    }
    void EndTimedWait(bool ranOut) override
    {
        if (ranOut) {
            StopTimed();
        } else {
            timer_.SetEnabled(false); // Stop has emptied the bar
        }
    }

    // The bar from empty, a step at each tick of `intervalMs`; full once stopped.
    void StartTimed(int intervalMs)
    {
        timer_.SetInterval(intervalMs);
        bar_.SetPosition(0); // first, or the new range would show the old position full
        bar_.SetRange(0, kTimedSteps);
        timer_.SetEnabled(true);
    }
    void StopTimed()
    {
        timer_.SetEnabled(false);
        bar_.SetPosition(kTimedSteps);
    }

  private:
    Control& bar_;
    Control& timer_;
};

class TCodeUpdaterMainDispForm : public FormModel, public WindowRequests
{
  public:
    TCodeUpdaterMainDispForm(DialogHost& host, MainFormEnvironment environment = {});
    ~TCodeUpdaterMainDispForm() override;

    // ---- controls, in the order of the layout ----
    Control MainMenu;
    Control m_FileMenuItem;
    Control m_FileBackupMenuItem;
    Control m_FileRestoreMenuItem;
    Control m_FileVerifyMenuItem; // checkable: read a written codeplug back (on by default)
    Control m_FileExitMenuItem;
    Control m_HelpMenuItem;
    Control m_HelpCheckConnectionMenuItem;
    Control m_HelpTraceMenuItem; // checkable: each run's whole line trace beside its log
    Control m_HelpHistoryMenuItem;
    Control m_HelpBundleMenuItem;
    Control m_HelpAboutMenuItem;
    Control ControlBar1;
    Control MenuToolBar;
    Control ToolButton5;
    Control ToolButton9;
    Control m_ToggleVersionInfoSpeedButton;
    Control m_NameLabel;

    Control m_TargetInformationGroupBox;
    Control Label1;
    Control m_TargetRadioLabel;
    Control Label6;
    Control m_TargetSeriesLabel;
    Control Label11;
    Control m_TargetReleaseLabel;
    Control Label10;
    Control m_TargetUpgradeTypeLabel;
    Control PortableGPicture;
    Control MobileXPicture;
    Control MobileGPicture;
    Control PortableXPicture;

    Control m_CodeUpdateGroupBox;
    Control Label5;
    Control m_ComportComboBox;
    Control m_UpgradeTypeLabel;
    Control m_ApplicationRadioButton;
    Control m_BootRadioButton;
    Control Bevel1;
    Control Label4;
    Control m_StatusLabel;
    Control m_ProgressBar;
    Control m_StartButton;
    // Where the run stands: its step, its time, whether the radio may be disconnected.
    Control m_RunStepLabel;
    Control m_RunTimeLabel;
    Control m_DisconnectLabel;
    Control m_RunClockTimer;

    Control m_TargetVersionInfoGroupBox;
    Control Label2;
    Control FileVersionLabel;
    Control DSPVersionHeadingLabel;
    Control DSPVersionLabel;
    Control HWControllerVersionHeadingLabel;
    Control HWControllerVersionLabel;
    Control HWRevisionHeadingLabel;
    Control HWRevisionLabel;
    Control SerialNumberHeadingLabel;
    Control SerialNumberLabel;
    Control BootLoadHeadingLabel;
    Control BootLoadVersionLabel;
    Control Label3;
    Control SEMVersionLabel;
    Control Bevel2;
    Control Label8;
    Control TessaroVersionLabel;
    Control Label9;
    Control BrevioVersionLabel;
    Control m_RetrieveVersionInfoButton;
    // Shown once an update has run over what the last Retrieve read; hidden by the next read.
    Control m_VersionsBeforeUpdateLabel;
    // Where the last update's codeplug step saved the radio's codeplug; hidden while none was.
    Control m_CodeplugBackupLabel;
    // Opens the folder of that backup; shown with the label.
    Control m_OpenBackupFolderButton;
    std::string m_CodeplugBackupPath;

    Control m_CommTimer;
    Control ProgressBarTimer;
    aurex::ComPort ComPort;

    // ---- window state ----
    aurex::RadioLink RadioLink;
    bool m_VersionPanelShown = false;
    bool m_UpdateInProgress = false;
    // True from the entry into the Start or Retrieve handler until it returns. A stopped run
    // may still be unwinding (some waits do not end on Stop); meanwhile Start, the port list and
    // Retrieve stay disabled and a click on Start or Retrieve starts nothing, so that no second
    // run opens or closes the link under the first.
    bool m_ClickHandlerRunning = false;
    // What Stop may not cut short now. A write of a codeplug is finished, since a half-written
    // codeplug is worse than a run that ends later; so is the whole codeplug step of an update,
    // since the new code is in the radio then and only the step gives it a codeplug it can read.
    // Stop and a confirmed close then end the run state but leave the link's waits running (and
    // the application running until the hold ends).
    enum class StopHold {
        None,
        CodeplugWrite,
        CodeplugStep,
    };
    StopHold m_StopHold = StopHold::None;
    // Holds Stop off for its lifetime; a hold inside another keeps the wider one.
    class HoldStop
    {
      public:
        HoldStop(TCodeUpdaterMainDispForm& form, StopHold what);
        ~HoldStop();
        HoldStop(const HoldStop&) = delete;
        HoldStop& operator=(const HoldStop&) = delete;

      private:
        TCodeUpdaterMainDispForm& form_;
        StopHold previous_;
        std::unique_ptr<QEventLoopLocker> quitLock_;
    };
    // True from the start of a code download (loader, erase, code) to its end: stopping then
    // leaves the radio without working code, so the Stop button asks first.
    bool m_CodeDownloadUnderway = false;
    // True while the Stop question of a code download is open.
    bool m_StopQuestionOpen = false;
    // True once a Retrieve has filled the version labels from a radio.
    bool m_VersionLabelsRead = false;
    // True once Stop has ended the run under way where nothing holds it off.
    bool StoppedOutsideAHold() const { return !m_UpdateInProgress && m_StopHold == StopHold::None; }
    // Set once the program has been asked from outside to end (a signal): no run starts after it,
    // and the window closes when the handler under way returns.
    bool m_TerminationRequested = false;
    bool m_PasswordAccepted = false;
    bool UseSecondBootImage = false;
    std::uint8_t RadioTypeCode = 0;
    // By list position 0..63: 2 the port opened at the last probe, 0 not.
    std::array<int, kPortCount> m_PortAvailability{};
    // By COM number 1..64 (index 0 unused): 2 available, 0 absent or busy, 1 in use here.
    std::array<int, kPortCount + 1> m_PortTable{};
    // What the last probe found per COM number, for the permission message.
    std::array<PortOpenResult, kPortCount + 1> m_PortProbe{};
    std::array<std::uint8_t, 2> m_ReportedBootVersion{};
    std::string m_LoaderFileName;
    std::string m_CodeFileName;
    bool m_BootPathSelected = false;
    // Outcome of the last Retrieve (none while it has not read the radio): the version labels
    // were filled when VersionInfoRead says so.
    std::optional<ProgrammingStatus> m_LastRetrieveStatus;
    // m_ProgressBar as the downloads drive it.
    ControlProgressDisplay m_ProgressBarDisplay{m_ProgressBar, ProgressBarTimer};

    // The description of the carried image set, read once at creation.
    aurex::ResourceAttributes ResourceAttributes;

    // ---- operations used by the rest of the program ----
    void InitWindowState();
    void ToggleVersionInfoPanel();
    void BeginUpdateRun();
    void EndUpdateRun(bool deleteFiles);
    // Extraction of the carried images; stores the merged file names on success.
    bool ExtractEmbeddedFiles(bool boot);
    void StartTimedProgress(int intervalMs);
    void StopTimedProgress();

    // Message boxes owned by this window; caption "Aurex Code Updater" unless given.
    void ShowError(const UiText& text, const UiText& caption = kAppTitle);
    void ShowInformation(const UiText& text, const UiText& caption = kAppTitle);
    bool AskYesNo(const UiText& text, const UiText& caption = kAppTitle);

    // ---- port selection ----
    void ProbeComPorts();
    bool OpenRadioLink(bool keepBaud);
    // Before the password is asked: a chosen port this user may not open ends the click with why
    // and what mends it, recorded as a run whose port was not opened. True when it may go on.
    bool ChosenPortPermitted();
    void CloseRadioLink();
    bool IsMultiProcessorHost() const;
    // The COM number of the selected item (1..64), 0 when nothing is selected.
    int SelectedComNumber() const;

    // ---- target radio identification ----
    // True when the boot code is to be upgraded; shows its findings in the status line.
    bool CheckBootVersion();
    // The same comparison for every platform, showing nothing: the two failures come back in the
    // flags, which are cleared first.
    bool QueryBootUpgrade(bool& majorMismatch, bool& communicationError);
    // What the last QueryBootUpgrade compared: the radio's boot code and the carried one it is
    // to get. Older carried code than the radio's is loaded only as the policy says.
    std::array<std::uint32_t, 2> m_RadioBootVersion{};
    std::array<std::uint32_t, 2> m_CarriedBootVersion{};
    void NoteBootVersions(const std::array<std::uint8_t, 2>& radio);
    bool BootDowngrade() const
    {
        return m_RadioBootVersion[0] == m_CarriedBootVersion[0] &&
               m_RadioBootVersion[1] > m_CarriedBootVersion[1];
    }
    using BootDowngradePolicy = OtherRadioPolicy; // ask, refuse or allow, as for another radio's backup
    BootDowngradePolicy m_BootDowngradePolicy = BootDowngradePolicy::Ask;
    bool m_BootDowngradeRefused = false;
    // Asks (or follows the policy) before older boot code goes into the radio; false after
    // saying why nothing was loaded, or, with `applicationFollows`, that the radio keeps its own
    // boot code and the application code follows.
    bool AllowBootDowngrade(bool applicationFollows = false);
    void ShowSeriesMismatch(unsigned radioModel, int series);
    // The status line as the downloads take it.
    StatusCallback StatusCallbackForDownloads()
    {
        return [this](const std::string& text) { ShowStatus(text); };
    }

    // ---- the update sequence ----
    // True when the connected radio fits the image set; otherwise it has said why.
    bool CheckTargetRadio();

    // ---- handlers ----
    void m_ToggleVersionInfoSpeedButtonClick();
    void m_FileExitMenuItemClick();
    // True when the window may close.
    bool FormCloseQuery();
    // The program is asked from outside to end (SIGTERM, SIGHUP, Ctrl-C): a run is stopped as by
    // Stop, a codeplug being written back and the codeplug step of an update are finished first.
    enum class Termination {
        EndNow,                // nothing is under way
        Stopping,              // the run was stopped now; the handler will return
        StillStopping,         // a stopped run is unwinding, or a prompt of the handler is open
        FinishingCodeplugStep, // the new code is in the radio: its codeplug step is finished first
    };
    Termination RequestTermination();
    void m_HelpCheckConnectionMenuItemClick();
    void m_HelpAboutMenuItemClick();
    void m_HelpTraceMenuItemClick();
    void m_HelpHistoryMenuItemClick();
    void m_HelpBundleMenuItemClick();
    // Writes the support bundle to `path`; false after a box saying why.
    bool SaveSupportBundle(const std::string& path, bool withCodeplugs, ExistingFile existing);

    // ---- the run's record: log, line trace, history ----
    RunRecorder m_RunRecorder{[this](const std::string& text) { Warn(text); }};
    // Who follows the run beside the window: the recorder first, then whoever the front end adds.
    // Statuses, boxes and facts go through here.
    RunEventList m_RunEvents;
    // The clock of the byte rates and of the run's elapsed time; tests turn it by hand.
    SecondsClock m_Clock = SteadySeconds;
    // The byte progress of the downloads and codeplug transfers, handed on to m_RunEvents.
    ProgressFeed m_ByteProgress{m_RunEvents, [this] { return m_Clock(); }};
    // The step line, the time line, the disconnect line and the title's percentage.
    RunStanding m_RunStanding{{*this, m_ProgressBar, m_RunStepLabel, m_RunTimeLabel, m_DisconnectLabel,
                               m_RunClockTimer, m_ByteProgress, [this] { return m_Clock(); }}};
    // The steps of a run of `kind` as the window is set now; `bootFirst`: the boot path has found
    // that the radio's boot code is loaded first.
    std::vector<RunStep> PlannedRunSteps(RunKind kind, bool bootFirst = false) const;
    // Set when Stop (or a signal) ends the run under way; cleared when a run begins.
    bool m_RunStopped = false;
    // What went wrong in the run under way, as far as a step has said (the first one counts);
    // and how the last run ended.
    std::optional<RunResult> m_RunOutcome;
    RunResult m_LastRunResult = RunResult::Succeeded;
    void NoteOutcome(RunResult outcome)
    {
        if (!m_RunOutcome) {
            m_RunOutcome = outcome;
        }
    }
    // The header of a run's log: program, image set, host, port and adapter.
    std::vector<std::pair<std::string, std::string>> RunHeader() const;
    // Records a run from its start to the end of the scope; the result is taken from the final
    // status text unless one is set.
    class RunRecordScope
    {
      public:
        RunRecordScope(TCodeUpdaterMainDispForm& form, RunKind kind);
        ~RunRecordScope();
        RunRecordScope(const RunRecordScope&) = delete;
        RunRecordScope& operator=(const RunRecordScope&) = delete;
        void SetResult(RunResult result) { result_ = result; }
        const std::optional<RunResult>& Result() const { return result_; }
        // A connection check ends with its verdict, not with whatever the status line holds: the
        // report goes to the log, the verdict to the history. Returns the report.
        std::string EndCheck(const std::string& device, const ports::Findings& findings, bool stopped);

      private:
        TCodeUpdaterMainDispForm& form_;
        RunKind kind_;
        std::optional<RunResult> result_;
        std::optional<std::string> resultText_;
    };
    // What the backup says of the radio, for the run's record.
    void RecordBackup(const struct CodeplugBackupResult& backup);
    void m_FileBackupMenuItemClick();
    void m_FileRestoreMenuItemClick();
    void m_FileVerifyMenuItemClick();

    // ---- the codeplug on request ----
    // What a backup's record says of this run: the image set, the program and what the run read
    // of the radio. The save adds the codeplug's own facts.
    BackupRecord BackupFacts(BackupReason reason) const;
    // Reads the codeplug of a radio in normal mode into a backup; writes nothing to the radio.
    CodeplugRequestResult BackUpCodeplug();
    // Puts a backup back into a radio in normal mode: refuses a file that is not a sound backup
    // before anything is sent, backs up what the radio holds first, converts the backup to the
    // radio's format, writes it and reads it back.
    CodeplugRequestResult RestoreCodeplug(const std::string& backupPath);
    // The frame of both: the backup folder checked, the run begun, the link opened with the
    // codeplug step's reply time-out; `exchange` talks to the radio.
    CodeplugRequestResult
    RunCodeplugRequest(const std::function<CodeplugRequestResult(CodeplugLinks&)>& exchange);
    // Room for the run's backup, held from the check before the run until the backup is written
    // into it: the disk may fill meanwhile (a line trace on it), and by then the radio may hold
    // new code.
    DiskRoom m_BackupRoom;
    // A backup of another radio: asked in a Yes/No box, refused or allowed without asking.
    OtherRadioPolicy m_OtherRadioPolicy = OtherRadioPolicy::Ask;
    // A restore whose conversion to the radio's format drops or empties anything: asked in a
    // Yes/No box, refused or allowed without asking.
    OtherRadioPolicy m_ConversionLossPolicy = OtherRadioPolicy::Ask;
    // Logs what converting `backupFormat` to `radioFormat` changed; false after saying why a
    // conversion that loses data is not written.
    bool AllowConversion(const ConvertedCodeplug& converted, const std::string& backupFormat,
                         const std::string& radioFormat);
    // Set by a front end nobody may be at: after a boot code refresh the run waits, up to this
    // long, for the radio to answer in boot-load mode again before it shows its box.
    std::optional<std::chrono::seconds> m_RadioReturnWait;
    void AwaitRadioReturn();
    void m_ApplicationRadioButtonClick();
    void m_BootRadioButtonClick();
    void m_ComportComboBoxChange();
    PortItemLook m_ComportComboBoxDrawItem(int index, bool selected) const;
    // An item's tooltip: its device and adapter, and for a port this user may not open, why.
    std::string m_ComportComboBoxHint(int index) const;
    void m_StartButtonClick();
    void m_RetrieveVersionInfoButtonClick();
    void m_OpenBackupFolderButtonClick();
    void m_OnCommTimerTimer();
    void ProgressBarTimerTimer();
    void ComPortTriggerTimer();

    // What extraction and other code outside the window ask of it.
    Answer ShowMessage(const Message& message) override;
    // The status line (also the status callback handed to the downloads).
    void ShowStatus(const std::string& text) override;
    // The same for a text built of a source and its arguments (a path, a version).
    void ShowStatusText(const UiText& text);

    DialogHost& Host() const { return host_; }
    const MainFormEnvironment& Environment() const { return environment_; }

  private:
    void BuildControls();
    void DescribeControls(); // names, descriptions and keys for screen readers and the keyboard
    void ShowRadioPicture();
    void LoadResourceAttributes();
    void AttachLinkTimer();
    bool OpenDirectLink(int comNumber, bool keepBaud);
    // 1 the interface box answered, 2 it did not, 0 the port did not open.
    int OpenInterfaceLink(int comNumber);
    // Nothing answered at 19200: a radio an interrupted run left at 115200 is set back to 19200.
    bool FetchRadioLeftAt115200();
    bool OpenHalfDuplexLink(int comNumber, bool keepBaud);
    void OpenFailed(int comNumber, const std::string& message);
    // Every message box goes through here, so that the run's log has it with its answer.
    void Warn(const std::string& text);
    MessageAnswer AskHost(const UiText& text, const UiText& caption, MessageIcon icon,
                          MessageButtons buttons);
    std::string PermissionMessage(int comNumber) const;
    // The permission message and the status that says the port was not opened.
    void ShowPermissionRefused(int comNumber);
    // No interface box on a multi-processor computer: the connection check's likeliest cause
    // leads, and the configuration text is added where the line shows a cable without the box.
    void ExplainMissingInterfaceBox(int comNumber);
    // "\n\n" and the connection check's likeliest cause for a port that failed a run, or empty.
    std::string LikelyCause(int comNumber, LineProbes line);
    // After a run found the radio silent: a box with the connection check's likeliest cause.
    void ExplainUnansweredRadio();

    // The link's side of stopping and time-outs. A time-out is not a Stop: the wait it ends may
    // still take a reply that was already received when a program kept from the processor saw
    // its time-out late.
    void StopLinkWaits();
    void EndLinkWaitOnCommTimeOut();
    void EndLinkWaitOnTriggerTimeOut();

    // The Stop button's action and a signal's: ends every wait; the run unwinds through its own
    // exits.
    void StopUpdateRun();
    // The Stop button's click while a run is under way: during a code download it asks first,
    // without holding the download up.
    void RequestStop();
    // A code download of the run, marked under way while `download` runs.
    ProgrammingStatus RunCodeDownload(const std::function<ProgrammingStatus()>& download);
    // The radio's versions may change from here on: what the panel shows was read before.
    void MarkVersionsReadBeforeUpdate();

    void RunApplicationUpdate(bool bootRequested);
    void RunBootUpdate();
    bool ExtractCheckAndDownload(bool boot);
    ProgrammingStatus DownloadExtractedCode(bool boot);
    // The outcome of a failed code download; a radio that answered the target check and then
    // ignored the loader's start is running its normal code, and is told so.
    void NoteCodeDownloadFailure(ProgrammingStatus status);
    bool m_TargetAnswered = false;    // the last target check had the radio's boot version
    bool m_BootCodeRefreshed = false; // this run wrote the radio's boot code
    // The final status text (and box) for the outcome of PreserveCodeplug.
    void ShowCodeplugOutcome(const CodeplugStepOutcome& outcome);

    // Marks a Start or Retrieve handler as running for its lifetime; on leaving, the controls
    // that were held back come back as the run state says.
    class ClickHandlerScope
    {
      public:
        explicit ClickHandlerScope(TCodeUpdaterMainDispForm& form);
        ~ClickHandlerScope();
        ClickHandlerScope(const ClickHandlerScope&) = delete;
        ClickHandlerScope& operator=(const ClickHandlerScope&) = delete;

      private:
        TCodeUpdaterMainDispForm& form_;
    };

    // Before anything is sent to the radio: the run's folder for the images, and the backup
    // folder when the run ends with the codeplug step. False after an error box saying why.
    bool ReadyToUpdate(bool codeplugStep);

    DialogHost& host_;
    MainFormEnvironment environment_;
    // The run folder when the environment gave no working folder.
    std::shared_ptr<ScratchFolder> scratch_;
    ControlLinkTimer m_CommTimerLink{m_CommTimer};
};

} // namespace aurex

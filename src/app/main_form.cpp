// The main window: its layout, the state it keeps, start-up, the version panel, the run state,
// the status line and progress bar, the timers, the menu and closing.

#include <QCoreApplication>
#include <QEventLoopLocker>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/app_timeouts.h"
#include "app/code_updater_main_form.h"
#include "app/disconnect_advice.h"
#include "app/host_info.h"
#include "app/port_probe.h"
#include "app/scratch_folder.h"
#include "link/clock.h"

namespace aurex {

namespace {

constexpr int kVersionGroupLeft = 412;
constexpr int kVersionGroupWidth = 273;
constexpr int kHeadingLeft = 16;
constexpr int kTargetValueLeft = 112;
constexpr int kVersionHeadingLeft = 10;
// Version values end flush at one right edge, so a long heading and a long value share a row.
constexpr int kVersionValueLeft = 112;
constexpr int kVersionValueWidth = 153;
const ControlStyle kValueStyle{.alignRight = true};

} // namespace

TCodeUpdaterMainDispForm::TCodeUpdaterMainDispForm(DialogHost& host, MainFormEnvironment environment)
    : FormModel("CodeUpdaterMainDispForm", std::string(kAppTitle), 688, 460), host_(host),
      environment_(std::move(environment))
{
    m_RunRecorder.settings.dataFolder = environment_.dataFolder;
    m_RunEvents.Add(&m_RunRecorder);
    m_RunEvents.Add(&m_RunStanding);
    RadioLink.watch = &m_RunRecorder.Trace();
    if (environment_.programPath.empty()) {
        environment_.programPath = RunningProgramPath();
    }
    if (!environment_.processorCount) {
        environment_.processorCount = HostProcessorCount;
    }
    if (!environment_.checkConnection) {
        environment_.checkConnection = CheckConnection;
    }
    if (!environment_.workingFolder) {
        // What a killed run of this user's left behind goes first.
        RemoveStaleScratchFolders(DefaultScratchParent());
        scratch_ = std::make_shared<ScratchFolder>(DefaultScratchParent());
        environment_.workingFolder = scratch_;
    }

    BuildControls();
    DescribeControls();
    m_LoaderFileName.clear();
    m_CodeFileName.clear();
    InitWindowState();
    ToggleVersionInfoPanel();
    LoadResourceAttributes();
    RadioTypeCode = RadioTypeCodeFor(ResourceAttributes.radio_model, ResourceAttributes.series,
                                     ResourceAttributes.kind_flag);
    ShowRadioPicture();
    m_BootPathSelected = (ResourceAttributes.series == 4 || ResourceAttributes.series == 6) &&
                         ResourceAttributes.Upgrade() == UpgradeType::ApplicationBoot;
    AttachLinkTimer();
    ProbeComPorts();
    const bool offerChoice =
        ResourceAttributes.Upgrade() == UpgradeType::ApplicationBoot && !m_BootPathSelected;
    m_UpgradeTypeLabel.SetVisible(offerChoice);
    m_ApplicationRadioButton.SetVisible(offerChoice);
    m_BootRadioButton.SetVisible(offerChoice);
}

TCodeUpdaterMainDispForm::~TCodeUpdaterMainDispForm()
{
    // Ended while the members its warnings go through are still there; the link outlives the
    // trace it reports to.
    RadioLink.watch = nullptr;
    if (m_RunRecorder.Running()) {
        m_RunRecorder.End(RunResult::Failed, "The program ended during the run.");
    }
}

void TCodeUpdaterMainDispForm::BuildControls()
{
    using K = ControlKind;

    MainMenu.Define(*this, nullptr, "MainMenu", K::MenuBar, "", {});
    m_FileMenuItem.Define(*this, &MainMenu, "m_FileMenuItem", K::Menu, "&File", {});
    m_FileBackupMenuItem.Define(*this, &m_FileMenuItem, "m_FileBackupMenuItem", K::MenuItem,
                                "&Back up codeplug...", {});
    m_FileRestoreMenuItem.Define(*this, &m_FileMenuItem, "m_FileRestoreMenuItem", K::MenuItem,
                                 "&Restore codeplug...", {});
    m_FileVerifyMenuItem.Define(*this, &m_FileMenuItem, "m_FileVerifyMenuItem", K::MenuItem,
                                "&Verify codeplug writes", {}, ControlStyle{.checkable = true});
    m_FileVerifyMenuItem.SetChecked(true);
    m_FileExitMenuItem.Define(*this, &m_FileMenuItem, "m_FileExitMenuItem", K::MenuItem, "E&xit", {});
    m_HelpMenuItem.Define(*this, &MainMenu, "m_HelpMenuItem", K::Menu, "&Help", {});
    m_HelpCheckConnectionMenuItem.Define(*this, &m_HelpMenuItem, "m_HelpCheckConnectionMenuItem", K::MenuItem,
                                         "&Check connection...", {});
    m_HelpTraceMenuItem.Define(*this, &m_HelpMenuItem, "m_HelpTraceMenuItem", K::MenuItem,
                               "Record line &trace", {}, ControlStyle{.checkable = true});
    m_HelpHistoryMenuItem.Define(*this, &m_HelpMenuItem, "m_HelpHistoryMenuItem", K::MenuItem,
                                 "Update &history...", {});
    m_HelpBundleMenuItem.Define(*this, &m_HelpMenuItem, "m_HelpBundleMenuItem", K::MenuItem,
                                "Save &support bundle...", {});
    m_HelpAboutMenuItem.Define(*this, &m_HelpMenuItem, "m_HelpAboutMenuItem", K::MenuItem, "&About", {});
    ControlBar1.Define(*this, nullptr, "ControlBar1", K::ToolBar, "", {0, 0, 688, 26});
    MenuToolBar.Define(*this, &ControlBar1, "MenuToolBar", K::ToolBar, "", {0, 0, 688, 26});
    ToolButton5.Define(*this, &MenuToolBar, "ToolButton5", K::ToolButton, "&File", {},
                       ControlStyle{.flat = true, .menu = "m_FileMenuItem"});
    ToolButton9.Define(*this, &MenuToolBar, "ToolButton9", K::ToolButton, "&Help", {},
                       ControlStyle{.flat = true, .menu = "m_HelpMenuItem"});
    m_ToggleVersionInfoSpeedButton.Define(
        *this, nullptr, "m_ToggleVersionInfoSpeedButton", K::SpeedButton, ">>", {377, 35, 23, 14},
        ControlStyle{.hint = "Toggle Version Info", .bold = true, .flat = true});
    m_NameLabel.Define(*this, nullptr, "m_NameLabel", K::Label, "Name:", {8, 53, 0, 0});

    m_TargetInformationGroupBox.Define(*this, nullptr, "m_TargetInformationGroupBox", K::GroupBox,
                                       "Intended Target Radio", {8, 74, 393, 143});
    Control* g = &m_TargetInformationGroupBox;
    Label1.Define(*this, g, "Label1", K::Label, "Radio:", {kHeadingLeft, 24, 0, 0});
    m_TargetRadioLabel.Define(*this, g, "m_TargetRadioLabel", K::Label, "8400", {kTargetValueLeft, 24, 0, 0});
    Label6.Define(*this, g, "Label6", K::Label, "Series:", {kHeadingLeft, 48, 0, 0});
    m_TargetSeriesLabel.Define(*this, g, "m_TargetSeriesLabel", K::Label, "4", {kTargetValueLeft, 48, 0, 0});
    Label11.Define(*this, g, "Label11", K::Label, "Release:", {kHeadingLeft, 72, 0, 0});
    m_TargetReleaseLabel.Define(*this, g, "m_TargetReleaseLabel", K::Label, "X",
                                {kTargetValueLeft, 72, 0, 0});
    Label10.Define(*this, g, "Label10", K::Label, "Upgrade Type:", {kHeadingLeft, 96, 0, 0});
    m_TargetUpgradeTypeLabel.Define(*this, g, "m_TargetUpgradeTypeLabel", K::Label, "Application",
                                    {kTargetValueLeft, 96, 0, 0});
    PortableGPicture.Define(*this, g, "PortableGPicture", K::Picture, "", {224, 16, 160, 120});
    MobileXPicture.Define(*this, g, "MobileXPicture", K::Picture, "", {224, 16, 160, 120});
    MobileGPicture.Define(*this, g, "MobileGPicture", K::Picture, "", {224, 16, 160, 120});
    PortableXPicture.Define(*this, g, "PortableXPicture", K::Picture, "", {240, 16, 144, 120});
    for (Control* p : {&PortableGPicture, &MobileXPicture, &MobileGPicture, &PortableXPicture}) {
        p->SetVisible(false);
    }

    m_CodeUpdateGroupBox.Define(*this, nullptr, "m_CodeUpdateGroupBox", K::GroupBox, "Transfer",
                                {8, 222, 393, 230});
    g = &m_CodeUpdateGroupBox;
    Label5.Define(*this, g, "Label5", K::Label, "COM:", {kHeadingLeft, 24, 0, 0});
    m_ComportComboBox.Define(*this, g, "m_ComportComboBox", K::ComboBox, "", {56, 20, 73, 22},
                             ControlStyle{.itemHeight = 13});
    m_UpgradeTypeLabel.Define(*this, g, "m_UpgradeTypeLabel", K::Label, "Upgrade Type:", {164, 24, 0, 0});
    m_ApplicationRadioButton.Define(*this, g, "m_ApplicationRadioButton", K::RadioButton, "Application",
                                    {244, 20, 0, 0});
    m_BootRadioButton.Define(*this, g, "m_BootRadioButton", K::RadioButton, "Boot", {244, 40, 0, 0});
    m_ApplicationRadioButton.SetChecked(true);
    for (Control* c : {&m_UpgradeTypeLabel, &m_ApplicationRadioButton, &m_BootRadioButton}) {
        c->SetVisible(false);
    }
    Bevel1.Define(*this, g, "Bevel1", K::Bevel, "", {8, 65, 377, 2});
    Label4.Define(*this, g, "Label4", K::Label, "Status:", {kHeadingLeft, 84, 0, 0});
    m_StatusLabel.Define(*this, g, "m_StatusLabel", K::Label, "Idle", {64, 84, 321, 0});
    m_ProgressBar.Define(*this, g, "m_ProgressBar", K::ProgressBar, "", {10, 105, 372, 17});
    m_ProgressBar.SetRange(0, 100);
    m_ProgressBar.SetPosition(0);
    m_StartButton.Define(*this, g, "m_StartButton", K::Button, "Start", {159, 145, 75, 25},
                         ControlStyle{.defaultButton = true});
    // The step on the left of the row under the bar, the time flush right; the disconnect line
    // (up to three lines) under the button.
    m_RunStepLabel.Define(*this, g, "m_RunStepLabel", K::Label, "", {10, 126, 0, 0});
    m_RunTimeLabel.Define(*this, g, "m_RunTimeLabel", K::Label, "", {196, 126, 186, 0}, kValueStyle);
    m_DisconnectLabel.Define(*this, g, "m_DisconnectLabel", K::Label, std::string(kMayDisconnectText),
                             {10, 176, 372, 0});

    m_TargetVersionInfoGroupBox.Define(*this, nullptr, "m_TargetVersionInfoGroupBox", K::GroupBox,
                                       "Target Radio Version Information",
                                       {kVersionGroupLeft, 30, kVersionGroupWidth, 356});
    g = &m_TargetVersionInfoGroupBox;
    struct Row
    {
        Control* heading;
        const char* headingName;
        const char* headingText;
        Control* value;
        const char* valueName;
        int top;
        int valueLeft;
    };
    const std::vector<Row> rows = {
        {&Label2, "Label2", "File Format Version:", &FileVersionLabel, "FileVersionLabel", 20,
         kVersionValueLeft},
        {&DSPVersionHeadingLabel, "DSPVersionHeadingLabel", "DSP Software Version:", &DSPVersionLabel,
         "DSPVersionLabel", 44, kVersionValueLeft},
        {&HWControllerVersionHeadingLabel, "HWControllerVersionHeadingLabel", "HC08 Software Version:",
         &HWControllerVersionLabel, "HWControllerVersionLabel", 68, kVersionValueLeft},
        {&HWRevisionHeadingLabel, "HWRevisionHeadingLabel", "Hardware Revision:", &HWRevisionLabel,
         "HWRevisionLabel", 92, kVersionValueLeft},
        {&SerialNumberHeadingLabel, "SerialNumberHeadingLabel", "Radio Serial Number:", &SerialNumberLabel,
         "SerialNumberLabel", 116, kVersionValueLeft},
        {&BootLoadHeadingLabel, "BootLoadHeadingLabel", "Boot Load Version:", &BootLoadVersionLabel,
         "BootLoadVersionLabel", 140, kVersionValueLeft},
        {&Label3, "Label3", "SEM Version:", &SEMVersionLabel, "SEMVersionLabel", 164, kVersionValueLeft},
    };
    for (const Row& r : rows) {
        r.heading->Define(*this, g, r.headingName, K::Label, r.headingText,
                          {kVersionHeadingLeft, r.top, 0, 0});
        r.value->Define(*this, g, r.valueName, K::Label, "<Blank>",
                        {r.valueLeft, r.top, kVersionValueWidth, 0}, kValueStyle);
    }
    Bevel2.Define(*this, g, "Bevel2", K::Bevel, "", {8, 192, 257, 2});
    Label8.Define(*this, g, "Label8", K::Label,
                  "Corresponding Tessaro Version:", {kVersionHeadingLeft, 200, 0, 0});
    TessaroVersionLabel.Define(*this, g, "TessaroVersionLabel", K::Label, "<Blank>",
                               {kVersionValueLeft, 200, kVersionValueWidth, 0}, kValueStyle);
    Label9.Define(*this, g, "Label9", K::Label,
                  "Corresponding Brevio Version:", {kVersionHeadingLeft, 224, 0, 0});
    BrevioVersionLabel.Define(*this, g, "BrevioVersionLabel", K::Label, "<Blank>",
                              {kVersionValueLeft, 224, kVersionValueWidth, 0}, kValueStyle);
    m_RetrieveVersionInfoButton.Define(*this, g, "m_RetrieveVersionInfoButton", K::Button, "&Retrieve",
                                       {99, 250, 75, 25});
    m_VersionsBeforeUpdateLabel.Define(*this, g, "m_VersionsBeforeUpdateLabel", K::Label,
                                       "Read before the update", {kVersionHeadingLeft, 284, 0, 0},
                                       ControlStyle{.bold = true});
    m_CodeplugBackupLabel.Define(*this, g, "m_CodeplugBackupLabel", K::Label, "",
                                 {kVersionHeadingLeft, 304, kVersionGroupWidth - 2 * kVersionHeadingLeft, 0});
    m_OpenBackupFolderButton.Define(*this, g, "m_OpenBackupFolderButton", K::Button, "Open folder",
                                    {kVersionHeadingLeft, 324, 90, 23});
    m_VersionsBeforeUpdateLabel.SetVisible(false);
    m_CodeplugBackupLabel.SetVisible(false);
    m_OpenBackupFolderButton.SetVisible(false);

    m_CommTimer.Define(*this, nullptr, "m_CommTimer", K::Timer, "", {});
    ProgressBarTimer.Define(*this, nullptr, "ProgressBarTimer", K::Timer, "", {});
    m_RunClockTimer.Define(*this, nullptr, "m_RunClockTimer", K::Timer, "", {});

    m_FileBackupMenuItem.OnClick = [this] { m_FileBackupMenuItemClick(); };
    m_FileRestoreMenuItem.OnClick = [this] { m_FileRestoreMenuItemClick(); };
    m_FileVerifyMenuItem.OnClick = [this] { m_FileVerifyMenuItemClick(); };
    m_FileExitMenuItem.OnClick = [this] { m_FileExitMenuItemClick(); };
    m_HelpCheckConnectionMenuItem.OnClick = [this] { m_HelpCheckConnectionMenuItemClick(); };
    m_HelpAboutMenuItem.OnClick = [this] { m_HelpAboutMenuItemClick(); };
    m_HelpTraceMenuItem.OnClick = [this] { m_HelpTraceMenuItemClick(); };
    m_HelpHistoryMenuItem.OnClick = [this] { m_HelpHistoryMenuItemClick(); };
    m_HelpBundleMenuItem.OnClick = [this] { m_HelpBundleMenuItemClick(); };
    m_ToggleVersionInfoSpeedButton.OnClick = [this] { m_ToggleVersionInfoSpeedButtonClick(); };
    m_ApplicationRadioButton.OnClick = [this] {
        m_ApplicationRadioButton.SetChecked(true);
        m_ApplicationRadioButtonClick();
    };
    m_BootRadioButton.OnClick = [this] {
        m_BootRadioButton.SetChecked(true);
        m_BootRadioButtonClick();
    };
    m_ComportComboBox.OnChange = [this] { m_ComportComboBoxChange(); };
    m_StartButton.OnClick = [this] { m_StartButtonClick(); };
    m_RetrieveVersionInfoButton.OnClick = [this] { m_RetrieveVersionInfoButtonClick(); };
    m_OpenBackupFolderButton.OnClick = [this] { m_OpenBackupFolderButtonClick(); };
    m_CommTimer.OnClick = [this] { m_OnCommTimerTimer(); };
    ProgressBarTimer.OnClick = [this] { ProgressBarTimerTimer(); };
    m_RunClockTimer.OnClick = [this] { m_RunStanding.Tick(); };
}

void TCodeUpdaterMainDispForm::InitWindowState()
{
    m_VersionPanelShown = true;
    m_UpdateInProgress = false;
    m_PasswordAccepted = false;

    std::vector<std::string> ports;
    ports.reserve(kPortCount);
    for (int n = 1; n <= kPortCount; ++n) {
        ports.push_back("COM " + std::to_string(n));
    }
    m_ComportComboBox.SetItems(std::move(ports));
    m_ComportComboBox.SetSelection(0);
    m_CommTimer.SetEnabled(false);

    m_NameLabel.SetCaption({"Name: %1", {UiText::Verbatim(ProgramBaseName(environment_.programPath))}});
    m_TargetReleaseLabel.SetCaption(UiText::Verbatim(ReleaseTextFor(m_NameLabel.Caption())));
}

void TCodeUpdaterMainDispForm::ToggleVersionInfoPanel()
{
    if (m_VersionPanelShown) {
        SetWidth(m_TargetVersionInfoGroupBox.Place().left + 5);
    } else {
        SetWidth(Width() + m_TargetVersionInfoGroupBox.Place().width + 5);
    }
    m_VersionPanelShown = !m_VersionPanelShown;
    // Collapsed, the window keeps 5 pixels of the panel: without hiding it they show its frame
    // and the first letter of its caption.
    m_TargetVersionInfoGroupBox.SetVisible(m_VersionPanelShown);
}

void TCodeUpdaterMainDispForm::ShowRadioPicture()
{
    Control* picture = nullptr;
    if (ResourceAttributes.radio_model == 1) {
        picture = ResourceAttributes.series == 6 ? &MobileGPicture : &MobileXPicture;
    } else {
        picture = ResourceAttributes.series == 6 ? &PortableGPicture : &PortableXPicture;
    }
    picture->SetVisible(true);
}

void TCodeUpdaterMainDispForm::BeginUpdateRun()
{
    m_StartButton.SetCaption("Stop");
    m_ComportComboBox.SetEnabled(false);
    m_StartButton.SetDefault(false);
    m_RetrieveVersionInfoButton.SetEnabled(false);
    m_FileBackupMenuItem.SetEnabled(false);
    m_FileRestoreMenuItem.SetEnabled(false);
    m_UpdateInProgress = true;
}

void TCodeUpdaterMainDispForm::EndUpdateRun(bool deleteFiles)
{
    if (m_StopHold == StopHold::None) {
        StopLinkWaits();
    } else {
        HoldLinkStop(RadioLink, true);
    }
    Clock::SleepMilliseconds(app_timeouts::kEndOfRunPauseMs);
    if (deleteFiles) {
        // The names are those of the working folder that extraction wrote to; a missing file is
        // no matter.
        for (const std::string* name : {&m_LoaderFileName, &m_CodeFileName}) {
            if (!name->empty()) {
                environment_.workingFolder->Remove(*name);
            }
        }
    }
    m_StartButton.SetCaption("Start");
    // Enter starts the next radio as it started this one (during a run it would press Stop).
    m_StartButton.SetDefault(true);
    if (m_ClickHandlerRunning) {
        // The run's handler has yet to unwind and close the link: hold the controls back until
        // it returns (ClickHandlerScope gives them back).
        m_StartButton.SetEnabled(false);
    } else {
        m_ComportComboBox.SetEnabled(true);
        m_RetrieveVersionInfoButton.SetEnabled(true);
        m_FileBackupMenuItem.SetEnabled(true);
        m_FileRestoreMenuItem.SetEnabled(true);
    }
    m_UpdateInProgress = false;
}

TCodeUpdaterMainDispForm::HoldStop::HoldStop(TCodeUpdaterMainDispForm& form, StopHold what)
    : form_(form), previous_(form.m_StopHold)
{
    form_.m_StopHold = std::max(previous_, what);
    if (previous_ == StopHold::None && QCoreApplication::instance() != nullptr) {
        // A confirmed close hides the last window, and the application would quit: every timed
        // wait of the step (the radio's restart) would then end at once.
        quitLock_ = std::make_unique<QEventLoopLocker>();
    }
}

TCodeUpdaterMainDispForm::HoldStop::~HoldStop()
{
    form_.m_StopHold = previous_;
    if (previous_ == StopHold::None) {
        HoldLinkStop(form_.RadioLink, false);
    }
}

TCodeUpdaterMainDispForm::ClickHandlerScope::ClickHandlerScope(TCodeUpdaterMainDispForm& form) : form_(form)
{
    form_.m_ClickHandlerRunning = true;
}

TCodeUpdaterMainDispForm::ClickHandlerScope::~ClickHandlerScope()
{
    form_.m_ClickHandlerRunning = false;
    if (form_.scratch_) {
        form_.scratch_->Release(); // every file of the run is closed by now
    }
    if (form_.m_TerminationRequested) {
        form_.host_.RequestClose(form_);
    }
    if (!form_.m_UpdateInProgress) {
        form_.m_StartButton.SetEnabled(true);
        form_.m_ComportComboBox.SetEnabled(true);
        form_.m_RetrieveVersionInfoButton.SetEnabled(true);
        form_.m_FileBackupMenuItem.SetEnabled(true);
        form_.m_FileRestoreMenuItem.SetEnabled(true);
    }
}

void TCodeUpdaterMainDispForm::ShowStatus(const std::string& text)
{
    ShowStatusText(text);
}

void TCodeUpdaterMainDispForm::ShowStatusText(const UiText& text)
{
    m_StatusLabel.SetCaption(text);
    m_RunEvents.StatusShown(m_StatusLabel.Caption());
}

void TCodeUpdaterMainDispForm::StartTimedProgress(int intervalMs)
{
    m_ProgressBarDisplay.StartTimed(intervalMs);
}

void TCodeUpdaterMainDispForm::StopTimedProgress()
{
    m_ProgressBarDisplay.StopTimed();
}

MessageAnswer TCodeUpdaterMainDispForm::AskHost(const UiText& text, const UiText& caption, MessageIcon icon,
                                                MessageButtons buttons)
{
    const MessageAnswer answer = host_.ShowMessage(*this, text, caption, icon, buttons);
    m_RunEvents.BoxAnswered(caption.Plain(), icon, text.Plain(), answer);
    return answer;
}

void TCodeUpdaterMainDispForm::ShowError(const UiText& text, const UiText& caption)
{
    AskHost(text, caption, MessageIcon::Error, MessageButtons::Ok);
}

void TCodeUpdaterMainDispForm::ShowInformation(const UiText& text, const UiText& caption)
{
    AskHost(text, caption, MessageIcon::Information, MessageButtons::Ok);
}

bool TCodeUpdaterMainDispForm::AskYesNo(const UiText& text, const UiText& caption)
{
    return AskHost(text, caption, MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes;
}

void TCodeUpdaterMainDispForm::m_ToggleVersionInfoSpeedButtonClick()
{
    ToggleVersionInfoPanel();
    m_ToggleVersionInfoSpeedButton.SetCaption(m_VersionPanelShown ? "<<" : ">>");
}

void TCodeUpdaterMainDispForm::m_FileExitMenuItemClick()
{
    host_.RequestClose(*this);
}

bool TCodeUpdaterMainDispForm::FormCloseQuery()
{
    if (!m_UpdateInProgress) {
        return true;
    }
    if (!AskYesNo("Update in progress.  Are you sure you want to quit?", "Confirm")) {
        return false;
    }
    m_RunStopped = true;
    EndUpdateRun(true);
    return true;
}

TCodeUpdaterMainDispForm::Termination TCodeUpdaterMainDispForm::RequestTermination()
{
    m_TerminationRequested = true;
    const bool running = m_UpdateInProgress;
    if (running) {
        StopUpdateRun(); // as Stop, without its question: nobody may be there to answer
    }
    if (m_StopHold == StopHold::CodeplugStep) {
        return Termination::FinishingCodeplugStep;
    }
    if (running) {
        return Termination::Stopping;
    }
    return m_ClickHandlerRunning ? Termination::StillStopping : Termination::EndNow;
}

void TCodeUpdaterMainDispForm::m_HelpAboutMenuItemClick()
{
    TAboutDialog about(false);
    host_.ShowModal(*this, about);
}

void TCodeUpdaterMainDispForm::m_ApplicationRadioButtonClick()
{
    m_BootRadioButton.SetChecked(false);
}

void TCodeUpdaterMainDispForm::m_BootRadioButtonClick()
{
    m_ApplicationRadioButton.SetChecked(false);
}

void TCodeUpdaterMainDispForm::m_OnCommTimerTimer()
{
    EndLinkWaitOnCommTimeOut();
    m_CommTimer.SetEnabled(false);
}

void TCodeUpdaterMainDispForm::ProgressBarTimerTimer()
{
    m_ProgressBar.SetPosition(m_ProgressBar.Position() + 1);
}

void TCodeUpdaterMainDispForm::ComPortTriggerTimer()
{
    EndLinkWaitOnTriggerTimeOut();
}

} // namespace aurex

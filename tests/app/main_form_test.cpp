#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "app/code_updater_main_form.h"
#include "app/window_rules.h"
#include "support/recording_host.h"

namespace aurex {
namespace {

using testing::FakeEnvironment;
using testing::RecordingHost;

MainFormEnvironment WithImageSet(std::uint8_t model, std::uint8_t kind, std::int8_t series, std::uint8_t type)
{
    MainFormEnvironment env = FakeEnvironment();
    env.blobs = testing::RecordBlobs(model, kind, series, type);
    return env;
}

TEST(MainFormTest, OpensCollapsedAndTheToggleShowsAndHidesTheVersionPanel)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    host.Attach(form);
    EXPECT_EQ(form.Width(), 417);
    EXPECT_FALSE(form.m_VersionPanelShown);
    EXPECT_EQ(form.m_ToggleVersionInfoSpeedButton.Caption(), ">>");
    // The 5 pixels of the panel left in the window show nothing of it.
    EXPECT_FALSE(form.m_TargetVersionInfoGroupBox.Visible());

    ASSERT_TRUE(form.m_ToggleVersionInfoSpeedButton.Click());
    EXPECT_EQ(form.Width(), 417 + 278);
    EXPECT_TRUE(form.m_VersionPanelShown);
    EXPECT_TRUE(form.m_TargetVersionInfoGroupBox.Visible());
    EXPECT_EQ(form.m_ToggleVersionInfoSpeedButton.Caption(), "<<");

    ASSERT_TRUE(form.m_ToggleVersionInfoSpeedButton.Click());
    EXPECT_EQ(form.Width(), 417);
    EXPECT_EQ(form.m_ToggleVersionInfoSpeedButton.Caption(), ">>");
    EXPECT_FALSE(form.m_TargetVersionInfoGroupBox.Visible());
    // Collapsing only cuts the column off: nothing else moved.
    EXPECT_EQ(form.m_TargetVersionInfoGroupBox.Place().left, 412);
    EXPECT_EQ(host.Changes(form.Name(), "Geometry"), (std::vector<std::string>{"695", "417"}));
}

TEST(MainFormTest, StartsIdleWithTheLayoutCaptions)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    EXPECT_EQ(form.Caption(), "Aurex Code Updater");
    EXPECT_EQ(form.m_StatusLabel.Caption(), "Idle");
    EXPECT_EQ(form.m_StartButton.Caption(), "Start");
    EXPECT_TRUE(form.m_StartButton.Enabled());
    EXPECT_TRUE(form.m_ComportComboBox.Enabled());
    EXPECT_TRUE(form.m_RetrieveVersionInfoButton.Enabled());
    EXPECT_EQ(form.m_ProgressBar.Position(), 0);
    EXPECT_EQ(form.m_ProgressBar.Max(), 100);
    EXPECT_FALSE(form.m_CommTimer.Enabled());
    EXPECT_FALSE(form.ProgressBarTimer.Enabled());
    ASSERT_EQ(form.m_ComportComboBox.Items().size(), 64U);
    EXPECT_EQ(form.m_ComportComboBox.Items().front(), "COM 1");
    EXPECT_EQ(form.m_ComportComboBox.Items().back(), "COM 64");
    EXPECT_EQ(form.m_ComportComboBox.Selection(), 0);
    EXPECT_EQ(form.HWControllerVersionHeadingLabel.Caption(), "HC08 Software Version:");
    EXPECT_EQ(form.SerialNumberLabel.Caption(), "<Blank>");
    EXPECT_TRUE(form.m_LoaderFileName.empty());
    EXPECT_TRUE(form.m_CodeFileName.empty());
    EXPECT_FALSE(form.m_PasswordAccepted);
    // Nothing is marked before an update has run, and no backup is named.
    EXPECT_FALSE(form.m_VersionsBeforeUpdateLabel.Visible());
    EXPECT_EQ(form.m_VersionsBeforeUpdateLabel.Caption(), "Read before the update");
    EXPECT_FALSE(form.m_CodeplugBackupLabel.Visible());
    // Every control name is unique, so renderings and scripts can find each one by name.
    for (const Control* c : form.Controls()) {
        EXPECT_EQ(form.Find(c->Name()), c) << c->Name();
    }
}

TEST(MainFormTest, ImageSetLabelsComeFromTheCarriedRecord)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, WithImageSet(1, 1, -2, 2));
    EXPECT_EQ(form.m_TargetRadioLabel.Caption(), "8600");
    EXPECT_EQ(form.m_TargetSeriesLabel.Caption(), "-2");
    EXPECT_EQ(form.m_TargetUpgradeTypeLabel.Caption(), "DSP");
    EXPECT_EQ(form.TessaroVersionLabel.Caption(), "2.8.2");
    EXPECT_EQ(form.BrevioVersionLabel.Caption(), "3.0.9");

    // No record: zeros stand in and the labels keep their layout captions, without a message.
    RecordingHost quiet;
    TCodeUpdaterMainDispForm bare(quiet, FakeEnvironment());
    EXPECT_EQ(bare.m_TargetRadioLabel.Caption(), "8400");
    EXPECT_EQ(bare.m_TargetSeriesLabel.Caption(), "4");
    EXPECT_EQ(bare.TessaroVersionLabel.Caption(), "<Blank>");
    EXPECT_EQ(bare.ResourceAttributes.series, 0);
    EXPECT_EQ(bare.RadioTypeCode, 4); // radio model 0, series 0
    EXPECT_TRUE(quiet.messages.empty());
}

TEST(MainFormTest, NameAndReleaseComeFromTheProgramFileName)
{
    struct Case
    {
        const char* path;
        const char* name;
        const char* release;
    };
    const Case cases[] = {
        {"/opt/aurex/Unit_Release_3_0_9.exe", "Name: Unit_Release_3_0_9", "3.0 9"},
        {"8600_Series_4_Release_2_1", "Name: 8600_Series_4_Release_2_1", "2.1"},
        {"/usr/bin/aurex-code-updater", "Name: aurex-code-updater", "N/A"},
        {"Unit_Release.tar.gz", "Name: Unit_Release", "N/A"},       // nothing after "Release"
        {"/a.b/Release_7_3_x.exe", "Name: Release_7_3_x", "7.3 x"}, // dot in a folder is not cut
        {"Unit_release_3_0", "Name: Unit_release_3_0", "N/A"},      // letter case counts
    };
    for (const Case& c : cases) {
        RecordingHost host;
        TCodeUpdaterMainDispForm form(host, FakeEnvironment({1}, c.path));
        EXPECT_EQ(form.m_NameLabel.Caption(), c.name) << c.path;
        EXPECT_EQ(form.m_TargetReleaseLabel.Caption(), c.release) << c.path;
    }
}

TEST(MainFormTest, ApplicationBootChoiceOnlyForApplicationBootSetsOutsideSeriesFourAndSix)
{
    struct Case
    {
        std::int8_t series;
        std::uint8_t type;
        bool choice;
        bool bootPath;
    };
    const Case cases[] = {
        {5, 3, true, false},  {4, 3, false, true},  {6, 3, false, true},  {-1, 3, true, false},
        {5, 0, false, false}, {4, 1, false, false}, {5, 2, false, false},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        TCodeUpdaterMainDispForm form(host, WithImageSet(1, 1, c.series, c.type));
        const std::string what = "series " + std::to_string(c.series) + " type " + std::to_string(c.type);
        EXPECT_EQ(form.m_UpgradeTypeLabel.Visible(), c.choice) << what;
        EXPECT_EQ(form.m_ApplicationRadioButton.Visible(), c.choice) << what;
        EXPECT_EQ(form.m_BootRadioButton.Visible(), c.choice) << what;
        EXPECT_EQ(form.m_BootPathSelected, c.bootPath) << what;
    }
}

TEST(MainFormTest, ApplicationAndBootAreNeverBothChecked)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, WithImageSet(1, 1, 5, 3));
    EXPECT_TRUE(form.m_ApplicationRadioButton.Checked());
    EXPECT_FALSE(form.m_BootRadioButton.Checked());
    form.m_BootRadioButton.Click();
    EXPECT_TRUE(form.m_BootRadioButton.Checked());
    EXPECT_FALSE(form.m_ApplicationRadioButton.Checked());
    form.m_BootRadioButton.Click();
    EXPECT_TRUE(form.m_BootRadioButton.Checked());
    EXPECT_FALSE(form.m_ApplicationRadioButton.Checked());
    form.m_ApplicationRadioButton.Click();
    EXPECT_TRUE(form.m_ApplicationRadioButton.Checked());
    EXPECT_FALSE(form.m_BootRadioButton.Checked());
}

TEST(MainFormTest, OnePictureByRadioModelAndSeries)
{
    struct Case
    {
        std::uint8_t model;
        std::int8_t series;
        const char* shown;
    };
    const Case cases[] = {
        {1, 6, "MobileGPicture"},   {1, 4, "MobileXPicture"},   {1, 5, "MobileXPicture"},
        {0, 6, "PortableGPicture"}, {0, 4, "PortableXPicture"}, {0, 0, "PortableXPicture"},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        TCodeUpdaterMainDispForm form(host, WithImageSet(c.model, 1, c.series, 0));
        for (const Control* p :
             {&form.PortableGPicture, &form.MobileXPicture, &form.MobileGPicture, &form.PortableXPicture}) {
            EXPECT_EQ(p->Visible(), p->Name() == c.shown)
                << int(c.model) << "/" << int(c.series) << " " << p->Name();
        }
    }
}

TEST(MainFormTest, OwnRadioTypeCodeFromTheImageSet)
{
    // Radio model, series, kind flag -> code, for every row of the rule.
    EXPECT_EQ(RadioTypeCodeFor(0, 4, 0), 6);
    EXPECT_EQ(RadioTypeCodeFor(0, 6, 1), 0);
    EXPECT_EQ(RadioTypeCodeFor(0, 5, 0), 4);
    EXPECT_EQ(RadioTypeCodeFor(0, -3, 1), 4);
    EXPECT_EQ(RadioTypeCodeFor(1, 4, 0), 1);
    EXPECT_EQ(RadioTypeCodeFor(1, 6, 0), 1);
    EXPECT_EQ(RadioTypeCodeFor(1, 4, 1), 7);
    EXPECT_EQ(RadioTypeCodeFor(1, 6, 2), 8);
    EXPECT_EQ(RadioTypeCodeFor(1, 5, 1), 5);

    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, WithImageSet(1, 1, 4, 3));
    EXPECT_EQ(form.RadioTypeCode, 7);
}

TEST(MainFormTest, RunStateSwitchesTheControls)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    host.Attach(form);
    form.m_StartButton.SetDefault(true);
    form.BeginUpdateRun();
    EXPECT_TRUE(form.m_UpdateInProgress);
    EXPECT_EQ(form.m_StartButton.Caption(), "Stop");
    EXPECT_FALSE(form.m_StartButton.IsDefault());
    EXPECT_FALSE(form.m_ComportComboBox.Enabled());
    EXPECT_FALSE(form.m_RetrieveVersionInfoButton.Enabled());
    EXPECT_FALSE(form.m_RetrieveVersionInfoButton.Click()); // a disabled button does nothing
    EXPECT_TRUE(form.m_StartButton.Enabled());

    // Ending deletes the merged files only when asked, and a missing one is no error.
    const auto dir = std::filesystem::temp_directory_path() / "aurex_main_form_test";
    std::filesystem::create_directories(dir);
    const auto loader = dir / "Loader.hex";
    std::ofstream(loader) << "S9030000FC\r\n";
    form.m_LoaderFileName = loader.string();
    form.m_CodeFileName = (dir / "Code.hex").string();
    form.EndUpdateRun(false);
    EXPECT_TRUE(std::filesystem::exists(loader));
    EXPECT_TRUE(form.m_StartButton.IsDefault()); // Enter starts the next run
    EXPECT_EQ(form.m_StartButton.Caption(), "Start");
    form.BeginUpdateRun();
    form.EndUpdateRun(true);
    EXPECT_FALSE(std::filesystem::exists(loader));
    std::filesystem::remove_all(dir);

    EXPECT_FALSE(form.m_UpdateInProgress);
    EXPECT_EQ(form.m_StartButton.Caption(), "Start");
    EXPECT_TRUE(form.m_ComportComboBox.Enabled());
    EXPECT_TRUE(form.m_RetrieveVersionInfoButton.Enabled());
}

TEST(MainFormTest, ClosingAsksOnlyDuringARun)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    form.m_FileExitMenuItem.Click();
    EXPECT_TRUE(host.closed);
    EXPECT_TRUE(host.messages.empty());

    host.closed = false;
    form.BeginUpdateRun();
    form.ShowStatus("Uploading codeplug...");
    host.answers = {MessageAnswer::No};
    form.m_FileExitMenuItem.Click();
    EXPECT_FALSE(host.closed);
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, "Update in progress.  Are you sure you want to quit?");
    EXPECT_EQ(host.messages[0].caption, "Confirm");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Question);
    EXPECT_EQ(host.messages[0].buttons, MessageButtons::YesNo);
    // No leaves the run and its status alone.
    EXPECT_TRUE(form.m_UpdateInProgress);
    EXPECT_EQ(form.m_StartButton.Caption(), "Stop");
    EXPECT_EQ(form.m_StatusLabel.Caption(), "Uploading codeplug...");

    host.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(form.FormCloseQuery());
    EXPECT_FALSE(form.m_UpdateInProgress);
    EXPECT_EQ(form.m_StartButton.Caption(), "Start");
}

// What Stop, a confirmed close and a signal do while a hold is on: the run state ends in each
// case, the link's waits only where nothing holds Stop off; a hold inside the codeplug step keeps
// the step's hold, and each hold gives back the one it found.
TEST(MainFormTest, AHeldStopEndsTheRunStateButNotTheLinksWaits)
{
    using Hold = TCodeUpdaterMainDispForm::StopHold;
    using Termination = TCodeUpdaterMainDispForm::Termination;
    enum class How { StopButton, Close, Signal };
    struct Case
    {
        std::vector<Hold> holds; // outermost first
        How how;
        bool waitsGoOn;
        Termination termination; // for a signal
    };
    for (const Case& c : {
             Case{{}, How::StopButton, false, {}},
             Case{{}, How::Signal, false, Termination::Stopping},
             Case{{Hold::CodeplugWrite}, How::Close, true, {}},
             Case{{Hold::CodeplugWrite}, How::Signal, true, Termination::Stopping},
             Case{{Hold::CodeplugStep}, How::StopButton, true, {}},
             Case{{Hold::CodeplugStep}, How::Close, true, {}},
             Case{{Hold::CodeplugStep}, How::Signal, true, Termination::FinishingCodeplugStep},
             Case{{Hold::CodeplugStep, Hold::CodeplugWrite},
                  How::Signal,
                  true,
                  Termination::FinishingCodeplugStep},
         }) {
        SCOPED_TRACE(::testing::Message() << c.holds.size() << " holds, way " << static_cast<int>(c.how));
        RecordingHost host;
        TCodeUpdaterMainDispForm form(host, FakeEnvironment());
        form.BeginUpdateRun();
        SetLinkActive(form.RadioLink, true);
        std::vector<std::unique_ptr<TCodeUpdaterMainDispForm::HoldStop>> holds;
        for (const Hold hold : c.holds) {
            holds.push_back(std::make_unique<TCodeUpdaterMainDispForm::HoldStop>(form, hold));
        }
        EXPECT_EQ(form.m_StopHold, c.holds.empty() ? Hold::None : c.holds.front());
        switch (c.how) {
        case How::StopButton:
            EXPECT_TRUE(form.m_StartButton.Click());
            break;
        case How::Close:
            host.answers = {MessageAnswer::Yes};
            EXPECT_TRUE(form.FormCloseQuery());
            break;
        case How::Signal:
            EXPECT_EQ(form.RequestTermination(), c.termination);
            // A second signal finds the run stopped: the held step is still to finish.
            EXPECT_EQ(form.RequestTermination(), c.termination == Termination::FinishingCodeplugStep
                                                     ? c.termination
                                                     : Termination::EndNow);
            break;
        }
        EXPECT_FALSE(form.m_UpdateInProgress);
        EXPECT_TRUE(form.m_RunStopped);
        EXPECT_EQ(form.m_StartButton.Caption(), "Start");
        EXPECT_EQ(IsLinkActive(form.RadioLink), c.waitsGoOn);
        EXPECT_EQ(form.StoppedOutsideAHold(), c.holds.empty());
        while (!holds.empty()) {
            holds.pop_back();
            EXPECT_EQ(form.m_StopHold, holds.empty() ? Hold::None : c.holds.front());
        }
        EXPECT_TRUE(form.StoppedOutsideAHold());
    }
}

TEST(MainFormTest, TimedProgressStepsByOneAndStopsAtTheTop)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    form.m_ProgressBar.SetRange(0, 40);
    form.m_ProgressBar.SetPosition(30);
    EXPECT_FALSE(form.ProgressBarTimer.Fire()); // disabled until started

    form.StartTimedProgress(150);
    EXPECT_TRUE(form.ProgressBarTimer.Enabled());
    EXPECT_EQ(form.ProgressBarTimer.Interval(), 150);
    EXPECT_EQ(form.m_ProgressBar.Min(), 0);
    EXPECT_EQ(form.m_ProgressBar.Max(), 100);
    EXPECT_EQ(form.m_ProgressBar.Position(), 0);
    for (int i = 0; i < 3; ++i) {
        form.ProgressBarTimer.Fire();
    }
    EXPECT_EQ(form.m_ProgressBar.Position(), 3);
    form.m_ProgressBar.SetPosition(99);
    form.ProgressBarTimer.Fire();
    form.ProgressBarTimer.Fire();
    EXPECT_EQ(form.m_ProgressBar.Position(), 100);

    form.m_ProgressBar.SetPosition(10);
    form.StopTimedProgress();
    EXPECT_FALSE(form.ProgressBarTimer.Enabled());
    EXPECT_EQ(form.m_ProgressBar.Position(), 100);
}

// The erase wait through the downloads' display: a hundredth of the wait per tick, full when the
// wait runs out, left as Stop set it when stopped.
TEST(MainFormTest, ATimedWaitFillsTheBarPerTickAndEndsFullUnlessStopped)
{
    for (const bool ranOut : {true, false}) {
        SCOPED_TRACE(ranOut ? "ran out" : "stopped");
        RecordingHost host;
        TCodeUpdaterMainDispForm form(host, FakeEnvironment());
        ProgressDisplay& display = form.m_ProgressBarDisplay;
        display.SetRange(0, 400);
        display.SetPosition(380); // where the loader left it
        display.BeginTimedWait(80000);
        EXPECT_TRUE(form.ProgressBarTimer.Enabled());
        EXPECT_EQ(form.ProgressBarTimer.Interval(), 800);
        EXPECT_EQ(form.m_ProgressBar.Max(), 100);
        EXPECT_EQ(form.m_ProgressBar.Position(), 0);
        for (int tick = 0; tick < 40; ++tick) {
            form.ProgressBarTimer.Fire();
        }
        EXPECT_EQ(form.m_ProgressBar.Position(), 40); // 32 of the 80 seconds
        if (!ranOut) {
            form.m_ProgressBar.SetPosition(0); // as Stop leaves it
        }
        display.EndTimedWait(ranOut);
        EXPECT_FALSE(form.ProgressBarTimer.Enabled());
        EXPECT_EQ(form.m_ProgressBar.Position(), ranOut ? 100 : 0);
    }
    // A wait shorter than the steps still ticks.
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    form.m_ProgressBarDisplay.BeginTimedWait(50);
    EXPECT_EQ(form.ProgressBarTimer.Interval(), 1);
}

// The Stop button asks before it stops a code download, and only then; a signal never asks.
TEST(MainFormTest, StopAsksFirstOnlyDuringACodeDownload)
{
    enum class How { StopButton, Signal };
    struct Case
    {
        bool downloading;
        How how;
        MessageAnswer answer;
        bool asks;
        bool stops;
    };
    for (const Case& c : {
             Case{true, How::StopButton, MessageAnswer::No, true, false},
             Case{true, How::StopButton, MessageAnswer::Yes, true, true},
             Case{false, How::StopButton, MessageAnswer::No, false, true},
             Case{true, How::Signal, MessageAnswer::No, false, true},
         }) {
        SCOPED_TRACE(::testing::Message()
                     << c.downloading << " " << static_cast<int>(c.how) << " " << static_cast<int>(c.answer));
        RecordingHost host;
        TCodeUpdaterMainDispForm form(host, FakeEnvironment());
        form.BeginUpdateRun();
        SetLinkActive(form.RadioLink, true);
        form.m_CodeDownloadUnderway = c.downloading;
        form.m_ProgressBar.SetPosition(60);
        host.answers = {c.answer};
        if (c.how == How::StopButton) {
            EXPECT_TRUE(form.m_StartButton.Click());
        } else {
            form.RequestTermination();
        }
        ASSERT_EQ(host.messages.size(), c.asks ? 1U : 0U);
        if (c.asks) {
            EXPECT_EQ(host.messages[0].text, "Stopping now leaves the radio without working code until it is "
                                             "updated again.\n\nStop the update anyway?");
            EXPECT_EQ(host.messages[0].caption, "Confirm");
            EXPECT_EQ(host.messages[0].icon, MessageIcon::Question);
            EXPECT_EQ(host.messages[0].buttons, MessageButtons::YesNo);
        }
        // No leaves the run, its link and its bar as they were.
        EXPECT_EQ(form.m_UpdateInProgress, !c.stops);
        EXPECT_EQ(form.m_RunStopped, c.stops);
        EXPECT_EQ(IsLinkActive(form.RadioLink), !c.stops);
        EXPECT_EQ(form.m_StartButton.Caption(), c.stops ? "Start" : "Stop");
        EXPECT_EQ(form.m_ProgressBar.Position(), c.stops ? 0 : 60);
    }
}

TEST(MainFormTest, CommTimerExpiryDisablesItself)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    form.m_CommTimer.SetInterval(1000);
    form.m_CommTimer.SetEnabled(true);
    EXPECT_TRUE(form.m_CommTimer.Fire());
    EXPECT_FALSE(form.m_CommTimer.Enabled());
}

TEST(MainFormTest, AboutBoxNamesTheUpdaterAndItsVersion)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment());
    form.m_HelpAboutMenuItem.Click();
    ASSERT_EQ(host.dialogsShown, (std::vector<std::string>{"About"}));
    ASSERT_GE(host.aboutLines.size(), 2U);
    EXPECT_EQ(host.aboutLines[0], "Aurex Code Updater");
    EXPECT_EQ(host.aboutLines[1], "Version 1.2.5");
}

// Help -> Check connection... checks the selected port, line included, holding Start back
// meanwhile, and shows the report.
TEST(MainFormTest, CheckConnectionReportsOnTheSelectedPort)
{
    RecordingHost host;
    MainFormEnvironment env = FakeEnvironment({1, 17});
    TCodeUpdaterMainDispForm* seen = nullptr;
    bool startHeldBack = false;
    std::vector<std::pair<std::string, LineProbes>> asked;
    env.checkConnection = [&](const std::string& device, LineProbes line) {
        asked.emplace_back(device, line);
        startHeldBack = seen != nullptr && !seen->m_StartButton.Enabled();
        return ports::Findings{
            {ports::Finding::Kind::Problem, "Nothing answered on the line.", "check the cable", 5}};
    };
    TCodeUpdaterMainDispForm form(host, env);
    seen = &form;
    form.m_ComportComboBox.UserSelect(16);
    form.m_HelpCheckConnectionMenuItem.Click();
    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0].first, "/dev/ttyUSB0");
    EXPECT_EQ(asked[0].second, LineProbes::Run);
    EXPECT_TRUE(startHeldBack);
    EXPECT_TRUE(form.m_StartButton.Enabled());
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].caption, "Check connection");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Information);
    const std::string& report = host.messages[0].text;
    EXPECT_EQ(report.rfind("COM 17: ", 0), 0U) << report;
    EXPECT_NE(report.find("Nothing answered on the line."), std::string::npos) << report;
    EXPECT_NE(report.find("check the cable"), std::string::npos) << report;
}

// Older boot code goes into a radio only when the technician says so, or the policy allows it.
TEST(MainFormTest, OlderBootCodeIsLoadedOnlyWhenAllowed)
{
    struct Case
    {
        std::array<std::uint32_t, 2> radio;
        TCodeUpdaterMainDispForm::BootDowngradePolicy policy;
        MessageAnswer answer;
        bool downgrade;
        bool allowed;
        std::size_t boxes;
    };
    using P = TCodeUpdaterMainDispForm::BootDowngradePolicy;
    for (const Case& c : {
             Case{{6, 2}, P::Ask, MessageAnswer::No, false, true, 0},
             Case{{7, 5}, P::Ask, MessageAnswer::No, false, true, 0},
             Case{{6, 5}, P::Ask, MessageAnswer::Yes, true, true, 1},
             Case{{6, 5}, P::Ask, MessageAnswer::No, true, false, 1},
             Case{{6, 5}, P::Refuse, MessageAnswer::Yes, true, false, 0},
             Case{{6, 5}, P::Allow, MessageAnswer::No, true, true, 0},
         }) {
        SCOPED_TRACE(std::to_string(c.radio[1]) + " policy " + std::to_string(static_cast<int>(c.policy)));
        RecordingHost host;
        TCodeUpdaterMainDispForm form(host, FakeEnvironment());
        host.Attach(form);
        host.answers = {c.answer};
        form.m_RadioBootVersion = c.radio;
        form.m_CarriedBootVersion = {6, 3};
        form.m_BootDowngradePolicy = c.policy;
        ASSERT_EQ(form.BootDowngrade(), c.downgrade);
        if (!c.downgrade) {
            continue;
        }
        EXPECT_EQ(form.AllowBootDowngrade(), c.allowed);
        EXPECT_EQ(form.m_BootDowngradeRefused, !c.allowed);
        ASSERT_EQ(host.messages.size(), c.boxes);
        if (c.boxes > 0) {
            EXPECT_NE(host.messages[0].text.find("version 6.5, newer than the version 6.3"),
                      std::string::npos);
        }
        EXPECT_EQ(form.m_StatusLabel.Caption() ==
                      "Nothing loaded: the radio's boot code 6.5 is newer than this updater's 6.3.",
                  !c.allowed);
    }
}

} // namespace
} // namespace aurex

// The Start button's run as the window model sees it, over a pseudo-terminal.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QTimer>

#include "app/code_updater_main_form.h"
#include "app/port_probe.h"
#include "app/timer_driver.h"
#include "link/clock.h"
#include "link/serial_system.h"
#include "support/recording_host.h"
#include "support/scripted_peer.h"
#include "transfer/codeplug_backup.h"

namespace aurex {
namespace {

constexpr int kCom = 2;

// The window at COM 2 over a pseudo-terminal whose far end stays silent, timers on the sped-up
// clock; every port probe is counted, since each run and each Retrieve starts with one.
class SilentRadioRig
{
  public:
    SilentRadioRig(std::uint8_t radioModel, std::int8_t series, std::uint8_t upgradeType,
                   std::function<ports::Findings(const std::string&, LineProbes)> check = {})
        : com_(kCom, pty.DevicePath())
    {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "update_sequence_test";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
        Clock::SetScale(0.05);
        MainFormEnvironment env = testing::FakeEnvironment({}, "Unit_Release_1_0", 1);
        env.probePort = [this](int n) {
            ++probes;
            return n == kCom ? ProbeComPort(n) : PortOpenResult::NotPresent;
        };
        env.blobs = testing::RecordBlobs(radioModel, 1, series, upgradeType);
        if (check) {
            env.checkConnection = std::move(check);
        }
        form = std::make_unique<TCodeUpdaterMainDispForm>(host, env);
        host.Attach(*form);
        timers_ = std::make_unique<TimerDriver>(*form);
        form->m_ComportComboBox.UserSelect(kCom - 1);
    }
    ~SilentRadioRig()
    {
        timers_.reset();
        form.reset();
        Clock::SetScale(1.0);
    }

    // Runs `during` at the first turn of the event loop inside the next handler.
    static void During(std::function<void()> during) { QTimer::singleShot(0, std::move(during)); }

    test::PtyPair pty;
    testing::RecordingHost host;
    std::unique_ptr<TCodeUpdaterMainDispForm> form;
    int probes = 0;

  private:
    test::ScopedComOverride com_;
    std::unique_ptr<TimerDriver> timers_;
};

struct ControlsSeen
{
    std::string startCaption;
    bool startEnabled = true;
    bool portListEnabled = true;
    bool retrieveEnabled = true;
};

ControlsSeen Look(const TCodeUpdaterMainDispForm& form)
{
    return {form.m_StartButton.Caption(), form.m_StartButton.Enabled(), form.m_ComportComboBox.Enabled(),
            form.m_RetrieveVersionInfoButton.Enabled()};
}

// After Stop the run is still unwinding inside its handler: the button reads "Start" but neither
// it nor Retrieve may begin anything until the handler has returned, whether clicked or called.
TEST(UpdateSequenceTest, StartAndRetrieveStartNothingWhileAStoppedRunUnwinds)
{
    SilentRadioRig rig(1, 5, 0);
    rig.host.passwords.push_back({"brontel"});
    bool ran = false;
    int probesBefore = 0;
    ControlsSeen afterStop;
    bool startClicked = true;
    bool retrieveClicked = true;
    std::size_t dialogsBefore = 0;
    SilentRadioRig::During([&] {
        ran = true;
        ASSERT_TRUE(rig.form->m_UpdateInProgress);
        ASSERT_TRUE(rig.form->m_StartButton.Click()); // "Stop"
        afterStop = Look(*rig.form);
        probesBefore = rig.probes;
        dialogsBefore = rig.host.dialogsShown.size();
        startClicked = rig.form->m_StartButton.Click();
        retrieveClicked = rig.form->m_RetrieveVersionInfoButton.Click();
        rig.form->m_StartButtonClick();
        rig.form->m_RetrieveVersionInfoButtonClick();
        EXPECT_EQ(rig.probes, probesBefore);
        EXPECT_EQ(rig.host.dialogsShown.size(), dialogsBefore);
        EXPECT_FALSE(rig.form->m_UpdateInProgress);
        EXPECT_EQ(rig.form->m_StartButton.Caption(), "Start");
    });
    ASSERT_TRUE(rig.form->m_StartButton.Click());
    ASSERT_TRUE(ran);

    EXPECT_EQ(afterStop.startCaption, "Start");
    EXPECT_FALSE(afterStop.startEnabled);
    EXPECT_FALSE(afterStop.portListEnabled);
    EXPECT_FALSE(afterStop.retrieveEnabled);
    EXPECT_FALSE(startClicked);
    EXPECT_FALSE(retrieveClicked);

    // Once the handler has returned, the window is idle and usable again, and only one run
    // ever began.
    const ControlsSeen idle = Look(*rig.form);
    EXPECT_EQ(idle.startCaption, "Start");
    EXPECT_TRUE(idle.startEnabled);
    EXPECT_TRUE(idle.portListEnabled);
    EXPECT_TRUE(idle.retrieveEnabled);
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
    EXPECT_EQ(rig.host.Changes("m_StartButton", "Caption"), (std::vector<std::string>{"Stop", "Start"}));
    EXPECT_EQ(rig.host.dialogsShown.size(), 1U);
}

// Retrieve waits on the radio too: meanwhile Start, the port list and Retrieve itself are held
// back, and a Start that gets through anyway begins nothing.
// A run that finds the radio silent lets go of the port, has the connection check probe the line
// and shows its likeliest cause.
TEST(UpdateSequenceTest, ASilentRadioGetsTheConnectionChecksLikeliestCause)
{
    struct Asked
    {
        LineProbes line;
        bool deviceFree;
    };
    std::vector<Asked> asked;
    // Series 4 with boot code: the boot path, which asks the radio's boot version first.
    SilentRadioRig rig(1, 4, 3, [&](const std::string& device, LineProbes line) {
        const SerialOpenResult opened = PlatformSerialSystem().Open(device);
        PlatformSerialSystem().Close(opened.handle);
        asked.push_back({line, opened.outcome == PortOpenResult::Opened});
        return ports::Findings{
            {ports::Finding::Kind::Problem, "Nothing answered on the line.", "Check the cable.", 90}};
    });
    rig.host.passwords.push_back({"brontel"});
    rig.form->m_BootRadioButton.Click();
    rig.form->m_StartButton.Click();
    EXPECT_EQ(rig.form->m_StatusLabel.Caption(),
              "Communication error while trying to retrieve boot version.");
    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0].line, LineProbes::Run);
    EXPECT_TRUE(asked[0].deviceFree);
    ASSERT_EQ(rig.host.messages.size(), 1U);
    EXPECT_EQ(rig.host.messages[0].text, "The radio did not answer.\n\nNothing answered on the line.");
    EXPECT_EQ(rig.host.messages[0].caption, "Check connection");
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
}

TEST(UpdateSequenceTest, StartDuringRetrieveStartsNothing)
{
    SilentRadioRig rig(1, 5, 0);
    rig.host.passwords.push_back({"brontel"});
    bool ran = false;
    ControlsSeen during;
    int probesBefore = 0;
    SilentRadioRig::During([&] {
        ran = true;
        during = Look(*rig.form);
        probesBefore = rig.probes;
        EXPECT_FALSE(rig.form->m_StartButton.Click());
        rig.form->m_StartButtonClick();
        rig.form->m_RetrieveVersionInfoButtonClick();
        EXPECT_EQ(rig.probes, probesBefore);
        EXPECT_FALSE(rig.form->m_UpdateInProgress);
    });
    ASSERT_TRUE(rig.form->m_RetrieveVersionInfoButton.Click());
    ASSERT_TRUE(ran);
    EXPECT_EQ(during.startCaption, "Start");
    EXPECT_FALSE(during.startEnabled);
    EXPECT_FALSE(during.portListEnabled);
    EXPECT_FALSE(during.retrieveEnabled);
    EXPECT_TRUE(rig.host.dialogsShown.empty()); // no password was asked: no run began
    EXPECT_TRUE(rig.host.Changes("m_StartButton", "Caption").empty());

    const ControlsSeen idle = Look(*rig.form);
    EXPECT_TRUE(idle.startEnabled);
    EXPECT_TRUE(idle.portListEnabled);
    EXPECT_TRUE(idle.retrieveEnabled);
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
}

// ---- the password gate, on a window whose port cannot be opened: an accepted password shows
// as a run that starts and stops at the port ----

struct GateCase
{
    std::uint8_t model;
    std::uint8_t kind;
    std::int8_t series;
    std::uint8_t upgradeType;
    bool chooseBoot;
    const char* password;
};

bool RunStarted(const testing::RecordingHost& host)
{
    return host.statusTexts ==
               std::vector<std::string>{"Extracting embedded files...",
                                        "The selected COM port is in use or not available."} &&
           host.messages.size() == 1 &&
           host.messages[0].text == "Selected COM port is in use or not available.";
}

TEST(UpdateSequenceTest, EachImageSetAndChoiceAsksForItsPassword)
{
    // "marvoski" where boot code is asked for outside the boot path, "brontel" everywhere else.
    for (const GateCase c : {GateCase{1, 1, 5, 0, false, "brontel"}, GateCase{1, 1, 4, 1, false, "marvoski"},
                             GateCase{1, 1, 4, 2, false, "brontel"}, GateCase{1, 1, 5, 3, true, "marvoski"},
                             GateCase{1, 1, 5, 3, false, "brontel"}, GateCase{1, 1, 4, 3, false, "brontel"},
                             GateCase{0, 0, 6, 3, false, "brontel"}}) {
        for (const char* typed : {"brontel", "marvoski"}) {
            SCOPED_TRACE(std::to_string(c.upgradeType) + " series " + std::to_string(c.series) +
                         (c.chooseBoot ? " Boot" : "") + ", typed " + typed);
            testing::RecordingHost host;
            MainFormEnvironment env = testing::FakeEnvironment({});
            env.blobs = testing::RecordBlobs(c.model, c.kind, c.series, c.upgradeType);
            TCodeUpdaterMainDispForm form(host, env);
            host.Attach(form);
            if (c.chooseBoot) {
                ASSERT_TRUE(form.m_BootRadioButton.Click());
            }
            host.passwords.push_back({typed});
            form.m_StartButton.Click();
            const bool right = std::string(typed) == c.password;
            EXPECT_EQ(RunStarted(host), right);
            EXPECT_EQ(form.m_PasswordAccepted, right);
            if (!right) {
                EXPECT_EQ(host.statusTexts, std::vector<std::string>{"The password was not accepted."});
                EXPECT_TRUE(host.messages.empty());
                EXPECT_EQ(form.m_StartButton.Caption(), "Start");
                EXPECT_TRUE(form.m_StartButton.Enabled());
            }
        }
    }
}

// A backup folder that is full or cannot be written is found before the run begins (no status,
// no port opened), with a box naming the folder; a run that keeps no codeplug (boot code alone)
// does not need one.
TEST(UpdateSequenceTest, AnUnusableBackupFolderStopsARunBeforeItBegins)
{
    struct FullDisk : BackupDisk
    {
        int FreeBytes(int, std::uint64_t& bytes) override
        {
            bytes = 4096;
            return 0;
        }
    };
    struct ReadOnlyDisk : BackupDisk
    {
        int CreateUnnamed(int, int&, std::string&) override { return EROFS; }
    };
    struct Case
    {
        std::uint8_t upgradeType;
        const char* password;
        std::shared_ptr<BackupDisk> disk;
        const char* says; // null: the run begins
    };
    for (const Case& c : {Case{0, "brontel", std::make_shared<FullDisk>(), "4 KB free"},
                          Case{0, "brontel", std::make_shared<ReadOnlyDisk>(), "Read-only file system"},
                          Case{1, "marvoski", std::make_shared<FullDisk>(), nullptr}}) {
        SCOPED_TRACE(c.says == nullptr ? "boot code alone" : c.says);
        testing::RecordingHost host;
        MainFormEnvironment env = testing::FakeEnvironment({});
        env.blobs = testing::RecordBlobs(1, 1, 4, c.upgradeType);
        env.backupDisk = c.disk;
        TCodeUpdaterMainDispForm form(host, env);
        host.Attach(form);
        host.passwords.push_back({c.password});
        form.m_StartButton.Click();
        if (c.says == nullptr) {
            EXPECT_TRUE(RunStarted(host));
            continue;
        }
        EXPECT_TRUE(host.statusTexts.empty());
        ASSERT_EQ(host.messages.size(), 1U);
        EXPECT_NE(host.messages[0].text.find("folder " + CodeplugBackupFolder()), std::string::npos)
            << host.messages[0].text;
        EXPECT_NE(host.messages[0].text.find(c.says), std::string::npos) << host.messages[0].text;
        EXPECT_NE(host.messages[0].text.find("Nothing has been sent to the radio."), std::string::npos);
        EXPECT_EQ(form.m_StartButton.Caption(), "Start");
        EXPECT_TRUE(form.m_StartButton.Enabled());
    }
}

TEST(UpdateSequenceTest, OnlyTheTrimmedTextDecidesNotHowTheDialogWasLeft)
{
    using testing::DialogExit;
    struct Entry
    {
        const char* typed;
        DialogExit exit;
        bool accepted;
    };
    for (const Entry e :
         {Entry{"  brontel\t", DialogExit::CancelButton, true}, Entry{"brontel", DialogExit::CloseBox, true},
          Entry{"brontel", DialogExit::EscKey, true}, Entry{"Brontel", DialogExit::OkButton, false},
          Entry{"bron tel", DialogExit::EnterKey, false}, Entry{"", DialogExit::OkButton, false}}) {
        SCOPED_TRACE(std::string("typed '") + e.typed + "'");
        testing::RecordingHost host;
        MainFormEnvironment env = testing::FakeEnvironment({});
        env.blobs = testing::RecordBlobs(1, 1, 5, 0);
        TCodeUpdaterMainDispForm form(host, env);
        host.Attach(form);
        host.passwords.push_back({e.typed, e.exit});
        form.m_StartButton.Click();
        EXPECT_EQ(RunStarted(host), e.accepted);
        EXPECT_EQ(host.dialogsShown.size(), 1U);
    }
}

TEST(UpdateSequenceTest, AnAcceptedPasswordHoldsForTheProgramRunWhateverIsChosen)
{
    testing::RecordingHost host;
    MainFormEnvironment env = testing::FakeEnvironment({});
    env.blobs = testing::RecordBlobs(1, 1, 5, 3);
    TCodeUpdaterMainDispForm form(host, env);
    host.Attach(form);
    ASSERT_TRUE(form.m_BootRadioButton.Click());
    host.passwords.push_back({"brontel"}); // refused for Boot: asked again next time
    form.m_StartButton.Click();
    host.passwords.push_back({"marvoski"});
    form.m_StartButton.Click();
    ASSERT_TRUE(form.m_ApplicationRadioButton.Click());
    form.m_StartButton.Click();
    form.m_StartButton.Click();
    EXPECT_EQ(host.dialogsShown.size(), 2U);
    EXPECT_EQ(host.messages.size(), 3U); // three runs reached the port
}

// ---- the target check ----

TEST(UpdateSequenceTest, ConnectedRadioTypeCodeFromModelAndBootVersion)
{
    struct Row
    {
        std::uint8_t model, major, minor, code;
    };
    for (const Row r : {Row{0, 4, 0, 6}, Row{0, 7, 3, 6}, Row{0, 6, 1, 0}, Row{0, 5, 0, 4}, Row{0, 0, 0, 4},
                        Row{1, 4, 2, 7}, Row{1, 6, 0, 8}, Row{1, 2, 0, 5}, Row{1, 3, 9, 5}, Row{1, 5, 0, 5},
                        Row{1, 7, 0, 5}, Row{1, 200, 0, 5}, Row{1, 1, 9, 5}, Row{1, 1, 12, 5},
                        Row{1, 1, 8, 1}, Row{1, 1, 0, 1}, Row{1, 0, 0, 1}, Row{1, 0, 99, 1}}) {
        EXPECT_EQ(RadioTypeCodeOfRadio(r.model, r.major, r.minor), r.code)
            << int(r.model) << " " << int(r.major) << "." << int(r.minor);
    }
}

// No link is open: asking the radio would fail and say so in the status line.
TEST(UpdateSequenceTest, PlatformsOneFourAndFivePassTheTargetCheckWithoutAskingTheRadio)
{
    struct Set
    {
        std::uint8_t model, kind;
        std::int8_t series;
        std::uint8_t code;
    };
    for (const Set s : {Set{1, 0, 5, 1}, Set{0, 0, 5, 4}, Set{1, 1, 5, 5}, Set{0, 0, 4, 6}}) {
        SCOPED_TRACE(int(s.code));
        testing::RecordingHost host;
        MainFormEnvironment env = testing::FakeEnvironment({});
        env.blobs = testing::RecordBlobs(s.model, s.kind, s.series, 0);
        TCodeUpdaterMainDispForm form(host, env);
        host.Attach(form);
        ASSERT_EQ(form.RadioTypeCode, s.code);
        const bool asks = s.code == 6; // the control: platform 6 asks, and fails
        EXPECT_EQ(form.CheckTargetRadio(), !asks);
        EXPECT_EQ(host.statusTexts.empty(), !asks);
        EXPECT_TRUE(host.messages.empty());
    }
}

} // namespace
} // namespace aurex

// The Start button's run as the window model sees it, over a pseudo-terminal.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QTimer>

#include "app/code_updater_main_form.h"
#include "app/port_probe.h"
#include "app/timer_driver.h"
#include "link/clock.h"
#include "support/recording_host.h"
#include "support/scripted_peer.h"

namespace aurex {
namespace {

constexpr int kCom = 2;

// The window at COM 2 over a pseudo-terminal whose far end stays silent, timers on the sped-up
// clock; every port probe is counted, since each run and each Retrieve starts with one.
class SilentRadioRig {
public:
    SilentRadioRig(std::uint8_t radioModel, std::int8_t series, std::uint8_t upgradeType)
        : com_(kCom, pty.DevicePath()) {
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
            return n == kCom ? ProbeComPort(n) : PortProbeResult::Absent;
        };
        env.blobs = testing::RecordBlobs(radioModel, 1, series, upgradeType);
        form = std::make_unique<TCodeUpdaterMainDispForm>(host, env);
        host.Attach(*form);
        timers_ = std::make_unique<TimerDriver>(*form);
        form->m_ComportComboBox.UserSelect(kCom - 1);
    }
    ~SilentRadioRig() {
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

struct ControlsSeen {
    std::string startCaption;
    bool startEnabled = true;
    bool portListEnabled = true;
    bool retrieveEnabled = true;
};

ControlsSeen Look(const TCodeUpdaterMainDispForm& form) {
    return {form.m_StartButton.Caption(), form.m_StartButton.Enabled(), form.m_ComportComboBox.Enabled(),
            form.m_RetrieveVersionInfoButton.Enabled()};
}

// After Stop the run is still unwinding inside its handler: the button reads "Start" but neither
// it nor Retrieve may begin anything until the handler has returned, whether clicked or called.
TEST(UpdateSequenceTest, StartAndRetrieveStartNothingWhileAStoppedRunUnwinds) {
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
        ASSERT_TRUE(rig.form->m_StartButton.Click());  // "Stop"
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
TEST(UpdateSequenceTest, StartDuringRetrieveStartsNothing) {
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
    EXPECT_TRUE(rig.host.dialogsShown.empty());  // no password was asked: no run began
    EXPECT_TRUE(rig.host.Changes("m_StartButton", "Caption").empty());

    const ControlsSeen idle = Look(*rig.form);
    EXPECT_TRUE(idle.startEnabled);
    EXPECT_TRUE(idle.portListEnabled);
    EXPECT_TRUE(idle.retrieveEnabled);
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
}

}  // namespace
}  // namespace aurex

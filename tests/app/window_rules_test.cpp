#include <gtest/gtest.h>

#include "app/code_updater_main_form.h"
#include "app/window_rules.h"
#include "support/recording_host.h"

namespace aurex {
namespace {

using testing::FakeEnvironment;
using testing::RecordingHost;

TEST(PortListTest, ItemsAreDrawnGreyUnlessAvailableAndTheListEnabled)
{
    const PortItemLook normal{ItemText::Normal, ItemBackground::Normal};
    const PortItemLook highlighted{ItemText::Highlighted, ItemBackground::Highlight};
    const PortItemLook grey{ItemText::Grey, ItemBackground::Normal};
    const PortItemLook greyOnWhite{ItemText::Grey, ItemBackground::White};
    EXPECT_EQ(PortItemLookFor(kPortAvailable, true, false), normal);
    EXPECT_EQ(PortItemLookFor(kPortAvailable, true, true), highlighted);
    EXPECT_EQ(PortItemLookFor(kPortAbsent, true, false), grey);
    EXPECT_EQ(PortItemLookFor(kPortAbsent, true, true), greyOnWhite);
    EXPECT_EQ(PortItemLookFor(kPortAvailable, false, false), grey);
    EXPECT_EQ(PortItemLookFor(kPortAvailable, false, true), greyOnWhite);
    EXPECT_EQ(PortItemLookFor(kPortInUseHere, true, false), grey);

    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment({3, 17}));
    EXPECT_EQ(form.m_ComportComboBoxDrawItem(2, false), normal);
    EXPECT_EQ(form.m_ComportComboBoxDrawItem(16, true), highlighted);
    EXPECT_EQ(form.m_ComportComboBoxDrawItem(0, true), greyOnWhite);
    EXPECT_EQ(form.m_ComportComboBoxDrawItem(63, false), grey);
    form.BeginUpdateRun(); // a disabled list greys every item
    EXPECT_EQ(form.m_ComportComboBoxDrawItem(2, false), grey);
}

TEST(PortListTest, PickingAnUnavailablePortMovesToTheFirstAvailableOne)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment({5, 20}));
    EXPECT_EQ(form.m_PortAvailability[4], kPortAvailable);
    EXPECT_EQ(form.m_PortTable[5], kPortAvailable);
    EXPECT_EQ(form.m_PortTable[1], kPortAbsent);

    form.m_ComportComboBox.UserSelect(19);
    EXPECT_EQ(form.m_ComportComboBox.Selection(), 19);
    form.m_ComportComboBox.UserSelect(30);
    EXPECT_EQ(form.m_ComportComboBox.Selection(), 4);
    EXPECT_EQ(PortSelectionAfterChange({}, 7), 7); // none available: the pick stays
}

TEST(PortListTest, WithNoPortAvailableAnyPickStaysAndOpeningIsRefused)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm form(host, FakeEnvironment({}));
    form.m_ComportComboBox.UserSelect(9);
    EXPECT_EQ(form.m_ComportComboBox.Selection(), 9);
    EXPECT_FALSE(form.OpenRadioLink(false));
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, "Selected COM port is in use or not available.");
    EXPECT_EQ(host.messages[0].caption, "COM Port");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Error);
}

TEST(PortListTest, APortWithoutPermissionSaysWhichDeviceAndWhichGroup)
{
    RecordingHost host;
    MainFormEnvironment env = FakeEnvironment();
    env.probePort = [](int n) {
        return n == 2 ? PortOpenResult::PermissionDenied : PortOpenResult::NotPresent;
    };
    TCodeUpdaterMainDispForm form(host, env);
    EXPECT_EQ(form.m_PortAvailability[1], kPortAbsent); // drawn grey like any unusable port
    form.m_ComportComboBox.SetSelection(1);
    EXPECT_FALSE(form.OpenRadioLink(true));
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].caption, "COM Port");
    EXPECT_NE(host.messages[0].text.find("/dev/ttyS1"), std::string::npos) << host.messages[0].text;
    EXPECT_NE(host.messages[0].text.find("dialout"), std::string::npos);
}

// Start says why before the password is asked, and the line under the bar does not send the
// user to another port; the tooltip gives the reason beforehand.
TEST(PortListTest, APortWithoutPermissionIsExplainedInItsTooltipAndBeforeThePassword)
{
    RecordingHost host;
    MainFormEnvironment env = FakeEnvironment();
    env.probePort = [](int n) { return n == 2 ? PortOpenResult::PermissionDenied : PortOpenResult::Opened; };
    TCodeUpdaterMainDispForm form(host, env);
    EXPECT_NE(form.m_ComportComboBoxHint(1).find("\nPermission denied"), std::string::npos);
    EXPECT_EQ(form.m_ComportComboBoxHint(0).find("Permission denied"), std::string::npos);
    form.m_ComportComboBox.SetSelection(1);
    form.m_StartButton.Click();
    EXPECT_TRUE(host.dialogsShown.empty()) << "the password was asked first";
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_NE(host.messages[0].text.find("dialout"), std::string::npos);
    EXPECT_EQ(form.m_LastRunResult, RunResult::PortNotOpened);
    EXPECT_EQ(form.m_StatusLabel.Caption(), "COM 2 could not be opened: permission denied.");
    EXPECT_EQ(form.m_DisconnectLabel.Caption().find("another port"), std::string::npos);
}

TEST(PortListTest, MultiProcessorHostFromTheProcessorCount)
{
    RecordingHost host;
    TCodeUpdaterMainDispForm one(host, FakeEnvironment({1}, "x", 1));
    TCodeUpdaterMainDispForm two(host, FakeEnvironment({1}, "x", 2));
    EXPECT_FALSE(one.IsMultiProcessorHost());
    EXPECT_TRUE(two.IsMultiProcessorHost());
}

} // namespace
} // namespace aurex

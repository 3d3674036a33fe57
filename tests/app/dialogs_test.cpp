#include <gtest/gtest.h>

#include "app/about_dlg.h"
#include "app/code_down_pass_dlg.h"
#include "support/recording_host.h"

namespace aurex {
namespace {

using testing::DialogExit;
using testing::FakeEnvironment;
using testing::RecordingHost;

TEST(PasswordDialogTest, TypedTextIsTrimmedOfBlanksAndControlCharacters)
{
    TCodeDownPassDispDlg dialog;
    EXPECT_EQ(dialog.Caption(), "Radio Code Update - Enter Password");
    EXPECT_EQ(dialog.m_PasswordEdit.Style().passwordChar, '*');
    EXPECT_EQ(ReadTrimmedPassword(dialog), "");
    dialog.m_PasswordEdit.UserEdit("  bron tel \t\r\n");
    EXPECT_EQ(ReadTrimmedPassword(dialog), "bron tel");
    dialog.m_PasswordEdit.UserEdit("\x01"
                                   "brontel"
                                   "\x7f");
    EXPECT_EQ(ReadTrimmedPassword(dialog), "brontel");
    dialog.m_PasswordEdit.UserEdit(" \t ");
    EXPECT_EQ(ReadTrimmedPassword(dialog), "");
}

TEST(PasswordDialogTest, OkPressedFollowsTheButtonThatClosedIt)
{
    struct Case
    {
        DialogExit exit;
        bool ok;
    };
    for (const Case c : {Case{DialogExit::OkButton, true}, Case{DialogExit::EnterKey, true},
                         Case{DialogExit::CancelButton, false}, Case{DialogExit::EscKey, false},
                         Case{DialogExit::CloseBox, false}}) {
        RecordingHost host;
        TCodeUpdaterMainDispForm owner(host, FakeEnvironment());
        TCodeDownPassDispDlg dialog;
        EXPECT_FALSE(dialog.m_OkPressed);
        host.passwords = {{"secret", c.exit}};
        host.ShowModal(owner, dialog);
        EXPECT_EQ(dialog.m_OkPressed, c.ok) << static_cast<int>(c.exit);
        EXPECT_EQ(dialog.Result(), c.ok ? ModalResult::Ok : ModalResult::Cancel);
        EXPECT_EQ(dialog.FocusedControl(), &dialog.m_PasswordEdit); // activation focuses the edit
        EXPECT_EQ(ReadTrimmedPassword(dialog), "secret");
    }
}

TEST(PasswordDialogTest, CloseBoxLeavesOkPressedAsItWas)
{
    TCodeDownPassDispDlg dialog;
    dialog.BitBtn1Click();
    dialog.SetModalResult(ModalResult::Cancel);
    EXPECT_TRUE(dialog.m_OkPressed);
}

TEST(AboutDialogTest, NameLineDependsOnTheMode)
{
    TAboutDialog updater(false);
    TAboutDialog maker(true);
    EXPECT_EQ(updater.NameLabel.Caption(), "Aurex Code Updater");
    EXPECT_EQ(maker.NameLabel.Caption(), "Aurex Code Update Maker");
    EXPECT_EQ(updater.VersionLabel.Caption(), "Version 1.2.5");
    EXPECT_EQ(updater.Width(), 302);
    updater.OKButton.Click();
    EXPECT_EQ(updater.Result(), ModalResult::Ok);
}

TEST(StartButtonTest, PasswordGateRunsOnlyForTheExpectedPassword)
{
    RecordingHost host;
    MainFormEnvironment env = FakeEnvironment({});
    env.blobs = testing::RecordBlobs(1, 1, 5, 3);
    TCodeUpdaterMainDispForm form(host, env);

    // Wrong letter case: refused without a box; the status line says so.
    host.passwords = {{"Brontel", DialogExit::OkButton}};
    form.m_StartButton.Click();
    EXPECT_FALSE(form.m_PasswordAccepted);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(form.m_StatusLabel.Caption(), "The password was not accepted.");

    // Boot on an Application_Boot set wants the other password.
    form.m_BootRadioButton.Click();
    host.passwords = {{" brontel ", DialogExit::OkButton}};
    form.m_StartButton.Click();
    EXPECT_FALSE(form.m_PasswordAccepted);

    // The right one, even closed with Cancel, starts the run (no port: the port message).
    host.passwords = {{" marvoski ", DialogExit::CancelButton}};
    form.m_StartButton.Click();
    EXPECT_TRUE(form.m_PasswordAccepted);
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, "Selected COM port is in use or not available.");
    EXPECT_EQ(host.messages[0].caption, "COM Port");
    EXPECT_EQ(form.m_StatusLabel.Caption(), "The selected COM port is in use or not available.");
    EXPECT_FALSE(form.m_UpdateInProgress);

    // Accepted once: no dialog for later runs, whichever choice.
    const auto shown = host.dialogsShown.size();
    form.m_ApplicationRadioButton.Click();
    form.m_StartButton.Click();
    EXPECT_EQ(host.dialogsShown.size(), shown);
    EXPECT_EQ(host.messages.size(), 2U);
}

} // namespace
} // namespace aurex

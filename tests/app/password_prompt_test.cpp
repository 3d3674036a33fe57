// The password dialog as the codeplug transfer asks it.
#include "app/password_prompt.h"

#include <gtest/gtest.h>

#include "link/qt_app.h"
#include "support/recording_host.h"

namespace aurex {
namespace {

TEST(PasswordPromptTest, GivesTheTrimmedTextOnlyWhenOkWasPressed)
{
    test::EnsureCoreApplication();
    testing::RecordingHost host;
    TCodeUpdaterMainDispForm form(host, testing::FakeEnvironment({}, "Unit_Release_1_0", 1));
    host.passwords = {{"  12 34 ", testing::DialogExit::OkButton},
                      {"5678", testing::DialogExit::EnterKey},
                      {"5678", testing::DialogExit::CancelButton},
                      {"5678", testing::DialogExit::CloseBox}};
    std::string text = "unchanged";
    EXPECT_TRUE(PasswordPrompt(form, text));
    EXPECT_EQ(text, "12 34");
    EXPECT_TRUE(PasswordPrompt(form, text));
    EXPECT_EQ(text, "5678");
    text = "unchanged";
    EXPECT_FALSE(PasswordPrompt(form, text));
    EXPECT_FALSE(PasswordPrompt(form, text));
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(host.dialogsShown.size(), 4U);
}

} // namespace
} // namespace aurex

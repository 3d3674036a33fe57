// The backup file kept before a codeplug is written back, and the password prompt.
#include "transfer/codeplug_backup.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include "link/qt_app.h"
#include "support/recording_host.h"
#include "transfer/password_prompt.h"
#include "data_home.h"
#include "transfer_peer.h"

namespace aurex {
namespace {

using test::Bytes;
using test::ScopedDataHome;

const char* const kSerialText = "00001A2B3C4D5E6F";

TEST(CodeplugBackupTest, KeepsEveryBackupWholeUnderItsOwnName) {
    test::EnsureCoreApplication();
    ScopedDataHome home;
    const std::string folder = CodeplugBackupFolder();
    EXPECT_EQ(folder.rfind(home.Path().toStdString(), 0), 0U) << folder;

    const Bytes first = test::PatternBytes(640, 1);
    const Bytes second = test::PatternBytes(256, 2);
    const CodeplugBackupResult a = SaveCodeplugBackup(kSerialText, first);
    const CodeplugBackupResult b = SaveCodeplugBackup(kSerialText, second);
    ASSERT_TRUE(a.saved) << a.error;
    ASSERT_TRUE(b.saved) << b.error;
    EXPECT_NE(a.path, b.path);
    const QStringList names = ScopedDataHome::Backups();
    ASSERT_EQ(names.size(), 2);  // no temporary file left behind
    EXPECT_EQ(ScopedDataHome::Read(QFileInfo(QString::fromStdString(a.path)).fileName()), first);
    EXPECT_EQ(ScopedDataHome::Read(QFileInfo(QString::fromStdString(b.path)).fileName()), second);

    // Whatever the identity text holds, the name stays inside the folder.
    const CodeplugBackupResult odd = SaveCodeplugBackup("../x/..", first);
    ASSERT_TRUE(odd.saved) << odd.error;
    EXPECT_EQ(QFileInfo(QString::fromStdString(odd.path)).absolutePath().toStdString(), folder);

    QFile blocker(home.Path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ScopedDataHome unusable(blocker.fileName());
    const CodeplugBackupResult failed = SaveCodeplugBackup(kSerialText, first);
    EXPECT_FALSE(failed.saved);
    EXPECT_FALSE(failed.error.empty());
}

TEST(PasswordPromptTest, GivesTheTrimmedTextOnlyWhenOkWasPressed) {
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

}  // namespace
}  // namespace aurex

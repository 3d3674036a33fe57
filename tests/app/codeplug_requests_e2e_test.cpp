// File -> Back up codeplug and Restore codeplug against the simulated radio: what goes on the
// line, what lands on the disk, and what is refused before anything is sent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QProcess>
#include <QTimer>

#include "app/codeplug_requests.h"
#include "codeplug_rig.h"
#include "transfer/backup_catalog.h"

namespace aurex {
namespace {

using namespace codeplug_test;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr const char* kOtherSerial = "11 22 33 44 55 66 77 88";

unsigned ModeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777U) : 0U;
}

// Presses Stop once, as a user would, when the status line shows `status`.
class StopButtonWhenShown : public ControlListener
{
  public:
    StopButtonWhenShown(TCodeUpdaterMainDispForm& form, std::string status)
        : form_(form), status_(std::move(status))
    {
        form_.AddListener(this);
    }
    ~StopButtonWhenShown() override { form_.RemoveListener(this); }
    StopButtonWhenShown(const StopButtonWhenShown&) = delete;
    StopButtonWhenShown& operator=(const StopButtonWhenShown&) = delete;

    void ControlChanged(const FormModel&, const Control* control, ControlProperty what) override
    {
        if (!pressed && control == &form_.m_StatusLabel && what == ControlProperty::Caption &&
            control->Caption() == status_) {
            pressed = true;
            QTimer::singleShot(0, [this] { form_.m_StartButton.Click(); });
        }
    }
    bool pressed = false;

  private:
    TCodeUpdaterMainDispForm& form_;
    std::string status_;
};

class CodeplugRequestsTest : public CodeplugE2eTest
{
  protected:
    // A backup on request of a radio holding `codeplug`; its path.
    std::string BackUp(const Bytes& codeplug, std::vector<std::string> settings = {})
    {
        StartRadio(codeplug, std::move(settings));
        EXPECT_EQ(window->form->BackUpCodeplug(), CodeplugRequestResult::BackedUp) << sim->Log();
        const QStringList backups = ScopedDataHome::Backups();
        return backups.isEmpty() ? std::string()
                                 : CodeplugBackupFolder() + "/" + backups.back().toStdString();
    }

    bool RadioAsked(const std::string& what) const { return sim->Log().find(what) != std::string::npos; }

    static Bytes Codeplug59() { return WholeBlockCodeplug(4); }
};

TEST_F(CodeplugRequestsTest, BackupOnRequestIsTheRadiosCodeplugAndPrivate)
{
    const Bytes v58 = WholeBlockCodeplug();
    const std::string path = BackUp(v58);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(ReadFile(QString::fromStdString(path)), v58);
    EXPECT_EQ(ModeOf(path), 0600U);
    EXPECT_EQ(ModeOf(CodeplugBackupFolder()), 0700U);
    EXPECT_EQ(window->host.statusTexts.back(), "Codeplug backed up to " + path + ".");
    EXPECT_FALSE(RadioAsked("codeplug download requested")) << sim->Log();

    const BackupForRestore read = ReadBackupForRestore(path);
    EXPECT_EQ(read.error, "");
    ASSERT_TRUE(read.record);
    EXPECT_EQ(read.record->reason, BackupReason::OnRequest);
    EXPECT_EQ(read.record->radioIdentity, "00001A2B3C4D5E6F");
    EXPECT_EQ(read.format, "5.8");

    // A radio in boot-load mode does not tell its identity: it must be started normally.
    StartRadio(v58, {"--mode", "boot-load"});
    EXPECT_EQ(window->form->BackUpCodeplug(), CodeplugRequestResult::NoRadio);
    EXPECT_THAT(window->host.statusTexts.back(), HasSubstr("must be started normally"));
    EXPECT_THAT(ScopedDataHome::Backups(), SizeIs(1));
}

TEST_F(CodeplugRequestsTest, RestoreConvertsBacksUpThePresentCodeplugFirstAndVerifies)
{
    const Bytes v58 = WholeBlockCodeplug();
    const std::string backup = BackUp(v58);
    ASSERT_FALSE(backup.empty());

    // The same radio, now holding a 5.9 codeplug under firmware that expects 5.10.
    const Bytes v59 = Codeplug59();
    StartRadio(v59, {"--format", "5.10"});
    window->host.answers = {MessageAnswer::No}; // to the question naming radio and backup
    ASSERT_EQ(window->form->RestoreCodeplug(backup), CodeplugRequestResult::Refused);
    EXPECT_THAT(window->host.messages.at(0).text,
                HasSubstr("radio 00001A2B3C4D5E6F?\n\nBackup: " + backup +
                          "\nSaved: " + BackupLocalTime(ReadBackupForRestore(backup).time) +
                          "\nCodeplug format: 5.8\nReason: saved on request\n"));
    EXPECT_FALSE(RadioAsked("codeplug upload requested")) << sim->Log();
    EXPECT_THAT(ScopedDataHome::Backups(), SizeIs(1));

    StartRadio(v59, {"--format", "5.10"});
    window->host.backupChoices = {backup};
    window->form->m_FileRestoreMenuItem.Click();
    EXPECT_THAT(window->host.backupFolders, ::testing::ElementsAre(CodeplugBackupFolder()));
    EXPECT_EQ(window->host.statusTexts.back(), "Codeplug restored and verified.") << sim->Log();

    // What the radio held is on the disk, beside the chosen backup.
    const QStringList backups = ScopedDataHome::Backups();
    ASSERT_THAT(backups, SizeIs(2));
    const std::string before =
        CodeplugBackupFolder() + "/" +
        (backups[0].toStdString() == backup.substr(backup.rfind('/') + 1) ? backups[1].toStdString()
                                                                          : backups[0].toStdString());
    EXPECT_EQ(ReadFile(QString::fromStdString(before)), v59);
    const BackupForRestore beforeRead = ReadBackupForRestore(before);
    ASSERT_TRUE(beforeRead.record);
    EXPECT_EQ(beforeRead.record->reason, BackupReason::BeforeRestore);

    // The radio took the backup converted to 5.10, trailer included, as the codeplug tool makes it.
    const QString converted = QString::fromStdString(Path("converted.bin"));
    ASSERT_EQ(QProcess::execute(QStringLiteral(AUREX_CODEPLUG_TOOL),
                                {QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("5.10"),
                                 QString::fromStdString(backup), converted}),
              0);
    const Bytes expected = ReadFile(converted);
    const Bytes downloaded = Downloaded();
    ASSERT_FALSE(expected.empty());
    ASSERT_GE(downloaded.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), downloaded.begin()));
}

TEST_F(CodeplugRequestsTest, AnotherRadiosBackupIsAskedForInTheWindowAndRefusedInAScript)
{
    const std::string backup = BackUp(WholeBlockCodeplug());
    ASSERT_FALSE(backup.empty());
    // Each restore leaves its log, with the box and its answer, and its history row.
    const std::string data = files.path().toStdString() + "/data";
    struct Case
    {
        const char* what;
        OtherRadioPolicy policy;
        std::deque<MessageAnswer> answers;
        CodeplugRequestResult result;
    };
    const Case cases[] = {
        {"the user says No", OtherRadioPolicy::Ask, {MessageAnswer::No}, CodeplugRequestResult::OtherRadio},
        {"a script without --other-radio", OtherRadioPolicy::Refuse, {}, CodeplugRequestResult::OtherRadio},
        {"the user says Yes", OtherRadioPolicy::Ask, {MessageAnswer::Yes}, CodeplugRequestResult::Restored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartRadio(Codeplug59(), {"--format", "5.10", "--serial", kOtherSerial});
        window->form->m_RunRecorder.settings.dataFolder = data;
        window->form->m_HelpTraceMenuItem.Click(); // each run's whole trace beside its log
        window->form->m_OtherRadioPolicy = c.policy;
        window->host.answers = c.answers;
        EXPECT_EQ(window->form->RestoreCodeplug(backup), c.result) << window->host.statusTexts.back() << "\n"
                                                                   << sim->Log();
        const bool asked =
            !window->host.messages.empty() && window->host.messages.back().buttons == MessageButtons::YesNo;
        EXPECT_EQ(asked, c.policy == OtherRadioPolicy::Ask);
        if (asked) {
            EXPECT_THAT(window->host.messages.back().text, HasSubstr("00001A2B3C4D5E6F"));
            EXPECT_THAT(window->host.messages.back().text, HasSubstr("1122334455667788"));
        }
        EXPECT_EQ(RadioAsked("codeplug download requested"), c.result == CodeplugRequestResult::Restored)
            << sim->Log();
        const Bytes logBytes = ReadFile(QString::fromStdString(window->form->m_RunRecorder.LogPath()));
        const std::string log(logBytes.begin(), logBytes.end());
        EXPECT_THAT(log, HasSubstr("Backup to restore: " + backup + "\n"));
        if (asked) {
            EXPECT_THAT(log, HasSubstr("1122334455667788"));
            EXPECT_THAT(log, HasSubstr(c.answers.front() == MessageAnswer::Yes ? "Answered: Yes\n"
                                                                               : "Answered: No\n"));
        }
        const std::string logPath = window->form->m_RunRecorder.LogPath();
        const Bytes trace =
            ReadFile(QString::fromStdString(logPath.substr(0, logPath.size() - 4) + ".trace"));
        EXPECT_THAT(std::string(trace.begin(), trace.end()), HasSubstr("> 04 04 Identity\n"));
        EXPECT_THAT(log, HasSubstr(c.result == CodeplugRequestResult::Restored ? "Result: succeeded (0): "
                                                                               : "Result: failed (1): "));
    }
    window->form->m_HelpHistoryMenuItem.Click();
    EXPECT_THAT(window->host.historyRowsShown, ::testing::ElementsAre(3U));
    // The support bundle, saved where the user chose, holds the three logs.
    const std::string bundle = files.path().toStdString() + "/support.tar.gz";
    window->host.saveChoices = {bundle};
    window->form->m_HelpBundleMenuItem.Click();
    EXPECT_EQ(window->host.messages.back().text, "Support bundle saved to " + bundle + ".");
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-tzf"), QString::fromStdString(bundle)});
    ASSERT_TRUE(tar.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(tar.readAllStandardOutput()).count(QStringLiteral("-restore.log\n")), 3);
    const std::vector<HistoryRow> rows = window->form->m_RunRecorder.History()->Rows();
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[2].radioIdentity, "1122334455667788");
    EXPECT_EQ(rows[2].verification, "verified");
    EXPECT_THAT(rows[2].versionsBefore, HasSubstr("codeplug format 5.9"));
    EXPECT_EQ(rows[2].backupSha256.size(), 64U);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].kind, "restore");
        EXPECT_EQ(rows[i].resultCode, i == 2 ? 0 : 1);
        EXPECT_FALSE(rows[i].finishedUtc.empty());
    }
}

// A 5.10 backup into a radio that expects 5.8 drops records: asked first, refused by a script
// before the radio's codeplug is read; the log and the record say what the conversion changed.
TEST_F(CodeplugRequestsTest, ARestoreThatDropsRecordsIsAskedFirstAndLogged)
{
    const std::string backup = BackUp(WholeBlockCodeplug(5));
    const std::pair<OtherRadioPolicy, MessageAnswer> cases[] = {
        {OtherRadioPolicy::Ask, MessageAnswer::No},
        {OtherRadioPolicy::Refuse, MessageAnswer::Yes},
        {OtherRadioPolicy::Ask, MessageAnswer::Yes}};
    for (const auto& [policy, answer] : cases) {
        StartRadio(WholeBlockCodeplug(), {"--format", "5.8"});
        window->form->m_RunRecorder.settings.dataFolder = files.path().toStdString() + "/data";
        window->form->m_ConversionLossPolicy = policy;
        window->host.answers = {answer};
        const bool yes = policy == OtherRadioPolicy::Ask && answer == MessageAnswer::Yes;
        EXPECT_EQ(window->form->RestoreCodeplug(backup),
                  yes ? CodeplugRequestResult::Restored : CodeplugRequestResult::LosesData);
        EXPECT_EQ(RadioAsked("codeplug upload requested"), yes) << sim->Log();
        // The loss question, then (when it is allowed) the restore's own.
        EXPECT_EQ(window->host.messages.size(), policy == OtherRadioPolicy::Ask ? (yes ? 2U : 1U) : 0U);
        const Bytes log = ReadFile(QString::fromStdString(window->form->m_RunRecorder.LogPath()));
        EXPECT_THAT(std::string(log.begin(), log.end()), HasSubstr("records dropped"));
    }
    for (const QString& name : ScopedDataHome::Backups()) { // the chosen one, then what the radio held
        const BackupForRestore r = ReadBackupForRestore(CodeplugBackupFolder() + "/" + name.toStdString());
        EXPECT_EQ(r.record && !r.record->conversionReport.empty(), !backup.ends_with(name.toStdString()));
    }
}

TEST_F(CodeplugRequestsTest, ADamagedOrChangedBackupIsRefusedBeforeAnythingIsSent)
{
    const std::string backup = BackUp(WholeBlockCodeplug());
    ASSERT_FALSE(backup.empty());
    Bytes changed = ReadFile(QString::fromStdString(backup));
    changed[100] ^= 0x01;
    const std::string tampered = Path("tampered.bin");
    ASSERT_TRUE(WriteFile(QString::fromStdString(tampered), changed));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(BackupRecordPath(backup)),
                            QString::fromStdString(BackupRecordPath(tampered))));
    const std::string notACodeplug = Path("not-a-codeplug.bin");
    ASSERT_TRUE(WriteFile(QString::fromStdString(notACodeplug), Bytes(512, 0x41)));

    for (const std::string& file : {tampered, notACodeplug, Path("missing.bin")}) {
        SCOPED_TRACE(file);
        StartRadio(WholeBlockCodeplug(), {"--format", "5.10", "--verbose"});
        const std::size_t before = window->host.statusTexts.size();
        EXPECT_EQ(window->form->RestoreCodeplug(file), CodeplugRequestResult::Refused);
        ASSERT_FALSE(window->host.messages.empty());
        EXPECT_THAT(window->host.messages.back().text, HasSubstr("Nothing has been sent to the radio."));
        EXPECT_EQ(window->host.statusTexts.size(), before);
        EXPECT_FALSE(RadioAsked("04 04")) << sim->Log();
    }
}

// Cut lines, a Stop and a radio that keeps other bytes, at the restore's stages: the radio holds
// its old codeplug or the restored one, success is never claimed for a write that did not end,
// and once the radio's codeplug was read out its backup is on the disk.
TEST_F(CodeplugRequestsTest, ARestoreCutOrStoppedNeverClaimsWhatDidNotHappen)
{
    const std::string backup = BackUp(WholeBlockCodeplug());
    ASSERT_FALSE(backup.empty());
    struct Case
    {
        const char* what;
        std::vector<std::string> settings;
        const char* stopAt; // status at which Stop is pressed, or null
        CodeplugRequestResult result;
        bool presentBackedUp;
    };
    const Case cases[] = {
        {"silent when asked for its codeplug",
         {"--silent-at", "03 07#1"},
         nullptr,
         CodeplugRequestResult::NoRadio,
         false},
        {"Stop during the upload", {}, "Uploading codeplug...", CodeplugRequestResult::Refused, false},
        {"silent in the middle of the write",
         {"--silent-at", "03 02#5"},
         nullptr,
         CodeplugRequestResult::Failed,
         true},
        {"Stop during the write: it is finished",
         {},
         "Downloading codeplug...",
         CodeplugRequestResult::ReadBackStopped,
         true},
        {"silent at the read-back",
         {"--silent-at", "03 07#2"},
         nullptr,
         CodeplugRequestResult::NotVerified,
         true},
        {"keeps other bytes", {"--keeps-other", "300"}, nullptr, CodeplugRequestResult::Differs, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> settings = {"--format", "5.10"};
        settings.insert(settings.end(), c.settings.begin(), c.settings.end());
        const Bytes held = Codeplug59();
        StartRadio(held, settings);
        const int backupsBefore = static_cast<int>(ScopedDataHome::Backups().size());
        std::optional<StopButtonWhenShown> stop;
        if (c.stopAt != nullptr) {
            stop.emplace(*window->form, c.stopAt);
        }
        EXPECT_EQ(window->form->RestoreCodeplug(backup), c.result) << sim->Log();
        const QStringList backups = ScopedDataHome::Backups();
        EXPECT_EQ(static_cast<int>(backups.size()), backupsBefore + (c.presentBackedUp ? 1 : 0));
        if (c.presentBackedUp) {
            // One backup is what the radio held.
            const bool kept = std::any_of(backups.begin(), backups.end(), [&held](const QString& name) {
                return ReadFile(QDir(QString::fromStdString(CodeplugBackupFolder())).filePath(name)) == held;
            });
            EXPECT_TRUE(kept);
        }
        const std::string& last = window->host.statusTexts.back();
        if (c.result == CodeplugRequestResult::Differs) {
            EXPECT_THAT(last, HasSubstr("differs from the one written"));
            EXPECT_THAT(last, HasSubstr(CodeplugBackupFolder()));
        }
        EXPECT_NE(last, "Codeplug restored and verified.");
        EXPECT_EQ(window->form->m_LastRunResult == RunResult::Stopped, c.stopAt != nullptr);
        EXPECT_FALSE(window->form->m_UpdateInProgress);
    }
}

} // namespace
} // namespace aurex

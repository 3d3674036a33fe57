// Codeplug transfers, the password step and the whole preservation step of the main window
// against the real simulated radio, and the backup checked with the real aurex-codeplug.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <functional>
#include <optional>

#include "app/codeplug_step.h"
#include "app/password_prompt.h"
#include "codeplug-builder/codeplug_builder.h"
#include "codeplug_rig.h"
#include "convert/codeplug_image.h"
#include "convert/format_tables.h"
#include "link/clock.h"
#include "link/radio_link.h"
#include "support/radio_sim_process.h"
#include "transfer/data_home.h"
#include "transfer/radio_transfer_link.h"
#include "transfer/transfer_peer.h"
#include "transfer/vnx_transfer.h"
#include "window_rig.h"

namespace aurex {
namespace {

using namespace codeplug_test;
using testing::DialogExit;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Presses Stop once, as soon as the status line shows `status`: the press is handled inside the
// wait that status starts, however slowly the machine runs. By default the press is the link's
// state going inactive; `press` stands for another way (the button, a signal, closing).
class StopWhenShown : public ControlListener
{
  public:
    StopWhenShown(WindowRig& rig, std::string status, std::function<void()> press = {})
        : rig_(rig), status_(std::move(status)), press_(std::move(press))
    {
        if (!press_) {
            press_ = [this] { SetLinkActive(rig_.form->RadioLink, false); };
        }
        rig_.form->AddListener(this);
    }
    ~StopWhenShown() override { rig_.form->RemoveListener(this); }
    StopWhenShown(const StopWhenShown&) = delete;
    StopWhenShown& operator=(const StopWhenShown&) = delete;

    void ControlChanged(const FormModel&, const Control* control, ControlProperty what) override
    {
        if (!pressed && control == &rig_.form->m_StatusLabel && what == ControlProperty::Caption &&
            control->Caption() == status_) {
            pressed = true;
            QTimer::singleShot(0, [this] { press_(); });
        }
    }

    bool pressed = false;

  private:
    WindowRig& rig_;
    std::string status_;
    std::function<void()> press_;
};

Bytes ChainImage(std::size_t bytes, std::uint16_t firstBlockWords, std::uint16_t imageWords)
{
    Bytes image = test::PatternBytes(bytes, 3);
    image[0] = image[1] = 0x5F;
    image[2] = static_cast<std::uint8_t>(firstBlockWords >> 8);
    image[3] = static_cast<std::uint8_t>(firstBlockWords);
    image[8] = static_cast<std::uint8_t>(imageWords >> 8);
    image[9] = static_cast<std::uint8_t>(imageWords);
    return image;
}

TEST_F(CodeplugE2eTest, UploadEndsWithTheChainAndBringsTheTrailerWhole)
{
    std::vector<std::uint8_t> buffer;
    // A 64-word first block and a second block without a mark: two blocks.
    const Bytes twoBlocks = ChainImage(1024, 64, 128);
    StartRadio(twoBlocks, {});
    auto transfer = Transfer(buffer);
    EXPECT_EQ(transfer->Upload(), TransferResult::Done) << sim->Log();
    EXPECT_EQ(transfer->GetLength(), 256);
    EXPECT_TRUE(RadioLogged("codeplug upload ended after 2 blocks")) << sim->Log();

    // A first block without a block mark: one block.
    Bytes noMark = twoBlocks;
    noMark[0] = 0x00;
    StartRadio(noMark, {});
    transfer = Transfer(buffer);
    EXPECT_EQ(transfer->Upload(), TransferResult::Done) << sim->Log();
    EXPECT_EQ(transfer->GetLength(), 128);
    EXPECT_TRUE(RadioLogged("codeplug upload ended after 1 blocks")) << sim->Log();

    // A real codeplug: everything up to the end of its trailer, exactly as the radio holds it.
    const Bytes codeplug = WholeBlockCodeplug();
    StartRadio(codeplug, {});
    transfer = Transfer(buffer);
    EXPECT_EQ(transfer->Upload(), TransferResult::Done) << sim->Log();
    ASSERT_EQ(transfer->GetLength(), static_cast<std::int32_t>(codeplug.size()));
    EXPECT_TRUE(std::equal(codeplug.begin(), codeplug.end(), buffer.begin()));
}

TEST_F(CodeplugE2eTest, DownloadSendsWholePairsAndAnswersTheRadiosChecksums)
{
    std::vector<std::uint8_t> buffer;
    const Bytes image = test::PatternBytes(384, 7);

    // Three blocks: four go out (the last from the fill), then 03 04; every report agrees.
    StartRadio(std::nullopt, {});
    auto transfer = Transfer(buffer);
    std::copy(image.begin(), image.end(), buffer.begin());
    transfer->SetIdentity("00001A2B3C4D5E6F");
    transfer->SetLength(384);
    EXPECT_EQ(transfer->Download(), TransferResult::Done) << sim->Log();
    ASSERT_TRUE(RadioLogged("codeplug download ended: 4 blocks")) << sim->Log();
    EXPECT_EQ(sim->Log().find("checksum different"), std::string::npos) << sim->Log();
    Bytes expected = image;
    expected.resize(512, 0x20);
    EXPECT_EQ(Downloaded(), expected);

    // Length 0: the first request ends it.
    transfer = Transfer(buffer);
    transfer->SetIdentity("00001A2B3C4D5E6F");
    EXPECT_EQ(transfer->Download(), TransferResult::Done) << sim->Log();
    EXPECT_TRUE(RadioLogged("codeplug download ended: 0 blocks")) << sim->Log();

    // Scrambled with an identity that is not the radio's: the radio's sums differ, the program
    // answers 03 06 and the transfer still runs to its end, but it has failed.
    transfer = Transfer(buffer);
    std::copy(image.begin(), image.end(), buffer.begin());
    transfer->SetIdentity("0102030405060708");
    transfer->SetLength(384);
    EXPECT_EQ(transfer->Download(), TransferResult::Failed) << sim->Log();
    EXPECT_TRUE(RadioLogged("the program found the codeplug checksum different")) << sim->Log();
    EXPECT_TRUE(RadioLogged("codeplug download ended: 4 blocks", 2)) << sim->Log();
}

TEST_F(CodeplugE2eTest, PasswordStepThroughTheDialog)
{
    std::vector<std::uint8_t> buffer;
    const Bytes oneBlock = test::PatternBytes(128, 1);
    auto dialogs = [this] { return window->host.dialogsShown.size(); };

    // No password and the 03 0E answer: no dialog.
    StartRadio(oneBlock, {"--accept-reply", "0E"});
    auto transfer = Transfer(buffer);
    EXPECT_EQ(transfer->Upload(), TransferResult::Done) << sim->Log();
    EXPECT_EQ(dialogs(), 0U);

    // Four digits; letters between the digits; more digits than the eight that are sent.
    const struct
    {
        const char* password;
        const char* typed;
    } accepted[] = {{"4711", "4711"}, {"1234", "1a2-3 b4"}, {"12345678", "1234567890"}};
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.typed);
        StartRadio(oneBlock, {"--password", c.password});
        window->host.passwords = {{c.typed, DialogExit::OkButton}};
        transfer = Transfer(buffer);
        EXPECT_EQ(transfer->Upload(), TransferResult::Done) << sim->Log();
        EXPECT_TRUE(RadioLogged("password accepted")) << sim->Log();
        EXPECT_EQ(dialogs(), 1U);
    }

    // Cancel: the transfer ends at the password step.
    StartRadio(oneBlock, {"--password", "4711"});
    window->host.passwords = {{"4711", DialogExit::CancelButton}};
    transfer = Transfer(buffer);
    EXPECT_EQ(transfer->Upload(), TransferResult::Failed);
    EXPECT_TRUE(RadioLogged("the program ended the transfer at the password step")) << sim->Log();
    EXPECT_EQ(dialogs(), 1U);

    // Three wrong passwords and the radio's fourth request: three dialogs, then the end.
    StartRadio(oneBlock, {"--password", "4711"});
    window->host.passwords = {{"1111"}, {"2222"}, {"3333"}, {"4711"}};
    transfer = Transfer(buffer);
    EXPECT_EQ(transfer->Upload(), TransferResult::Failed);
    EXPECT_EQ(dialogs(), 3U);
    EXPECT_TRUE(RadioLogged("the program ended the transfer at the password step")) << sim->Log();
}

TEST_F(CodeplugE2eTest, PreservationStepOutcomes)
{
    const Bytes v58 = WholeBlockCodeplug();
    auto nothingAsked = [this] {
        return sim->Log().find("codeplug download requested") == std::string::npos;
    };

    // Silent after the code download: nothing transferred.
    StartRadio(v58, {"--silent-from", "1"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::NoFormatReply) << sim->Log();
    EXPECT_TRUE(nothingAsked()) << sim->Log();
    EXPECT_THAT(window->host.statusTexts, ElementsAre("Resetting radio..."));
    EXPECT_THAT(window->ProgressIntervals(), ElementsAre("200"));
    EXPECT_EQ(window->form->m_ProgressBar.Position(), 100);

    // A 5.7 codeplug: not converted, nothing written.
    std::vector<std::uint16_t> words = Words(v58);
    words[kParmsVersionWord] = 0x0507;
    StartRadio(LineOrder(words.data(), v58.size() / 2), {"--format", "5.10"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::NotSupported) << sim->Log();
    EXPECT_TRUE(nothingAsked()) << sim->Log();

    // The firmware expects the format the radio holds: nothing written.
    StartRadio(v58, {"--format", "5.8"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::SameFormat) << sim->Log();
    EXPECT_TRUE(nothingAsked()) << sim->Log();

    // A codeplug that fills the buffer cannot grow into 5.10: the conversion is refused and
    // nothing is written.
    CodeplugOptions full;
    full.formatIndex = 3;
    full.imageLength = kParmsBufferWords;
    const BuiltCodeplug fullImage = BuildCodeplug(full);
    StartRadio(LineOrder(fullImage.image(), fullImage.imageLength), {"--format", "5.10"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::NotSupported) << sim->Log();
    EXPECT_TRUE(nothingAsked()) << sim->Log();

    // Not a valid codeplug.
    Bytes broken = v58;
    broken[0] = 0x00;
    StartRadio(broken, {"--format", "5.10"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::UploadFailed) << sim->Log();
    EXPECT_TRUE(nothingAsked()) << sim->Log();

    // The radio stops answering when asked to take the codeplug back.
    StartRadio(v58, {"--format", "5.10", "--silent-at", "03 00"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::DownloadFailed) << sim->Log();

    EXPECT_EQ(sim->Log().find("codeplug download ended"), std::string::npos) << sim->Log();
    EXPECT_THAT(CodeplugDumps(), IsEmpty()); // no radio of this test took a codeplug
    // Backups of the refused conversion and of the last radio only: the others never came near
    // a write-back.
    EXPECT_THAT(ScopedDataHome::Backups(), ::testing::SizeIs(2));
}

TEST_F(CodeplugE2eTest, NothingIsWrittenWithoutTheRadiosIdentityOrABackup)
{
    const Bytes v58 = WholeBlockCodeplug();
    auto downloadAsked = [this] {
        return sim->Log().find("codeplug download requested") != std::string::npos;
    };

    // The radio never tells its identity, even when asked once more.
    StartRadio(v58, {"--format", "5.10", "--unanswered", "04 04"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::DownloadFailed) << sim->Log();
    EXPECT_TRUE(RadioLogged("04 04 (occurrence 2) left unanswered")) << sim->Log();
    EXPECT_FALSE(downloadAsked()) << sim->Log();
    EXPECT_THAT(ScopedDataHome::Backups(), IsEmpty());

    // It answers when asked once more: the codeplug goes back.
    StartRadio(v58, {"--format", "5.10", "--unanswered", "04 04#1"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::Converted) << sim->Log();
    EXPECT_TRUE(RadioLogged("codeplug download ended")) << sim->Log();

    // The backup is written but the disk does not confirm it: nothing goes to the radio, the
    // codeplug read out goes to the cache folder instead, and the box says why, where and what next.
    struct UnsyncedDisk : BackupDisk
    {
        int failures = 1;
        int DataSync(int fd) override { return failures-- > 0 ? EIO : BackupDisk::DataSync(fd); }
    };
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", files.filePath(QStringLiteral("cache")).toLocal8Bit());
    backupDisk = std::make_shared<UnsyncedDisk>();
    StartRadio(v58, {"--format", "5.10"});
    const CodeplugStepOutcome unsaved = PreserveOutcome();
    EXPECT_EQ(unsaved.result, CodeplugStepResult::DownloadFailed) << sim->Log();
    EXPECT_FALSE(downloadAsked()) << sim->Log();
    ASSERT_FALSE(window->host.messages.empty());
    EXPECT_THAT(window->host.messages.back().text, ::testing::HasSubstr("Input/output error"));
    EXPECT_THAT(window->host.messages.back().text,
                ::testing::HasSubstr("saved in " + unsaved.backupPath + ".\nTo finish, restore that file"));
    EXPECT_THAT(unsaved.backupPath, ::testing::StartsWith(Path("cache/Aurex Code Updater/codeplug-")));
    EXPECT_EQ(ReadFile(QString::fromStdString(unsaved.backupPath)), v58);
    EXPECT_THAT(ScopedDataHome::Backups(), ::testing::SizeIs(1)); // the one of the radio before
    oldCache.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", oldCache);
    backupDisk.reset();

    // The backup folder cannot be made (where it would go is a file): nothing is written.
    const QString blocker = files.filePath(QStringLiteral("not-a-folder"));
    ASSERT_TRUE(WriteFile(blocker, {0x00}));
    ScopedDataHome unusable(blocker);
    StartRadio(v58, {"--format", "5.10"});
    EXPECT_EQ(Preserve(), CodeplugStepResult::DownloadFailed) << sim->Log();
    EXPECT_FALSE(downloadAsked()) << sim->Log();
}

TEST_F(CodeplugE2eTest, PreservationStepConvertsWritesBackAndKeepsTheBackup)
{
    const Bytes v58 = WholeBlockCodeplug();
    StartRadio(v58, {"--format", "5.10", "--password", "2468"});
    window->host.passwords = {{"2468"}, {"2468"}};
    // A Stop during the restart wait ends that wait's link state only, not the step.
    StopWhenShown stop(*window, "Resetting radio...");
    const CodeplugStepOutcome outcome = PreserveOutcome();
    EXPECT_EQ(outcome.result, CodeplugStepResult::Converted) << sim->Log();
    EXPECT_EQ(outcome.verification, ReadBackOutcome::Verified) << sim->Log();
    EXPECT_TRUE(stop.pressed);
    EXPECT_THAT(window->host.statusTexts,
                ElementsAre("Resetting radio...", "Uploading codeplug...",
                            "Resetting radio and converting codeplug...", "Downloading codeplug...",
                            "Resetting radio and verifying codeplug...", "Reading codeplug back..."));
    ASSERT_TRUE(RadioLogged("codeplug download ended")) << sim->Log();
    EXPECT_EQ(sim->Log().find("checksum different"), std::string::npos) << sim->Log();

    // The backup is what the radio held, byte for byte.
    const QStringList backups = ScopedDataHome::Backups();
    ASSERT_EQ(backups.size(), 1);
    EXPECT_TRUE(backups[0].startsWith(QStringLiteral("codeplug-00001A2B3C4D5E6F-")))
        << backups[0].toStdString();
    EXPECT_EQ(ScopedDataHome::Read(backups[0]), v58);
    EXPECT_EQ(CodeplugBackupFolder() + "/" + backups[0].toStdString(), outcome.backupPath);

    // The radio now holds a valid 5.10 codeplug, the same that the offline tool makes of the
    // backup; after it only the fill of the last pair of blocks.
    const Bytes downloaded = Downloaded();
    const std::vector<std::uint16_t> words = Words(downloaded);
    EXPECT_TRUE(ParmsIsValid(words.data()));
    EXPECT_EQ(words[kParmsVersionWord], 0x050A);
    const QString backupPath = QDir(QString::fromStdString(CodeplugBackupFolder())).filePath(backups[0]);
    const QString converted = QString::fromStdString(Path("converted.bin"));
    ASSERT_EQ(QProcess::execute(QStringLiteral(AUREX_CODEPLUG_TOOL),
                                {QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("5.10"),
                                 backupPath, converted}),
              0);
    const Bytes expected = ReadFile(converted);
    ASSERT_FALSE(expected.empty());
    ASSERT_GE(downloaded.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), downloaded.begin()));
    EXPECT_TRUE(std::all_of(downloaded.begin() + static_cast<std::ptrdiff_t>(expected.size()),
                            downloaded.end(), [](std::uint8_t b) { return b == 0x20; }));
    EXPECT_EQ(downloaded.size(), (expected.size() + 255) / 256 * 256);
    EXPECT_THAT(window->ProgressIntervals(),
                ElementsAre("200", "150", "200", std::to_string(static_cast<int>(expected.size() * 0.015)),
                            "200", "150"));
    // Upload and download each asked; the read-back took the password typed for the download.
    EXPECT_EQ(window->host.dialogsShown.size(), 2U);
}

// Stop, a signal or a confirmed close at any phase of the step: the new code is in the radio, so
// the step runs to its end and the radio gets its codeplug converted and read back.
TEST_F(CodeplugE2eTest, StopAtAnyPhaseOfTheStepLetsItRunToItsEnd)
{
    using Termination = TCodeUpdaterMainDispForm::Termination;
    enum class How { StopButton, Signal, Close };
    struct Case
    {
        const char* at;
        How how;
    };
    const Bytes v58 = WholeBlockCodeplug();
    for (const Case c :
         {Case{"Resetting radio...", How::StopButton}, Case{"Uploading codeplug...", How::Signal},
          Case{"Resetting radio and converting codeplug...", How::Close},
          Case{"Reading codeplug back...", How::StopButton}}) {
        SCOPED_TRACE(::testing::Message() << c.at << ", way " << static_cast<int>(c.how));
        StartRadio(v58, {"--format", "5.10"});
        TCodeUpdaterMainDispForm& form = *window->form;
        std::vector<Termination> terminations;
        bool closing = false;
        StopWhenShown stop(*window, c.at, [&] {
            switch (c.how) {
            case How::StopButton:
                form.m_StartButton.Click();
                break;
            case How::Signal:
                terminations.push_back(form.RequestTermination());
                terminations.push_back(form.RequestTermination());
                break;
            case How::Close:
                closing = form.FormCloseQuery(); // the rig's host answers Yes
                break;
            }
        });
        const CodeplugStepOutcome outcome = PreserveOutcome();
        EXPECT_TRUE(stop.pressed);
        EXPECT_TRUE(form.m_RunStopped);
        EXPECT_EQ(outcome.result, CodeplugStepResult::Converted) << sim->Log();
        EXPECT_EQ(outcome.verification, ReadBackOutcome::Verified) << sim->Log();
        EXPECT_TRUE(RadioLogged("codeplug download ended")) << sim->Log();
        EXPECT_EQ(Words(Downloaded())[kParmsVersionWord], 0x050A);
        EXPECT_EQ(form.m_StopHold, TCodeUpdaterMainDispForm::StopHold::None);
        if (c.how == How::Signal) {
            EXPECT_THAT(terminations,
                        ElementsAre(Termination::FinishingCodeplugStep, Termination::FinishingCodeplugStep));
        }
        EXPECT_EQ(closing, c.how == How::Close);
    }
}

// The read-back after the write: what a radio that did not take the codeplug, or kept other
// bytes, or went quiet, makes of it. Verification never writes.
TEST_F(CodeplugE2eTest, ReadBackTellsWhatTheRadioHolds)
{
    const Bytes v58 = WholeBlockCodeplug();
    struct Case
    {
        const char* what;
        std::vector<std::string> settings;
        bool verify;
        std::optional<ReadBackOutcome> outcome;
    };
    const Case cases[] = {
        {"the end of the write never reached the radio",
         {"--unanswered", "03 04#2"},
         true,
         ReadBackOutcome::Differs},
        {"one byte kept otherwise", {"--keeps-other", "300"}, true, ReadBackOutcome::Differs},
        {"no answer to the read-back", {"--silent-at", "03 07#2"}, true, ReadBackOutcome::NotAnswered},
        {"verification off", {"--keeps-other", "300"}, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> settings = {"--format", "5.10"};
        settings.insert(settings.end(), c.settings.begin(), c.settings.end());
        StartRadio(v58, settings);
        if (!c.verify) {
            window->form->m_FileVerifyMenuItem.Click();
        }
        EXPECT_EQ(window->form->m_FileVerifyMenuItem.Checked(), c.verify);
        const CodeplugStepOutcome outcome = PreserveOutcome();
        EXPECT_EQ(outcome.result, CodeplugStepResult::Converted) << sim->Log();
        EXPECT_EQ(outcome.verification, c.outcome) << sim->Log();
        const std::string log = sim->Log();
        const std::size_t write = log.find("codeplug download requested");
        ASSERT_NE(write, std::string::npos) << log;
        EXPECT_EQ(log.find("codeplug download requested", write + 1), std::string::npos)
            << "the read-back wrote to the radio\n"
            << log;
        const bool readBack = std::find(window->host.statusTexts.begin(), window->host.statusTexts.end(),
                                        "Reading codeplug back...") != window->host.statusTexts.end();
        EXPECT_EQ(readBack, c.verify);
    }
}

} // namespace
} // namespace aurex

// The step line, the time line, the title's percentage and the disconnect line as a run goes
// through the window: the run's statuses, byte progress and progress bar are the window's own,
// the clock is turned by hand and the clock timer fired as its driver would.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/code_updater_main_form.h"
#include "app/disconnect_advice.h"
#include "support/recording_host.h"

namespace aurex {
namespace {

using testing::FakeEnvironment;
using testing::RecordingHost;
using Scope = TCodeUpdaterMainDispForm::RunRecordScope;

class RunStandingTest : public ::testing::Test
{
  protected:
    RunStandingTest() : form(host, FakeEnvironment())
    {
        form.m_Clock = [this] { return now; };
        host.Attach(form);
    }

    RecordingHost host;
    TCodeUpdaterMainDispForm form;
    double now = 1000;
};

TEST_F(RunStandingTest, AnIdleWindowSaysTheRadioMayBeDisconnected)
{
    EXPECT_EQ(form.m_DisconnectLabel.Caption(), "The radio may be disconnected.");
    EXPECT_EQ(form.m_RunStepLabel.Caption(), "");
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "");
    EXPECT_FALSE(form.m_RunClockTimer.Enabled());
    EXPECT_EQ(form.Caption(), "Aurex Code Updater");
}

TEST_F(RunStandingTest, AFailedCodeDownloadIsFollowedStepByStepAndLeavesItsAdvice)
{
    auto run = std::make_unique<Scope>(form, RunKind::Update);
    EXPECT_TRUE(form.m_RunClockTimer.Enabled());
    EXPECT_EQ(form.m_DisconnectLabel.Caption(), "Keep the radio connected until the run ends.");
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "0:00 elapsed");
    EXPECT_EQ(form.Caption(), "0% - Aurex Code Updater");

    form.ShowStatus("Extracting embedded files...");
    form.ShowStatus("Checking target radio...");
    EXPECT_EQ(form.m_DisconnectLabel.Caption(), "Keep the radio connected until the run ends.");
    form.ShowStatus("Preparing to download ...");
    EXPECT_EQ(form.m_DisconnectLabel.Caption(), "Do not disconnect the radio");

    // The title follows the bar's position within its range, as the downloads set them.
    form.m_ProgressBarDisplay.SetRange(0, 200);
    form.m_ProgressBarDisplay.SetPosition(84);
    EXPECT_EQ(form.Caption(), "42% - Aurex Code Updater");

    form.m_ByteProgress.Begin("loader", 1000);
    now += 65;
    ASSERT_TRUE(form.m_RunClockTimer.Fire());
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "1:05 elapsed"); // the loader's rate not measured yet
    form.m_ByteProgress.Done(1000); // the loader's last byte: the erase wait follows
    form.m_ByteProgress.End();
    form.ShowStatus("Erasing flash (80 seconds)...");

    form.ShowStatus("Downloading Application code ...");
    form.m_ByteProgress.Begin("application", 10000);
    now += 10;
    form.m_ByteProgress.Done(2000); // 200 bytes a second: 40 s for the 8000 to go
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "1:15 elapsed, about 0:40 left");
    now += 2;
    ASSERT_TRUE(form.m_RunClockTimer.Fire()); // no byte for 2 s: the rate falls, the time left grows
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "1:17 elapsed, about 0:48 left");
    form.m_ByteProgress.End();

    form.NoteOutcome(RunResult::CodeDownloadFailed);
    form.ShowStatus("Communication problem.");
    run.reset();

    EXPECT_EQ(host.Changes("m_RunStepLabel", "Caption"),
              (std::vector<std::string>{"Step 1 of 10: preparing the images", "Step 2 of 10: radio check",
                                        "Step 3 of 10: loader", "Step 4 of 10: erasing flash",
                                        "Step 5 of 10: code download", ""}));
    EXPECT_EQ(form.m_DisconnectLabel.Caption(),
              DisconnectAdviceAfter(RunResult::CodeDownloadFailed, RadioLeft::CodeWriting));
    EXPECT_NE(form.m_DisconnectLabel.Caption().find("no working code"), std::string::npos);
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "1:17 elapsed");
    EXPECT_FALSE(form.m_RunClockTimer.Enabled());
    EXPECT_EQ(form.Caption(), "Aurex Code Updater");
    // The bar moving after the run leaves the title alone.
    form.m_ProgressBar.SetPosition(0);
    EXPECT_EQ(form.Caption(), "Aurex Code Updater");
}

TEST_F(RunStandingTest, AWholeUpdateEndsWithTheRadioFreeToGo)
{
    form.m_FileVerifyMenuItem.Click(); // no read-back: nine steps
    {
        Scope run(form, RunKind::Update);
        for (const char* status :
             {"Extracting embedded files...", "Checking target radio...", "Preparing to download ...",
              "Downloading Loader code ...", "Erasing flash (80 seconds)...",
              "Downloading Application code ...", "Download finished.", "Idle", "Resetting radio...",
              "Uploading codeplug..."}) {
            form.ShowStatus(status);
        }
        EXPECT_EQ(form.m_RunStepLabel.Caption(), "Step 7 of 9: codeplug upload");
        // The codeplug step of an update may not be cut short: the radio stays connected.
        EXPECT_EQ(form.m_DisconnectLabel.Caption(), "Do not disconnect the radio");
        form.ShowStatus("Resetting radio and converting codeplug...");
        form.ShowStatus("Downloading codeplug...");
        EXPECT_EQ(form.m_RunStepLabel.Caption(), "Step 9 of 9: codeplug write");
        form.ShowStatus("Done.");
    }
    EXPECT_EQ(form.m_LastRunResult, RunResult::Succeeded);
    EXPECT_EQ(form.m_DisconnectLabel.Caption(), "The radio may be disconnected.");
    EXPECT_EQ(form.m_RunStepLabel.Caption(), "");
}

TEST_F(RunStandingTest, ARetrieveHasNoStepsAndTheCheckIsNoRun)
{
    {
        Scope check(form, RunKind::Check);
        EXPECT_FALSE(form.m_RunClockTimer.Enabled());
        check.SetResult(RunResult::Failed);
    }
    EXPECT_EQ(form.m_DisconnectLabel.Caption(), "The radio may be disconnected.");
    EXPECT_TRUE(host.Changes("m_RunTimeLabel", "Caption").empty());

    {
        Scope retrieve(form, RunKind::Retrieve);
        EXPECT_EQ(form.m_RunStepLabel.Caption(), "");
        EXPECT_EQ(form.m_RunTimeLabel.Caption(), "0:00 elapsed");
        form.NoteOutcome(RunResult::NoAnswer);
    }
    EXPECT_EQ(form.m_DisconnectLabel.Caption(),
              DisconnectAdviceAfter(RunResult::NoAnswer, RadioLeft::Untouched));
    EXPECT_NE(form.m_DisconnectLabel.Caption().find("check the cable"), std::string::npos);
}

} // namespace
} // namespace aurex

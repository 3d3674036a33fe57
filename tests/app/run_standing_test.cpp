// The step line, the time line, the title's percentage and the disconnect line as a run goes
// through the window: the run's statuses, byte progress and progress bar are the window's own,
// the clock is turned by hand and the clock timer fired as its driver would.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/code_updater_main_form.h"
#include "app/disconnect_advice.h"
#include "app/run_time_left.h"
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
    EXPECT_EQ(form.m_DisconnectLabel.Caption(), "Do not disconnect the radio.");
    // The whole run ahead: the 40 s erase of this platform, three restarts of the radio and three
    // codeplug transfers at the line's speed.
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "0:00 elapsed, about 2:31 left");
    EXPECT_EQ(form.Caption(), "0% - Aurex Code Updater");

    form.ShowStatus("Extracting embedded files...");
    form.ShowStatus("Checking target radio...");
    form.ShowStatus("Preparing to download ...");

    // The title follows the bar's position within its range, as the downloads set them.
    form.m_ProgressBarDisplay.SetRange(0, 200);
    form.m_ProgressBarDisplay.SetPosition(84);
    EXPECT_EQ(form.Caption(), "42% - Aurex Code Updater");

    form.m_ByteProgress.Begin("loader", 1000);
    now += 65;
    ASSERT_TRUE(form.m_RunClockTimer.Fire());
    EXPECT_EQ(form.m_RunTimeLabel.Caption(),
              "1:05 elapsed, about 2:31 left"); // at the line's speed, unmeasured
    form.m_ByteProgress.Done(1000);             // the loader's last byte: the erase wait follows
    form.m_ByteProgress.End();
    form.ShowStatus("Erasing flash (80 seconds)...");

    form.ShowStatus("Downloading Application code ...");
    form.m_ByteProgress.Begin("application", 10000);
    now += 10;
    form.m_ByteProgress.Done(2000); // 200 bytes a second: 40 s for the 8000 to go, then the codeplug
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "1:15 elapsed, about 2:31 left");
    now += 2;
    ASSERT_TRUE(form.m_RunClockTimer.Fire()); // no byte for 2 s: the rate falls, the time left grows
    EXPECT_EQ(form.m_RunTimeLabel.Caption(), "1:17 elapsed, about 2:39 left");
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
        EXPECT_EQ(form.m_DisconnectLabel.Caption(), "Do not disconnect the radio.");
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

// The whole run's time left: the erase and the restarts at their fixed lengths (the one under way
// counted down), the bytes still to go at the rate measured for their kind of transfer.
TEST(RunTimeLeftTest, TheWaitsAndTheBytesStillAheadMakeTheRunsTimeLeft)
{
    RunPlan plan;
    plan.codeplugStep = true;
    const std::vector<RunStep> steps = PlannedSteps(plan);
    RunTimeLeft model;
    model.Measured(RunStep::Loader, 1152);                  // the code goes at the loader's rate
    model.Measured(RunStep::CodeplugUpload, 2048);          // the codeplug transfers at the upload's
    const double erase = 79.093;                            // 1440 ticks of the port: the longest erase
    const double restart = 19.774;                          // 360 ticks
    const double codeplugSteps = 2 * 16 + 3 * restart + 16; // 32768 bytes each at 2048 a second
    struct Case
    {
        const char* what;
        RunStep at;
        double sinceReached;
        std::optional<ByteReading> under;
        bool transferred;
        std::optional<std::int64_t> codeplugBytes;
        double left;
    };
    const std::vector<Case> cases = {
        {"erase begun", RunStep::Erase, 0, {}, false, {}, erase + 100 + codeplugSteps},
        {"erase half way", RunStep::Erase, 40, {}, false, {}, erase - 40 + 100 + codeplugSteps},
        {"code at its rate",
         RunStep::Code,
         0,
         ByteReading{57600, 115200, 5760, {}},
         false,
         {},
         10 + codeplugSteps},
        {"code sent", RunStep::Code, 0, {}, true, {}, codeplugSteps},
        {"restart overrun", RunStep::Restart, 25, {}, false, {}, codeplugSteps - restart},
        {"codeplug's own length", RunStep::CodeplugWrite, 0, {}, false, 4096, 2 + restart + 2},
        {"read-back after its wait", RunStep::CodeplugCheck, 5, {}, false, {}, restart - 5 + 16},
    };
    for (const Case& c : cases) {
        RunFacts facts;
        facts.radioTypeCode = 5;
        facts.loaderBytes = 2304;
        facts.codeBytes = 115200;
        facts.codeplugBytes = c.codeplugBytes;
        const auto at = static_cast<std::size_t>(std::find(steps.begin(), steps.end(), c.at) - steps.begin());
        EXPECT_NEAR(model.SecondsLeft(steps, at, c.sinceReached, c.under, c.transferred, facts), c.left, 0.01)
            << c.what;
    }
}

} // namespace
} // namespace aurex

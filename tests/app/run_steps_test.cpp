// The steps a run is counted in, the statuses and phases that begin them, what the radio is left
// with, and the texts of the step and time lines.

#include <gtest/gtest.h>

#include <vector>

#include "app/run_steps.h"

namespace aurex {
namespace {

using S = RunStep;

TEST(RunStepsTest, EachPathHasTheStepsItsSequenceTakes)
{
    struct Case
    {
        const char* name;
        RunPlan plan;
        std::vector<RunStep> steps;
    };
    const std::vector<Case> cases = {
        {"application with the codeplug step",
         {.kind = RunKind::Update, .codeplugStep = true},
         {S::Prepare, S::RadioCheck, S::Loader, S::Erase, S::Code, S::Restart, S::CodeplugUpload,
          S::CodeplugConversion, S::CodeplugWrite, S::CodeplugCheck}},
        {"without verifying writes",
         {.kind = RunKind::Update, .codeplugStep = true, .verify = false},
         {S::Prepare, S::RadioCheck, S::Loader, S::Erase, S::Code, S::Restart, S::CodeplugUpload,
          S::CodeplugConversion, S::CodeplugWrite}},
        {"boot code alone",
         {.kind = RunKind::Update, .bootOnly = true, .codeplugStep = true},
         {S::Prepare, S::RadioCheck, S::Loader, S::Erase, S::BootCode}},
        {"boot code, then the application",
         {.kind = RunKind::Update, .bootFirst = true},
         {S::Prepare, S::RadioCheck, S::Loader, S::Erase, S::BootCode, S::Prepare, S::RadioCheck, S::Loader,
          S::Erase, S::Code}},
        {"DSP without an erase",
         {.kind = RunKind::Update, .dsp = true},
         {S::Prepare, S::RadioCheck, S::Loader, S::Code}},
        {"backup", {.kind = RunKind::Backup}, {S::RadioCheck, S::CodeplugUpload}},
        {"restore",
         {.kind = RunKind::Restore},
         {S::RadioCheck, S::CodeplugUpload, S::CodeplugConversion, S::CodeplugWrite, S::CodeplugCheck}},
        {"retrieve", {.kind = RunKind::Retrieve}, {}},
        {"connection check", {.kind = RunKind::Check}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlannedSteps(c.plan), c.steps) << c.name;
    }
}

TEST(RunStepsTest, StatusesAndPhasesBeginTheirSteps)
{
    const std::vector<std::pair<const char*, std::optional<RunStep>>> statuses = {
        {"Extracting embedded files...", S::Prepare},
        {"Checking target radio...", S::RadioCheck},
        {"Preparing to download ...", S::Loader},
        {"Downloading Loader code ...", S::Loader},
        {"Downloading Loader code...", S::Loader},
        {"Erasing flash (80 seconds)...", S::Erase},
        {"Downloading Boot code ...", S::BootCode},
        {"Downloading Application code ...", S::Code},
        {"Downloading page 2 of 7 ...", S::Code},
        {"Resetting radio...", S::Restart},
        {"Uploading codeplug...", S::CodeplugUpload},
        {"Resetting radio and converting codeplug...", S::CodeplugConversion},
        {"Downloading codeplug...", S::CodeplugWrite},
        {"Resetting radio and verifying codeplug...", S::CodeplugCheck},
        {"Reading codeplug back...", S::CodeplugCheck},
        {"Download finished.", std::nullopt},
        {"Idle", std::nullopt},
        {"Done.", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [status, step] : statuses) {
        EXPECT_EQ(StepOfStatus(status), step) << status;
    }
    const std::vector<std::pair<const char*, std::optional<RunStep>>> phases = {
        {"loader", S::Loader},
        {"dsp-loader", S::Loader},
        {"boot", S::BootCode},
        {"application", S::Code},
        {"dsp", S::Code},
        {"codeplug-upload", S::CodeplugUpload},
        {"codeplug-download", S::CodeplugWrite},
        {"codeplug-read-back", S::CodeplugCheck},
        {"codeplug", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [phase, step] : phases) {
        EXPECT_EQ(StepOfPhase(phase), step) << phase;
    }
}

TEST(RunStepsTest, TheRadioIsTouchedFromTheLoaderOnAndOnlyByWrites)
{
    EXPECT_EQ(LeftAt(RunKind::Update, S::RadioCheck), RadioLeft::Untouched);
    EXPECT_EQ(LeftAt(RunKind::Update, S::Loader), RadioLeft::CodeWriting);
    EXPECT_EQ(LeftAt(RunKind::Update, S::Code), RadioLeft::CodeWriting);
    EXPECT_EQ(LeftAt(RunKind::Update, S::CodeplugUpload), RadioLeft::NewCode);
    EXPECT_EQ(LeftAt(RunKind::Update, S::CodeplugWrite), RadioLeft::CodeplugWriting);
    EXPECT_EQ(LeftAt(RunKind::Update, S::CodeplugCheck), RadioLeft::CodeplugWritten);
    EXPECT_EQ(LeftAt(RunKind::Restore, S::CodeplugUpload), RadioLeft::Untouched);
    EXPECT_EQ(LeftAt(RunKind::Restore, S::CodeplugWrite), RadioLeft::RestoreWriting);
    EXPECT_EQ(LeftAt(RunKind::Backup, S::CodeplugUpload), RadioLeft::Untouched);
    EXPECT_EQ(LeftAt(RunKind::Retrieve, S::RadioCheck), RadioLeft::Untouched);
}

TEST(RunStepsTest, StepAndTimeTexts)
{
    EXPECT_EQ(ClockText(0), "0:00");
    EXPECT_EQ(ClockText(9.99), "0:09");
    EXPECT_EQ(ClockText(70), "1:10");
    EXPECT_EQ(ClockText(3725), "62:05");
    EXPECT_EQ(ClockText(-3), "0:00");

    const std::vector<RunStep> steps = {S::Prepare, S::RadioCheck, S::Loader};
    EXPECT_EQ(StepText(steps, 0).Plain(), "Step 1 of 3: preparing the images");
    EXPECT_EQ(StepText(steps, 2).Plain(), "Step 3 of 3: loader");
    EXPECT_EQ(StepText(steps, 3).Plain(), "");
    EXPECT_EQ(StepText(steps, std::nullopt).Plain(), "");
    EXPECT_EQ(StepText({}, 0).Plain(), "");

    EXPECT_EQ(RunTimeText(83, std::nullopt).Plain(), "1:23 elapsed");
    EXPECT_EQ(RunTimeText(83, 69.2).Plain(), "1:23 elapsed, about 1:10 left");
    EXPECT_EQ(RunTimeText(5, 0.4).Plain(), "0:05 elapsed"); // all but done: nothing left to tell
    EXPECT_EQ(RunTimeText(5, 0).Plain(), "0:05 elapsed");
}

} // namespace
} // namespace aurex

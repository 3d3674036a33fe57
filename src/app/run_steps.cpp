#include "app/run_steps.h"

#include <array>
#include <cmath>
#include <utility>

namespace aurex {

std::string_view StepName(RunStep step)
{
    switch (step) {
    case RunStep::Prepare:
        return "preparing the images";
    case RunStep::RadioCheck:
        return "radio check";
    case RunStep::Loader:
        return "loader";
    case RunStep::Erase:
        return "erasing flash";
    case RunStep::BootCode:
        return "boot code download";
    case RunStep::Code:
        return "code download";
    case RunStep::Restart:
        return "radio restart";
    case RunStep::CodeplugUpload:
        return "codeplug upload";
    case RunStep::CodeplugConversion:
        return "codeplug conversion";
    case RunStep::CodeplugWrite:
        return "codeplug write";
    case RunStep::CodeplugCheck:
        return "codeplug check";
    }
    return "";
}

namespace {

void AddCodeplugSteps(std::vector<RunStep>& steps, bool verify)
{
    steps.insert(steps.end(), {RunStep::CodeplugConversion, RunStep::CodeplugWrite});
    if (verify) {
        steps.push_back(RunStep::CodeplugCheck);
    }
}

// Extraction, the radio's check, the loader, the erase wait (a short one without a status for
// boot code) and the image.
void AddDownload(std::vector<RunStep>& steps, RunStep image, bool erase)
{
    steps.insert(steps.end(), {RunStep::Prepare, RunStep::RadioCheck, RunStep::Loader});
    if (erase) {
        steps.push_back(RunStep::Erase);
    }
    steps.push_back(image);
}

} // namespace

std::vector<RunStep> PlannedSteps(const RunPlan& plan)
{
    std::vector<RunStep> steps;
    switch (plan.kind) {
    case RunKind::Update:
        if (plan.bootFirst || plan.bootOnly) {
            AddDownload(steps, RunStep::BootCode, true);
        }
        if (plan.bootOnly) {
            break;
        }
        AddDownload(steps, RunStep::Code, !plan.dsp);
        if (plan.codeplugStep) {
            steps.insert(steps.end(), {RunStep::Restart, RunStep::CodeplugUpload});
            AddCodeplugSteps(steps, plan.verify);
        }
        break;
    case RunKind::Backup:
        steps = {RunStep::RadioCheck, RunStep::CodeplugUpload};
        break;
    case RunKind::Restore:
        steps = {RunStep::RadioCheck, RunStep::CodeplugUpload};
        AddCodeplugSteps(steps, plan.verify);
        break;
    case RunKind::Retrieve:
    case RunKind::Check:
        break;
    }
    return steps;
}

std::optional<RunStep> StepOfStatus(std::string_view status)
{
    // The first prefix that matches counts: the longer of two alike comes first.
    static constexpr std::array<std::pair<std::string_view, RunStep>, 14> kBeginnings{{
        {"Extracting embedded files", RunStep::Prepare},
        {"Checking target radio", RunStep::RadioCheck},
        {"Preparing to download", RunStep::Loader},
        {"Downloading Loader code", RunStep::Loader},
        {"Erasing flash", RunStep::Erase},
        {"Downloading Boot code", RunStep::BootCode},
        {"Downloading Application code", RunStep::Code},
        {"Downloading page ", RunStep::Code},
        {"Resetting radio and converting codeplug", RunStep::CodeplugConversion},
        {"Resetting radio and verifying codeplug", RunStep::CodeplugCheck},
        {"Resetting radio", RunStep::Restart},
        {"Uploading codeplug", RunStep::CodeplugUpload},
        {"Downloading codeplug", RunStep::CodeplugWrite},
        {"Reading codeplug back", RunStep::CodeplugCheck},
    }};
    for (const auto& [beginning, step] : kBeginnings) {
        if (status.starts_with(beginning)) {
            return step;
        }
    }
    return std::nullopt;
}

std::optional<RunStep> StepOfPhase(std::string_view phase)
{
    static constexpr std::array<std::pair<std::string_view, RunStep>, 8> kPhases{{
        {"loader", RunStep::Loader},
        {"dsp-loader", RunStep::Loader},
        {"boot", RunStep::BootCode},
        {"application", RunStep::Code},
        {"dsp", RunStep::Code},
        {"codeplug-upload", RunStep::CodeplugUpload},
        {"codeplug-download", RunStep::CodeplugWrite},
        {"codeplug-read-back", RunStep::CodeplugCheck},
    }};
    for (const auto& [name, step] : kPhases) {
        if (phase == name) {
            return step;
        }
    }
    return std::nullopt;
}

RadioLeft LeftAt(RunKind kind, RunStep step)
{
    if (kind == RunKind::Restore) {
        switch (step) {
        case RunStep::CodeplugWrite:
            return RadioLeft::RestoreWriting;
        case RunStep::CodeplugCheck:
            return RadioLeft::CodeplugWritten;
        default:
            return RadioLeft::Untouched;
        }
    }
    if (kind != RunKind::Update) {
        return RadioLeft::Untouched;
    }
    switch (step) {
    case RunStep::Prepare:
    case RunStep::RadioCheck:
        return RadioLeft::Untouched;
    case RunStep::Loader:
    case RunStep::Erase:
    case RunStep::BootCode:
    case RunStep::Code:
        return RadioLeft::CodeWriting;
    case RunStep::Restart:
    case RunStep::CodeplugUpload:
    case RunStep::CodeplugConversion:
        return RadioLeft::NewCode;
    case RunStep::CodeplugWrite:
        return RadioLeft::CodeplugWriting;
    case RunStep::CodeplugCheck:
        return RadioLeft::CodeplugWritten;
    }
    return RadioLeft::Untouched;
}

std::string ClockText(double seconds)
{
    const long whole = seconds > 0 ? static_cast<long>(seconds) : 0;
    const long s = whole % 60;
    return std::to_string(whole / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

UiText StepText(const std::vector<RunStep>& steps, std::optional<std::size_t> at)
{
    if (!at || *at >= steps.size()) {
        return {};
    }
    return {"Step %1 of %2: %3",
            {UiText::Verbatim(std::to_string(*at + 1)), UiText::Verbatim(std::to_string(steps.size())),
             UiText(StepName(steps[*at]))}};
}

UiText RunTimeText(double elapsed, std::optional<double> secondsLeft)
{
    if (secondsLeft && *secondsLeft >= 1) {
        // Rounded up: "0:00 left" never shows while bytes are still to go.
        return {"%1 elapsed, about %2 left",
                {UiText::Verbatim(ClockText(elapsed)), UiText::Verbatim(ClockText(std::ceil(*secondsLeft)))}};
    }
    return {"%1 elapsed", {UiText::Verbatim(ClockText(elapsed))}};
}

} // namespace aurex

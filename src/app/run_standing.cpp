#include "app/run_standing.h"

#include <algorithm>
#include <cstddef>

#include "app/disconnect_advice.h"

namespace aurex {

namespace {

constexpr int kClockTickMs = 1000;

} // namespace

RunStanding::RunStanding(Parts parts) : parts_(std::move(parts)), title_(parts_.form.Caption())
{
    parts_.form.AddListener(this);
}

RunStanding::~RunStanding()
{
    parts_.form.RemoveListener(this);
}

void RunStanding::Begin(RunKind kind, std::vector<RunStep> steps)
{
    if (kind == RunKind::Check) {
        return; // the line alone is looked at: nothing to follow
    }
    running_ = true;
    kind_ = kind;
    steps_ = std::move(steps);
    at_ = steps_.empty() ? std::nullopt : std::optional<std::size_t>(0);
    left_ = RadioLeft::Untouched;
    began_ = parts_.clock();
    parts_.stepLabel.SetCaption(StepText(steps_, at_));
    parts_.disconnectLabel.SetCaption(std::string(DisconnectAdviceDuring(left_)));
    ShowTime();
    ShowTitle();
    parts_.clockTimer.SetInterval(kClockTickMs);
    parts_.clockTimer.SetEnabled(true);
}

void RunStanding::Replan(std::vector<RunStep> steps)
{
    if (!running_) {
        return;
    }
    steps_ = std::move(steps);
    if (steps_.empty()) {
        at_.reset();
    } else if (at_) {
        at_ = std::min(*at_, steps_.size() - 1);
    }
    parts_.stepLabel.SetCaption(StepText(steps_, at_));
}

void RunStanding::End(RunResult result)
{
    if (!running_) {
        return;
    }
    // The run's whole time stays, without a time left.
    parts_.timeLabel.SetCaption(RunTimeText(parts_.clock() - began_, std::nullopt));
    running_ = false;
    parts_.clockTimer.SetEnabled(false);
    parts_.stepLabel.SetCaption("");
    parts_.disconnectLabel.SetCaption(std::string(DisconnectAdviceAfter(result, left_)));
    ShowTitle();
}

void RunStanding::Tick()
{
    ShowTime();
}

void RunStanding::StatusShown(const std::string& text)
{
    if (const std::optional<RunStep> step = StepOfStatus(text)) {
        Reach(*step);
    }
}

void RunStanding::ProgressMade(const ProgressReading& reading)
{
    if (const std::optional<RunStep> step = StepOfPhase(reading.phase)) {
        Reach(*step);
    }
    // The loader's last byte is gone: the radio erases its flash next (for boot code without a
    // status of its own).
    if (reading.phase == "loader" && reading.bytes.total && reading.bytes.done >= *reading.bytes.total) {
        Reach(RunStep::Erase);
    }
    ShowTime();
}

void RunStanding::ControlChanged(const FormModel&, const Control* control, ControlProperty what)
{
    if (control == &parts_.progressBar &&
        (what == ControlProperty::Position || what == ControlProperty::Range)) {
        ShowTitle();
    }
}

void RunStanding::Reach(RunStep step)
{
    if (!running_) {
        return;
    }
    // Only forward: a status of an earlier step (the DSP pages' "Preparing to download ...")
    // keeps the step reached; a step taken twice (the boot path's two downloads) is found again.
    const auto from = steps_.begin() + static_cast<std::ptrdiff_t>(at_.value_or(0));
    if (const auto it = std::find(from, steps_.end(), step); it != steps_.end()) {
        at_ = static_cast<std::size_t>(it - steps_.begin());
        parts_.stepLabel.SetCaption(StepText(steps_, at_));
    }
    left_ = std::max(left_, LeftAt(kind_, step));
    parts_.disconnectLabel.SetCaption(std::string(DisconnectAdviceDuring(left_)));
}

void RunStanding::ShowTime()
{
    if (!running_) {
        return;
    }
    std::optional<double> left;
    if (!parts_.bytes.Phase().empty()) {
        left = parts_.bytes.Reading().secondsLeft;
    }
    parts_.timeLabel.SetCaption(RunTimeText(parts_.clock() - began_, left));
}

void RunStanding::ShowTitle()
{
    const Control& bar = parts_.progressBar;
    if (!running_ || bar.Max() <= bar.Min()) {
        parts_.form.SetCaption(title_);
        return;
    }
    const long span = static_cast<long>(bar.Max()) - bar.Min();
    const long done = std::clamp(static_cast<long>(bar.Position()) - bar.Min(), 0L, span);
    parts_.form.SetCaption(
        {"%1% - %2", {UiText::Verbatim(std::to_string(done * 100 / span)), UiText(title_)}});
}

} // namespace aurex

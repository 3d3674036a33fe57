#include "app/run_standing.h"

#include <algorithm>
#include <cstddef>

#include "app/disconnect_advice.h"
#include "programming/flash_download.h"

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

void RunStanding::Begin(RunKind kind, std::vector<RunStep> steps, std::uint8_t radioTypeCode)
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
    reached_ = began_;
    transferred_ = false;
    facts_ = RunFacts();
    facts_.radioTypeCode = radioTypeCode;
    timeLeft_ = RunTimeLeft();
    parts_.stepLabel.SetCaption(StepText(steps_, at_));
    parts_.disconnectLabel.SetCaption(std::string(kDoNotDisconnectText));
    ShowTime();
    ShowTitle();
    parts_.clockTimer.SetInterval(kClockTickMs);
    parts_.clockTimer.SetEnabled(true);
}

void RunStanding::ExpectImages(std::optional<std::int64_t> loaderBytes, std::optional<std::int64_t> codeBytes)
{
    facts_.loaderBytes = loaderBytes;
    facts_.codeBytes = codeBytes;
    ShowTime();
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
        ShowTime();
    }
}

void RunStanding::ProgressMade(const ProgressReading& reading)
{
    const ByteReading& bytes = reading.bytes;
    const double now = parts_.clock();
    if (reading.phase != phase_ || bytes.done == 0) {
        phase_ = reading.phase;
        phaseBegan_ = now;
    }
    const bool complete = bytes.total && bytes.done >= *bytes.total;
    if (const std::optional<RunStep> step = StepOfPhase(reading.phase)) {
        Reach(*step);
        if (bytes.rate) {
            timeLeft_.Measured(*step, *bytes.rate);
        } else if (complete && now > phaseBegan_) {
            // Over before the meter could tell a rate: the whole phase's is the one there is.
            timeLeft_.Measured(*step, static_cast<double>(bytes.done) / (now - phaseBegan_));
        }
        if (*step == RunStep::CodeplugUpload && bytes.total) {
            facts_.codeplugBytes = bytes.total; // what the write and the read-back move too
        }
        if (at_ && steps_[*at_] == *step && complete) {
            transferred_ = true;
        }
    }
    // The loader's last byte is gone: the radio erases its flash next. Where the erase has a
    // status of its own, that status tells it, after the loader's bar has ended.
    if (reading.phase == "loader" && complete && !ErasesWithStatus()) {
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

bool RunStanding::ErasesWithStatus() const
{
    const auto erase = std::find(steps_.begin() + static_cast<std::ptrdiff_t>(at_.value_or(0)), steps_.end(),
                                 RunStep::Erase);
    const bool boot = erase != steps_.end() && erase + 1 != steps_.end() && erase[1] == RunStep::BootCode;
    return EraseWaitFor(facts_.radioTypeCode, boot).text != nullptr;
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
        const auto reached = static_cast<std::size_t>(it - steps_.begin());
        if (at_ != reached) {
            at_ = reached;
            reached_ = parts_.clock(); // a fixed wait of the step counts down from here
            transferred_ = false;
        }
        parts_.stepLabel.SetCaption(StepText(steps_, at_));
    }
    left_ = std::max(left_, LeftAt(kind_, step));
}

void RunStanding::ShowTime()
{
    if (!running_) {
        return;
    }
    const double now = parts_.clock();
    const std::string& phase = parts_.bytes.Phase();
    std::optional<double> left;
    if (at_ && *at_ < steps_.size()) {
        std::optional<ByteReading> under;
        if (!phase.empty() && StepOfPhase(phase) == steps_[*at_]) {
            under = parts_.bytes.Reading();
        }
        left = timeLeft_.SecondsLeft(steps_, *at_, now - reached_, under, transferred_, facts_);
    } else if (!phase.empty()) {
        left = parts_.bytes.Reading().secondsLeft; // a run of one step: its transfer alone
    }
    parts_.timeLabel.SetCaption(RunTimeText(now - began_, left));
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

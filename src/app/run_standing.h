#pragma once

// Where the run under way stands, shown in the main window: "Step k of n", the time it has
// taken and the time the whole run has left, the percentage in the window's title, and whether
// the radio may be disconnected. It follows the run's statuses and byte progress and the progress
// bar; nothing here talks to the radio.

#include <optional>
#include <string>
#include <vector>

#include "app/byte_meter.h"
#include "app/control.h"
#include "app/progress_feed.h"
#include "app/run_events.h"
#include "app/run_recorder.h"
#include "app/run_steps.h"
#include "app/run_time_left.h"

namespace aurex {

class RunStanding final : public RunEvents, public ControlListener
{
  public:
    struct Parts
    {
        FormModel& form; // its caption takes the percentage
        const Control& progressBar;
        Control& stepLabel;
        Control& timeLabel;
        Control& disconnectLabel;
        Control& clockTimer; // ticks the elapsed time while a run goes on
        const ProgressFeed& bytes;
        SecondsClock clock;
    };
    explicit RunStanding(Parts parts);
    ~RunStanding() override;
    RunStanding(const RunStanding&) = delete;
    RunStanding& operator=(const RunStanding&) = delete;

    // A run of `kind` begins with `steps`, on a radio of `radioTypeCode`; the connection check is
    // no run here.
    void Begin(RunKind kind, std::vector<RunStep> steps, std::uint8_t radioTypeCode = 0);
    // The images about to go into the radio, their data bytes where they could be read.
    void ExpectImages(std::optional<std::int64_t> loaderBytes, std::optional<std::int64_t> codeBytes);
    // The run has learnt that it takes other steps; the step reached stays.
    void Replan(std::vector<RunStep> steps);
    void End(RunResult result);
    // The clock timer's tick.
    void Tick();

    bool Running() const { return running_; }
    RadioLeft Left() const { return left_; }

    void StatusShown(const std::string& text) override;
    void ProgressMade(const ProgressReading& reading) override;
    void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) override;

  private:
    void Reach(RunStep step);
    // The erase ahead shows a status of its own (not so before boot code, nor on every platform).
    bool ErasesWithStatus() const;
    void ShowTime();
    void ShowTitle();

    Parts parts_;
    std::string title_;
    bool running_ = false;
    RunKind kind_ = RunKind::Update;
    std::vector<RunStep> steps_;
    std::optional<std::size_t> at_;
    RadioLeft left_ = RadioLeft::Untouched;
    double began_ = 0;
    double reached_ = 0;       // when the step under way was reached
    bool transferred_ = false; // the step's transfer is over
    std::string phase_;        // the transfer last heard of, and when it began
    double phaseBegan_ = 0;
    RunFacts facts_;
    RunTimeLeft timeLeft_;
};

} // namespace aurex

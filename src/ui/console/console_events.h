#pragma once

// --json: every event of a run as one JSON object a line, for scripts. The names of the events
// and of their fields never change; fields may be added (README.md lists them).

#include <functional>
#include <string>

#include "app/byte_meter.h"
#include "app/run_events.h"

namespace aurex {

class ConsoleEvents final : public RunEvents
{
  public:
    // Takes each line, newline included, as soon as it is made.
    using LineSink = std::function<void(const std::string& line)>;

    // Every event carries "t", the seconds of `clock` since this object was made.
    explicit ConsoleEvents(LineSink write, SecondsClock clock = SteadySeconds);

    void StatusShown(const std::string& text) override;
    void BoxAnswered(const std::string& caption, MessageIcon icon, const std::string& text,
                     MessageAnswer answer) override;
    // The radio's identity and versions; the run's other facts are not events.
    void FactLearnt(const std::string& label, const std::string& value,
                    std::string HistoryRow::*field) override;
    void ProgressMade(const ProgressReading& reading) override;
    // The end: the exit status and the status line as the run left it.
    void Result(int exitCode, const std::string& status);

  private:
    double Seconds() const;

    LineSink write_;
    SecondsClock clock_;
    double start_;
};

// Standard output, flushed after every line.
ConsoleEvents::LineSink StandardOutputLines();
// The first error a line written by StandardOutputLines met (ENOSPC, EPIPE, ...); 0 while none.
int StandardOutputError();

} // namespace aurex

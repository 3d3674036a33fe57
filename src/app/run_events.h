#pragma once

// What a run tells those who follow it beside the window: every status text, every message box
// with its answer, what it learnt of the radio, and the byte progress of its transfers. The run
// recorder keeps them in the log and the history; the console can write them for scripts.

#include <string>
#include <vector>

#include "app/byte_meter.h"
#include "app/dialog_host.h"
#include "history/update_history.h"

namespace aurex {

struct ProgressReading
{
    std::string phase; // "loader", "application", "codeplug-upload", ...
    ByteReading bytes;
};

class RunEvents
{
  public:
    virtual ~RunEvents() = default;
    virtual void StatusShown(const std::string& text) { (void)text; }
    virtual void BoxAnswered(const std::string& caption, MessageIcon icon, const std::string& text,
                             MessageAnswer answer)
    {
        (void)caption;
        (void)icon;
        (void)text;
        (void)answer;
    }
    // Something the run learnt, "label: value"; `field` is the history row's field that keeps it
    // (null: none; the versions fields gather "label value" pairs).
    virtual void FactLearnt(const std::string& label, const std::string& value,
                            std::string HistoryRow::*field)
    {
        (void)label;
        (void)value;
        (void)field;
    }
    virtual void ProgressMade(const ProgressReading& reading) { (void)reading; }
};

// "OK", "Yes", "No".
const char* AnswerWord(MessageAnswer answer);

// Tells every listener, in the order they were added.
class RunEventList final : public RunEvents
{
  public:
    void Add(RunEvents* listener);
    void Remove(RunEvents* listener);

    void StatusShown(const std::string& text) override;
    void BoxAnswered(const std::string& caption, MessageIcon icon, const std::string& text,
                     MessageAnswer answer) override;
    void FactLearnt(const std::string& label, const std::string& value,
                    std::string HistoryRow::*field) override;
    void ProgressMade(const ProgressReading& reading) override;

  private:
    std::vector<RunEvents*> listeners_;
};

} // namespace aurex

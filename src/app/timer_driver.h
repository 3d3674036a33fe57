#pragma once

// Runs the window model's timers on the event loop of the user-interface thread, for every
// front end (the Qt window and the console).

#include <map>
#include <memory>

#include "app/control.h"

class QTimer;

namespace aurex {

class TimerDriver : public ControlListener
{
  public:
    explicit TimerDriver(FormModel& form);
    ~TimerDriver() override;
    TimerDriver(const TimerDriver&) = delete;
    TimerDriver& operator=(const TimerDriver&) = delete;

    void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) override;

  private:
    void Apply(const Control& timer);

    FormModel& form_;
    std::map<const Control*, std::unique_ptr<QTimer>> timers_;
};

} // namespace aurex

#include "app/timer_driver.h"

#include <QTimer>

#include "link/clock.h"

namespace aurex {

TimerDriver::TimerDriver(FormModel& form) : form_(form)
{
    for (Control* c : form.Controls()) {
        if (c->Kind() != ControlKind::Timer) {
            continue;
        }
        auto timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [c] { c->Fire(); });
        timers_.emplace(c, std::move(timer));
        Apply(*c);
    }
    form.AddListener(this);
}

TimerDriver::~TimerDriver()
{
    form_.RemoveListener(this);
}

void TimerDriver::ControlChanged(const FormModel&, const Control* control, ControlProperty what)
{
    if (control != nullptr && (what == ControlProperty::Enabled || what == ControlProperty::Interval)) {
        Apply(*control);
    }
}

void TimerDriver::Apply(const Control& timer)
{
    const auto it = timers_.find(&timer);
    if (it == timers_.end()) {
        return;
    }
    QTimer& t = *it->second;
    // Runs on the one scaled clock. A zero interval would fire on every pass of the event loop;
    // one millisecond is the least.
    const auto ms = Clock::TimerMilliseconds(timer.Interval() < 1 ? 1 : timer.Interval()).count();
    t.setInterval(static_cast<int>(ms < 1 ? 1 : ms));
    if (timer.Enabled()) {
        t.start();
    } else {
        t.stop();
    }
}

} // namespace aurex

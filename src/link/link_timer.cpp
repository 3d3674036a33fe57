#include "link/link_timer.h"

#include "link/clock.h"

namespace aurex {

ScaledTimer::ScaledTimer(QObject* parent) : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(Clock::TimerMilliseconds(interval_));
    connect(&timer_, &QTimer::timeout, this, &ScaledTimer::OnTimer);
}

void ScaledTimer::SetInterval(int milliseconds)
{
    if (milliseconds == interval_) {
        return;
    }
    interval_ = milliseconds;
    timer_.setInterval(Clock::TimerMilliseconds(milliseconds > 0 ? milliseconds : 0));
}

void ScaledTimer::SetEnabled(bool enabled)
{
    if (!enabled) {
        timer_.stop();
    } else if (!timer_.isActive()) {
        timer_.start();
    }
}

} // namespace aurex

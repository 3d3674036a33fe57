#include "link/link_timer.h"

#include "link/clock.h"

#include <algorithm>

namespace aurex {

ScaledTimer::ScaledTimer(QObject* parent) : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ScaledTimer::OnTimer);
}

void ScaledTimer::SetInterval(int milliseconds)
{
    // As the window toolkit's timer: a new interval restarts a running timer, the same one does not.
    const bool changed = milliseconds != interval_;
    interval_ = milliseconds;
    if (changed && timer_.isActive()) {
        timer_.start(Clock::TimerMilliseconds(std::max(interval_, 0)));
    }
}

void ScaledTimer::SetEnabled(bool enabled)
{
    if (!enabled) {
        timer_.stop();
    } else if (!timer_.isActive()) {
        // The scale is read when the timer starts, so a changed scale applies from the next start.
        timer_.start(Clock::TimerMilliseconds(std::max(interval_, 0)));
    }
}

} // namespace aurex

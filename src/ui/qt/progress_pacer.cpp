#include "ui/qt/progress_pacer.h"

#include <QProgressBar>

namespace aurex {

ProgressPacer::ProgressPacer(QProgressBar& bar, std::function<void()> shown)
    : QObject(&bar), bar_(bar), shown_(std::move(shown))
{
    later_.setSingleShot(true);
    QObject::connect(&later_, &QTimer::timeout, this, [this] { Apply(); });
}

void ProgressPacer::Show(int minimum, int maximum, int position)
{
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = position;
    if (later_.isActive()) {
        return; // the value waiting goes out with this one's numbers
    }
    const qint64 waited = since_.isValid() ? since_.elapsed() : kIntervalMs;
    if (waited >= kIntervalMs) {
        Apply();
    } else {
        later_.start(static_cast<int>(kIntervalMs - waited));
    }
}

void ProgressPacer::Apply()
{
    if (bar_.minimum() == minimum_ && bar_.maximum() == maximum_ && bar_.value() == position_) {
        return; // nothing new to draw or to say
    }
    since_.start();
    bar_.setRange(minimum_, maximum_);
    bar_.setValue(position_);
    shown_();
}

} // namespace aurex

#pragma once

#include <QCoreApplication>
#include <QEventLoop>

namespace aurex {

// The two kinds of turn a wait of the link makes in the event loop of the thread that owns the
// window.

// Runs whatever is pending without waiting.
inline void ProcessPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Blocks until something happens: a received byte, a timer, user input.
inline void BlockForEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace aurex

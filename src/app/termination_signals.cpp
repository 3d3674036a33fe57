#include "app/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <QSocketNotifier>

namespace aurex {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler may only write: the signal's number goes through a pipe that the event loop
// watches.
int g_pipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return; // the signals keep their default action
    }
    struct sigaction action
    {
    };
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals) {
        ::sigaction(s, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { HandlePending(); });
}

TerminationSignals::~TerminationSignals()
{
    for (const int s : kSignals) {
        std::signal(s, SIG_DFL);
    }
    notifier_.reset();
}

int TerminationSignals::PendingFd() const
{
    return g_pipe[0];
}

void TerminationSignals::HandlePending()
{
    unsigned char byte = 0;
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], &byte, 1) == 1) {
        onSignal_(byte);
    }
}

void TerminationSignals::EndWith(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace aurex

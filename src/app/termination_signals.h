#pragma once

// SIGINT, SIGTERM and SIGHUP (Ctrl-C, a shutdown, a closed terminal or a dropped remote session)
// as requests to stop, handled in the event loop: a signal that ended the program at once could
// leave a radio with half its codeplug written. SIGPIPE is ignored, so that a closed pipe on the
// output costs the output, not the run.

#include <functional>
#include <memory>

class QSocketNotifier;

namespace aurex {

class TerminationSignals
{
  public:
    // `onSignal` gets each signal's number, from the event loop (or from HandlePending).
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Readable while a signal waits to be handled: a prompt that blocks outside the event loop
    // watches it beside its input.
    int PendingFd() const;
    // Hands every signal that has come to `onSignal`.
    void HandlePending();

    // Ends the program as the signal's default action does, at once.
    [[noreturn]] static void EndWith(int signal);

  private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace aurex

#include "ui/console/console_host.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "app/code_down_pass_dlg.h"

namespace aurex {

namespace {

// Leaves room on an 80-column line for the run's time beside the bar.
constexpr int kConsoleBarWidth = 30;

} // namespace

std::string ProgressBarText(int position, int min, int max, int width)
{
    const int span = max > min ? max - min : 1;
    const int clamped = std::clamp(position, min, max);
    const int filled = static_cast<int>(static_cast<long long>(clamped - min) * width / span);
    const int percent = static_cast<int>(static_cast<long long>(clamped - min) * 100 / span);
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(width - filled), '.') + "] ";
    const std::string pct = std::to_string(percent);
    return bar + std::string(3 - std::min<std::size_t>(3, pct.size()), ' ') + pct + "%";
}

ConsoleHost::ConsoleHost(const ConsoleOptions& options, std::FILE* in, std::FILE* out)
    : options_(options), in_(in), out_(out), interactive_(::isatty(::fileno(out)) != 0)
{
}

void ConsoleHost::EndProgressLine()
{
    if (progressLineOpen_) {
        std::fputc('\n', out_);
        progressLineOpen_ = false;
    }
}

void ConsoleHost::WatchSignals(int pendingFd, std::function<void()> handle)
{
    signalFd_ = pendingFd;
    handleSignals_ = std::move(handle);
    // Unbuffered, so that what poll() says of the descriptor is all there is to read.
    std::setvbuf(in_, nullptr, _IONBF, 0);
}

void ConsoleHost::HandlePendingSignals()
{
    if (handleSignals_) {
        handleSignals_();
    }
}

// Waits until a line can be read or a signal has come; false for the signal, which is then
// handled (a prompt must not hold a Stop, or the end of the program, until Enter is pressed).
bool ConsoleHost::WaitForInput()
{
    if (signalFd_ < 0) {
        return true;
    }
    for (;;) {
        pollfd fds[2] = {{::fileno(in_), POLLIN, 0}, {signalFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue; // interrupted by the signal itself: its byte is there now
            }
            return true; // the read then tells what is wrong, rather than a loop that never ends
        }
        if ((fds[1].revents & POLLIN) != 0) {
            interrupted_ = true;
            if (handleSignals_) {
                handleSignals_();
            }
            return false;
        }
        if (fds[0].revents != 0) {
            return true;
        }
    }
}

std::string ConsoleHost::ReadLine(bool hidden)
{
    const int fd = ::fileno(in_);
    termios saved{};
    const bool restore = hidden && ::isatty(fd) != 0 && ::tcgetattr(fd, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    interrupted_ = false;
    for (;;) {
        if (!WaitForInput()) {
            line.clear();
            break;
        }
        const int c = std::fgetc(in_);
        if (c == EOF || c == '\n') {
            break;
        }
        if (line.size() < 4096) { // a prompt answer never needs more
            line.push_back(static_cast<char>(c));
        }
    }
    if (restore) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        std::fputc('\n', out_);
    }
    return line;
}

MessageAnswer ConsoleHost::ShowMessage(const FormModel&, const UiText& shownText, const UiText& shownCaption,
                                       MessageIcon icon, MessageButtons buttons)
{
    // Scripts read the console: it stays in the program's own words.
    const std::string text = shownText.Plain();
    const std::string caption = shownCaption.Plain();
    EndProgressLine();
    std::fprintf(out_, "\n== %.*s (%s) ==\n%.*s\n", static_cast<int>(caption.size()), caption.data(),
                 MessageIconName(icon), static_cast<int>(text.size()), text.data());
    if (buttons == MessageButtons::Ok) {
        if (!options_.yes && ::isatty(::fileno(in_)) != 0) {
            std::fputs("[Press Enter for OK] ", out_);
            std::fflush(out_);
            ReadLine(false);
            if (interrupted_) {
                std::fputc('\n', out_);
            }
        }
        std::fflush(out_);
        return MessageAnswer::Ok;
    }
    if (options_.yes) {
        std::fputs("[Yes/No] Yes (--yes)\n", out_);
        std::fflush(out_);
        return MessageAnswer::Yes;
    }
    for (;;) {
        std::fputs("[Yes/No] ", out_);
        std::fflush(out_);
        if (std::feof(in_)) {
            std::fputs("No (no input)\n", out_);
            return MessageAnswer::No;
        }
        const std::string answer = ReadLine(false);
        if (interrupted_) {
            std::fputs("No (stopped)\n", out_);
            return MessageAnswer::No;
        }
        if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") {
            return MessageAnswer::Yes;
        }
        if (answer == "n" || answer == "N" || answer == "no" || answer == "No" || std::feof(in_)) {
            return MessageAnswer::No;
        }
    }
}

void ConsoleHost::ShowModal(const FormModel&, FormModel& dialog)
{
    EndProgressLine();
    dialog.SetModalResult(ModalResult::None);
    dialog.FormActivate();
    if (auto* pass = dynamic_cast<TCodeDownPassDispDlg*>(&dialog)) {
        // The update password opens the program; the radio's own password is another secret.
        const std::optional<std::string>& given =
            pass->asksRadioPassword ? options_.radioPassword : options_.password;
        std::string typed;
        if (given && given->empty() && pass->asksRadioPassword) {
            // Handed over as "the radio has none": nobody is there to type one either.
            std::fputs("The radio asks for its codeplug password, and none was given.\n", out_);
            pass->BitBtn2.Click();
            return;
        }
        if (given) {
            typed = *given;
        } else {
            std::fprintf(out_, "%s\n%s ", pass->Caption().c_str(),
                         pass->asksRadioPassword ? "The radio asks for its codeplug password:"
                                                 : pass->Label1.Caption().c_str());
            std::fflush(out_);
            typed = ReadLine(true);
            if (pass->asksRadioPassword && typed.empty() && (interrupted_ || std::feof(in_))) {
                // Nobody there to type it: cancel rather than send an empty password.
                std::fputs("(no answer: give --radio-password)\n", out_);
                pass->BitBtn2.Click();
                return;
            }
        }
        pass->m_PasswordEdit.UserEdit(typed);
        pass->BitBtn1.Click();
        return;
    }
    std::fprintf(out_, "== %s ==\n", dialog.Caption().c_str());
    for (const Control* c : dialog.Controls()) {
        if (c->Kind() == ControlKind::Label) {
            std::fprintf(out_, "%s\n", c->Caption().c_str());
        }
    }
    dialog.SetModalResult(ModalResult::Ok);
}

void ConsoleHost::RequestClose(FormModel&) {}

void ConsoleHost::ControlChanged(const FormModel&, const Control* control, ControlProperty what)
{
    if (control == nullptr) {
        return;
    }
    const std::string& name = control->Name();
    if (what == ControlProperty::Enabled && name == "m_RunClockTimer") {
        RunClockChanged(control->Enabled());
        return;
    }
    if (what == ControlProperty::Position && name == "m_ProgressBar") {
        ShowProgress(*control);
        return;
    }
    if (what != ControlProperty::Caption) {
        return;
    }
    if (name == "m_StatusLabel") {
        ShowStatus(control->Caption());
    } else if (name == "m_RunTimeLabel") {
        timeText_ = control->Caption();
        if (interactive_ && progressLineOpen_ && runUnderWay_ && lastBar_ != nullptr) {
            ShowProgress(*lastBar_); // the clock goes on under a bar that stands still
        }
    } else if (name == "m_RunStepLabel") {
        stepText_ = control->Caption();
        if (!stepText_.empty()) {
            EndProgressLine();
            std::fprintf(out_, "%s\n", stepText_.c_str());
            std::fflush(out_);
        }
    } else if (name == "m_DisconnectLabel") {
        EndProgressLine();
        std::fprintf(out_, "%s\n", control->Caption().c_str());
        std::fflush(out_);
    }
}

void ConsoleHost::ShowStatus(const std::string& status)
{
    EndProgressLine();
    idleHeld_ = runUnderWay_ && !stepText_.empty() && status == "Idle";
    // Between two steps the run goes on: "Idle" would read as its end.
    std::fprintf(out_, "%s%s\n", idleHeld_ ? "" : "Status: ", idleHeld_ ? stepText_.c_str() : status.c_str());
    std::fflush(out_);
}

void ConsoleHost::RunClockChanged(bool running)
{
    runUnderWay_ = running;
    if (!running && idleHeld_) {
        EndProgressLine();
        std::fputs("Status: Idle\n", out_); // the run did end there
        std::fflush(out_);
    }
    idleHeld_ = false;
}

void ConsoleHost::ShowProgress(const Control& bar)
{
    lastBar_ = &bar;
    if (bar.Position() <= bar.Min() && lastPrintedPercent_ > 0) {
        // A new bar begins (or Stop emptied this one): the line keeps what the last one came to.
        EndProgressLine();
        lastPrintedPercent_ = 0;
        return;
    }
    const int span = bar.Max() > bar.Min() ? bar.Max() - bar.Min() : 1;
    const int percent = (bar.Position() - bar.Min()) * 100 / span;
    std::string line = ProgressBarText(bar.Position(), bar.Min(), bar.Max(), kConsoleBarWidth);
    if (runUnderWay_ && !timeText_.empty()) {
        line += "  " + timeText_;
    }
    if (interactive_) {
        // Spaces over what a longer line before left behind.
        const std::size_t length = line.size();
        if (progressLineOpen_ && length < progressLineLength_) {
            line.append(progressLineLength_ - length, ' ');
        }
        std::fprintf(out_, "\r%s", line.c_str());
        progressLineOpen_ = true;
        progressLineLength_ = length;
    } else if (percent / 10 != lastPrintedPercent_ / 10 || (percent == 100 && lastPrintedPercent_ != 100)) {
        // Not a terminal: one line per tenth, so logs stay short.
        std::fprintf(out_, "%s\n", line.c_str());
    }
    lastPrintedPercent_ = percent;
    std::fflush(out_);
}

} // namespace aurex

#include "ui/console/many_ports.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app/run_recorder.h"
#include "app/termination_signals.h"
#include "text/json_reader.h"
#include "transfer/password_encoding.h"
#include "ui/console/radio_password_input.h"

extern char** environ;

namespace aurex {

namespace {

// An event line is short; anything longer is not one of ours and is skipped whole.
constexpr std::size_t kMostLineBytes = 16 * 1024;
constexpr std::size_t kErrorTailBytes = 2048;
// A terminal is redrawn at most this often; a status change or an end is drawn at once.
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

std::optional<double> Number(const JsonValue* value)
{
    if (value == nullptr || value->kind != JsonValue::Kind::Number) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double n = std::strtod(value->text.c_str(), &end);
    if (end == value->text.c_str() || !std::isfinite(n)) {
        return std::nullopt;
    }
    return n;
}

std::string PortName(const std::array<std::string, 2>& port)
{
    return port[0] == "--port" ? "COM " + port[1] : port[1];
}

std::string LeftText(double seconds)
{
    const long s = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld left", s / 60, s % 60);
    return text;
}

std::string ResultWords(int status)
{
    if (status < 0) {
        return "ended by a signal";
    }
    return RunResultName(static_cast<RunResult>(status)) + " (" + std::to_string(status) + ")";
}

// Cuts at a character boundary, never inside a UTF-8 sequence.
std::string Clip(std::string text, std::size_t width)
{
    if (text.size() <= width) {
        return text;
    }
    std::size_t cut = width;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    text.resize(cut);
    return text;
}

std::string Padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

bool TakePortEvent(PortRun& run, std::string_view line)
{
    JsonLimits limits;
    limits.maxBytes = kMostLineBytes;
    const JsonParse parsed = ParseJson(line, limits);
    if (!parsed.value || parsed.value->kind != JsonValue::Kind::Object) {
        return false;
    }
    const JsonValue& event = *parsed.value;
    const JsonValue* name = event.Find("event");
    if (name == nullptr || name->kind != JsonValue::Kind::String) {
        return false;
    }
    if (name->text == "status") {
        const JsonValue* text = event.Find("text");
        if (text == nullptr || text->kind != JsonValue::Kind::String) {
            return false;
        }
        run.status = text->text;
        run.percent = -1;
        run.secondsLeft.reset();
        return true;
    }
    if (name->text == "progress") {
        const std::optional<double> done = Number(event.Find("done"));
        const std::optional<double> total = Number(event.Find("total"));
        if (done && total && *total > 0) {
            run.percent = static_cast<int>(std::clamp(*done * 100 / *total, 0.0, 100.0));
        }
        run.secondsLeft = Number(event.Find("left"));
        return true;
    }
    if (name->text == "result") {
        const JsonValue* code = event.Find("code");
        if (code == nullptr || !code->Integer()) {
            return false;
        }
        run.resultCode = static_cast<int>(*code->Integer());
        return true;
    }
    return false;
}

std::string PortRunLine(const PortRun& run, std::size_t nameWidth, std::size_t width)
{
    std::string line = Padded(run.name, nameWidth) + "  ";
    if (run.exitStatus) {
        line += "ended: " + ResultWords(*run.exitStatus) + (run.status.empty() ? "" : ", " + run.status);
        return Clip(line, width);
    }
    std::string tail;
    if (run.percent >= 0) {
        tail += " " + std::to_string(run.percent) + "%";
    }
    if (run.secondsLeft) {
        tail += "  " + LeftText(*run.secondsLeft);
    }
    const std::string status = run.status.empty() ? "starting..." : run.status;
    const std::size_t room = width > line.size() + tail.size() ? width - line.size() - tail.size() : 0;
    return Clip(line + Clip(status, room) + tail, width);
}

std::string ManyPortsSummary(const std::vector<PortRun>& runs)
{
    std::size_t nameWidth = 4;
    std::size_t resultWidth = 6;
    for (const PortRun& run : runs) {
        nameWidth = std::max(nameWidth, run.name.size());
        resultWidth = std::max(resultWidth, ResultWords(run.exitStatus.value_or(-1)).size());
    }
    std::string table =
        Padded("Port", nameWidth) + "  " + Padded("Result", resultWidth) + "  Duration  Last status\n";
    for (const PortRun& run : runs) {
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.1f s", run.seconds);
        table += Padded(run.name, nameWidth) + "  " +
                 Padded(ResultWords(run.exitStatus.value_or(-1)), resultWidth) + "  " + Padded(duration, 8) +
                 "  " + run.status + "\n";
    }
    return table;
}

int ManyPortsExitStatus(const std::vector<PortRun>& runs)
{
    int status = 0;
    for (const PortRun& run : runs) {
        const int code = run.exitStatus.value_or(1);
        if (code != 0) {
            status = code < 0 ? static_cast<int>(RunResult::Stopped) : code;
        }
    }
    return status;
}

std::vector<std::string> PortArguments(const std::vector<std::string>& args,
                                       const std::array<std::string, 2>& port)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--port" || args[i] == "--device" || args[i] == "--radio-password") &&
            i + 1 < args.size()) {
            ++i; // every port but this one's is left out; the radio password goes on the input
            continue;
        }
        if (args[i] != "--radio-password-input") {
            out.push_back(args[i]);
        }
    }
    if (std::find(out.begin(), out.end(), "--console") == out.end()) {
        out.insert(out.begin(), "--console");
    }
    out.insert(out.end(), {port[0], port[1], "--radio-password-input", "--json"});
    return out;
}

namespace {

struct Child
{
    PortRun run;
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::string outLine;
    bool skipping = false; // inside a line that grew too long
    std::chrono::steady_clock::time_point began;
};

void ClosePipe(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Starts one port's process: its standard input gives the password when one was typed, its
// output and errors come back through pipes. False with the reason in the run.
bool Spawn(Child& child, const std::string& program, const std::vector<std::string>& args,
           const std::string& input)
{
    int in[2];
    int out[2];
    int err[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        child.run.errorTail = std::strerror(errno);
        return false;
    }
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        child.run.errorTail = std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const int failed = ::posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (failed != 0) {
        child.run.errorTail = std::strerror(failed);
        ::close(in[1]);
        ::close(out[0]);
        ::close(err[0]);
        child.pid = -1;
        return false;
    }
    // A password is one short line: it fits the pipe, so this never blocks.
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) {
        child.run.errorTail = "the password could not be handed over";
    }
    ::close(in[1]);
    child.out = out[0];
    child.err = err[0];
    child.began = std::chrono::steady_clock::now();
    return true;
}

// Reads what is there; false at the end of the output.
bool ReadOutput(Child& child, bool& changed)
{
    char buffer[4096];
    const ssize_t n = ::read(child.out, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
        return true;
    }
    if (n <= 0) {
        return false;
    }
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c == '\n') {
            if (!child.skipping) {
                changed = TakePortEvent(child.run, child.outLine) || changed;
            }
            child.outLine.clear();
            child.skipping = false;
        } else if (!child.skipping) {
            child.outLine.push_back(c);
            if (child.outLine.size() > kMostLineBytes) {
                child.outLine.clear();
                child.skipping = true;
            }
        }
    }
    return true;
}

bool ReadErrors(Child& child)
{
    char buffer[4096];
    const ssize_t n = ::read(child.err, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
        return true;
    }
    if (n <= 0) {
        return false;
    }
    child.run.errorTail.append(buffer, static_cast<std::size_t>(n));
    if (child.run.errorTail.size() > kErrorTailBytes) {
        child.run.errorTail.erase(0, child.run.errorTail.size() - kErrorTailBytes);
    }
    return true;
}

std::string AskPassword(const char* prompt = "Password: ")
{
    const int fd = ::fileno(stdin);
    termios saved{};
    const bool terminal = ::isatty(fd) != 0 && ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    return line.substr(0, 4096);
}

// The radios' codeplug password, asked once for every port where someone can answer: each port's
// process meets its radio's request alone. Empty: the radios have none, or nobody can say.
std::string RadioPasswordForEveryPort(const ConsoleOptions& options)
{
    if (options.radioPassword) {
        return *options.radioPassword;
    }
    if (::isatty(::fileno(stdin)) == 0) {
        std::fputs(kNoRadioPasswordNotice, stderr);
        return {};
    }
    for (;;) {
        const std::string typed = AskPassword("Radio password (press Enter if the radios have none): ");
        if (IsRadioPasswordText(typed)) {
            return typed;
        }
        if (typed.empty() || !std::cin) {
            return {};
        }
        std::fputs("The radio's codeplug password is 1 to 8 digits (0 to 9).\n", stderr);
    }
}

class Display
{
  public:
    explicit Display(const std::vector<Child>& children)
        : children_(children), terminal_(::isatty(::fileno(stdout)) != 0)
    {
        for (const Child& c : children) {
            nameWidth_ = std::max(nameWidth_, c.run.name.size());
        }
        seen_.resize(children.size());
    }

    // A terminal shows one line per port, redrawn; anything else gets a line per change. False
    // when a redraw is left for later (too soon after the last one).
    bool Show(bool now)
    {
        if (terminal_) {
            const auto t = std::chrono::steady_clock::now();
            if (!now && drawn_ && t - lastDraw_ < kRedrawInterval) {
                return false;
            }
            lastDraw_ = t;
            if (drawn_) {
                std::printf("\x1b[%zuA", children_.size());
            }
            for (const Child& c : children_) {
                std::printf("\r\x1b[2K%s\n", PortRunLine(c.run, nameWidth_, 100).c_str());
            }
            drawn_ = true;
        } else {
            for (std::size_t i = 0; i < children_.size(); ++i) {
                const PortRun& run = children_[i].run;
                Seen& seen = seen_[i];
                if (run.status != seen.status || run.exitStatus != seen.exit ||
                    (run.percent >= 0 && run.percent / 10 != seen.percent / 10)) {
                    std::printf("%s\n", PortRunLine(run, nameWidth_, 200).c_str());
                    seen = {run.status, run.percent, run.exitStatus};
                }
            }
        }
        std::fflush(stdout);
        return true;
    }

  private:
    struct Seen
    {
        std::string status;
        int percent = -1;
        std::optional<int> exit;
    };
    const std::vector<Child>& children_;
    bool terminal_;
    bool drawn_ = false;
    std::size_t nameWidth_ = 0;
    std::chrono::steady_clock::time_point lastDraw_;
    std::vector<Seen> seen_;
};

} // namespace

int RunManyPorts(const std::string& program, const std::vector<std::string>& args,
                 const ConsoleOptions& options)
{
    // Each port's input: the radio password's line first (--radio-password-input), then the
    // update password when it was typed; neither goes on a command line.
    std::string input;
    if (!options.password) {
        input = AskPassword() + "\n";
    }
    input = RadioPasswordForEveryPort(options) + "\n" + input;
    std::vector<Child> children(options.ports.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        children[i].run.name = PortName(options.ports[i]);
    }
    Display display(children);
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (!Spawn(children[i], program, PortArguments(args, options.ports[i]), input)) {
            children[i].run.exitStatus = 1;
            children[i].run.status = "could not start: " + children[i].run.errorTail;
        }
    }

    // Ctrl-C, SIGTERM and SIGHUP go to every port: each stops its own run as it would alone.
    bool signalled = false;
    TerminationSignals signals([&](int signal) {
        for (const Child& c : children) {
            if (c.pid > 0 && !c.run.exitStatus) {
                ::kill(c.pid, signal);
            }
        }
        if (!signalled) {
            std::fputs("\nStopping every port...\n", stderr);
            signalled = true;
        }
    });

    display.Show(true);
    bool redrawDue = false;
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<Child*, bool>> owners; // the child, and whether it is its output
        for (Child& c : children) {
            if (c.out >= 0) {
                fds.push_back({c.out, POLLIN, 0});
                owners.emplace_back(&c, true);
            }
            if (c.err >= 0) {
                fds.push_back({c.err, POLLIN, 0});
                owners.emplace_back(&c, false);
            }
        }
        if (fds.empty()) {
            break;
        }
        fds.push_back({signals.PendingFd(), POLLIN, 0});
        const int timeoutMs = redrawDue ? static_cast<int>(kRedrawInterval.count()) : -1;
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if ((fds.back().revents & POLLIN) != 0) {
            signals.HandlePending();
        }
        bool changed = false;
        for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            Child& c = *owners[i].first;
            const bool open = owners[i].second ? ReadOutput(c, changed) : ReadErrors(c);
            if (!open) {
                ClosePipe(owners[i].second ? c.out : c.err);
            }
            if (c.out < 0 && c.err < 0 && c.pid > 0) {
                // Both pipes closed: the process has ended, or is about to.
                int status = 0;
                while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
                }
                c.run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
                c.run.seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - c.began).count();
                c.pid = -1;
                display.Show(true);
            }
        }
        redrawDue = (changed || redrawDue) && !display.Show(false);
    }
    std::vector<PortRun> runs;
    for (const Child& c : children) {
        runs.push_back(c.run);
    }
    std::printf("\n%s", ManyPortsSummary(runs).c_str());
    for (const PortRun& run : runs) {
        if (run.exitStatus.value_or(1) != 0 && !run.errorTail.empty()) {
            std::printf("\n%s, the end of its messages:\n%s\n", run.name.c_str(), run.errorTail.c_str());
        }
    }
    return ManyPortsExitStatus(runs);
}

} // namespace aurex

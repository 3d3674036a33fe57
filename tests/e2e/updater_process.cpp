#include "updater_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

namespace aurex::e2e {

std::vector<std::string> ConsoleRun::Statuses() const
{
    std::vector<std::string> statuses;
    std::size_t at = 0;
    while (at < output.size()) {
        std::size_t end = output.find('\n', at);
        if (end == std::string::npos) {
            end = output.size();
        }
        const std::string line = output.substr(at, end - at);
        if (line.rfind("Status: ", 0) == 0) {
            statuses.push_back(line.substr(8));
        }
        at = end + 1;
    }
    return statuses;
}

std::string ConsoleRun::LastStatus() const
{
    const auto statuses = Statuses();
    return statuses.empty() ? std::string() : statuses.back();
}

int ConsoleRun::LastProgressPercent() const
{
    const std::size_t bar = output.rfind("] ");
    const std::size_t percent = output.find('%', bar);
    if (bar == std::string::npos || percent == std::string::npos) {
        return -1;
    }
    return std::stoi(output.substr(bar + 2, percent - bar - 2));
}

namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra)
{
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        vars[entry.substr(0, entry.find('='))] = entry;
    }
    for (const std::string& entry : extra) {
        vars[entry.substr(0, entry.find('='))] = entry;
    }
    std::vector<std::string> out;
    for (auto& [name, entry] : vars) {
        out.push_back(entry);
    }
    return out;
}

} // namespace

ConsoleRun RunConsole(const ConsoleCommand& command,
                      const std::function<void(const std::string&, const Interrupt&)>& onLine)
{
    int in[2];
    int out[2];
    int err[2] = {-1, -1};
    if (::pipe(in) != 0 || ::pipe(out) != 0 || (command.separateErrors && ::pipe(err) != 0)) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    command.outputFile.empty() ? ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO)
                               : ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                                                    command.outputFile.c_str(), O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, command.separateErrors ? err[1] : out[1], STDERR_FILENO);
    ::posix_spawn_file_actions_addclose(&actions, in[1]);
    ::posix_spawn_file_actions_addclose(&actions, out[0]);
    if (command.separateErrors) {
        ::posix_spawn_file_actions_addclose(&actions, err[0]);
    }
    if (!command.workingDirectory.empty()) {
        ::posix_spawn_file_actions_addchdir_np(&actions, command.workingDirectory.c_str());
    }
    std::vector<std::string> args = command.args;
    std::string executable = command.executable;
    std::vector<char*> argv{executable.data()};
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env = MergedEnvironment(command.environment);
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (command.separateErrors) {
        ::close(err[1]);
    }
    if (spawned != 0) {
        ::close(in[1]);
        ::close(out[0]);
        if (command.separateErrors) {
            ::close(err[0]);
        }
        throw std::runtime_error("cannot start " + executable + ": " + std::strerror(spawned));
    }
    // The answers are short: they fit the pipe at once.
    if (!command.input.empty()) {
        [[maybe_unused]] const ssize_t w = ::write(in[1], command.input.data(), command.input.size());
    }
    ::close(in[1]);

    ConsoleRun run;
    run.pid = pid;
    if (command.started) {
        command.started(pid);
    }
    const Interrupt interrupt = [pid](int signal) { ::kill(pid, signal); };
    std::string pending;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(command.timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            run.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        if (::poll(p, err[0] >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left, 200))) <= 0) {
            continue;
        }
        char buffer[4096];
        if (err[0] >= 0 && p[1].revents != 0) {
            const ssize_t e = ::read(err[0], buffer, sizeof buffer);
            if (e > 0) {
                run.errors.append(buffer, static_cast<std::size_t>(e));
            } else {
                ::close(err[0]);
                err[0] = -1;
            }
        }
        if (p[0].revents == 0) {
            continue;
        }
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) {
            break; // the updater closed its output: it has ended
        }
        run.output.append(buffer, static_cast<std::size_t>(n));
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (onLine) {
                onLine(line, interrupt);
            }
        }
    }
    ::close(out[0]);
    // What is left of standard error once standard output has closed.
    while (err[0] >= 0) {
        char buffer[4096];
        pollfd p{err[0], POLLIN, 0};
        const ssize_t e = ::poll(&p, 1, 5000) > 0 ? ::read(err[0], buffer, sizeof buffer) : 0;
        if (e <= 0) {
            ::close(err[0]);
            err[0] = -1;
        } else {
            run.errors.append(buffer, static_cast<std::size_t>(e));
        }
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.processorSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return run;
}

} // namespace aurex::e2e

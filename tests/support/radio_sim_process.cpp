#include "support/radio_sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace aurex::test {

std::string RadioSimExecutable()
{
    if (const char* path = std::getenv("AUREX_RADIO_SIM"); path != nullptr && *path != '\0') {
        return path;
    }
    return AUREX_RADIO_SIM_EXECUTABLE;
}

RadioSimProcess::RadioSimProcess(const std::vector<std::string>& args, std::string executable)
{
    if (executable.empty()) {
        executable = RadioSimExecutable();
    }
    char logTemplate[] = "/tmp/aurex-radio-sim-log-XXXXXX";
    const int logFd = ::mkstemp(logTemplate);
    if (logFd < 0) {
        throw std::runtime_error(std::string("mkstemp: ") + std::strerror(errno));
    }
    logPath_ = logTemplate;
    int out[2];
    if (::pipe(out) != 0) {
        ::close(logFd);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, logFd, STDERR_FILENO);
    ::posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    argv.push_back(executable.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(logFd);
    if (spawned != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start " + executable + ": " + std::strerror(spawned));
    }
    pid_ = pid;

    // The first line is the device path.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.find('\n') == std::string::npos) {
        const std::string log = Log();
        Stop();
        throw std::runtime_error("aurex-radio-sim printed no device path; its log:\n" + log);
    }
    devicePath_ = line.substr(0, line.find('\n'));
}

RadioSimProcess::~RadioSimProcess()
{
    Stop();
    if (!logPath_.empty()) {
        std::remove(logPath_.c_str());
    }
}

int RadioSimProcess::WaitForExit(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
        int status = 0;
        rusage usage{};
        const pid_t r = ::wait4(pid_, &status, WNOHANG, &usage);
        if (r == pid_) {
            pid_ = -1;
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            processorSeconds_ = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return exitStatus_;
}

bool RadioSimProcess::Running()
{
    return WaitForExit(0) == -1 && pid_ > 0;
}

int RadioSimProcess::Stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        if (WaitForExit(10000) == -1) {
            ::kill(pid_, SIGKILL);
            WaitForExit(10000);
            exitStatus_ = -1;
        }
    }
    return exitStatus_;
}

std::string RadioSimProcess::Log() const
{
    std::ifstream in(logPath_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace aurex::test

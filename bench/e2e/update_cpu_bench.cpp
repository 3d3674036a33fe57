// A whole update of the carried application set by the real updater executable, through its
// console front end, against aurex-radio-sim pacing its pseudo-terminal at the line rate. The
// updater runs as a child process; its processor time comes from wait4 at the end and from
// /proc/<pid>/stat and its threads' schedstat, sampled every half second and at every status line,
// so each phase of the update (the paced flash transfer, the erase wait, the restart waits) gets
// its own share of a core. The fixed waits run at their real length (AUREX_TIME_SCALE 1) unless the
// environment says otherwise.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace aurex {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCom = 1;
constexpr const char* kPassword = "brontel";
constexpr int kSampleMs = 500;
constexpr double kRunLimitSeconds = 1800;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double RusageSeconds(const rusage& r)
{
    const auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return s(r.ru_utime) + s(r.ru_stime);
}

// utime + stime of every thread of the process, live or ended, in seconds; -1 once it is gone.
double ProcStatCpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(in, text);
    // The command name may hold spaces: the fields after it start behind its closing ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Time on a processor of the threads alive now, in seconds, to the nanosecond (stat counts in
// 10 ms ticks, too coarse for a half-second window of a quiet wait).
double TaskRuntimeSeconds(pid_t pid)
{
    std::error_code error;
    double total = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        unsigned long long ns = 0;
        if (in >> ns) {
            total += static_cast<double>(ns) * 1e-9;
        }
    }
    return total;
}

struct Sample
{
    double at = 0;      // seconds since the updater started
    double cpu = 0;     // its processor seconds so far (stat ticks)
    double runtime = 0; // the same from the threads' schedstat
};

Sample TakeSample(pid_t pid, double at)
{
    const double runtime = TaskRuntimeSeconds(pid);
    return {at, ProcStatCpuSeconds(pid), runtime};
}

struct StatusMark
{
    std::string text;
    Sample sample;
};

struct Child
{
    pid_t pid = -1;
    int out = -1; // its standard output and error
};

Child Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
            const fs::path& cwd, const fs::path& errorFile)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const int err =
            errorFile.empty() ? pipeFds[1] : ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, STDERR_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
            ::_exit(126);
        }
        for (const std::string& e : extraEnv) {
            const auto eq = e.find('=');
            ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// Reads what the child has written within timeoutMs; false at end of file.
bool ReadSome(int fd, int timeoutMs, std::string& into)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) {
        return true;
    }
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

struct SimulatedRadio
{
    explicit SimulatedRadio(const fs::path& folder)
    {
        log = folder / "sim.log";
        child = Spawn({AUREX_RADIO_SIM_PATH, "--pace", "on", "--boot-version", "4.0", "--format-after-update",
                       "5.10", "--time-scale", "1", "--dump-dir", (folder / "radio").string()},
                      {}, {}, log);
        std::string out;
        const auto start = Clock::now();
        while (out.find('\n') == std::string::npos && Since(start) < 10 && ReadSome(child.out, 200, out)) {
        }
        if (out.find('\n') == std::string::npos) {
            throw std::runtime_error("the simulated radio did not start");
        }
        device = out.substr(0, out.find('\n'));
    }
    ~SimulatedRadio()
    {
        ::kill(child.pid, SIGTERM);
        int status = 0;
        rusage usage{};
        ::wait4(child.pid, &status, 0, &usage);
        ::close(child.out);
    }
    Child child;
    std::string device;
    fs::path log;
};

struct Phase
{
    std::string status;
    double seconds = 0;
    double cpu = 0;               // stat ticks
    double runtime = 0;           // schedstat
    double peakWindowPercent = 0; // the busiest half-second sample within the phase (schedstat)
};

void WholeUpdate(benchmark::State& state)
{
    char name[] = "/tmp/aurex-update-bench-XXXXXX";
    const fs::path folder = ::mkdtemp(name);
    fs::create_directories(folder / "work");
    fs::create_directories(folder / "data");
    fs::create_directories(folder / "radio");
    const char* scaleText = std::getenv("AUREX_TIME_SCALE");
    const std::string scale = scaleText != nullptr ? scaleText : "1";

    int exitStatus = -1;
    double wall = 0;
    rusage usage{};
    std::vector<Sample> samples;
    std::vector<StatusMark> marks;
    std::string output;
    {
        SimulatedRadio radio(folder);
        for (auto _ : state) {
            const auto start = Clock::now();
            Child updater =
                Spawn({AUREX_UPDATER_PATH, "--console", "--port", std::to_string(kCom), "--yes", "--password",
                       kPassword},
                      {"AUREX_COM" + std::to_string(kCom) + "=" + radio.device, "AUREX_TIME_SCALE=" + scale,
                       "XDG_DATA_HOME=" + (folder / "data").string(), "QT_QPA_PLATFORM=offscreen"},
                      folder / "work", {});
            std::size_t scanned = 0;
            auto nextSample = Clock::now();
            bool open = true;
            while (open && Since(start) < kRunLimitSeconds) {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(nextSample - Clock::now()).count();
                open = ReadSome(updater.out, static_cast<int>(std::max<long long>(0, wait)), output);
                // Status lines, taken with the processor time at the moment they arrive.
                for (auto end = output.find('\n', scanned); end != std::string::npos;
                     end = output.find('\n', scanned)) {
                    std::string line = output.substr(scanned, end - scanned);
                    scanned = end + 1;
                    if (const auto cr = line.rfind('\r'); cr != std::string::npos) {
                        line = line.substr(cr + 1);
                    }
                    if (line.rfind("Status: ", 0) == 0) {
                        const Sample sample = TakeSample(updater.pid, Since(start));
                        if (sample.cpu >= 0) {
                            marks.push_back({line.substr(8), sample});
                        }
                    }
                }
                if (Clock::now() >= nextSample) {
                    const Sample sample = TakeSample(updater.pid, Since(start));
                    if (sample.cpu >= 0) {
                        samples.push_back(sample);
                    }
                    nextSample += std::chrono::milliseconds(kSampleMs);
                }
            }
            if (open) {
                ::kill(updater.pid, SIGKILL);
            }
            int status = 0;
            ::wait4(updater.pid, &status, 0, &usage);
            ::close(updater.out);
            wall = Since(start);
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            state.SetIterationTime(wall);
        }
    }

    std::size_t imageBytes = 0;
    for (const auto& entry : fs::directory_iterator(folder / "radio")) {
        const std::string file = entry.path().filename().string();
        if (file.find("-loader.bin") != std::string::npos || file.find("-code.bin") != std::string::npos) {
            imageBytes += entry.file_size();
        }
    }
    if (exitStatus != 0 || marks.empty() || marks.back().text != "Done.") {
        std::ifstream log(folder / "sim.log");
        std::stringstream text;
        text << log.rdbuf();
        fs::remove_all(folder);
        state.SkipWithError(("the update did not end with Done. (exit " + std::to_string(exitStatus) + ")\n" +
                             output.substr(output.size() > 4000 ? output.size() - 4000 : 0) + "\n" +
                             text.str())
                                .c_str());
        return;
    }
    fs::remove_all(folder);

    // Each status holds from its line to the next (the last to the exit).
    // The last status ends at the exit; its schedstat share is left out (the threads are gone).
    marks.push_back({"(exit)", {wall, RusageSeconds(usage), marks.back().sample.runtime}});
    std::vector<Phase> phases;
    for (std::size_t i = 0; i + 1 < marks.size(); ++i) {
        Phase p{marks[i].text, marks[i + 1].sample.at - marks[i].sample.at,
                marks[i + 1].sample.cpu - marks[i].sample.cpu,
                marks[i + 1].sample.runtime - marks[i].sample.runtime, 0};
        for (std::size_t k = 1; k < samples.size(); ++k) {
            if (samples[k - 1].at >= marks[i].sample.at && samples[k].at <= marks[i + 1].sample.at) {
                const double share =
                    (samples[k].runtime - samples[k - 1].runtime) / (samples[k].at - samples[k - 1].at);
                p.peakWindowPercent = std::max(p.peakWindowPercent, 100.0 * share);
            }
        }
        phases.push_back(p);
    }
    std::fprintf(stderr, "%-45s %8s %8s %7s %9s %8s %10s\n", "status", "seconds", "cpu_s", "cpu_%", "sched_s",
                 "sched_%", "peak_0.5s%");
    for (const Phase& p : phases) {
        const auto percent = [&p](double cpu) { return p.seconds > 0 ? 100.0 * cpu / p.seconds : 0.0; };
        std::fprintf(stderr, "%-45.45s %8.2f %8.3f %7.3f %9.4f %8.3f %10.2f\n", p.status.c_str(), p.seconds,
                     p.cpu, percent(p.cpu), p.runtime, percent(p.runtime), p.peakWindowPercent);
    }

    const auto phaseCounters = [&](const std::string& prefix, const std::string& name) {
        double seconds = 0;
        double cpu = 0;
        double runtime = 0;
        double peak = 0;
        for (const Phase& p : phases) {
            if (p.status.rfind(prefix, 0) == 0) {
                seconds += p.seconds;
                cpu += p.cpu;
                runtime += p.runtime;
                peak = std::max(peak, p.peakWindowPercent);
            }
        }
        state.counters[name + "_s"] = seconds;
        state.counters[name + "_cpu_percent"] = seconds > 0 ? 100.0 * cpu / seconds : 0.0;
        state.counters[name + "_sched_percent"] = seconds > 0 ? 100.0 * runtime / seconds : 0.0;
        state.counters[name + "_peak_0.5s_percent"] = peak;
    };
    const double cpu = RusageSeconds(usage);
    state.counters["image_bytes"] = static_cast<double>(imageBytes);
    state.counters["wall_s"] = wall;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
    state.counters["cpu_s_per_MB"] = imageBytes > 0 ? cpu / (static_cast<double>(imageBytes) / 1e6) : 0.0;
    state.counters["max_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    phaseCounters("Downloading Application code", "code_transfer");
    phaseCounters("Erasing flash", "erase_wait");
    phaseCounters("Resetting radio", "reset_wait");
    state.SetLabel("AUREX_TIME_SCALE=" + scale);
}

BENCHMARK(WholeUpdate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
} // namespace aurex

BENCHMARK_MAIN();

// Several radios updated at once: N copies of the updater's console front end run side by side,
// each against its own aurex-radio-sim pacing its own pseudo-terminal at the line rate, with the
// small application set of the end-to-end tests. Each radio's update time is set against the time
// of one radio alone (the run of one before it), and the processor time of every updater and every
// simulator comes from its end (wait4). Waits run at the end-to-end tests' time factor, which
// shortens the radio's erase and restart and the updater's fixed waits, never the line's pace.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "updater_process.h"

namespace aurex::e2e {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one;
    std::string five;
    std::string fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// One radio and the updater that updates it, each with folders of its own.
struct Station
{
    SimulatedRadio radio{{"--boot-version", "6.0", "--pace", "on"}};
    Scratch work{"work"};
    Scratch data{"data"};
    Scratch cache{"cache"};

    ConsoleRun run;
    Clock::time_point started;
    Clock::time_point ended;
    std::vector<std::pair<std::string, Clock::time_point>> statuses; // each status line as it came
    double radioProcessorSeconds = -1;

    void Update()
    {
        ConsoleCommand command;
        command.executable = AUREX_UPDATER_APPLICATION;
        command.args = {"--console", "--port", "1", "--password", "brontel"};
        command.environment = {"AUREX_COM1=" + radio.Device(), "AUREX_TIME_SCALE=" + kTimeScaleText,
                               "XDG_DATA_HOME=" + data.path.string(),
                               "XDG_CACHE_HOME=" + cache.path.string()};
        command.workingDirectory = work.path.string();
        command.timeoutMs = 600000;
        command.started = [this](int) { started = Clock::now(); };
        run = RunConsole(command, [this](const std::string& text, const Interrupt&) {
            // A progress bar redraws itself with carriage returns ahead of the next line.
            const auto cr = text.rfind('\r');
            const std::string line = cr == std::string::npos ? text : text.substr(cr + 1);
            if (line.rfind("Status: ", 0) == 0) {
                statuses.emplace_back(line.substr(8), Clock::now());
            }
        });
        ended = Clock::now();
    }

    double UpdateSeconds() const { return Seconds(ended - started); }

    // The phases whose status begins with `prefix`, each up to the next status.
    double PhaseSeconds(const std::string& prefix) const
    {
        double total = 0;
        for (std::size_t i = 0; i + 1 < statuses.size(); ++i) {
            if (statuses[i].first.rfind(prefix, 0) == 0) {
                total += Seconds(statuses[i + 1].second - statuses[i].second);
            }
        }
        return total;
    }

    // From the start of the process to its first transfer (the loader): starting up, extracting
    // the images and checking the radio.
    double StartSeconds() const
    {
        for (const auto& [status, at] : statuses) {
            if (status.rfind("Downloading", 0) == 0) {
                return Seconds(at - started);
            }
        }
        return 0;
    }

    // The code image at 115200 baud: where the line is busiest and the radio's pacing costs most.
    double CodeSeconds() const { return PhaseSeconds("Downloading Application code"); }

    // The phases that move bytes over the line (loader, code, the codeplug both ways and read
    // back), leaving out the erase and restart waits, which are fixed.
    double LineSeconds() const
    {
        return PhaseSeconds("Downloading") + PhaseSeconds("Uploading") + PhaseSeconds("Reading");
    }
};

// The single radio's times, for the ratios of the runs after it.
double g_singleUpdate = 0;
double g_singleLine = 0;
double g_singleCode = 0;

void UpdateAtOnce(benchmark::State& state)
{
    const auto radios = static_cast<std::size_t>(state.range(0));
    const Bytes code = SRecordData(ImageText(AUREX_SET_APPLICATION, "CODE"));
    std::vector<std::unique_ptr<Station>> stations;
    std::string loadBefore;
    std::string loadAfter;
    double wall = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < radios; ++i) {
            stations.push_back(std::make_unique<Station>());
        }
        loadBefore = LoadAverage();
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        for (auto& s : stations) {
            threads.emplace_back([&s] { s->Update(); });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        wall = Seconds(Clock::now() - start);
        loadAfter = LoadAverage();
        state.SetIterationTime(wall);
    }

    for (std::size_t i = 0; i < stations.size(); ++i) {
        Station& s = *stations[i];
        const bool done = s.run.exitStatus == 0 && s.run.LastStatus() == "Done.";
        const bool flashed = done && ReadBytes(s.radio.Dump("code")) == code;
        s.radioProcessorSeconds = s.radio.StopForProcessorSeconds();
        if (!done || !flashed) {
            state.SkipWithError(("radio " + std::to_string(i + 1) +
                                 ": the update did not end with Done. and the " + "code flashed (exit " +
                                 std::to_string(s.run.exitStatus) + ")\n" + s.run.output + "\n" +
                                 s.radio.Log())
                                    .c_str());
            return;
        }
    }

    if (radios == 1) {
        g_singleUpdate = stations[0]->UpdateSeconds();
        g_singleLine = stations[0]->LineSeconds();
        g_singleCode = stations[0]->CodeSeconds();
    }
    const auto ratio = [](double t, double single) { return single > 0 ? t / single : 0.0; };
    std::fprintf(stderr, "%zu at once, load average %s before, %s after\n", radios, loadBefore.c_str(),
                 loadAfter.c_str());
    std::fprintf(stderr, "%5s %9s %7s %8s %8s %7s %7s %7s %12s %10s %11s %9s\n", "radio", "update_s", "ratio",
                 "start_s", "line_s", "ratio", "code_s", "ratio", "updater_cpu", "updater_%", "radio_cpu_s",
                 "radio_%");
    double updaterCpu = 0;
    double radioCpu = 0;
    double worstUpdate = 0;
    double worstLine = 0;
    double worstCode = 0;
    double worstStart = 0;
    double meanUpdate = 0;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const Station& s = *stations[i];
        const double update = s.UpdateSeconds();
        std::fprintf(stderr, "%5zu %9.2f %7.4f %8.3f %8.2f %7.4f %7.3f %7.4f %12.3f %10.2f %11.3f %9.2f\n",
                     i + 1, update, ratio(update, g_singleUpdate), s.StartSeconds(), s.LineSeconds(),
                     ratio(s.LineSeconds(), g_singleLine), s.CodeSeconds(),
                     ratio(s.CodeSeconds(), g_singleCode), s.run.processorSeconds,
                     100.0 * s.run.processorSeconds / update, s.radioProcessorSeconds,
                     100.0 * s.radioProcessorSeconds / update);
        updaterCpu += s.run.processorSeconds;
        radioCpu += s.radioProcessorSeconds;
        worstUpdate = std::max(worstUpdate, update);
        worstLine = std::max(worstLine, s.LineSeconds());
        worstCode = std::max(worstCode, s.CodeSeconds());
        worstStart = std::max(worstStart, s.StartSeconds());
        meanUpdate += update / static_cast<double>(radios);
    }

    const auto perRadio = static_cast<double>(radios);
    state.counters["radios"] = perRadio;
    state.counters["update_mean_s"] = meanUpdate;
    state.counters["update_worst_s"] = worstUpdate;
    state.counters["update_worst_ratio"] = ratio(worstUpdate, g_singleUpdate);
    state.counters["line_worst_s"] = worstLine;
    state.counters["line_worst_ratio"] = ratio(worstLine, g_singleLine);
    state.counters["start_worst_s"] = worstStart;
    state.counters["code_worst_s"] = worstCode;
    state.counters["code_worst_ratio"] = ratio(worstCode, g_singleCode);
    state.counters["updater_cpu_s_per_radio"] = updaterCpu / perRadio;
    state.counters["radio_cpu_s_per_radio"] = radioCpu / perRadio;
    state.counters["updater_core_percent_per_radio"] = 100.0 * updaterCpu / perRadio / meanUpdate;
    state.counters["radio_core_percent_per_radio"] = 100.0 * radioCpu / perRadio / meanUpdate;
    state.counters["all_core_percent"] = 100.0 * (updaterCpu + radioCpu) / wall;
    state.SetLabel("load " + loadBefore + " / " + loadAfter);
}

} // namespace
} // namespace aurex::e2e

// 1, 2, 4 and 8 radios; AUREX_SCALE_MAX_RADIOS doubles on up to that many.
int main(int argc, char** argv)
{
    const char* maxText = std::getenv("AUREX_SCALE_MAX_RADIOS");
    const long most = maxText != nullptr ? std::max(1L, std::strtol(maxText, nullptr, 10)) : 8;
    auto* bench = benchmark::RegisterBenchmark("UpdateAtOnce", aurex::e2e::UpdateAtOnce);
    for (long radios = 1; radios <= most; radios *= 2) {
        bench->Arg(radios);
    }
    bench->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

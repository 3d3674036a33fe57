// What the link costs: processor time while a wait sits on a quiet line, and the turnaround from
// the last byte of a reply to the first byte of the next frame. Both over a pseudo-terminal pair.
#include "link/clock.h"
#include "link/radio_link.h"
#include "support/scripted_peer.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace aurex {
namespace {

constexpr int kCom = 7;

double ThreadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Rig
{
    explicit Rig(bool portPath) : com(kCom, pty.DevicePath())
    {
        link.commTimer = &commTimer;
        QObject::connect(&commTimer, &ScaledTimer::OnTimer, [this] { OnLinkCommTimer(link); });
        QObject::connect(&port, &ComPort::OnTriggerTimer,
                         [this](ComPort*, quint16) { OnLinkTriggerTimer(link); });
        std::string message;
        if (portPath) {
            port.SetComNumber(kCom);
            port.SetRS485Mode(true);
            opened = OpenComPortLink(link, port, message) == PortOpenResult::Opened;
        } else {
            opened = OpenDeviceLink(link, kCom, 19200, false, message) == PortOpenResult::Opened;
        }
        SetLinkFraming(link, kFramingFramed);
        SetLinkActive(link, true);
    }
    ~Rig() { CloseLink(link); }

    test::PtyPair pty;
    test::ScopedComOverride com;
    ComPort port;
    ScaledTimer commTimer;
    RadioLink link;
    bool opened = false;
};

// A 2-second wait for a reply that never comes.
void QuietWait(benchmark::State& state)
{
    const bool portPath = state.range(0) != 0;
    Rig rig(portPath);
    if (!rig.opened) {
        state.SkipWithError("link did not open");
        return;
    }
    // The port path waits its usual 4000 ms (72 ticks) here; half speed makes that 2 s as well.
    Clock::SetScale(portPath ? 0.5 : 1.0);
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        CreateLinkTimeout(rig.link, portPath ? 4000 : 2000);
        SetLinkActive(rig.link, true);
        const double cpu0 = ThreadCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ReceiveAnyPacket(rig.link));
        cpu += ThreadCpuSeconds() - cpu0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        ReleaseLinkTimeout(rig.link);
    }
    Clock::SetScale(1.0);
    state.counters["wait_s"] = wall / static_cast<double>(state.iterations());
    state.counters["cpu_ms"] = cpu * 1000 / static_cast<double>(state.iterations());
    state.counters["cpu_percent_of_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
}

// Request, reply, request, ...: the peer times from the end of its reply to the next frame's start.
void Turnaround(benchmark::State& state)
{
    const bool portPath = state.range(0) != 0;
    constexpr int kExchanges = 2000;
    Rig rig(portPath);
    if (!rig.opened) {
        state.SkipWithError("link did not open");
        return;
    }
    std::vector<double> micros;
    micros.reserve(kExchanges);
    const test::Bytes reply = test::RadioFrame({0x04, 0x2E, 0x01, 0x02});
    test::ScriptedPeer peer(rig.pty, [&](test::PeerIo& io) {
        bool replied = false;
        while (!io.Stopping()) {
            io.ReadFrame(2000);
            if (io.Stopping()) {
                break;
            }
            if (replied) {
                micros.push_back(
                    std::chrono::duration<double, std::micro>(io.LastReadStart() - io.LastWriteEnd())
                        .count());
            }
            io.Write(reply);
            replied = true;
        }
    });
    LinkPacket code;
    code.Append(0x04);
    code.Append(0x2E);
    CreateLinkTimeout(rig.link, 4000);
    int completed = 0;
    for (auto _ : state) {
        for (int i = 0; i < kExchanges; ++i) {
            SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
            completed += ReceiveReply(rig.link, code, 4, code, 4).status == LinkStatus::Completed ? 1 : 0;
        }
    }
    // One last request so the peer times the last reply too.
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    peer.Stop();
    ReleaseLinkTimeout(rig.link);
    std::sort(micros.begin(), micros.end());
    auto at = [&micros](double q) {
        return micros.empty()
                   ? 0.0
                   : micros[std::min(micros.size() - 1, static_cast<std::size_t>(q * micros.size()))];
    };
    state.counters["exchanges_ok"] = completed;
    state.counters["samples"] = static_cast<double>(micros.size());
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = micros.empty() ? 0.0 : micros.back();
}

BENCHMARK(QuietWait)->Arg(0)->Arg(1)->ArgName("port_path")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Turnaround)->Arg(0)->Arg(1)->ArgName("port_path")->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace aurex

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The carried application image (about 4 MB of data) downloaded to the simulated radio over its
// pseudo-terminal at 115200 baud: elapsed time against the time the protocol's own frame bytes
// (both ways) need on that line, and the processor time the updater spends. Once with the radio
// pacing the line at 115200 baud (no reply latency), once unpaced. Then a 512 KiB slice of the
// code image, paced, with the radio answering every message 0, 1 and 16 ms late (the range of
// USB serial adapters): each reply waited for costs the latency once more, so the second limit
// is line time plus latency times replies. Last the whole image at 1 and 16 ms. Apart, the slice
// paced with and without a line trace on the link recording to a file.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/clock.h"
#include "link/frame_codec.h"
#include "link/message_table.h"
#include "link/radio_link.h"
#include "programming/radio_programming.h"
#include "programming/srecord_writer.h"
#include "record/line_trace.h"
#include "support/pty_pair.h"
#include "support/radio_sim_process.h"
#include "text/hex.h"

namespace aurex {
namespace {

namespace fs = std::filesystem;

constexpr int kCom = 9;
constexpr double kLineBytesPerSecond = 115200.0 / 10;

double ProcessCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::size_t FrameSize(const LinkPacket& packet)
{
    const auto frame = BuildFrame(packet);
    return frame ? frame->size() : 0;
}

// The program's link, counting the frame bytes of every message each way (a reply frame from the
// radio has the same size as ours of the same message: its address bytes sum alike) and the time
// spent in the fixed erase wait, which is not line time.
class CountingChannel final : public ProgrammingLink
{
  public:
    explicit CountingChannel(RadioLink& link) : inner_(link) {}

    bool CreateTimeout(std::int32_t ms) override { return inner_.CreateTimeout(ms); }
    void ReleaseTimeout() override { inner_.ReleaseTimeout(); }
    void Send(const LinkPacket& packet) override
    {
        lineBytes += FrameSize(packet);
        inner_.Send(packet);
    }
    LinkReply ReceiveReply(const LinkPacket& expected, int expectedLength, const LinkPacket& alternate,
                           int alternateLength) override
    {
        return Counted(inner_.ReceiveReply(expected, expectedLength, alternate, alternateLength));
    }
    LinkReply ReceiveAnyPacket() override { return Counted(inner_.ReceiveAnyPacket()); }
    LinkStatus CurrentStatus() const override { return inner_.CurrentStatus(); }
    LinkCapabilities Capabilities() const override { return inner_.Capabilities(); }
    bool IsActive() const override { return inner_.IsActive(); }
    void ChangeBaudRate(std::int32_t baud) override
    {
        LinkPacket packet;
        InitMessage(packet, msg::kBaudRate);
        packet.Append(BaudSelector(baud));
        lineBytes += FrameSize(packet);
        inner_.ChangeBaudRate(baud);
    }
    void Pause(std::int32_t milliseconds) override
    {
        const auto start = std::chrono::steady_clock::now();
        const double cpu0 = ProcessCpuSeconds();
        inner_.Pause(milliseconds);
        pauseCpuSeconds += ProcessCpuSeconds() - cpu0;
        pauseSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    std::size_t lineBytes = 0;
    std::size_t replies = 0;
    double pauseSeconds = 0;
    double pauseCpuSeconds = 0;

  private:
    LinkReply Counted(LinkReply reply)
    {
        if (reply.status == LinkStatus::Completed) {
            lineBytes += FrameSize(reply.packet);
            ++replies;
        }
        return reply;
    }

    RadioLinkChannel inner_;
};

struct NoProgress final : ProgressDisplay
{
    void SetRange(int, int) override {}
    void SetPosition(int) override {}
};

// Data bytes of one S1/S2/S3 record (0 for any other line).
std::size_t RecordDataBytes(std::string_view line)
{
    if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') {
        return 0;
    }
    const std::optional<std::uint8_t> count = ParseHexByte(line[2], line[3]);
    const std::size_t overhead = SRecordAddressBytes(line[1]) + 1; // and the checksum byte
    return count && *count > overhead ? *count - overhead : 0;
}

bool IsEndRecord(std::string_view line)
{
    return line.size() >= 2 && line[0] == 'S' && line[1] >= '7' && line[1] <= '9';
}

std::size_t ImageDataBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::size_t total = 0;
    for (std::string line; std::getline(in, line);) {
        total += RecordDataBytes(line);
    }
    return total;
}

// Loader.hex and Code.hex as extraction makes them from the carried pieces, and Slice.hex: the
// header and the first data records of Code.hex up to kSliceBytes of data, then Code.hex's own
// end record.
constexpr std::size_t kSliceBytes = 512 * 1024;

struct CarriedImages
{
    CarriedImages()
    {
        const fs::path blobs = AUREX_CARRIED_SET_DIR;
        char name[] = "/tmp/aurex-flash-bench-XXXXXX";
        folder = ::mkdtemp(name);
        fs::copy_file(blobs / "LOADER_1", folder / "Loader.hex");
        {
            std::ofstream code(folder / "Code.hex", std::ios::binary);
            for (int i = 1; fs::exists(blobs / ("CODE_" + std::to_string(i))); ++i) {
                std::ifstream piece(blobs / ("CODE_" + std::to_string(i)), std::ios::binary);
                code << piece.rdbuf();
            }
        }
        loaderBytes = ImageDataBytes(folder / "Loader.hex");
        codeBytes = ImageDataBytes(folder / "Code.hex");
        WriteSlice();
    }
    ~CarriedImages() { fs::remove_all(folder); }

    void WriteSlice()
    {
        std::ifstream code(folder / "Code.hex", std::ios::binary);
        std::string end;
        for (std::string line; std::getline(code, line);) {
            if (IsEndRecord(line)) {
                end = line;
            }
        }
        code.clear();
        code.seekg(0);
        std::ofstream slice(folder / "Slice.hex", std::ios::binary);
        for (std::string line; sliceBytes < kSliceBytes && std::getline(code, line);) {
            if (IsEndRecord(line)) {
                break;
            }
            sliceBytes += RecordDataBytes(line);
            slice << line << '\n';
        }
        slice << end << '\n';
    }

    fs::path folder;
    std::size_t loaderBytes = 0;
    std::size_t codeBytes = 0;
    std::size_t sliceBytes = 0;
};

CarriedImages& Images()
{
    static CarriedImages images;
    return images;
}

// Downloads Loader.hex and the code image `codeFile` (codeBytes of data) once.
void RunDownload(benchmark::State& state, const std::string& codeFile, std::size_t codeBytes, bool paced,
                 int latencyMs, bool traced = false)
{
    const CarriedImages& images = Images();
    // Radio platform 0: the shortest erase wait that still covers the radio's erase.
    test::RadioSimProcess sim({"--pace", paced ? "on" : "off", "--latency-ms", std::to_string(latencyMs),
                               "--erase-ms", "500", "--restart-ms", "100", "--time-scale", "1"});
    test::ScopedComOverride com(kCom, sim.DevicePath());
    ScaledTimer commTimer;
    RadioLink link;
    link.commTimer = &commTimer;
    QObject::connect(&commTimer, &ScaledTimer::OnTimer, [&link] { OnLinkCommTimer(link); });
    std::string message;
    if (OpenDeviceLink(link, kCom, 19200, false, message) != PortOpenResult::Opened) {
        state.SkipWithError(message.c_str());
        return;
    }
    SetLinkFraming(link, kFramingFramed);
    SetLinkActive(link, true);
    ChangeBaudRate(link, 115200);
    // The trace as a run would have it: watching the link, every line going to a file.
    std::unique_ptr<LineTrace> trace;
    const fs::path tracePath = images.folder / "trace.txt";
    if (traced) {
        trace = std::make_unique<LineTrace>();
        std::string error;
        if (!trace->RecordTo(tracePath.string(), {ExistingFile::Replace}, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        link.watch = trace.get();
    }

    ProgrammingStatus status = ProgrammingStatus::TimedOut;
    double elapsed = 0;
    double cpu = 0;
    CountingChannel channel(link);
    for (auto _ : state) {
        std::ifstream loader(images.folder / "Loader.hex");
        std::ifstream code(images.folder / codeFile);
        NoProgress progress;
        const double cpu0 = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        status = DownloadCode(
            channel, loader, code, [](const std::string&) {}, 0, progress, false);
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu = ProcessCpuSeconds() - cpu0;
        state.SetIterationTime(elapsed);
    }
    CloseLink(link);
    sim.Stop();
    if (trace) {
        trace->Close();
        if (!trace->FileError().empty()) {
            state.SkipWithError(("trace file: " + trace->FileError()).c_str());
            return;
        }
        const TraceCounts counts = trace->Counts();
        state.counters["trace_lines"] = static_cast<double>(counts.sent + counts.heard + counts.timeOuts);
        state.counters["trace_file_bytes"] = static_cast<double>(fs::file_size(tracePath));
        fs::remove(tracePath);
    }
    if (status != ProgrammingStatus::Success) {
        state.SkipWithError(
            ("download failed with status " + std::to_string(static_cast<int>(status)) + "\n" + sim.Log())
                .c_str());
        return;
    }
    const double dataMegabytes = static_cast<double>(images.loaderBytes + codeBytes) / 1e6;
    const double lineTime = static_cast<double>(channel.lineBytes) / kLineBytesPerSecond;
    const double latencyLimit = lineTime + static_cast<double>(channel.replies) * latencyMs / 1000.0;
    const double transfer = elapsed - channel.pauseSeconds;
    const double transferCpu = cpu - channel.pauseCpuSeconds;
    state.counters["data_bytes"] = static_cast<double>(images.loaderBytes + codeBytes);
    state.counters["frame_bytes"] = static_cast<double>(channel.lineBytes);
    state.counters["replies"] = static_cast<double>(channel.replies);
    state.counters["line_limit_s"] = lineTime;
    state.counters["latency_limit_s"] = latencyLimit;
    state.counters["transfer_s"] = transfer;
    state.counters["erase_wait_s"] = channel.pauseSeconds;
    state.counters["ratio_of_limit"] = lineTime / transfer;
    state.counters["ratio_of_latency_limit"] = latencyLimit / transfer;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_percent_of_core"] = 100.0 * cpu / elapsed;
    // The transfer alone (the erase wait taken out), and the quiet erase wait by itself.
    state.counters["transfer_cpu_percent"] = 100.0 * transferCpu / transfer;
    state.counters["transfer_cpu_ms_per_MB"] = 1000.0 * transferCpu / dataMegabytes;
    state.counters["wait_cpu_percent"] =
        channel.pauseSeconds > 0 ? 100.0 * channel.pauseCpuSeconds / channel.pauseSeconds : 0.0;
    // The simulated radio's own processor time, from its start to its end, against the download's.
    state.counters["radio_cpu_s"] = sim.ProcessorSeconds();
    state.counters["radio_cpu_percent_of_core"] = 100.0 * sim.ProcessorSeconds() / elapsed;
}

void CarriedApplicationDownload(benchmark::State& state)
{
    RunDownload(state, "Code.hex", Images().codeBytes, state.range(0) != 0, 0);
}

// Paced, with the radio answering every message the given milliseconds late.
void CodeSliceDownload(benchmark::State& state)
{
    RunDownload(state, "Slice.hex", Images().sliceBytes, true, static_cast<int>(state.range(0)));
}

// The whole image, paced, at a USB adapter's latency timer: 1 ms asked for low latency, 16 ms its
// default.
void CarriedApplicationLatency(benchmark::State& state)
{
    RunDownload(state, "Code.hex", Images().codeBytes, true, static_cast<int>(state.range(0)));
}

// The slice, paced, without (0) and with (1) a line trace recording to a file: what the trace
// costs the transfer.
void TracedSliceDownload(benchmark::State& state)
{
    RunDownload(state, "Slice.hex", Images().sliceBytes, true, 0, state.range(0) != 0);
}

BENCHMARK(CarriedApplicationDownload)
    ->ArgName("paced")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(CodeSliceDownload)
    ->ArgName("latency_ms")
    ->Arg(0)
    ->Arg(1)
    ->Arg(16)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(CarriedApplicationLatency)
    ->ArgName("latency_ms")
    ->Arg(1)
    ->Arg(16)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(TracedSliceDownload)
    ->ArgName("traced")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

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

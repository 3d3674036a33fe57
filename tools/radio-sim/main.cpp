// aurex-radio-sim: the simulated radio on a pseudo-terminal or a serial device. Everything the
// radio does is in RadioLine; this file only moves bytes, time and files in and out of it.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codeplug_source.h"
#include "link/time_scale.h"
#include "radio_line.h"
#include "radio_profile.h"
#include "serial_end.h"

namespace aurex::sim {
namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

bool InstallSignalHandlers(std::string& error)
{
    if (::pipe(g_signalPipe) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    for (int fd : g_signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A program that vanishes mid-write must not kill the radio.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

void Log(SimTime at, const std::string& text)
{
    std::fprintf(stderr, "[%9.3f] %s\n", static_cast<double>(at.count()) / 1e6, text.c_str());
}

class DumpWriter
{
  public:
    explicit DumpWriter(std::string dir) : dir_(std::move(dir)) {}

    void Write(SimTime at, const SimReport::File& file)
    {
        if (dir_.empty()) {
            return;
        }
        std::error_code ec;
        std::filesystem::create_directories(dir_, ec);
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%02u-", ++count_);
        const std::filesystem::path path = std::filesystem::path(dir_) / (prefix + file.kind + ".bin");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.bytes.data()),
                  static_cast<std::streamsize>(file.bytes.size()));
        out.close();
        Log(at, (out ? "wrote " : "could not write ") + path.string() + " (" +
                    std::to_string(file.bytes.size()) + " bytes)");
    }

  private:
    std::string dir_;
    unsigned count_ = 0;
};

std::string Describe(const RadioProfile& profile, const SimulatedRadio& radio, std::size_t codeplugBytes)
{
    const char* interface = profile.interface == Interface::Box      ? "interface box"
                            : profile.interface == Interface::Direct ? "direct cable"
                                                                     : "half-duplex cable";
    const auto format = radio.Format();
    return std::string("radio in ") + RadioStateName(radio.State()) + " at " + std::to_string(radio.Baud()) +
           " baud, " + interface + ", codeplug of " + std::to_string(codeplugBytes) + " bytes, format " +
           std::to_string(format[0]) + "." + std::to_string(format[1]) +
           (profile.pace ? ", paced at the line speed" : "") +
           (profile.noiseDrop > 0 || profile.noiseCorrupt > 0
                ? ", noise: bytes lost at " + std::to_string(profile.noiseDrop) + ", changed at " +
                      std::to_string(profile.noiseCorrupt) + ", seed " + std::to_string(profile.noiseSeed)
                : std::string());
}

int Serve(const RadioProfile& profile, const std::vector<std::uint8_t>& codeplug)
{
    std::string error;
    if (!InstallSignalHandlers(error)) {
        std::fprintf(stderr, "aurex-radio-sim: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<SerialEnd> end = profile.port.empty() ? SerialEnd::OpenPseudoTerminal(error)
                                                          : SerialEnd::OpenDevice(profile.port, error);
    if (!end) {
        std::fprintf(stderr, "aurex-radio-sim: %s\n", error.c_str());
        return 1;
    }
    // Looked at before anyone can know the path: every byte the program sends comes later.
    int sendBefore = end->ProgramTransmitBaud();
    std::printf("%s\n", end->ProgramPath().c_str());
    std::fflush(stdout);

    // A paced line wakes on the microsecond: the kernel's default slack would let every wake
    // run up to 50 us late, once at the end of each frame and of each reply.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [start] {
        return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now() - start);
    };
    RadioLine line(profile, codeplug);
    DumpWriter dumps(profile.dumpDir);
    Log(SimTime{}, Describe(profile, line.Radio(), codeplug.size()));

    std::vector<std::uint8_t> pending; // taken from the line, not yet written
    std::size_t pendingOffset = 0;
    // The end was opened at 19200: a radio that starts elsewhere sets its speed on the first turn.
    int radioBaud = kStartBaud;
    std::vector<std::uint8_t> buffer(RadioLine::kInboundCapacity);

    while (true) {
        SimTime now = elapsed();
        line.Advance(now);
        if (pendingOffset == pending.size()) {
            pending.clear();
            pendingOffset = 0;
            // A device changes speed between what the radio sent before and after the switch.
            if (line.RadioBaud() != radioBaud) {
                radioBaud = line.RadioBaud();
                if (const int e = end->SetRadioBaud(radioBaud); e != 0) {
                    Log(now, std::string("cannot set the line speed: ") + std::strerror(e));
                }
            }
            line.TakeOutput(now, end->ProgramReceiveBaud(), pending);
        }
        // Files first: whoever reads the log for the end of an image finds its dump complete.
        for (const SimReport::File& f : line.Report().TakeFiles()) {
            dumps.Write(now, f);
        }
        for (const SimReport::Line& l : line.Report().TakeLines()) {
            if (!l.trace || profile.verbose) {
                Log(l.at, l.text);
            }
        }
        while (pendingOffset < pending.size()) {
            const ssize_t n =
                ::write(end->Fd(), pending.data() + pendingOffset, pending.size() - pendingOffset);
            if (n > 0) {
                pendingOffset += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                Log(now, std::string("write failed: ") + std::strerror(errno));
                return 1;
            }
            break;
        }
        if (line.Closed() && pendingOffset == pending.size()) {
            end->Drain(2000);
            end->Close();
            Log(now, "line closed");
            return 0;
        }

        // In microseconds: a paced byte lasts 87 us at 115200 baud, and waking only on whole
        // milliseconds would hold every reply up to 1 ms past its time.
        long long timeoutUs = -1;
        // While the program does not take what is written, only the radio's own work can wake us.
        const bool blocked = pendingOffset < pending.size();
        if (const auto next = line.NextEvent(!blocked)) {
            const auto wait = *next - now;
            timeoutUs = wait.count() <= 0 ? 0 : std::min<long long>(wait.count(), 60'000'000);
        }
        if (!blocked && line.RadioBaud() != radioBaud) {
            timeoutUs = 0; // a speed change waits only for the bytes sent before it
        }
        timespec timeout{static_cast<time_t>(timeoutUs / 1'000'000),
                         static_cast<long>(timeoutUs % 1'000'000) * 1000};
        const std::size_t room = line.InboundRoom();
        pollfd fds[2] = {};
        fds[0].fd = end->Fd();
        fds[0].events =
            static_cast<short>((room > 0 ? POLLIN : 0) | (pendingOffset < pending.size() ? POLLOUT : 0));
        fds[1].fd = g_signalPipe[0];
        fds[1].events = POLLIN;
        const int ready = ::ppoll(fds, 2, timeoutUs < 0 ? nullptr : &timeout, nullptr);
        if (ready < 0 && errno != EINTR) {
            Log(elapsed(), std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (ready <= 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            Log(elapsed(), "stopped");
            return 0;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            // The speeds just before and just after the read bracket the sending of what it
            // returns; the speed just before a read that drains the line also comes before
            // everything sent after it.
            const std::size_t want = std::min(room, buffer.size());
            const int beforeRead = end->ProgramTransmitBaud();
            const ssize_t n = ::read(end->Fd(), buffer.data(), want);
            if (n > 0) {
                const int sendNow = end->ProgramTransmitBaud();
                line.FromProgram(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)),
                                 sendBefore, sendNow, elapsed());
                if (static_cast<std::size_t>(n) < want) {
                    sendBefore = beforeRead;
                }
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                Log(elapsed(), "the line hung up");
                return 1;
            }
        } else if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            Log(elapsed(), "the line hung up");
            return 1;
        }
    }
}

} // namespace
} // namespace aurex::sim

int main(int argc, char** argv)
{
    using namespace aurex::sim;
    RadioProfile profile;
    // Read as the program reads it, so both wait alike; --time-scale may override it.
    const aurex::TimeScaleReading scale = aurex::ReadTimeScale(std::getenv("AUREX_TIME_SCALE"));
    if (!scale.warning.empty()) {
        std::fprintf(stderr, "aurex-radio-sim: %s\n", scale.warning.c_str());
    }
    profile.timeScale = scale.factor;
    const ParseResult parsed = ParseCommandLine(profile, std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.kind == ParseResult::Kind::Help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (parsed.kind == ParseResult::Kind::Error) {
        std::fprintf(stderr, "aurex-radio-sim: %s\n", parsed.error.c_str());
        return 2;
    }
    std::vector<std::uint8_t> codeplug;
    if (profile.codeplugFile.empty()) {
        codeplug = DefaultCodeplug();
    } else {
        std::string error;
        codeplug = LoadCodeplugFile(profile.codeplugFile, error);
        if (codeplug.empty()) {
            std::fprintf(stderr, "aurex-radio-sim: %s\n", error.c_str());
            return 2;
        }
    }
    return Serve(profile, codeplug);
}

// POSIX serial calls (termios, ioctl, open). The only file, with the termios set-up it shares
// (serial_termios.cpp, serial_baud_linux.cpp), that talks to the operating system about serial
// devices.
#include "link/serial_system.h"

#include "link/clock.h"
#include "link/serial_baud_linux.h"
#include "link/serial_termios.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace aurex {

namespace {

std::string SystemText(int error)
{
    return std::strerror(error);
}

PortOpenResult FailureFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortOpenResult::NotPresent;
    case EBUSY:
    case EWOULDBLOCK:
        return PortOpenResult::InUse;
    case EACCES:
    case EPERM:
        return PortOpenResult::PermissionDenied;
    default:
        return PortOpenResult::Failed;
    }
}

int Fd(SerialHandle handle)
{
    return static_cast<int>(handle);
}

// Waits until the descriptor is ready for the given events or the deadline passes.
bool WaitReady(int fd, short events, const Deadline& deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, deadline.RemainingMilliseconds());
        if (n > 0) {
            return (p.revents & events) != 0;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

class PosixSerialSystem final : public SerialSystem
{
  public:
    SerialOpenResult Open(const std::string& devicePath) override
    {
        SerialOpenResult result;
        if (devicePath.empty()) {
            result.outcome = PortOpenResult::NotPresent;
            result.message = "no device for this port";
            return result;
        }
        const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            result.outcome = FailureFromErrno(error);
            result.message = SystemText(error);
            return result;
        }
        termios t{};
        if (::tcgetattr(fd, &t) != 0) {
            const int error = errno;
            ::close(fd);
            result.outcome = PortOpenResult::Failed;
            result.message = devicePath + " is not a serial device (" + SystemText(error) + ")";
            return result;
        }
        // flock holds against every other process, root included; TIOCEXCL adds the tty's own
        // guard against programs that do not lock.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            result.outcome = error == EWOULDBLOCK ? PortOpenResult::InUse : FailureFromErrno(error);
            result.message = SystemText(error);
            return result;
        }
        ::ioctl(fd, TIOCEXCL);
        ForgetCounters(fd);
        KeepLineSettings(fd, t);
        result.handle = fd;
        return result;
    }

    PortOpenResult Probe(const std::string& devicePath) override
    {
        SerialOpenResult opened = Open(devicePath);
        if (opened.outcome != PortOpenResult::Opened) {
            return opened.outcome;
        }
        Close(opened.handle);
        return PortOpenResult::Opened;
    }

    SerialResult ClaimExclusive(SerialHandle handle) override
    {
        if (::flock(Fd(handle), LOCK_EX | LOCK_NB) != 0) {
            return SerialResult::Failed(SystemText(errno));
        }
        return SerialResult::Ok();
    }

    void Close(SerialHandle handle) override
    {
        if (handle == kNoSerialHandle) {
            return;
        }
        RestoreLowLatency(handle);
        ForgetCounters(Fd(handle));
        RestoreLineSettings(Fd(handle));
        ::ioctl(Fd(handle), TIOCNXCL);
        ::close(Fd(handle));
    }

    LowLatencyResult RequestLowLatency(SerialHandle handle) override
    {
        const int fd = Fd(handle);
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
            return LowLatencyResult::Refused(SystemText(errno));
        }
        if ((serial.flags & ASYNC_LOW_LATENCY) != 0) {
            return LowLatencyResult::AlreadyOn();
        }
        const int previous = serial.flags;
        serial.flags |= ASYNC_LOW_LATENCY;
        if (::ioctl(fd, TIOCSSERIAL, &serial) != 0) {
            return LowLatencyResult::Refused(SystemText(errno));
        }
        std::lock_guard lock(mutex_);
        previousFlags_[fd] = previous;
        return LowLatencyResult::Set();
    }

    void RestoreLowLatency(SerialHandle handle) override
    {
        const int fd = Fd(handle);
        const std::optional<int> previous = Take(previousFlags_, fd);
        if (!previous) {
            return;
        }
        // Only our bit goes back; whatever else changed meanwhile stays. A device that has gone
        // refuses, and there is nothing left to restore then.
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (*previous & ASYNC_LOW_LATENCY);
            ::ioctl(fd, TIOCSSERIAL, &serial);
        }
    }

    bool OffersRs485(SerialHandle handle) override
    {
        serial_rs485 rs485{};
        return ::ioctl(Fd(handle), TIOCGRS485, &rs485) == 0;
    }

    SerialResult Configure(SerialHandle handle, const SerialConfig& config) override
    {
        const int fd = Fd(handle);
        termios t{};
        if (::tcgetattr(fd, &t) != 0) {
            return SerialResult::Failed(SystemText(errno));
        }
        MakeRaw(t);
        SetFrame(t, config.dataBits, config.parity, config.parityCheck, config.stopBits);
        // Linux has one switch for both RTS/CTS directions; the CTS side is what holds output.
        SetFlowControl(t, config.ctsOutputFlow && config.rtsHandshake, config.xonXoffOut, config.xonXoffIn);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        const bool custom = !SetStandardSpeed(t, config.baudRate);
        if (::tcsetattr(fd, TCSANOW, &t) != 0) {
            return SerialResult::Failed(SystemText(errno));
        }
        if (custom) {
            if (int error = SetLineSpeed(fd, config.baudRate); error != 0) {
                return SerialResult::Failed("baud rate " + std::to_string(config.baudRate) + ": " +
                                            SystemText(error));
            }
        }
        return SerialResult::Ok();
    }

    int BytesQueued(SerialHandle handle) override
    {
        int queued = 0;
        if (::ioctl(Fd(handle), FIONREAD, &queued) != 0) {
            return -1;
        }
        return queued;
    }

    std::uint32_t TakeLineErrors(SerialHandle handle) override
    {
        serial_icounter_struct now{};
        if (::ioctl(Fd(handle), TIOCGICOUNT, &now) != 0) {
            return 0; // pseudo-terminals and some adapters keep no counts
        }
        std::lock_guard lock(mutex_);
        auto [it, fresh] = counters_.try_emplace(Fd(handle), now);
        if (fresh) {
            return 0;
        }
        const serial_icounter_struct before = it->second;
        it->second = now;
        std::uint32_t flags = 0;
        if (now.brk != before.brk)
            flags |= kLineBreak;
        if (now.frame != before.frame)
            flags |= kLineFraming;
        if (now.overrun != before.overrun)
            flags |= kLineOverrun;
        if (now.parity != before.parity)
            flags |= kLineParity;
        if (now.buf_overrun != before.buf_overrun)
            flags |= kLineReceiveOverflow;
        return flags;
    }

    bool WaitForInput(SerialHandle handle, int milliseconds) override
    {
        return WaitReady(Fd(handle), POLLIN, Deadline(Clock::Milliseconds(std::max(0, milliseconds))));
    }

    long Read(SerialHandle handle, void* buffer, std::size_t count, const SerialTimeouts& timeouts) override
    {
        const int fd = Fd(handle);
        auto* out = static_cast<unsigned char*>(buffer);
        std::size_t done = 0;
        const Deadline deadline(Clock::Milliseconds(static_cast<std::int64_t>(timeouts.readTotalMultiplier) *
                                                        static_cast<std::int64_t>(count) +
                                                    timeouts.readTotalConstant));
        while (done < count) {
            const ssize_t n = ::read(fd, out + done, count - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n == 0) {
                break; // hung up
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN) {
                return done > 0 ? static_cast<long>(done) : -1;
            }
            // Nothing more queued: wait only as long as the time-outs allow.
            if (deadline.Expired() || !WaitReady(fd, POLLIN, deadline)) {
                break;
            }
        }
        return static_cast<long>(done);
    }

    long Write(SerialHandle handle, const void* data, std::size_t count,
               const SerialTimeouts& timeouts) override
    {
        const int fd = Fd(handle);
        const auto* in = static_cast<const unsigned char*>(data);
        std::size_t done = 0;
        std::int64_t budget =
            static_cast<std::int64_t>(timeouts.writeTotalMultiplier) * static_cast<std::int64_t>(count) +
            timeouts.writeTotalConstant;
        if (budget <= 0) {
            // No time-out set: still never hang on a line that stopped taking bytes.
            budget = 10000 + static_cast<std::int64_t>(count);
        }
        const Deadline deadline(Clock::Milliseconds(budget));
        while (done < count) {
            const ssize_t n = ::write(fd, in + done, count - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                return done > 0 ? static_cast<long>(done) : -1;
            }
            if (deadline.Expired() || !WaitReady(fd, POLLOUT, deadline)) {
                break;
            }
        }
        return static_cast<long>(done);
    }

    SerialResult Drain(SerialHandle handle) override
    {
        if (::tcdrain(Fd(handle)) != 0) {
            return SerialResult::Failed(SystemText(errno));
        }
        return SerialResult::Ok();
    }

    SerialResult Discard(SerialHandle handle, bool input, bool output) override
    {
        if (!input && !output) {
            return SerialResult::Ok();
        }
        const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
        if (::tcflush(Fd(handle), which) != 0) {
            return SerialResult::Failed(SystemText(errno));
        }
        return SerialResult::Ok();
    }

    SerialResult SetModemLine(SerialHandle handle, ModemLine line, bool raised) override
    {
        const int bit = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
        if (::ioctl(Fd(handle), raised ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
            return SerialResult::Failed(std::string(line == ModemLine::Dtr ? "DTR" : "RTS") + ": " +
                                        SystemText(errno));
        }
        return SerialResult::Ok();
    }

    int ModemStatus(SerialHandle handle) override
    {
        int lines = 0;
        if (::ioctl(Fd(handle), TIOCMGET, &lines) != 0) {
            return -1;
        }
        int bits = 0;
        if (lines & TIOCM_CTS)
            bits |= kModemCts;
        if (lines & TIOCM_DSR)
            bits |= kModemDsr;
        if (lines & TIOCM_CAR)
            bits |= kModemCarrier;
        if (lines & TIOCM_RNG)
            bits |= kModemRing;
        return bits;
    }

    SerialResult SetKernelHalfDuplex(SerialHandle handle, bool on) override
    {
        serial_rs485 rs485{};
        if (on) {
            rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        }
        if (::ioctl(Fd(handle), TIOCSRS485, &rs485) != 0) {
            return SerialResult::Failed("RS-485 mode: " + SystemText(errno));
        }
        return SerialResult::Ok();
    }

    bool HungUp(SerialHandle handle) override
    {
        pollfd p{Fd(handle), POLLIN, 0};
        if (::poll(&p, 1, 0) < 0) {
            return false;
        }
        return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }

  private:
    // The line as it was before this program opened it: a terminal chosen by mistake, or a port
    // another program set up, gets its own settings back, not raw at the last speed we used.
    struct LineSettings
    {
        termios modes{};
        int baud = 0; // custom rates live outside termios
    };

    void ForgetCounters(int fd)
    {
        std::lock_guard lock(mutex_);
        counters_.erase(fd);
    }

    void KeepLineSettings(int fd, const termios& modes)
    {
        LineSettings settings{modes, 0};
        int receive = 0;
        ReadLineSpeeds(fd, settings.baud, receive);
        std::lock_guard lock(mutex_);
        savedLines_[fd] = settings;
    }

    void RestoreLineSettings(int fd)
    {
        const std::optional<LineSettings> settings = Take(savedLines_, fd);
        // A device that has gone refuses, and there is nothing left to put back then.
        if (!settings || ::tcsetattr(fd, TCSANOW, &settings->modes) != 0) {
            return;
        }
        int transmit = 0;
        int receive = 0;
        if (settings->baud > 0 && ReadLineSpeeds(fd, transmit, receive) && transmit != settings->baud) {
            SetLineSpeed(fd, settings->baud);
        }
    }

    // What was kept for a descriptor until it closes, taken out; nothing when none was kept.
    template <typename Kept> std::optional<Kept> Take(std::map<int, Kept>& kept, int fd)
    {
        std::lock_guard lock(mutex_);
        const auto it = kept.find(fd);
        if (it == kept.end()) {
            return std::nullopt;
        }
        Kept value = it->second;
        kept.erase(it);
        return value;
    }

    std::mutex mutex_;
    std::map<int, serial_icounter_struct> counters_;
    std::map<int, int> previousFlags_; // serial flags before RequestLowLatency set its bit
    std::map<int, LineSettings> savedLines_;
};

} // namespace

SerialSystem& PlatformSerialSystem()
{
    static PosixSerialSystem system;
    return system;
}

} // namespace aurex

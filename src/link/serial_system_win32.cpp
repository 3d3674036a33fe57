// Win32 serial calls (CreateFile on \\.\COMn, the comm-state and comm-timeout calls, overlapped
// ReadFile and WriteFile). The Windows twin of serial_system_posix.cpp: the only file of the
// Windows build that talks to the operating system about serial devices.
#include "link/serial_system.h"

#include "link/clock.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "text/win32_error_text.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace aurex {

namespace {

PortOpenResult FailureFromError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
        return PortOpenResult::NotPresent;
    // A COM port is opened for this program alone; another holder shows as access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return PortOpenResult::InUse;
    default:
        return PortOpenResult::Failed;
    }
}

HANDLE Win(SerialHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// Milliseconds after AUREX_TIME_SCALE, as every other wait of the program; MAXDWORD in a time-out
// field has a meaning of its own, so the result stays below it.
DWORD Scaled(unsigned long long milliseconds)
{
    if (milliseconds == 0) {
        return 0;
    }
    const auto bounded = static_cast<std::int64_t>(std::min<unsigned long long>(milliseconds, MAXDWORD));
    const auto scaled = static_cast<unsigned long long>(Clock::TimerMilliseconds(bounded).count());
    return scaled >= MAXDWORD ? MAXDWORD - 1 : static_cast<DWORD>(scaled);
}

DWORD Budget(std::uint32_t multiplier, std::size_t count, std::uint32_t constant)
{
    return Scaled(static_cast<unsigned long long>(multiplier) * count +
                  static_cast<unsigned long long>(constant));
}

// One overlapped operation with its own event, so that a read and a write of two threads never
// share one.
class Overlapped
{
  public:
    Overlapped() { overlapped_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped()
    {
        if (overlapped_.hEvent != nullptr) {
            ::CloseHandle(overlapped_.hEvent);
        }
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    bool Ready() const { return overlapped_.hEvent != nullptr; }
    OVERLAPPED* Get() { return &overlapped_; }

    // Bytes moved by a ReadFile or WriteFile that returned `started`; -1 on failure. The wait
    // blocks in the driver until its time-outs run out, never in a loop of ours.
    long Finish(HANDLE handle, BOOL started)
    {
        DWORD moved = 0;
        if (!started && ::GetLastError() != ERROR_IO_PENDING) {
            return -1;
        }
        if (!::GetOverlappedResult(handle, &overlapped_, &moved, TRUE)) {
            return ::GetLastError() == ERROR_OPERATION_ABORTED ? static_cast<long>(moved) : -1;
        }
        return static_cast<long>(moved);
    }

  private:
    OVERLAPPED overlapped_{};
};

std::uint32_t LineErrorsFromComm(DWORD errors)
{
    std::uint32_t flags = 0;
    if (errors & CE_BREAK)
        flags |= kLineBreak;
    if (errors & CE_FRAME)
        flags |= kLineFraming;
    if (errors & CE_IOE)
        flags |= kLineIoError;
    if (errors & CE_MODE)
        flags |= kLineMode;
    if (errors & CE_OVERRUN)
        flags |= kLineOverrun;
    if (errors & CE_RXPARITY)
        flags |= kLineParity;
    if (errors & CE_RXOVER)
        flags |= kLineReceiveOverflow;
    if (errors & CE_TXFULL)
        flags |= kLineTransmitFull;
    return flags;
}

BYTE ParityCode(SerialParity parity)
{
    switch (parity) {
    case SerialParity::Odd:
        return ODDPARITY;
    case SerialParity::Even:
        return EVENPARITY;
    case SerialParity::Mark:
        return MARKPARITY;
    case SerialParity::Space:
        return SPACEPARITY;
    case SerialParity::None:
        break;
    }
    return NOPARITY;
}

BYTE StopBitsCode(SerialStopBits stopBits)
{
    switch (stopBits) {
    case SerialStopBits::OneAndHalf:
        return ONE5STOPBITS;
    case SerialStopBits::Two:
        return TWOSTOPBITS;
    case SerialStopBits::One:
        break;
    }
    return ONESTOPBIT;
}

class Win32SerialSystem final : public SerialSystem
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
        // No sharing: a second open of the port, by us or anyone, is refused.
        const HANDLE handle = ::CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            result.outcome = FailureFromError(error);
            result.message = Win32ErrorText(error);
            return result;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!::GetCommState(handle, &dcb)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(handle);
            result.outcome = PortOpenResult::Failed;
            result.message = devicePath + " is not a serial device (" + Win32ErrorText(error) + ")";
            return result;
        }
        const auto serial = reinterpret_cast<SerialHandle>(handle);
        {
            std::lock_guard lock(mutex_);
            ports_[serial] = PortState{};
        }
        // Whatever an earlier program left queued is not part of this conversation.
        ::PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
        DWORD ignored = 0;
        ::ClearCommError(handle, &ignored, nullptr);
        result.handle = serial;
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

    // Windows opens a COM port for one program only, so every open handle is exclusive already.
    SerialResult ClaimExclusive(SerialHandle handle) override
    {
        (void)handle;
        return SerialResult::Ok();
    }

    void Close(SerialHandle handle) override
    {
        if (handle == kNoSerialHandle) {
            return;
        }
        {
            std::lock_guard lock(mutex_);
            ports_.erase(handle);
        }
        ::CancelIoEx(Win(handle), nullptr);
        ::CloseHandle(Win(handle));
    }

    // A USB adapter's latency is a setting of its driver's properties on Windows, beyond the
    // serial calls.
    LowLatencyResult RequestLowLatency(SerialHandle handle) override
    {
        (void)handle;
        return LowLatencyResult::Refused("set by the adapter driver's port settings on Windows");
    }

    void RestoreLowLatency(SerialHandle handle) override { (void)handle; }

    bool OffersRs485(SerialHandle handle) override
    {
        (void)handle;
        return false;
    }

    SerialResult Configure(SerialHandle handle, const SerialConfig& config) override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!::GetCommState(Win(handle), &dcb)) {
            return SerialResult::Failed(Win32ErrorText(::GetLastError()));
        }
        dcb.BaudRate = static_cast<DWORD>(config.baudRate);
        dcb.ByteSize = static_cast<BYTE>(config.dataBits);
        dcb.Parity = ParityCode(config.parity);
        dcb.fParity = config.parityCheck ? TRUE : FALSE;
        dcb.StopBits = StopBitsCode(config.stopBits);
        dcb.fBinary = TRUE;
        dcb.fNull = FALSE;
        // A line error must not stall every later read until someone clears it.
        dcb.fAbortOnError = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutxCtsFlow = config.ctsOutputFlow ? TRUE : FALSE;
        dcb.fOutX = config.xonXoffOut ? TRUE : FALSE;
        dcb.fInX = config.xonXoffIn ? TRUE : FALSE;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        std::lock_guard lock(mutex_);
        PortState& port = State(handle);
        port.rtsHandshake = config.rtsHandshake;
        ApplyLines(dcb, port);
        if (!::SetCommState(Win(handle), &dcb)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_INVALID_PARAMETER) {
                return SerialResult::Failed("baud rate " + std::to_string(config.baudRate) +
                                            " or frame: " + Win32ErrorText(error));
            }
            return SerialResult::Failed(Win32ErrorText(error));
        }
        return SerialResult::Ok();
    }

    int BytesQueued(SerialHandle handle) override
    {
        COMSTAT status{};
        DWORD errors = 0;
        if (!::ClearCommError(Win(handle), &errors, &status)) {
            return -1;
        }
        KeepErrors(handle, errors);
        std::lock_guard lock(mutex_);
        return static_cast<int>(status.cbInQue) + (State(handle).holding ? 1 : 0);
    }

    std::uint32_t TakeLineErrors(SerialHandle handle) override
    {
        DWORD errors = 0;
        const bool read = ::ClearCommError(Win(handle), &errors, nullptr) != 0;
        std::lock_guard lock(mutex_);
        PortState& port = State(handle);
        const std::uint32_t flags = port.pendingErrors | (read ? LineErrorsFromComm(errors) : 0);
        port.pendingErrors = 0;
        return flags;
    }

    // An overlapped read of one byte that sleeps in the system until the byte comes or the time
    // is up; the byte is held for the next Read. (WaitCommEvent would not need it, but Wine ends
    // it at once on a pseudo-terminal, and a read waits the same way on every driver.)
    bool WaitForInput(SerialHandle handle, int milliseconds) override
    {
        if (BytesQueued(handle) > 0) {
            return true;
        }
        std::uint8_t byte = 0;
        if (ReadNow(handle, &byte, 1, Scaled(static_cast<unsigned>(std::max(0, milliseconds)))) != 1) {
            return false;
        }
        std::lock_guard lock(mutex_);
        PortState& port = State(handle);
        port.held = byte;
        port.holding = true;
        return true;
    }

    long Read(SerialHandle handle, void* buffer, std::size_t count, const SerialTimeouts& timeouts) override
    {
        if (count == 0) {
            return 0;
        }
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::size_t done = 0;
        {
            std::lock_guard lock(mutex_);
            PortState& port = State(handle);
            if (port.holding) {
                out[done++] = port.held;
                port.holding = false;
            }
        }
        if (done == count) {
            return static_cast<long>(done);
        }
        // With a byte in hand only what is queued is added: the caller has its input already.
        const DWORD budget =
            done > 0 ? 0 : Budget(timeouts.readTotalMultiplier, count, timeouts.readTotalConstant);
        const long got = ReadNow(handle, out + done, count - done, budget);
        if (got < 0) {
            return done > 0 ? static_cast<long>(done) : -1;
        }
        return static_cast<long>(done) + got;
    }

    long Write(SerialHandle handle, const void* data, std::size_t count,
               const SerialTimeouts& timeouts) override
    {
        if (count == 0) {
            return 0;
        }
        DWORD budget = Budget(timeouts.writeTotalMultiplier, count, timeouts.writeTotalConstant);
        if (budget == 0) {
            // No time-out set: still never hang on a line that stopped taking bytes.
            budget = Budget(1, count, 10000);
        }
        COMMTIMEOUTS wanted{};
        wanted.WriteTotalTimeoutConstant = budget;
        if (!UseTimeouts(handle, wanted, false)) {
            return -1;
        }
        Overlapped overlapped;
        if (!overlapped.Ready()) {
            return -1;
        }
        const DWORD size = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
        const BOOL started = ::WriteFile(Win(handle), data, size, nullptr, overlapped.Get());
        return overlapped.Finish(Win(handle), started);
    }

    SerialResult Drain(SerialHandle handle) override
    {
        if (!::FlushFileBuffers(Win(handle))) {
            return SerialResult::Failed(Win32ErrorText(::GetLastError()));
        }
        return SerialResult::Ok();
    }

    SerialResult Discard(SerialHandle handle, bool input, bool output) override
    {
        DWORD which = 0;
        if (input) {
            which |= PURGE_RXCLEAR | PURGE_RXABORT;
            std::lock_guard lock(mutex_);
            State(handle).holding = false;
        }
        if (output) {
            which |= PURGE_TXCLEAR | PURGE_TXABORT;
        }
        if (which != 0 && !::PurgeComm(Win(handle), which)) {
            return SerialResult::Failed(Win32ErrorText(::GetLastError()));
        }
        return SerialResult::Ok();
    }

    SerialResult SetModemLine(SerialHandle handle, ModemLine line, bool raised) override
    {
        const bool dtr = line == ModemLine::Dtr;
        const DWORD function = dtr ? (raised ? SETDTR : CLRDTR) : (raised ? SETRTS : CLRRTS);
        if (!::EscapeCommFunction(Win(handle), function)) {
            return SerialResult::Failed(std::string(dtr ? "DTR" : "RTS") + ": " +
                                        Win32ErrorText(::GetLastError()));
        }
        // Kept, so that the next SetCommState writes the lines as they are now.
        std::lock_guard lock(mutex_);
        PortState& port = State(handle);
        (dtr ? port.dtrRaised : port.rtsRaised) = raised;
        return SerialResult::Ok();
    }

    int ModemStatus(SerialHandle handle) override
    {
        DWORD lines = 0;
        if (!::GetCommModemStatus(Win(handle), &lines)) {
            return -1;
        }
        int bits = 0;
        if (lines & MS_CTS_ON)
            bits |= kModemCts;
        if (lines & MS_DSR_ON)
            bits |= kModemDsr;
        if (lines & MS_RLSD_ON)
            bits |= kModemCarrier;
        if (lines & MS_RING_ON)
            bits |= kModemRing;
        return bits;
    }

    // Windows' own half-duplex mode is RTS_CONTROL_TOGGLE; a driver without it refuses the state.
    SerialResult SetKernelHalfDuplex(SerialHandle handle, bool on) override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!::GetCommState(Win(handle), &dcb)) {
            return SerialResult::Failed("RTS toggle: " + Win32ErrorText(::GetLastError()));
        }
        std::lock_guard lock(mutex_);
        PortState& port = State(handle);
        const bool before = port.rtsToggle;
        port.rtsToggle = on;
        ApplyLines(dcb, port);
        if (!::SetCommState(Win(handle), &dcb)) {
            port.rtsToggle = before;
            return SerialResult::Failed("RTS toggle: " + Win32ErrorText(::GetLastError()));
        }
        return SerialResult::Ok();
    }

    // A removed adapter makes every comm call fail on the handle it leaves behind.
    bool HungUp(SerialHandle handle) override
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (::ClearCommError(Win(handle), &errors, &status)) {
            KeepErrors(handle, errors);
            return false;
        }
        const DWORD error = ::GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
               error == ERROR_INVALID_HANDLE || error == ERROR_GEN_FAILURE ||
               error == ERROR_OPERATION_ABORTED;
    }

  private:
    struct PortState
    {
        // A freshly opened port has both lines raised, as on Linux.
        bool dtrRaised = true;
        bool rtsRaised = true;
        bool rtsHandshake = false;
        bool rtsToggle = false;
        // The byte a WaitForInput read ahead, given out first by the next Read.
        bool holding = false;
        std::uint8_t held = 0;
        // Errors that ClearCommError cleared while only the queue was asked for.
        std::uint32_t pendingErrors = 0;
        bool timeoutsKnown = false;
        COMMTIMEOUTS timeouts{};
    };

    // Under mutex_.
    PortState& State(SerialHandle handle) { return ports_[handle]; }

    static void ApplyLines(DCB& dcb, const PortState& port)
    {
        dcb.fDtrControl = port.dtrRaised ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        if (port.rtsToggle) {
            dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        } else if (port.rtsHandshake) {
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        } else {
            dcb.fRtsControl = port.rtsRaised ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        }
    }

    // One overlapped ReadFile that waits at most `budget` milliseconds (0: takes only what is
    // queued); bytes read or -1.
    long ReadNow(SerialHandle handle, std::uint8_t* buffer, std::size_t count, DWORD budget)
    {
        COMMTIMEOUTS wanted{};
        if (budget == 0) {
            // Both totals zero would mean "wait for every byte" to Windows.
            wanted.ReadIntervalTimeout = MAXDWORD;
        } else {
            wanted.ReadTotalTimeoutConstant = budget;
        }
        if (!UseTimeouts(handle, wanted, true)) {
            return -1;
        }
        Overlapped overlapped;
        if (!overlapped.Ready()) {
            return -1;
        }
        const DWORD size = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
        const BOOL started = ::ReadFile(Win(handle), buffer, size, nullptr, overlapped.Get());
        return overlapped.Finish(Win(handle), started);
    }

    void KeepErrors(SerialHandle handle, DWORD errors)
    {
        if (errors == 0) {
            return;
        }
        std::lock_guard lock(mutex_);
        State(handle).pendingErrors |= LineErrorsFromComm(errors);
    }

    // Sets the read or the write half of the time-outs, only when they change: most reads of a
    // download ask for the same ones.
    bool UseTimeouts(SerialHandle handle, const COMMTIMEOUTS& wanted, bool readHalf)
    {
        std::lock_guard lock(mutex_);
        PortState& port = State(handle);
        COMMTIMEOUTS next = port.timeouts;
        if (readHalf) {
            next.ReadIntervalTimeout = wanted.ReadIntervalTimeout;
            next.ReadTotalTimeoutMultiplier = wanted.ReadTotalTimeoutMultiplier;
            next.ReadTotalTimeoutConstant = wanted.ReadTotalTimeoutConstant;
        } else {
            next.WriteTotalTimeoutMultiplier = wanted.WriteTotalTimeoutMultiplier;
            next.WriteTotalTimeoutConstant = wanted.WriteTotalTimeoutConstant;
        }
        const bool same = port.timeoutsKnown &&
                          next.ReadIntervalTimeout == port.timeouts.ReadIntervalTimeout &&
                          next.ReadTotalTimeoutMultiplier == port.timeouts.ReadTotalTimeoutMultiplier &&
                          next.ReadTotalTimeoutConstant == port.timeouts.ReadTotalTimeoutConstant &&
                          next.WriteTotalTimeoutMultiplier == port.timeouts.WriteTotalTimeoutMultiplier &&
                          next.WriteTotalTimeoutConstant == port.timeouts.WriteTotalTimeoutConstant;
        if (same) {
            return true;
        }
        if (!::SetCommTimeouts(Win(handle), &next)) {
            return false;
        }
        port.timeouts = next;
        port.timeoutsKnown = true;
        return true;
    }

    std::mutex mutex_;
    std::map<SerialHandle, PortState> ports_;
};

} // namespace

SerialSystem& PlatformSerialSystem()
{
    static Win32SerialSystem system;
    return system;
}

} // namespace aurex

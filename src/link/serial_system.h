#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/low_latency.h"
#include "link/port_open_result.h"

namespace aurex {

// Every operating-system call that touches a serial device goes through this interface. The POSIX
// implementation lives in serial_system_posix.cpp; a Win32 one can stand beside it unchanged
// callers. Tests substitute their own to watch the calls.

using SerialHandle = std::intptr_t;
inline constexpr SerialHandle kNoSerialHandle = -1;

struct SerialOpenResult
{
    SerialHandle handle = kNoSerialHandle;
    PortOpenResult outcome = PortOpenResult::Opened;
    std::string message; // the system's own words when the open failed
};

// Outcome of a call that changes or reads something: a device may refuse one setting (a
// pseudo-terminal has no RTS line) and still work, so this is a report, not an exception.
struct SerialResult
{
    bool ok = true;
    std::string message;

    static SerialResult Ok() { return {}; }
    static SerialResult Failed(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

enum class SerialParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class SerialStopBits : std::uint8_t { One, OneAndHalf, Two };
enum class ModemLine : std::uint8_t { Dtr, Rts };

// The line settings of an open port.
struct SerialConfig
{
    std::int32_t baudRate = 19200;
    int dataBits = 8;
    SerialParity parity = SerialParity::None;
    bool parityCheck = false;
    SerialStopBits stopBits = SerialStopBits::One;
    bool ctsOutputFlow = false; // hold transmission while CTS is off
    bool rtsHandshake = false;  // RTS driven by the receiver's fill level
    bool xonXoffOut = false;
    bool xonXoffIn = false;
};

// Milliseconds. A read or write may take multiplier x bytes + constant in all.
struct SerialTimeouts
{
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// Line-error flags, as TakeLineErrors reports them.
enum LineErrorFlag : std::uint32_t {
    kLineBreak = 1u << 0,
    kLineFraming = 1u << 1,
    kLineIoError = 1u << 2,
    kLineMode = 1u << 3,
    kLineOverrun = 1u << 4,
    kLineParity = 1u << 5,
    kLineReceiveOverflow = 1u << 6,
    kLineTransmitFull = 1u << 7,
};

// Modem-status bits, as ModemStatus reports them.
enum ModemStatusBit : int { kModemCts = 1, kModemDsr = 2, kModemCarrier = 4, kModemRing = 8 };

class SerialSystem
{
  public:
    virtual ~SerialSystem() = default;

    // Opens for reading and writing, exclusively; the handle does not block.
    virtual SerialOpenResult Open(const std::string& devicePath) = 0;
    // Opens and closes at once: None when the device could be opened now.
    virtual PortOpenResult Probe(const std::string& devicePath) = 0;
    // Claims a handle that someone else opened (the port component) for this program alone.
    virtual SerialResult ClaimExclusive(SerialHandle handle) = 0;
    // Puts back what RequestLowLatency changed and, where the system keeps them per device (POSIX
    // termios), the line settings the device had when Open took it; then closes.
    virtual void Close(SerialHandle handle) = 0;

    // Asks the driver to pass received bytes on at once (a USB adapter's latency timer at 1 ms).
    // The previous setting is kept for this handle until Close or RestoreLowLatency. A refusal
    // (a pseudo-terminal has no such setting) is only reported.
    virtual LowLatencyResult RequestLowLatency(SerialHandle handle) = 0;
    // Puts back what RequestLowLatency changed on a handle that someone else (the port component)
    // closes; nothing when it changed nothing.
    virtual void RestoreLowLatency(SerialHandle handle) = 0;
    // True when the kernel offers RS-485 mode on the port. Reads only.
    virtual bool OffersRs485(SerialHandle handle) = 0;

    virtual SerialResult Configure(SerialHandle handle, const SerialConfig& config) = 0;
    // Number of received bytes waiting; -1 when that cannot be read.
    virtual int BytesQueued(SerialHandle handle) = 0;
    // Line errors seen since the last call (LineErrorFlag bits); 0 where the device keeps no count.
    virtual std::uint32_t TakeLineErrors(SerialHandle handle) = 0;
    // Blocks until received bytes are queued or the milliseconds have passed, without spinning
    // (poll on POSIX, WaitCommEvent on Windows); true when input is there.
    virtual bool WaitForInput(SerialHandle handle, int milliseconds) = 0;
    // Bytes read (0 when none came within the time-outs), -1 on failure.
    virtual long Read(SerialHandle handle, void* buffer, std::size_t count,
                      const SerialTimeouts& timeouts) = 0;
    // Bytes written (fewer when the time-outs ran out), -1 on failure.
    virtual long Write(SerialHandle handle, const void* data, std::size_t count,
                       const SerialTimeouts& timeouts) = 0;
    // Waits until everything written has left the transmitter.
    virtual SerialResult Drain(SerialHandle handle) = 0;
    virtual SerialResult Discard(SerialHandle handle, bool input, bool output) = 0;
    virtual SerialResult SetModemLine(SerialHandle handle, ModemLine line, bool raised) = 0;
    // ModemStatusBit set, or -1 when the lines cannot be read.
    virtual int ModemStatus(SerialHandle handle) = 0;
    // The driver's own half-duplex mode: RTS raised only while it transmits.
    virtual SerialResult SetKernelHalfDuplex(SerialHandle handle, bool on) = 0;
    // True when the device has gone (hang-up or error on the handle).
    virtual bool HungUp(SerialHandle handle) = 0;
};

// The implementation for the platform this program is built for.
SerialSystem& PlatformSerialSystem();

} // namespace aurex

#pragma once

#include "link/clock.h"
#include "link/port_open_result.h"
#include "link/serial_system.h"

#include <QObject>

#include <cstdint>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

class QSerialPort;
class QTimer;

namespace aurex {

// An error raised by the port component. A failed open says why (the port is missing, in use or
// forbidden to this user), so the caller can tell those apart from every other failure.
class ComPortError : public std::runtime_error
{
  public:
    enum class Kind { OpenFailed, NotOpen, QueueFull };

    // A failed open.
    ComPortError(PortOpenResult why, std::string devicePath, const std::string& message)
        : std::runtime_error(message), kind_(Kind::OpenFailed), openResult_(why),
          devicePath_(std::move(devicePath))
    {
    }
    // Any other error.
    ComPortError(Kind kind, std::string devicePath, const std::string& message)
        : std::runtime_error(message), kind_(kind), devicePath_(std::move(devicePath))
    {
    }

    Kind kind() const { return kind_; }
    // Why the open failed; Opened for the errors that are not about opening.
    PortOpenResult OpenResult() const { return openResult_; }
    const std::string& DevicePath() const { return devicePath_; }

  private:
    Kind kind_;
    PortOpenResult openResult_ = PortOpenResult::Opened;
    std::string devicePath_;
};

// The event-driven serial port component: receive and transmit queues of 4096 bytes, a half-duplex
// (RS-485) mode, and one-shot timer triggers whose expiry arrives as the OnTriggerTimer signal on
// the thread that owns the component. Time on this path is counted in ticks of 1/18.2 s.
class ComPort : public QObject
{
    Q_OBJECT

  public:
    static constexpr int kQueueSize = 4096;

    explicit ComPort(QObject* parent = nullptr, SerialSystem& system = PlatformSerialSystem());
    ~ComPort() override;

    void SetComNumber(std::uint16_t comNumber);
    std::uint16_t ComNumber() const { return comNumber_; }
    // The device the COM number stands for.
    std::string DevicePath() const;

    // RTS raised only while a block is on the line; CTS and RTS no longer used for flow control.
    void SetRS485Mode(bool on);
    bool RS485Mode() const { return rs485_; }
    // True when the driver carries the half-duplex mode itself.
    bool KernelHalfDuplex() const { return kernelHalfDuplex_; }

    // Opens or closes. A failed open raises ComPortError.
    void SetOpen(bool open);
    bool Open() const;

    void FlushInBuffer();
    void FlushOutBuffer();
    void SetBaud(std::int32_t baud);
    std::int32_t Baud() const { return baud_; }

    // 0 when no trigger can be created.
    std::uint16_t AddTimerTrigger();
    // activate: a one-shot firing after the given ticks; otherwise disarms.
    void SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate);
    void RemoveTrigger(std::uint16_t handle);
    bool TriggerArmed(std::uint16_t handle) const;
    // The ticks the trigger was last armed with; 0 before it was first armed.
    std::int32_t TriggerTicks(std::uint16_t handle) const;

    bool CharReady() const;
    std::uint8_t GetChar();
    std::uint16_t GetOutBuffFree() const;
    std::uint16_t GetOutBuffUsed() const;
    bool GetCTS();
    // Queues the whole block; 0. Raises ComPortError when it does not fit or the port is closed.
    int PutBlock(const std::uint8_t* data, std::uint16_t count);

    // Waits the given ticks; with yield the thread's events keep being processed (and the wait ends
    // early when the application quits), without it nothing else runs meanwhile.
    void DelayTicks(std::int32_t ticks, bool yield);
    // The same wait for callers that speak milliseconds: it lasts the whole ticks they make.
    void DelayMilliseconds(std::int32_t milliseconds, bool yield)
    {
        DelayTicks(Clock::PortTicks(milliseconds), yield);
    }

    // The last setting the device would not take (a pseudo-terminal has no RTS line); empty if none.
    const std::string& LastRefusal() const { return lastRefusal_; }
    // What the last open got when it asked a USB adapter for low latency; NotAsked for any other
    // device.
    const LowLatencyResult& LowLatency() const { return lowLatency_; }
    // Where the open reads sysfs to tell a USB adapter; tests give a fake tree.
    void SetSysfsRoot(std::filesystem::path root) { sysfsRoot_ = std::move(root); }

  signals:
    void OnTriggerTimer(aurex::ComPort* sender, quint16 handle);

  private:
    void Refused(const SerialResult& result);
    void ApplyLines();
    void HandleError(int error);
    SerialHandle NativeHandle() const;
    // Every close goes here: the adapter's latency put back first.
    void CloseDevice();

    static constexpr std::size_t kMaxTriggers = 64;

    SerialSystem& system_;
    QSerialPort* port_;
    std::uint16_t comNumber_ = 1;
    std::int32_t baud_ = 19200;
    bool rs485_ = false;
    bool kernelHalfDuplex_ = false;
    std::string lastRefusal_;
    LowLatencyResult lowLatency_;
    // The handle low latency was set on, remembered because Qt may have let the handle go first.
    SerialHandle lowLatencyHandle_ = kNoSerialHandle;
    std::filesystem::path sysfsRoot_ = "/sys";
    std::map<std::uint16_t, QTimer*> triggers_;
    std::map<std::uint16_t, std::int32_t> triggerTicks_;
    std::vector<QTimer*> spareTimers_;
    std::uint16_t nextTrigger_ = 1;
};

} // namespace aurex

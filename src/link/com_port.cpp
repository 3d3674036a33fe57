#include "link/com_port.h"

#include "link/clock.h"
#include "link/com_port_map.h"
#include "link/usb_serial_adapter.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

namespace aurex {

ComPort::ComPort(QObject* parent, SerialSystem& system)
    : QObject(parent), system_(system), port_(new QSerialPort(this))
{
    // The receive queue is bounded: a flood waits in the driver instead of growing memory.
    port_->setReadBufferSize(kQueueSize);
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { HandleError(static_cast<int>(error)); });
}

ComPort::~ComPort()
{
    CloseDevice();
}

void ComPort::CloseDevice()
{
    if (lowLatencyHandle_ != kNoSerialHandle) {
        system_.RestoreLowLatency(lowLatencyHandle_);
        lowLatencyHandle_ = kNoSerialHandle;
    }
    if (port_->isOpen()) {
        port_->close();
    }
}

void ComPort::SetComNumber(std::uint16_t comNumber)
{
    comNumber_ = comNumber;
}

std::string ComPort::DevicePath() const
{
    return ComDevicePath(comNumber_);
}

SerialHandle ComPort::NativeHandle() const
{
    return port_->isOpen() ? static_cast<SerialHandle>(port_->handle()) : kNoSerialHandle;
}

void ComPort::Refused(const SerialResult& result)
{
    if (!result.ok) {
        lastRefusal_ = result.message;
    }
}

// DTR up while open; RTS up too, unless the half-duplex mode drives it.
void ComPort::ApplyLines()
{
    const SerialHandle handle = NativeHandle();
    if (handle == kNoSerialHandle) {
        return;
    }
    Refused(system_.SetModemLine(handle, ModemLine::Dtr, true));
    if (rs485_) {
        const SerialResult kernel = system_.SetKernelHalfDuplex(handle, true);
        kernelHalfDuplex_ = kernel.ok;
        if (!kernelHalfDuplex_) {
            Refused(system_.SetModemLine(handle, ModemLine::Rts, false));
        }
    } else {
        if (kernelHalfDuplex_) {
            system_.SetKernelHalfDuplex(handle, false);
            kernelHalfDuplex_ = false;
        }
        Refused(system_.SetModemLine(handle, ModemLine::Rts, true));
    }
}

void ComPort::SetRS485Mode(bool on)
{
    rs485_ = on;
    ApplyLines();
}

void ComPort::SetOpen(bool open)
{
    if (!open) {
        if (port_->isOpen() && kernelHalfDuplex_) {
            system_.SetKernelHalfDuplex(NativeHandle(), false);
            kernelHalfDuplex_ = false;
        }
        CloseDevice();
        return;
    }
    if (port_->isOpen()) {
        return;
    }
    const std::string path = DevicePath();
    if (path.empty()) {
        throw ComPortError(PortOpenResult::NotPresent, path,
                           "COM " + std::to_string(comNumber_) + " has no device");
    }
    lastRefusal_.clear();
    port_->setPortName(QString::fromStdString(path));
    port_->setBaudRate(baud_);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port_->error();
        const std::string text = port_->errorString().toStdString();
        port_->clearError();
        if (error == QSerialPort::DeviceNotFoundError) {
            throw ComPortError(PortOpenResult::NotPresent, path, text);
        }
        if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
            // Qt gives one code for "forbidden" and "held by another program"; ask the device.
            if (system_.Probe(path) == PortOpenResult::PermissionDenied) {
                throw ComPortError(PortOpenResult::PermissionDenied, path, PermissionDeniedMessage(path));
            }
            throw ComPortError(PortOpenResult::InUse, path, text);
        }
        throw ComPortError(PortOpenResult::Failed, path, text);
    }
    // Qt's lock file does not stop other programs (or root); the exclusive claim does.
    if (const SerialResult claim = system_.ClaimExclusive(NativeHandle()); !claim.ok) {
        CloseDevice();
        throw ComPortError(PortOpenResult::InUse, path, claim.message);
    }
    // An adapter would hold every reply for its latency timer; the download waits for each one.
    lowLatency_ = {};
    if (IsUsbSerialAdapter(path, sysfsRoot_)) {
        lowLatency_ = system_.RequestLowLatency(NativeHandle());
        if (lowLatency_.outcome == LowLatencyResult::Outcome::Set) {
            lowLatencyHandle_ = NativeHandle();
        }
    }
    try {
        ApplyLines();
    } catch (...) {
        SetOpen(false);
        throw;
    }
}

bool ComPort::Open() const
{
    return port_->isOpen();
}

void ComPort::HandleError(int error)
{
    // The device went away under us (cable pulled, adapter removed, peer closed): close, so every
    // wait sees the port closed instead of a descriptor that stays readable forever.
    const auto e = static_cast<QSerialPort::SerialPortError>(error);
    if (e == QSerialPort::ResourceError ||
        (e == QSerialPort::ReadError && port_->isOpen() && system_.HungUp(NativeHandle()))) {
        port_->clearError();
        SetOpen(false);
    }
}

void ComPort::FlushInBuffer()
{
    if (port_->isOpen()) {
        port_->clear(QSerialPort::Input);
    }
}

void ComPort::FlushOutBuffer()
{
    if (port_->isOpen()) {
        port_->clear(QSerialPort::Output);
    }
}

void ComPort::SetBaud(std::int32_t baud)
{
    if (port_->isOpen()) {
        // Bytes still queued (the baud-rate command itself) must leave at the old rate.
        const std::int64_t lineMs =
            static_cast<std::int64_t>(port_->bytesToWrite()) * 10 * 1000 / std::max(baud_, 1) + 1000;
        const Deadline deadline{std::chrono::milliseconds(lineMs)};
        while (port_->isOpen() && port_->bytesToWrite() > 0 && !deadline.Expired()) {
            port_->waitForBytesWritten(deadline.RemainingMilliseconds());
        }
        if (port_->isOpen()) {
            system_.Drain(NativeHandle());
        }
    }
    baud_ = baud;
    if (port_->isOpen() && !port_->setBaudRate(baud)) {
        lastRefusal_ = "baud rate " + std::to_string(baud) + ": " + port_->errorString().toStdString();
        port_->clearError();
    }
}

std::uint16_t ComPort::AddTimerTrigger()
{
    if (triggers_.size() >= kMaxTriggers) {
        return 0;
    }
    while (nextTrigger_ == 0 || triggers_.count(nextTrigger_) != 0) {
        ++nextTrigger_;
    }
    const std::uint16_t handle = nextTrigger_++;
    QTimer* timer = nullptr;
    if (!spareTimers_.empty()) {
        timer = spareTimers_.back();
        spareTimers_.pop_back();
    } else {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(timer, &QTimer::timeout, this, [this, handle] { emit OnTriggerTimer(this, handle); });
    triggers_[handle] = timer;
    triggerTicks_[handle] = 0;
    return handle;
}

void ComPort::SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate)
{
    const auto it = triggers_.find(handle);
    if (it == triggers_.end()) {
        return;
    }
    if (!activate) {
        it->second->stop();
        return;
    }
    triggerTicks_[handle] = ticks;
    it->second->start(ticks > 0 ? Clock::TimerTicks(ticks) : std::chrono::milliseconds(0));
}

void ComPort::RemoveTrigger(std::uint16_t handle)
{
    const auto it = triggers_.find(handle);
    if (it == triggers_.end()) {
        return;
    }
    // Timers are kept for reuse: deleting one from inside its own expiry would be unsafe, and the
    // link creates and releases a trigger for every group of exchanges.
    QTimer* timer = it->second;
    timer->stop();
    timer->disconnect(this);
    spareTimers_.push_back(timer);
    triggers_.erase(it);
    triggerTicks_.erase(handle);
}

bool ComPort::TriggerArmed(std::uint16_t handle) const
{
    const auto it = triggers_.find(handle);
    return it != triggers_.end() && it->second->isActive();
}

std::int32_t ComPort::TriggerTicks(std::uint16_t handle) const
{
    const auto it = triggerTicks_.find(handle);
    return it != triggerTicks_.end() ? it->second : 0;
}

bool ComPort::CharReady() const
{
    return port_->isOpen() && port_->bytesAvailable() > 0;
}

std::uint8_t ComPort::GetChar()
{
    char c = 0;
    port_->getChar(&c);
    return static_cast<std::uint8_t>(c);
}

std::uint16_t ComPort::GetOutBuffUsed() const
{
    return static_cast<std::uint16_t>(std::min<qint64>(port_->bytesToWrite(), 0xFFFF));
}

std::uint16_t ComPort::GetOutBuffFree() const
{
    return static_cast<std::uint16_t>(std::max<qint64>(0, kQueueSize - port_->bytesToWrite()));
}

bool ComPort::GetCTS()
{
    const SerialHandle handle = NativeHandle();
    if (handle == kNoSerialHandle) {
        return false;
    }
    const int status = system_.ModemStatus(handle);
    return status > 0 && (status & kModemCts) != 0;
}

int ComPort::PutBlock(const std::uint8_t* data, std::uint16_t count)
{
    const std::string path = DevicePath();
    if (!port_->isOpen()) {
        throw ComPortError(ComPortError::Kind::NotOpen, path, "the COM port is not open");
    }
    if (count > GetOutBuffFree()) {
        throw ComPortError(ComPortError::Kind::QueueFull, path, "the transmit queue is full");
    }
    if (count == 0) {
        return 0;
    }
    const bool softwareToggle = rs485_ && !kernelHalfDuplex_;
    const SerialHandle handle = NativeHandle();
    if (softwareToggle) {
        Refused(system_.SetModemLine(handle, ModemLine::Rts, true));
    }
    port_->write(reinterpret_cast<const char*>(data), count);
    port_->flush(); // on the line now, not at the next turn of the event loop
    if (softwareToggle) {
        // RTS must stay up until the last stop bit has left: push the rest out and drain, bounded
        // by the time the block needs on the line plus a margin, so a stuck line cannot hang us.
        const std::int64_t lineMs = static_cast<std::int64_t>(count) * 10 * 1000 / std::max(baud_, 1) + 1000;
        const Deadline deadline{std::chrono::milliseconds(lineMs)};
        while (port_->isOpen() && port_->bytesToWrite() > 0 && !deadline.Expired()) {
            port_->waitForBytesWritten(deadline.RemainingMilliseconds());
        }
        if (port_->isOpen()) {
            system_.Drain(handle);
            Refused(system_.SetModemLine(handle, ModemLine::Rts, false));
        }
    }
    return 0;
}

void ComPort::DelayTicks(std::int32_t ticks, bool yield)
{
    if (ticks <= 0) {
        return;
    }
    if (!yield) {
        std::this_thread::sleep_for(Clock::Ticks(ticks));
        return;
    }
    // A nested loop blocks until its timer or an application quit ends it: no spinning.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(Clock::TimerTicks(ticks));
    loop.exec();
}

} // namespace aurex

#include "link/vnx_win_ext_serial_port.h"

#include "link/com_port_map.h"
#include "link/usb_serial_adapter.h"

#include <algorithm>
#include <array>

namespace aurex {

namespace {

constexpr std::array<std::int32_t, 22> kBaudRates = {110,   110,   110,   110,    110,    110,   300,   600,
                                                     1200,  1200,  2400,  4800,   9600,   14400, 19200, 38400,
                                                     56000, 57600, 57600, 115200, 128000, 256000};

constexpr std::uint8_t kMaxBaudCode = 21;
constexpr std::uint8_t kFlowOff = 0;
constexpr std::uint8_t kFlowHardware = 1;
constexpr std::uint8_t kFlowXonXoff = 2;
constexpr std::uint8_t kFlowRtsToggle = 3;

} // namespace

// ---- VNXWinExtSerialBase ----

void VNXWinExtSerialBase::SetDefaults()
{
    baudCode_ = 14;
    dataBitsCode_ = 3;
    parityCode_ = 0;
    stopBitsCode_ = 0;
    flowControlCode_ = 0;
    timeoutSeconds_ = 0;
    timeoutMilliseconds_ = 500;
    open_ = false;
}

void VNXWinExtSerialBase::SetPortName(const std::string& name)
{
    portName_ = name;
}
std::string VNXWinExtSerialBase::GetPortName() const
{
    return portName_;
}
std::uint8_t VNXWinExtSerialBase::GetBaudCode() const
{
    return baudCode_;
}
std::uint8_t VNXWinExtSerialBase::GetDataBitsCode() const
{
    return dataBitsCode_;
}
std::uint8_t VNXWinExtSerialBase::GetParityCode() const
{
    return parityCode_;
}
std::uint8_t VNXWinExtSerialBase::GetStopBitsCode() const
{
    return stopBitsCode_;
}
std::uint8_t VNXWinExtSerialBase::GetFlowControl() const
{
    return flowControlCode_;
}
bool VNXWinExtSerialBase::IsOpen() const
{
    return open_;
}
bool VNXWinExtSerialBase::HasInput()
{
    return BytesWaiting() != 0;
}
int VNXWinExtSerialBase::GetErrorCode() const
{
    return errorCode_;
}

int VNXWinExtSerialBase::ReadLine(char* buffer, int size)
{
    int queued = BytesWaiting();
    if (queued <= 0 || buffer == nullptr || size <= 0) {
        return 0;
    }
    int stored = 0;
    while (stored < queued && stored < size - 1) {
        std::uint8_t c = 0;
        if (ReadChar(c) == 0) {
            break;
        }
        buffer[stored++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    buffer[stored] = '\0';
    return stored + 1;
}

std::int32_t VNXWinExtSerialBase::BaudRateForCode(std::uint8_t code)
{
    return code <= kMaxBaudCode ? kBaudRates[code] : 0;
}

std::uint8_t VNXWinExtSerialBase::StoredBaudCode(std::uint8_t code)
{
    switch (code) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 5:
        return 2;
    case 9:
        return 8;
    case 18:
        return 17;
    default:
        return code;
    }
}

bool VNXWinExtSerialBase::StopAndDataBitsAgree(std::uint8_t dataBitsCode, std::uint8_t stopBitsCode)
{
    if (dataBitsCode > 3 || stopBitsCode > 2) {
        return false;
    }
    if (stopBitsCode == 1) {
        return dataBitsCode == 0;
    }
    if (stopBitsCode == 2) {
        return dataBitsCode != 0;
    }
    return true;
}

// ---- VNXWinExtSerialPort ----

VNXWinExtSerialPort::VNXWinExtSerialPort(SerialSystem& system) : system_(system)
{
    portName_ = "COM1";
    SetDefaults();
    BuildConfig();
}

VNXWinExtSerialPort::~VNXWinExtSerialPort()
{
    if (open_) {
        Close();
    }
}

bool VNXWinExtSerialPort::Report(const SerialResult& result)
{
    if (!result.ok) {
        lastRefusal_ = result.message;
    }
    return result.ok;
}

void VNXWinExtSerialPort::BuildConfig()
{
    const std::int32_t rate = BaudRateForCode(baudCode_);
    if (rate != 0) {
        config_.baudRate = rate;
    }
    config_.dataBits = 5 + dataBitsCode_;
    config_.parity = static_cast<SerialParity>(std::min<std::uint8_t>(parityCode_, 4));
    config_.parityCheck = parityCode_ >= 1 && parityCode_ <= 4;
    config_.stopBits = static_cast<SerialStopBits>(std::min<std::uint8_t>(stopBitsCode_, 2));
    switch (flowControlCode_) {
    case kFlowOff:
        config_.ctsOutputFlow = false;
        config_.rtsHandshake = false;
        config_.xonXoffOut = config_.xonXoffIn = false;
        break;
    case kFlowHardware:
        config_.ctsOutputFlow = true;
        config_.rtsHandshake = true;
        config_.xonXoffOut = config_.xonXoffIn = false;
        break;
    case kFlowXonXoff:
        config_.ctsOutputFlow = false;
        config_.rtsHandshake = false;
        config_.xonXoffOut = config_.xonXoffIn = true;
        break;
    case kFlowRtsToggle:
        // Linux cannot hold output on CTS without also driving RTS as a handshake, which would
        // fight the toggle; the toggle wins.
        config_.ctsOutputFlow = true;
        config_.rtsHandshake = false;
        config_.xonXoffOut = config_.xonXoffIn = false;
        break;
    default:
        break; // unknown codes are kept but change nothing
    }
}

bool VNXWinExtSerialPort::ApplyConfig()
{
    BuildConfig();
    if (!open_) {
        return true;
    }
    return Report(system_.Configure(handle_, config_));
}

// Puts RTS where the flow-control code wants it at rest.
bool VNXWinExtSerialPort::ApplyFlowLines()
{
    if (!open_) {
        return true;
    }
    bool ok = true;
    if (flowControlCode_ == kFlowRtsToggle) {
        kernelToggle_ = system_.SetKernelHalfDuplex(handle_, true).ok;
        if (!kernelToggle_) {
            ok = Report(system_.SetModemLine(handle_, ModemLine::Rts, false));
        }
        return ok;
    }
    if (kernelToggle_) {
        system_.SetKernelHalfDuplex(handle_, false);
        kernelToggle_ = false;
    }
    if (flowControlCode_ == kFlowOff || flowControlCode_ == kFlowXonXoff) {
        ok = Report(system_.SetModemLine(handle_, ModemLine::Rts, false));
    }
    return ok;
}

bool VNXWinExtSerialPort::SetBaudCode(std::uint8_t code)
{
    baudCode_ = StoredBaudCode(code);
    if (code > kMaxBaudCode) {
        return true; // stored, no rate to set
    }
    return ApplyConfig();
}

bool VNXWinExtSerialPort::SetDataBitsCode(std::uint8_t code)
{
    if (!StopAndDataBitsAgree(code, stopBitsCode_)) {
        return false;
    }
    dataBitsCode_ = code;
    return ApplyConfig();
}

bool VNXWinExtSerialPort::SetParityCode(std::uint8_t code)
{
    if (code > 4) {
        return false;
    }
    parityCode_ = code;
    return ApplyConfig();
}

bool VNXWinExtSerialPort::SetStopBitsCode(std::uint8_t code)
{
    if (!StopAndDataBitsAgree(dataBitsCode_, code)) {
        return false;
    }
    stopBitsCode_ = code;
    return ApplyConfig();
}

bool VNXWinExtSerialPort::SetFlowControl(std::uint8_t code)
{
    flowControlCode_ = code;
    const bool configured = ApplyConfig();
    const bool lines = ApplyFlowLines();
    return configured && lines;
}

void VNXWinExtSerialPort::SetTimeouts(std::int32_t seconds, std::int32_t milliseconds)
{
    timeoutSeconds_ = seconds;
    timeoutMilliseconds_ = milliseconds;
    if (!open_) {
        return;
    }
    const std::int64_t total = static_cast<std::int64_t>(seconds) * 1000 + milliseconds;
    const auto t = static_cast<std::uint32_t>(std::clamp<std::int64_t>(total, 0, UINT32_MAX));
    timeouts_ = SerialTimeouts{t, t, 0, t, 0};
}

bool VNXWinExtSerialPort::Open()
{
    if (open_) {
        return true;
    }
    devicePath_ = ResolvePortName(portName_);
    lastRefusal_.clear();
    SerialOpenResult opened = system_.Open(devicePath_);
    openResult_ = opened.outcome;
    if (opened.outcome != PortOpenResult::Opened) {
        lastRefusal_ = opened.message;
        return false;
    }
    handle_ = opened.handle;
    open_ = true;
    // An adapter would hold every reply for its latency timer; the download waits for each one.
    lowLatency_ = {};
    if (IsUsbSerialAdapter(devicePath_, sysfsRoot_)) {
        lowLatency_ = system_.RequestLowLatency(handle_);
    }
    try {
        // Stored settings in their order: baud, data bits, stop bits, parity, flow control,
        // time-outs; they all land in one configuration written back once.
        ApplyConfig();
        ApplyFlowLines();
        SetTimeouts(timeoutSeconds_, timeoutMilliseconds_);
    } catch (...) {
        Close(); // gives the adapter its latency back
        throw;
    }
    return true;
}

int VNXWinExtSerialPort::Close()
{
    if (handle_ == kNoSerialHandle) {
        open_ = false;
        return 0;
    }
    if (kernelToggle_) {
        system_.SetKernelHalfDuplex(handle_, false);
        kernelToggle_ = false;
    }
    system_.Close(handle_);
    handle_ = kNoSerialHandle;
    open_ = false;
    return 1;
}

int VNXWinExtSerialPort::Flush()
{
    if (!open_) {
        return 0;
    }
    return system_.Drain(handle_).ok ? 1 : 0;
}

int VNXWinExtSerialPort::BytesWaiting()
{
    if (!open_) {
        return 0;
    }
    return std::max(0, system_.BytesQueued(handle_));
}

int VNXWinExtSerialPort::InputCount()
{
    if (!open_) {
        return 0;
    }
    const std::uint32_t flags = system_.TakeLineErrors(handle_);
    const int queued = system_.BytesQueued(handle_);
    if (queued < 0) {
        return -1;
    }
    // Cleared first so that a line error of this very read stays visible.
    errorCode_ = 0;
    RecordLineErrors(flags);
    return queued;
}

std::uint8_t VNXWinExtSerialPort::ReadChar(std::uint8_t& out)
{
    if (!open_ || system_.BytesQueued(handle_) <= 0) {
        return 0;
    }
    if (system_.Read(handle_, &out, 1, timeouts_) != 1) {
        errorCode_ = kErrorRead;
        return 0;
    }
    return 1;
}

std::uint8_t VNXWinExtSerialPort::WriteChar(std::uint8_t c)
{
    if (!open_) {
        return 0;
    }
    const std::uint8_t data[1] = {c};
    const int written = Write(data, 1);
    return written == 1 ? 1 : 0;
}

void VNXWinExtSerialPort::RecordLineErrors(std::uint32_t flags)
{
    if (flags & kLineBreak)
        errorCode_ = 6;
    else if (flags & kLineFraming)
        errorCode_ = 7;
    else if (flags & kLineIoError)
        errorCode_ = 8;
    else if (flags & kLineMode)
        errorCode_ = 1;
    else if (flags & kLineOverrun)
        errorCode_ = 9;
    else if (flags & kLineParity)
        errorCode_ = 11;
    else if (flags & kLineReceiveOverflow)
        errorCode_ = 10;
    else if (flags & kLineTransmitFull)
        errorCode_ = 12;
}

bool VNXWinExtSerialPort::SetDTR(bool raised)
{
    if (!open_) {
        return false;
    }
    return Report(system_.SetModemLine(handle_, ModemLine::Dtr, raised));
}

bool VNXWinExtSerialPort::SetRTS(bool raised)
{
    if (!open_) {
        return false;
    }
    return Report(system_.SetModemLine(handle_, ModemLine::Rts, raised));
}

int VNXWinExtSerialPort::GetModemStatus()
{
    if (!open_) {
        return 0;
    }
    return std::max(0, system_.ModemStatus(handle_));
}

int VNXWinExtSerialPort::Read(std::uint8_t* buffer, int count)
{
    if (!open_ || buffer == nullptr || count <= 0) {
        return 0;
    }
    // Reads are only issued for bytes already queued, so they never wait on a quiet line.
    if (system_.BytesQueued(handle_) <= 0) {
        return 0;
    }
    const long n = system_.Read(handle_, buffer, static_cast<std::size_t>(count), timeouts_);
    if (n <= 0) {
        errorCode_ = kErrorRead;
        return -1;
    }
    return static_cast<int>(n);
}

int VNXWinExtSerialPort::Write(const std::uint8_t* data, int count)
{
    if (!open_) {
        return 0;
    }
    if (data == nullptr || count <= 0) {
        return 0;
    }
    // Flow code 3 without the driver's help: RTS up only while this block is on the line.
    const bool softwareToggle = flowControlCode_ == kFlowRtsToggle && !kernelToggle_;
    if (softwareToggle) {
        Report(system_.SetModemLine(handle_, ModemLine::Rts, true));
    }
    const long n = system_.Write(handle_, data, static_cast<std::size_t>(count), timeouts_);
    Flush();
    if (softwareToggle) {
        Report(system_.SetModemLine(handle_, ModemLine::Rts, false));
    }
    if (n <= 0) {
        errorCode_ = kErrorWrite;
        return -1;
    }
    return static_cast<int>(n);
}

bool VNXWinExtSerialPort::CheckConnection()
{
    if (!open_) {
        return false;
    }
    if (system_.HungUp(handle_)) {
        Close();
        return false;
    }
    return true;
}

} // namespace aurex

#include "link/device_transport.h"

#include "link/clock.h"
#include "link/event_turns.h"
#include "link/link_timeouts.h"

#include <QSocketNotifier>

namespace aurex {

std::uint8_t BaudToDeviceCode(std::int32_t baud)
{
    switch (baud) {
    case 9600:
        return 12;
    case 38400:
        return 15;
    case 57600:
        return 17;
    case 115200:
        return 19;
    default:
        return 14;
    }
}

DeviceTransport::DeviceTransport(std::unique_ptr<VNXCommDeviceSerial> device, LinkTimer* const& commTimer)
    : device_(std::move(device)), commTimer_(commTimer)
{
}

DeviceTransport::~DeviceTransport()
{
    notifier_.reset();
    if (device_ && device_->IsOpen()) {
        device_->Close();
    }
}

bool DeviceTransport::Open(int comNumber, std::int32_t baud, bool flowControl)
{
    return device_ && device_->OpenPort(comNumber, BaudToDeviceCode(baud), flowControl);
}

bool DeviceTransport::Open(const std::string& devicePath, std::int32_t baud, bool flowControl)
{
    return device_ && device_->OpenPort(devicePath, BaudToDeviceCode(baud), flowControl);
}

bool DeviceTransport::LineOpen() const
{
    return device_ != nullptr && device_->IsOpen();
}

bool DeviceTransport::ByteWaiting()
{
    return device_->CharReady();
}

bool DeviceTransport::TakeByte(std::uint8_t& byte)
{
    if (device_->ReadChar(byte) == 1) {
        return true;
    }
    // A failed read with bytes queued: find out whether the device is still there.
    device_->CheckConnection();
    return false;
}

// (Re)binds the notifier to the device's current handle.
QSocketNotifier* DeviceTransport::Notifier()
{
    const SerialHandle handle = device_ ? device_->WaitHandle() : kNoSerialHandle;
    if (handle == kNoSerialHandle) {
        notifier_.reset();
        return nullptr;
    }
    if (!notifier_ || notifier_->socket() != static_cast<qintptr>(handle)) {
        notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(handle), QSocketNotifier::Read);
        notifier_->setEnabled(false);
    }
    return notifier_.get();
}

void DeviceTransport::WaitForInput()
{
    QSocketNotifier* notifier = Notifier();
    if (notifier == nullptr) {
        return;
    }
    // Level-triggered: enabled only while we block, or it would fire for every queued byte.
    notifier->setEnabled(true);
    BlockForEvents();
    if (notifier_) {
        notifier_->setEnabled(false);
    }
    // Woken with nothing to read: the device may have gone (hang-up also wakes the notifier).
    if (device_ && !device_->CharReady() && !device_->CheckConnection()) {
        notifier_.reset();
    }
}

void DeviceTransport::LineLost()
{
    notifier_.reset();
}

int DeviceTransport::Send(std::span<const std::uint8_t> bytes, const bool& active)
{
    (void)active; // a write never waits for room here
    if (!device_) {
        return -1;
    }
    return device_->Write(bytes.data(), static_cast<int>(bytes.size()));
}

void DeviceTransport::SetBaud(std::int32_t baud)
{
    if (device_) {
        device_->SetBaudCode(BaudToDeviceCode(baud));
    }
}

void DeviceTransport::FollowBaudChange(std::int32_t baud)
{
    Clock::SleepMilliseconds(link_timeouts::kBaudSwitchSettleMs);
    SetBaud(baud);
}

void DeviceTransport::ArmTimeout(std::int32_t milliseconds)
{
    if (commTimer_ != nullptr) {
        commTimer_->SetInterval(milliseconds);
        commTimer_->SetEnabled(true);
    }
}

void DeviceTransport::DisarmTimeout()
{
    if (commTimer_ != nullptr) {
        commTimer_->SetEnabled(false);
    }
}

void DeviceTransport::Close()
{
    notifier_.reset();
    if (device_ && device_->IsOpen()) {
        device_->Close();
    }
    device_.reset();
}

} // namespace aurex

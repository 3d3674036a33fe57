#pragma once

#include "link/link_timer.h"
#include "link/link_transport.h"
#include "link/vnx_comm_device.h"

#include <cstdint>
#include <memory>
#include <string>

class QSocketNotifier;

namespace aurex {

// The device code of a baud rate as the serial device takes it (19200 for any rate it lacks).
std::uint8_t BaudToDeviceCode(std::int32_t baud);

// The device path: the program's own serial device, a socket notifier to sleep on while the line
// is quiet, and the window's m_CommTimer as the reply time-out.
class DeviceTransport final : public LinkTransport
{
  public:
    // commTimer is the link's own slot for the window's timer: read at every use, so a link
    // without one (or given another) needs no new transport.
    DeviceTransport(std::unique_ptr<VNXCommDeviceSerial> device, LinkTimer* const& commTimer);
    ~DeviceTransport() override;

    // Opens the device on the COM number; false when it would not open (the device stays, so its
    // port can tell why).
    bool Open(int comNumber, std::int32_t baud, bool flowControl);
    // The same on a device path.
    bool Open(const std::string& devicePath, std::int32_t baud, bool flowControl);
    // The device; null once the transport is closed.
    VNXCommDeviceSerial* Device() { return device_.get(); }

    LinkCapabilities Capabilities() const override { return {}; }

    bool LineOpen() const override;
    bool ByteWaiting() override;
    bool TakeByte(std::uint8_t& byte) override;
    void WaitForInput() override;
    void LineLost() override;

    int Send(std::span<const std::uint8_t> bytes, const bool& active) override;
    void DrainTransmitQueue() override {} // every write drains
    void SetBaud(std::int32_t baud) override;
    void FollowBaudChange(std::int32_t baud) override;

    bool CreateTimeout() override { return true; }
    void ArmTimeout(std::int32_t milliseconds) override;
    void DisarmTimeout() override;
    void ReleaseTimeout() override {}

    void Close() override;

  private:
    QSocketNotifier* Notifier();

    std::unique_ptr<VNXCommDeviceSerial> device_;
    LinkTimer* const& commTimer_;
    // Wakes a blocked wait when the device has input; enabled only while a wait blocks.
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace aurex

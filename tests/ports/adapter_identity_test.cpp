// The adapter behind a device as sysfs and udev's links describe it, and the port list's hint.
#include "ports/adapter_identity.h"

#include <gtest/gtest.h>

#include "fake_host.h"

namespace aurex::ports {
namespace {

using testing::FakeHost;

TEST(AdapterIdentity, DescribesAUsbAdapterByItsIdsNamesAndLinks)
{
    FakeHost host;
    host.UsbAdapter("ttyUSB0", "0403", "6001", 16);
    const AdapterIdentity id = DescribeAdapter(host.Files(), "/dev/ttyUSB0");
    EXPECT_TRUE(id.IsUsbSerial());
    EXPECT_EQ(id.ttyName, "ttyUSB0");
    EXPECT_EQ(id.driver, "ftdi_sio");
    EXPECT_EQ(id.vendorId, "0403");
    EXPECT_EQ(id.productId, "6001");
    EXPECT_EQ(id.serial, "A10KXYZ");
    EXPECT_EQ(id.latencyTimerMs, 16);
    EXPECT_EQ(id.byId,
              std::vector<std::string>{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0"});
    EXPECT_EQ(id.byPath, std::vector<std::string>{"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"});
    EXPECT_EQ(id.Hint(), "/dev/ttyUSB0 \u2014 FTDI FT232R USB UART, serial A10KXYZ "
                         "(usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0)");
}

TEST(AdapterIdentity, AnOnBoardPortIsJustItsPath)
{
    FakeHost host;
    host.Device("ttyS0");
    // Since 6.5 the tty's device is the serial core's port; the UART driver sits two folders up.
    const std::string uart = "/sys/devices/platform/serial8250";
    host.Link(uart + "/driver", "../../../bus/platform/drivers/serial8250");
    host.Link(uart + "/serial8250:0/driver", "../../../../bus/serial-base/drivers/ctrl");
    host.Link(uart + "/serial8250:0/serial8250:0.0/driver", "../../../../../bus/serial-base/drivers/port");
    host.Link("/sys/class/tty/ttyS0/device",
              "../../../devices/platform/serial8250/serial8250:0/serial8250:0.0");
    const AdapterIdentity id = DescribeAdapter(host.Files(), "/dev/ttyS0");
    EXPECT_FALSE(id.IsUsbSerial());
    EXPECT_EQ(id.driver, "serial8250");
    EXPECT_FALSE(id.latencyTimerMs.has_value());
    EXPECT_TRUE(id.byId.empty());
    EXPECT_EQ(id.Hint(), "/dev/ttyS0");
}

} // namespace
} // namespace aurex::ports

// The Windows side of the serial seam under Wine: COM numbers map to themselves, and the Win32
// system's open reports a port without a device as not present.
#include "link/com_port_map.h"
#include "link/vnx_comm_device.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace aurex {
namespace {

TEST(WindowsComPorts, NumbersMapToTheirOwnDevicesBothWays)
{
    const std::tuple<int, const char*> paths[] = {{1, "\\\\.\\COM1"},
                                                  {9, "\\\\.\\COM9"},
                                                  {10, "\\\\.\\COM10"},
                                                  {64, "\\\\.\\COM64"},
                                                  {0, ""},
                                                  {65, ""}};
    for (const auto& [number, path] : paths) {
        EXPECT_EQ(ComDevicePath(number), path) << number;
    }
    const std::tuple<const char*, const char*, int> names[] = {
        {"COM3", "\\\\.\\COM3", 3},
        {"com12", "\\\\.\\COM12", 12},
        {"\\\\.\\COM7", "\\\\.\\COM7", 7},
        {"COM200", "\\\\.\\COM200", 0}, // opens, but is off the list
        {"COM", "COM", 0},
        {"COM1x", "COM1x", 0},
        {"COM0", "COM0", 0},
        {"C:\\ports\\radio", "C:\\ports\\radio", 0},
    };
    for (const auto& [name, resolved, number] : names) {
        EXPECT_EQ(ResolvePortName(name), resolved) << name;
        EXPECT_EQ(ComNumberForDevice(name), number) << name;
    }
}

TEST(WindowsComPorts, APortWithoutADeviceIsNotPresentAndNeverOpen)
{
    VNXCommDeviceSerial device;
    EXPECT_FALSE(device.OpenPort(63, 14, false));
    EXPECT_EQ(device.Port().OpenResult(), PortOpenResult::NotPresent);
    EXPECT_EQ(device.Port().DevicePath(), "\\\\.\\COM63");
    EXPECT_FALSE(device.Port().LastRefusal().empty());
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.CharReady());
}

} // namespace
} // namespace aurex

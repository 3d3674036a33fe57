#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports/host_files.h"

namespace aurex::ports {

// What sysfs and udev's links say about the adapter behind a serial device.
struct AdapterIdentity
{
    std::string devicePath;
    std::string ttyName; // "ttyUSB0"
    bool usb = false;
    std::string driver;   // "ftdi_sio", "cp210x", "ch341", "pl2303", "cdc_acm", "serial8250"
    std::string vendorId; // four hex digits as sysfs writes them, "0403"
    std::string productId;
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::optional<int> latencyTimerMs; // only adapters whose driver has one (FTDI)
    std::vector<std::string> byId;     // /dev/serial/by-id/... links to the device
    std::vector<std::string> byPath;

    bool IsUsbSerial() const { return usb; }
    // "FTDI FT232R USB UART", or "USB 0403:6001" when the adapter gives no names.
    std::string Name() const;
    // One line for the port list's tooltip: the device path, and for a USB adapter its name,
    // serial number and by-id name.
    std::string Hint() const;
};

AdapterIdentity DescribeAdapter(const HostFiles& files, const std::string& devicePath);

} // namespace aurex::ports

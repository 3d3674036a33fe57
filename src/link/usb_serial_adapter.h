#pragma once

#include <filesystem>
#include <string>

namespace aurex {

// True when the device path (symbolic links resolved, e.g. /dev/serial/by-id/... to /dev/ttyUSB0)
// is a USB serial adapter: its /sys/class/tty/<name>/device/subsystem is usb or usb-serial. Reads
// sysfs only, opens nothing. Tests point sysfsRoot at a fake tree.
bool IsUsbSerialAdapter(const std::string& devicePath, const std::filesystem::path& sysfsRoot = "/sys");

} // namespace aurex

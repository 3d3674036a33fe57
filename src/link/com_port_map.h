#pragma once

#include <string>

namespace aurex {

inline constexpr int kComPortCount = 64;

// The device behind COM n: the path in AUREX_COM<n> when that is set (tests and the demo point a
// COM number at a pseudo-terminal), else COM 1-16 /dev/ttyS0-15, COM 17-40 /dev/ttyUSB0-23,
// COM 41-64 /dev/ttyACM0-23. Empty for a number with neither.
std::string ComDevicePath(int comNumber);

// A port name as the device classes carry it: "\\.\COMn" or "COMn" go through ComDevicePath,
// any other name is taken as a device path already.
std::string ResolvePortName(const std::string& name);

// The COM number that carries a device given by path (by-id and by-path names included): the
// number whose device is the same file, else the highest number with neither a device nor an
// override, now pointed at the path through AUREX_COM<n>. 0 when every number is taken.
int ComNumberForDevice(const std::string& devicePath);

// What to tell the user when the device exists but this user may not open it.
std::string PermissionDeniedMessage(const std::string& devicePath);

} // namespace aurex

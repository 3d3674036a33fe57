#pragma once

#include <string>

#include "app/code_updater_main_form.h"

namespace aurex {

// Opens the device that a COM number maps to, as our own port classes open it, and closes it
// again at once.
PortOpenResult ProbeComPort(int comNumber);

// The group that owns a device file; empty when that cannot be found out.
std::string DeviceGroup(const std::string& devicePath);

} // namespace aurex

#pragma once

#include <string>

#include "app/code_updater_main_form.h"

namespace aurex {

// Opens the serial device at `path` without waiting for a carrier, asks for exclusive use the
// way our own port classes take it, and closes it again at once.
PortProbeResult ProbeDevice(const std::string& path);

// The same for the device that a COM number maps to.
PortProbeResult ProbeComPort(int comNumber);

// The device path that a COM number maps to.
std::string ComPortDevice(int comNumber);

}  // namespace aurex

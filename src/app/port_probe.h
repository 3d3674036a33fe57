#pragma once

#include <string>

#include "app/code_updater_main_form.h"
#include "ports/port_census.h"

namespace aurex {

// Whether the device that a COM number maps to could be opened now, found without opening it
// (an open raises DTR and RTS). A census made once serves a whole listing.
PortOpenResult ExamineComPort(const ports::PortCensus& census, int comNumber);
PortOpenResult ProbeComPort(int comNumber);

// The port list's tooltip for a COM number: its device, and for a USB adapter its name, serial
// number and by-id name.
std::string PortHint(int comNumber);

// For a port this user may not open, the tooltip's lines on why and what mends it: "Permission
// denied: you are not in group dialout" and the command.
std::string PermissionHint(int comNumber);

// The group that owns a device file; empty when that cannot be found out.
std::string DeviceGroup(const std::string& devicePath);

} // namespace aurex

#pragma once

#include <optional>
#include <string>

#include "ports/finding.h"
#include "ports/host_files.h"

namespace aurex::ports {

// Why a serial device might not be usable by this user, checked without opening it: the node,
// the permissions and groups, the processes that hold it, ModemManager and brltty, the adapter.
// One finding per line; each problem carries its fix and a weight (see finding_report.h).
Findings DiagnoseHost(const HostFiles& files, const HostIdentity& identity, const std::string& devicePath);

// Why this user may not open the device, short enough for the port list's tooltip ("Permission
// denied: you are not in group dialout"), and the fix the check gives for it.
struct AccessRefusal
{
    std::string reason;
    std::string fix;
};

// None when the user may open the device, or when there is no device to open.
std::optional<AccessRefusal> WhyAccessRefused(const HostFiles& files, const HostIdentity& identity,
                                              const std::string& devicePath);

} // namespace aurex::ports

#pragma once

#include <string>

#include "ports/finding.h"
#include "ports/host_files.h"

namespace aurex::ports {

// Why a serial device might not be usable by this user, checked without opening it: the node,
// the permissions and groups, the processes that hold it, ModemManager and brltty, the adapter.
// One finding per line; each problem carries its fix and a weight (see finding_report.h).
Findings DiagnoseHost(const HostFiles& files, const HostIdentity& identity, const std::string& devicePath);

} // namespace aurex::ports

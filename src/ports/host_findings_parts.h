#pragma once

// The groups of checks DiagnoseHost runs, one file each.
#include <string>

#include "ports/adapter_identity.h"
#include "ports/finding.h"
#include "ports/host_files.h"
#include "ports/port_census.h"

namespace aurex::ports {

// How likely each problem is the cause, highest first.
namespace weight {
constexpr int kNoDevice = 100;
constexpr int kHeldByService = 95; // ModemManager or brltty has it open
constexpr int kHeld = 90;
constexpr int kGroupNotInEffect = 85;
constexpr int kNotInGroup = 80;
constexpr int kRootOwned = 80;
constexpr int kModeShutsGroupOut = 75;
constexpr int kAccessDenied = 70;
constexpr int kBrlttyRule = 60;
constexpr int kModemManagerProbes = 40;
} // namespace weight

// The node exists and whether this user may open it, with the group to join or the rule to add.
void AddAccessFindings(Findings& out, const HostFiles& files, const HostIdentity& identity,
                       const std::string& devicePath, const AdapterIdentity& adapter);

// The processes that hold the device, ModemManager, brltty.
void AddHolderFindings(Findings& out, const PortExamination& port);
void AddModemManagerFindings(Findings& out, const HostFiles& files, const std::string& devicePath,
                             const AdapterIdentity& adapter);
void AddBrlttyFindings(Findings& out, const HostFiles& files, const std::string& devicePath,
                       const AdapterIdentity& adapter);

} // namespace aurex::ports

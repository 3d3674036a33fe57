#pragma once

#include <string>

#include "ports/adapter_identity.h"

namespace aurex::ports {

// The shell command that installs a udev rule for this adapter (by its USB id where known, else
// by its kernel name) with the given assignments, e.g. GROUP="dialout", MODE="0660", and makes
// udev apply it.
std::string UdevRuleCommand(const AdapterIdentity& adapter, const std::string& assignments,
                            const std::string& ruleFile);

} // namespace aurex::ports

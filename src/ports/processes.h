#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "ports/host_files.h"

namespace aurex::ports {

// The processes /proc shows, by pid.
std::vector<pid_t> ProcessIds(const HostFiles& files);

// The command name of a process (/proc/<pid>/comm), empty when it is gone.
std::string ProcessCommand(const HostFiles& files, pid_t pid);

bool ProcessAlive(const HostFiles& files, pid_t pid);

// The processes whose command name is exactly command.
std::vector<pid_t> ProcessesNamed(const HostFiles& files, const std::string& command);

} // namespace aurex::ports

#include "ports/processes.h"

#include "ports/host_text.h"

namespace aurex::ports {

std::vector<pid_t> ProcessIds(const HostFiles& files)
{
    std::vector<pid_t> pids;
    for (const std::string& name : files.List("/proc")) {
        const auto pid = ParseDecimal(name);
        if (pid && *pid > 0 && *pid <= 0x3fffffff &&
            name.find_first_not_of("0123456789") == std::string::npos) {
            pids.push_back(static_cast<pid_t>(*pid));
        }
    }
    return pids;
}

std::string ProcessCommand(const HostFiles& files, pid_t pid)
{
    const auto comm = files.ReadText("/proc/" + std::to_string(pid) + "/comm", 256);
    return comm ? std::string(Trimmed(*comm)) : std::string();
}

bool ProcessAlive(const HostFiles& files, pid_t pid)
{
    return pid > 0 && files.Exists("/proc/" + std::to_string(pid));
}

std::vector<pid_t> ProcessesNamed(const HostFiles& files, const std::string& command)
{
    std::vector<pid_t> named;
    for (pid_t pid : ProcessIds(files)) {
        if (ProcessCommand(files, pid) == command) {
            named.push_back(pid);
        }
    }
    return named;
}

} // namespace aurex::ports

#include "app/port_probe.h"

#include <optional>

#include "link/com_port_map.h"
#include "ports/adapter_identity.h"
#include "ports/group_database.h"
#include "ports/host_findings.h"

namespace aurex {

PortOpenResult ExamineComPort(const ports::PortCensus& census, int comNumber)
{
    const std::string path = ComDevicePath(comNumber);
    if (path.empty()) {
        return PortOpenResult::NotPresent;
    }
    return census.Examine(path).state;
}

PortOpenResult ProbeComPort(int comNumber)
{
    return ExamineComPort(ports::PortCensus(ports::HostFiles(), ports::HostIdentity::OfThisProcess()),
                          comNumber);
}

std::string PortHint(int comNumber)
{
    const std::string path = ComDevicePath(comNumber);
    return path.empty() ? std::string() : ports::DescribeAdapter(ports::HostFiles(), path).Hint();
}

std::string PermissionHint(int comNumber)
{
    const std::string path = ComDevicePath(comNumber);
    const std::optional<ports::AccessRefusal> refusal =
        ports::WhyAccessRefused(ports::HostFiles(), ports::HostIdentity::OfThisProcess(), path);
    // The bits may allow what the kernel refused (an ACL, a security module): no reason to add.
    return refusal ? refusal->reason + ".\nTo mend it: " + refusal->fix : std::string("Permission denied.");
}

std::string DeviceGroup(const std::string& devicePath)
{
    const ports::HostFiles files;
    const std::optional<ports::FileStat> node = devicePath.empty() ? std::nullopt : files.Stat(devicePath);
    return node ? ports::GroupName(files, node->gid) : std::string();
}

} // namespace aurex

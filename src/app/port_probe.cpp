#include "app/port_probe.h"

#include <grp.h>
#include <sys/stat.h>

#include <vector>

#include "link/com_port_map.h"
#include "ports/adapter_identity.h"

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

std::string DeviceGroup(const std::string& devicePath)
{
    struct stat info
    {
    };
    if (devicePath.empty() || ::stat(devicePath.c_str(), &info) != 0) {
        return {};
    }
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return {};
    }
    return found->gr_name;
}

} // namespace aurex

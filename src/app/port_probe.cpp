#include "app/port_probe.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace aurex {

PortProbeResult ProbeDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case EACCES:
        case EPERM:
            return PortProbeResult::PermissionDenied;
        case EBUSY:
            return PortProbeResult::Busy;
        default:
            return PortProbeResult::Absent;
        }
    }
    PortProbeResult result = PortProbeResult::Available;
    // Another program that holds the port keeps an exclusive lock on it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        result = errno == EWOULDBLOCK ? PortProbeResult::Busy : PortProbeResult::Absent;
    } else {
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return result;
}

std::string ComPortDevice(int comNumber) {
    const std::string variable = "AUREX_COM" + std::to_string(comNumber);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
        return path;
    }
    if (comNumber >= 1 && comNumber <= 16) {
        return "/dev/ttyS" + std::to_string(comNumber - 1);
    }
    if (comNumber >= 17 && comNumber <= 40) {
        return "/dev/ttyUSB" + std::to_string(comNumber - 17);
    }
    if (comNumber >= 41 && comNumber <= 64) {
        return "/dev/ttyACM" + std::to_string(comNumber - 41);
    }
    return {};
}

PortProbeResult ProbeComPort(int comNumber) {
    const std::string path = ComPortDevice(comNumber);
    return path.empty() ? PortProbeResult::Absent : ProbeDevice(path);
}

}  // namespace aurex

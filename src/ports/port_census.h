#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

#include "link/port_open_result.h"
#include "ports/host_files.h"

namespace aurex::ports {

// A process that holds a serial device, and how.
struct PortHolder
{
    enum class How {
        OpenDescriptor, // it has the device open
        Flock,          // a flock or POSIX lock on the device node (/proc/locks)
        LockFile,       // a UUCP lock file /var/lock/LCK..<name> naming it
    };

    pid_t pid = 0;
    std::string command;
    How how = How::OpenDescriptor;
    std::string lockFile; // for LockFile
};

// What can be told about a serial port without opening it: an open raises DTR and RTS, which
// resets some boards and keys some transmitters.
struct PortExamination
{
    // Opened stands for "available": nothing seen that would stop an open.
    PortOpenResult state = PortOpenResult::NotPresent;
    std::string devicePath;
    std::string resolvedPath; // the node behind the links, e.g. /dev/serial/by-id/... -> /dev/ttyUSB0
    std::vector<PortHolder> holders;
    bool pseudoTerminal = false;

    bool Available() const { return state == PortOpenResult::Opened; }
};

// One look at the processes' open files, shared by all ports of a listing so that /proc is read
// once and not once per port. Another user's process hides its descriptors; a port it holds then
// counts as available and the real open at Start tells.
class PortCensus
{
  public:
    PortCensus(const HostFiles& files, const HostIdentity& identity);

    PortExamination Examine(const std::string& devicePath) const;

  private:
    std::vector<PortHolder> LockHolders(const std::string& resolvedPath) const;

    HostFiles files_;
    HostIdentity identity_;
    // Resolved device path -> the processes with a descriptor on it (only paths under /dev).
    std::map<std::string, std::vector<PortHolder>> descriptors_;
    // /dev/pts/N -> the processes holding its master end: whoever made the pseudo-terminal.
    std::map<std::string, std::vector<pid_t>> ptyMakers_;
    std::string locks_; // /proc/locks as read once
};

// Whether a serial device is there at all: its node exists, is a terminal (a pseudo-terminal or a
// tty the kernel lists, never /dev/null or a plain file) and, for a ttyS, a UART is behind it.
bool DevicePresent(const HostFiles& files, const std::string& devicePath);

PortExamination ExaminePort(const HostFiles& files, const HostIdentity& identity,
                            const std::string& devicePath);

// "ModemManager (pid 812)"
std::string DescribeHolder(const PortHolder& holder);

} // namespace aurex::ports

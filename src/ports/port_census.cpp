#include "ports/port_census.h"

#include <algorithm>
#include <sys/sysmacros.h>

#include "ports/host_text.h"
#include "ports/processes.h"

namespace aurex::ports {
namespace {

constexpr std::size_t kFdLimit = 16384;
constexpr std::size_t kLocksLimit = 1024 * 1024;
constexpr std::size_t kLockFileLimit = 128;
constexpr std::size_t kFdInfoLimit = 4096;

bool IsPseudoTerminal(const std::string& resolvedPath)
{
    return resolvedPath.rfind("/dev/pts/", 0) == 0;
}

// A ttyS node exists for every possible UART; sysfs type 0 means none is fitted behind it.
bool IsEmptyUartSlot(const HostFiles& files, const std::string& resolvedPath)
{
    const std::string name = BaseName(resolvedPath);
    if (name.rfind("ttyS", 0) != 0) {
        return false;
    }
    const auto type = files.ReadText("/sys/class/tty/" + name + "/type", 32);
    return type && ParseDecimal(*type) == 0;
}

std::string MajorMinorName(dev_t device)
{
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// A terminal the kernel knows as one: /dev/null, a disk or a plain file is no serial port, and
// every process on the machine may hold it. Without sysfs (a bare chroot) any character device
// passes, and the open tells.
bool IsTerminal(const HostFiles& files, const std::string& resolvedPath)
{
    const std::string name = BaseName(resolvedPath);
    if (IsPseudoTerminal(resolvedPath) || (!name.empty() && files.Exists("/sys/class/tty/" + name))) {
        return true;
    }
    const auto node = files.Stat(resolvedPath);
    if (!node || !node->isCharDevice) {
        return false;
    }
    if (!files.Exists("/sys/class/tty")) {
        return true;
    }
    return files.Resolve("/sys/dev/char/" + MajorMinorName(node->rdev)).find("/tty/") != std::string::npos;
}

void AddHolder(std::vector<PortHolder>& holders, PortHolder holder)
{
    const bool known = std::any_of(holders.begin(), holders.end(), [&](const PortHolder& h) {
        return h.pid == holder.pid && h.how == holder.how;
    });
    if (!known) {
        holders.push_back(std::move(holder));
    }
}

} // namespace

PortCensus::PortCensus(const HostFiles& files, const HostIdentity& identity)
    : files_(files), identity_(identity)
{
    for (pid_t pid : ProcessIds(files_)) {
        if (pid == identity_.pid) {
            continue;
        }
        const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
        std::string command;
        for (const std::string& fd : files_.List(fdDir, kFdLimit)) {
            const auto target = files_.LinkTarget(fdDir + "/" + fd);
            if (!target || target->rfind("/dev/", 0) != 0) {
                continue;
            }
            const std::string device = files_.Resolve(*target);
            if (BaseName(device) == "ptmx") {
                const std::string info = "/proc/" + std::to_string(pid) + "/fdinfo/" + fd;
                if (const auto index = ParseTtyIndex(files_.ReadText(info, kFdInfoLimit).value_or(""))) {
                    ptyMakers_["/dev/pts/" + std::to_string(*index)].push_back(pid);
                }
            }
            if (command.empty()) {
                command = ProcessCommand(files_, pid);
            }
            AddHolder(descriptors_[device], PortHolder{pid, command, PortHolder::How::OpenDescriptor, {}});
        }
    }
    locks_ = files_.ReadText("/proc/locks", kLocksLimit).value_or(std::string());
}

std::vector<PortHolder> PortCensus::LockHolders(const std::string& resolvedPath) const
{
    std::vector<PortHolder> holders;
    if (const auto node = files_.Stat(resolvedPath)) {
        for (std::string_view line : SplitLines(locks_)) {
            const auto lock = ParseProcLocksLine(line);
            if (lock && lock->pid > 0 && lock->pid != identity_.pid && lock->major == major(node->device) &&
                lock->minor == minor(node->device) && lock->inode == node->inode) {
                AddHolder(
                    holders,
                    PortHolder{lock->pid, ProcessCommand(files_, lock->pid), PortHolder::How::Flock, {}});
            }
        }
    }
    for (const std::string folder : {"/var/lock", "/run/lock"}) {
        const std::string lockFile = folder + "/LCK.." + BaseName(resolvedPath);
        const auto content = files_.ReadText(lockFile, kLockFileLimit);
        const auto pid = content ? ParseLockFilePid(*content) : std::nullopt;
        // A lock file whose process is gone is stale: whoever opens the port next may take it.
        if (pid && *pid != identity_.pid && ProcessAlive(files_, *pid)) {
            AddHolder(holders,
                      PortHolder{*pid, ProcessCommand(files_, *pid), PortHolder::How::LockFile, lockFile});
        }
    }
    return holders;
}

PortExamination PortCensus::Examine(const std::string& devicePath) const
{
    PortExamination result;
    result.devicePath = devicePath;
    result.resolvedPath = files_.Resolve(devicePath);
    result.pseudoTerminal = IsPseudoTerminal(result.resolvedPath);
    if (!DevicePresent(files_, result.resolvedPath)) {
        result.state = PortOpenResult::NotPresent;
        return result;
    }
    // Whoever made a pseudo-terminal may keep its own end open too (our simulated radio does):
    // that is not someone using the port. Anyone else with it open is, a shell above all.
    const auto makers = ptyMakers_.find(result.resolvedPath);
    if (const auto found = descriptors_.find(result.resolvedPath); found != descriptors_.end()) {
        for (const PortHolder& holder : found->second) {
            const bool maker =
                makers != ptyMakers_.end() &&
                std::find(makers->second.begin(), makers->second.end(), holder.pid) != makers->second.end();
            if (!maker) {
                result.holders.push_back(holder);
            }
        }
    }
    for (PortHolder& holder : LockHolders(result.resolvedPath)) {
        AddHolder(result.holders, std::move(holder));
    }
    if (!MayReadWrite(files_, result.resolvedPath, identity_)) {
        result.state = PortOpenResult::PermissionDenied;
    } else if (!result.holders.empty()) {
        result.state = PortOpenResult::InUse;
    } else {
        result.state = PortOpenResult::Opened;
    }
    return result;
}

bool DevicePresent(const HostFiles& files, const std::string& devicePath)
{
    const std::string resolved = files.Resolve(devicePath);
    return files.Exists(resolved) && IsTerminal(files, resolved) && !IsEmptyUartSlot(files, resolved);
}

PortExamination ExaminePort(const HostFiles& files, const HostIdentity& identity,
                            const std::string& devicePath)
{
    return PortCensus(files, identity).Examine(devicePath);
}

std::string DescribeHolder(const PortHolder& holder)
{
    const std::string name = holder.command.empty() ? std::string("a process") : holder.command;
    return name + " (pid " + std::to_string(holder.pid) + ")";
}

} // namespace aurex::ports

#include <set>
#include <sys/sysmacros.h>

#include "ports/host_findings_parts.h"
#include "ports/host_text.h"
#include "ports/processes.h"
#include "ports/udev_advice.h"

namespace aurex::ports {
namespace {

constexpr std::size_t kUdevRecordLimit = 64 * 1024;
constexpr std::size_t kRulesLimit = 1024 * 1024;

std::string HolderFix(const PortHolder& holder)
{
    if (holder.command == "ModemManager") {
        return "sudo systemctl stop ModemManager";
    }
    if (holder.command == "brltty") {
        return "sudo apt remove brltty";
    }
    const std::string name = holder.command.empty() ? std::string("the program") : holder.command;
    return "close " + name + ", or run `kill " + std::to_string(holder.pid) + "`";
}

std::string HolderText(const PortHolder& holder, const std::string& devicePath)
{
    switch (holder.how) {
    case PortHolder::How::OpenDescriptor:
        return DescribeHolder(holder) + " has " + devicePath + " open.";
    case PortHolder::How::Flock:
        return DescribeHolder(holder) + " holds a lock on " + devicePath + ".";
    case PortHolder::How::LockFile:
        return DescribeHolder(holder) + " holds the lock file " + holder.lockFile + ".";
    }
    return DescribeHolder(holder) + " holds " + devicePath + ".";
}

// "188:0": which device the node stands for, from the node itself or, where it is no device node
// (fake trees), from sysfs.
std::string MajorMinor(const HostFiles& files, const std::string& devicePath, const AdapterIdentity& adapter)
{
    if (const auto node = files.Stat(devicePath); node && node->isCharDevice) {
        return std::to_string(major(node->rdev)) + ":" + std::to_string(minor(node->rdev));
    }
    const auto text = files.ReadText("/sys/class/tty/" + adapter.ttyName + "/dev", 64);
    return text ? std::string(Trimmed(*text)) : std::string();
}

} // namespace

void AddHolderFindings(Findings& out, const PortExamination& port)
{
    for (const PortHolder& holder : port.holders) {
        const bool service = holder.command == "ModemManager" || holder.command == "brltty";
        out.push_back({Finding::Kind::Problem, HolderText(holder, port.devicePath), HolderFix(holder),
                       service ? weight::kHeldByService : weight::kHeld});
    }
    if (port.holders.empty()) {
        out.push_back(
            {Finding::Kind::Ok, "No other program is seen holding " + port.devicePath + ".", {}, 0});
    }
}

void AddModemManagerFindings(Findings& out, const HostFiles& files, const std::string& devicePath,
                             const AdapterIdentity& adapter)
{
    const auto pids = ProcessesNamed(files, "ModemManager");
    if (pids.empty()) {
        out.push_back({Finding::Kind::Ok, "ModemManager is not running.", {}, 0});
        return;
    }
    const std::string device = MajorMinor(files, devicePath, adapter);
    const auto record =
        device.empty() ? std::nullopt : files.ReadText("/run/udev/data/c" + device, kUdevRecordLimit);
    if (record && UdevDataIgnoresModemManager(*record)) {
        out.push_back(
            {Finding::Kind::Ok, "ModemManager is running but leaves " + devicePath + " alone.", {}, 0});
        return;
    }
    out.push_back({Finding::Kind::Problem,
                   "ModemManager (pid " + std::to_string(pids.front()) + ") is running and may probe " +
                       devicePath + ", which can hold the port and send modem commands to the radio.",
                   UdevRuleCommand(adapter, "ENV{ID_MM_DEVICE_IGNORE}=\"1\"", "50-aurex-mm-ignore.rules"),
                   weight::kModemManagerProbes});
}

void AddBrlttyFindings(Findings& out, const HostFiles& files, const std::string& devicePath,
                       const AdapterIdentity& adapter)
{
    const bool installed =
        files.Exists("/usr/bin/brltty") || files.Exists("/bin/brltty") || files.Exists("/sbin/brltty");
    if (!installed) {
        out.push_back({Finding::Kind::Ok, "brltty is not installed.", {}, 0});
        return;
    }
    std::set<std::string> seen; // /lib is often a link to /usr/lib
    for (const std::string folder : {"/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
        for (const std::string& name : files.List(folder, 4096)) {
            const std::string path = folder + "/" + name;
            if (name.find("brltty") == std::string::npos || !name.ends_with(".rules") ||
                !seen.insert(files.Resolve(path)).second) {
                continue;
            }
            const std::string rules = files.ReadText(path, kRulesLimit).value_or(std::string());
            for (std::string_view line : SplitLines(rules)) {
                if (adapter.usb && RuleLineMatchesUsbId(line, adapter.vendorId, adapter.productId)) {
                    out.push_back({Finding::Kind::Problem,
                                   "brltty is installed and claims USB adapters " + adapter.vendorId + ":" +
                                       adapter.productId + " (" + path + "), so it takes " + devicePath +
                                       " when the adapter is plugged in.",
                                   "sudo apt remove brltty", weight::kBrlttyRule});
                    return;
                }
            }
        }
    }
    out.push_back({Finding::Kind::Note, "brltty is installed but has no rule for this adapter.", {}, 0});
}

} // namespace aurex::ports

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

#include "ports/group_database.h"
#include "ports/host_findings.h"
#include "ports/host_findings_parts.h"
#include "ports/udev_advice.h"

namespace aurex::ports {
namespace {

std::string Octal(mode_t mode)
{
    char text[8] = {};
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why the identity may not open the node: the check's finding and the tooltip's short reason,
// each with the same fix. None when it may.
struct Refusal
{
    Finding finding;
    std::string reason;
};

std::optional<Refusal> Judge(const HostFiles& files, const HostIdentity& identity,
                             const std::string& devicePath, const FileStat& node,
                             const AdapterIdentity& adapter)
{
    if (MayReadWrite(files, devicePath, identity)) {
        return std::nullopt;
    }
    const std::string group = GroupName(files, node.gid);
    const auto entry = FindGroup(files, node.gid);
    const bool listed =
        identity.gid == node.gid || (entry && std::find(entry->members.begin(), entry->members.end(),
                                                        identity.userName) != entry->members.end());
    const bool inEffect = identity.HasGroup(node.gid);
    const bool groupMayOpen = (node.mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const std::string user = identity.userName.empty() ? std::to_string(identity.uid) : identity.userName;
    const auto refusal = [](std::string text, std::string fix, int weight, std::string reason) {
        return Refusal{{Finding::Kind::Problem, std::move(text), std::move(fix), weight},
                       "Permission denied: " + std::move(reason)};
    };

    if (group == "root") {
        // Joining root's group would give away far more than a serial port: hand the device to
        // dialout instead.
        return refusal(devicePath + " belongs to group root, which no user should join to reach it.",
                       UdevRuleCommand(adapter, "GROUP=\"dialout\", MODE=\"0660\"", "50-aurex-serial.rules"),
                       weight::kRootOwned, "the device belongs to group root");
    }
    if (!groupMayOpen) {
        return refusal(
            devicePath + " has mode " + Octal(node.mode) + ", so group " + group + " may not open it.",
            UdevRuleCommand(adapter, "GROUP=\"" + group + "\", MODE=\"0660\"", "50-aurex-serial.rules"),
            weight::kModeShutsGroupOut, "its mode " + Octal(node.mode) + " shuts group " + group + " out");
    }
    if (listed && !inEffect) {
        return refusal("You were added to group " + group + ", but this login does not have it yet.",
                       "log out and in again (or run `newgrp " + group + "`)", weight::kGroupNotInEffect,
                       "you are in group " + group + ", but that is not yet in effect in this login");
    }
    if (!listed) {
        return refusal("You (" + user + ") are not in group " + group + ", which may open " + devicePath +
                           ".",
                       "sudo usermod -aG " + group + " " + user + ", then log out and in again",
                       weight::kNotInGroup, "you are not in group " + group);
    }
    return refusal("You may not open " + devicePath + " although you are in group " + group + ".",
                   "ls -l " + devicePath + " && getfacl " + devicePath, weight::kAccessDenied,
                   "although you are in group " + group);
}

} // namespace

void AddAccessFindings(Findings& out, const HostFiles& files, const HostIdentity& identity,
                       const std::string& devicePath, const AdapterIdentity& adapter)
{
    const auto node = files.Stat(devicePath);
    if (!node) {
        return;
    }
    const std::string owner = node->uid == 0 ? std::string("root") : std::to_string(node->uid);
    out.push_back({Finding::Kind::Ok,
                   devicePath + " exists (owner " + owner + ", group " + GroupName(files, node->gid) +
                       ", mode " + Octal(node->mode) + ").",
                   {},
                   0});
    if (const std::optional<Refusal> refused = Judge(files, identity, devicePath, *node, adapter)) {
        out.push_back(refused->finding);
    } else {
        out.push_back({Finding::Kind::Ok, "You may open " + devicePath + " for reading and writing.", {}, 0});
    }
}

std::optional<AccessRefusal> WhyAccessRefused(const HostFiles& files, const HostIdentity& identity,
                                              const std::string& devicePath)
{
    const auto node = files.Stat(devicePath);
    if (!node) {
        return std::nullopt;
    }
    const std::optional<Refusal> refused =
        Judge(files, identity, devicePath, *node, DescribeAdapter(files, devicePath));
    if (!refused) {
        return std::nullopt;
    }
    return AccessRefusal{refused->reason, refused->finding.fix};
}

} // namespace aurex::ports

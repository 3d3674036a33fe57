#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

#include "ports/group_database.h"
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

Finding Problem(std::string text, std::string fix, int weight)
{
    return Finding{Finding::Kind::Problem, std::move(text), std::move(fix), weight};
}

} // namespace

void AddAccessFindings(Findings& out, const HostFiles& files, const HostIdentity& identity,
                       const std::string& devicePath, const AdapterIdentity& adapter)
{
    const auto node = files.Stat(devicePath);
    if (!node) {
        return;
    }
    const std::string group = GroupName(files, node->gid);
    const std::string owner = node->uid == 0 ? std::string("root") : std::to_string(node->uid);
    out.push_back(
        {Finding::Kind::Ok,
         devicePath + " exists (owner " + owner + ", group " + group + ", mode " + Octal(node->mode) + ").",
         {},
         0});
    if (MayReadWrite(files, devicePath, identity)) {
        out.push_back({Finding::Kind::Ok, "You may open " + devicePath + " for reading and writing.", {}, 0});
        return;
    }

    const auto entry = FindGroup(files, node->gid);
    const bool listed =
        identity.gid == node->gid || (entry && std::find(entry->members.begin(), entry->members.end(),
                                                         identity.userName) != entry->members.end());
    const bool inEffect = identity.HasGroup(node->gid);
    const bool groupMayOpen = (node->mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const std::string user = identity.userName.empty() ? std::to_string(identity.uid) : identity.userName;

    if (group == "root") {
        // Joining root's group would give away far more than a serial port: hand the device to
        // dialout instead.
        out.push_back(
            Problem(devicePath + " belongs to group root, which no user should join to reach it.",
                    UdevRuleCommand(adapter, "GROUP=\"dialout\", MODE=\"0660\"", "50-aurex-serial.rules"),
                    weight::kRootOwned));
    } else if (!groupMayOpen) {
        out.push_back(Problem(
            devicePath + " has mode " + Octal(node->mode) + ", so group " + group + " may not open it.",
            UdevRuleCommand(adapter, "GROUP=\"" + group + "\", MODE=\"0660\"", "50-aurex-serial.rules"),
            weight::kModeShutsGroupOut));
    } else if (listed && !inEffect) {
        out.push_back(Problem("You were added to group " + group + ", but this login does not have it yet.",
                              "log out and in again (or run `newgrp " + group + "`)",
                              weight::kGroupNotInEffect));
    } else if (!listed) {
        out.push_back(Problem(
            "You (" + user + ") are not in group " + group + ", which may open " + devicePath + ".",
            "sudo usermod -aG " + group + " " + user + ", then log out and in again", weight::kNotInGroup));
    } else {
        out.push_back(Problem("You may not open " + devicePath + " although you are in group " + group + ".",
                              "ls -l " + devicePath + " && getfacl " + devicePath, weight::kAccessDenied));
    }
}

} // namespace aurex::ports

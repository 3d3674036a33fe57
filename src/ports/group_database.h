#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

#include "ports/host_files.h"
#include "ports/host_text.h"

namespace aurex::ports {

// The groups as /etc/group lists them: that file says who was added to a group, whether or not
// the login has picked it up yet. On the real system the name service stands in for groups the
// file lacks (LDAP, systemd-userdb).
std::optional<GroupEntry> FindGroup(const HostFiles& files, gid_t gid);
std::optional<GroupEntry> FindGroupByName(const HostFiles& files, const std::string& name);

// The group's name, or its number when it has none.
std::string GroupName(const HostFiles& files, gid_t gid);

} // namespace aurex::ports

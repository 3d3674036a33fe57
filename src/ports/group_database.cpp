#include "ports/group_database.h"

#include <functional>
#include <grp.h>
#include <vector>

namespace aurex::ports {
namespace {

constexpr std::size_t kGroupFileLimit = 1024 * 1024;

std::optional<GroupEntry> FromFile(const HostFiles& files,
                                   const std::function<bool(const GroupEntry&)>& wanted)
{
    const auto text = files.ReadText("/etc/group", kGroupFileLimit);
    if (!text) {
        return std::nullopt;
    }
    for (std::string_view line : SplitLines(*text)) {
        if (auto entry = ParseGroupLine(line); entry && wanted(*entry)) {
            return entry;
        }
    }
    return std::nullopt;
}

std::optional<GroupEntry> FromNameService(const group* found)
{
    if (found == nullptr) {
        return std::nullopt;
    }
    GroupEntry entry{found->gr_name, static_cast<unsigned>(found->gr_gid), {}};
    for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member) {
        entry.members.emplace_back(*member);
    }
    return entry;
}

} // namespace

namespace {

// /etc/group first; on the real system the name service (LDAP, systemd's groups) after it.
template <typename Matches, typename Lookup>
std::optional<GroupEntry> Find(const HostFiles& files, Matches matches, Lookup lookup)
{
    if (auto entry = FromFile(files, matches)) {
        return entry;
    }
    if (!files.IsRealSystem()) {
        return std::nullopt;
    }
    std::vector<char> buffer(64 * 1024);
    group entry{};
    group* found = nullptr;
    if (lookup(&entry, buffer.data(), buffer.size(), &found) != 0) {
        return std::nullopt;
    }
    return FromNameService(found);
}

} // namespace

std::optional<GroupEntry> FindGroup(const HostFiles& files, gid_t gid)
{
    return Find(
        files, [gid](const GroupEntry& e) { return e.gid == gid; },
        [gid](group* entry, char* buffer, std::size_t size, group** found) {
            return ::getgrgid_r(gid, entry, buffer, size, found);
        });
}

std::optional<GroupEntry> FindGroupByName(const HostFiles& files, const std::string& name)
{
    return Find(
        files, [&name](const GroupEntry& e) { return e.name == name; },
        [&name](group* entry, char* buffer, std::size_t size, group** found) {
            return ::getgrnam_r(name.c_str(), entry, buffer, size, found);
        });
}

std::string GroupName(const HostFiles& files, gid_t gid)
{
    if (const auto entry = FindGroup(files, gid)) {
        return entry->name;
    }
    return gid == 0 ? "root" : std::to_string(gid);
}

} // namespace aurex::ports

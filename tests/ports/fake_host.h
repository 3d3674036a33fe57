#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

#include "ports/host_files.h"

namespace aurex::ports::testing {

// A made-up system in a temporary folder: /dev nodes (plain files, as tests cannot make device
// nodes), sysfs, /proc and /etc as the port checks read them. Removed at the end.
class FakeHost
{
  public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    void File(const std::string& path, const std::string& content, mode_t mode = 0644);
    void Link(const std::string& path, const std::string& target);
    void Remove(const std::string& path);

    // A serial device node with its sysfs "dev" numbers.
    void Device(const std::string& name, mode_t mode = 0660);
    // A USB adapter behind /dev/<name> as sysfs and udev lay it out, by-id link included.
    void UsbAdapter(const std::string& name, const std::string& vendor = "0403",
                    const std::string& product = "6001", std::optional<int> latencyMs = 16);
    void Process(pid_t pid, const std::string& command);
    void OpenFile(pid_t pid, int fd, const std::string& target);
    // A /proc/locks line for a lock of pid on the node at path.
    std::string LockLine(pid_t pid, const std::string& path) const;
    // /etc/group with the group that owns the fake nodes under the given name.
    void NodeGroup(const std::string& name, const std::string& members = {});

    HostFiles Files() const { return HostFiles(root_); }
    gid_t NodeGid() const;

    // Who the checks run as: not the nodes' owner, not root, in no group unless a test adds one.
    HostIdentity identity;

  private:
    std::string root_;
};

} // namespace aurex::ports::testing

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace aurex::ports {

// What stat says about a file, as far as the port checks need it.
struct FileStat
{
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    dev_t device = 0; // the file system the node lives on (st_dev)
    ino_t inode = 0;
    dev_t rdev = 0; // the device a character node stands for
    bool isCharDevice = false;
};

// Every look at /sys, /proc, /dev, /run, /var, /etc, /usr and /lib goes through here. With a root
// prefix the same paths are read below that folder, so the checks run on fake trees in tests.
// Every read is bounded: the files are the system's, not ours.
class HostFiles
{
  public:
    static constexpr std::size_t kTextLimit = 64 * 1024;
    static constexpr std::size_t kListLimit = 65536;

    // An empty root is the real system.
    explicit HostFiles(std::string root = {});

    bool IsRealSystem() const { return root_.empty(); }
    // Where a path of the system is on disk (the root prefix added).
    std::string OnDisk(const std::string& path) const;

    std::optional<std::string> ReadText(const std::string& path, std::size_t limit = kTextLimit) const;
    // The names in a folder, sorted; at most limit of them.
    std::vector<std::string> List(const std::string& dir, std::size_t limit = kListLimit) const;
    // What a symbolic link points to, as written in it.
    std::optional<std::string> LinkTarget(const std::string& path) const;
    // The path with every symbolic link followed, never leaving the root: absolute targets count
    // from the root, relative ones from the link's folder. Parts that do not exist stay as written,
    // and so does the whole path when its links go round in a loop.
    std::string Resolve(const std::string& path) const;
    // Follows links like Resolve.
    std::optional<FileStat> Stat(const std::string& path) const;
    bool Exists(const std::string& path) const;

  private:
    // Nothing when the links go round in a loop.
    std::optional<std::string> TryResolve(const std::string& path) const;
    std::optional<std::string> OnDiskResolved(const std::string& path) const;

    std::string root_;
};

// Who this program runs as: what decides whether it may open a device.
struct HostIdentity
{
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups; // the supplementary groups in effect in this login
    std::string userName;
    pid_t pid = 0;

    static HostIdentity OfThisProcess();
    bool HasGroup(gid_t group) const;
};

// Whether the identity may open the path for reading and writing. On the real system the kernel
// decides (access honours ACLs); on a fake tree the mode bits do.
bool MayReadWrite(const HostFiles& files, const std::string& path, const HostIdentity& identity);

// The last part of a path: "ttyUSB0" of "/dev/ttyUSB0".
std::string BaseName(const std::string& path);

} // namespace aurex::ports

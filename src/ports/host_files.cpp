#include "ports/host_files.h"

#include <algorithm>
#include <array>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aurex::ports {
namespace {

// Linux gives up after 40 links in a row; so do we.
constexpr int kLinkLimit = 40;

std::vector<std::string> PathParts(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < path.size()) {
        const std::size_t slash = path.find('/', i);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > i) {
            parts.push_back(path.substr(i, end - i));
        }
        i = end + 1;
    }
    return parts;
}

std::string JoinParts(const std::vector<std::string>& parts)
{
    std::string path;
    for (const std::string& part : parts) {
        path += '/';
        path += part;
    }
    return path.empty() ? "/" : path;
}

class Descriptor
{
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

} // namespace

HostFiles::HostFiles(std::string root) : root_(std::move(root))
{
    while (!root_.empty() && root_.back() == '/') {
        root_.pop_back();
    }
}

std::string HostFiles::OnDisk(const std::string& path) const
{
    return root_ + path;
}

std::optional<std::string> HostFiles::ReadText(const std::string& path, std::size_t limit) const
{
    // O_NONBLOCK: a fifo or a device planted where a text file should be must not hang us.
    const auto onDisk = OnDiskResolved(path);
    if (!onDisk) {
        return std::nullopt;
    }
    Descriptor fd(::open(onDisk->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.Get() < 0) {
        return std::nullopt;
    }
    struct stat st
    {
    };
    if (::fstat(fd.Get(), &st) != 0 || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    std::string text;
    std::array<char, 4096> chunk{};
    while (text.size() < limit) {
        const std::size_t want = std::min(chunk.size(), limit - text.size());
        const ssize_t got = ::read(fd.Get(), chunk.data(), want);
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return text;
}

std::vector<std::string> HostFiles::List(const std::string& dir, std::size_t limit) const
{
    std::vector<std::string> names;
    const auto onDisk = OnDiskResolved(dir);
    DIR* stream = onDisk ? ::opendir(onDisk->c_str()) : nullptr;
    if (stream == nullptr) {
        return names;
    }
    while (names.size() < limit) {
        const dirent* entry = ::readdir(stream);
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> HostFiles::LinkTarget(const std::string& path) const
{
    std::array<char, 4096> buffer{};
    const ssize_t size = ::readlink(OnDisk(path).c_str(), buffer.data(), buffer.size());
    if (size < 0 || static_cast<std::size_t>(size) >= buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(size));
}

std::string HostFiles::Resolve(const std::string& path) const
{
    return TryResolve(path).value_or(path);
}

std::optional<std::string> HostFiles::OnDiskResolved(const std::string& path) const
{
    const auto resolved = TryResolve(path);
    return resolved ? std::optional<std::string>(OnDisk(*resolved)) : std::nullopt;
}

std::optional<std::string> HostFiles::TryResolve(const std::string& path) const
{
    std::vector<std::string> done;
    std::vector<std::string> todo = PathParts(path);
    std::reverse(todo.begin(), todo.end()); // the next part at the back
    int links = 0;
    while (!todo.empty()) {
        std::string part = std::move(todo.back());
        todo.pop_back();
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!done.empty()) {
                done.pop_back();
            }
            continue;
        }
        done.push_back(std::move(part));
        const auto target = LinkTarget(JoinParts(done));
        if (!target) {
            continue;
        }
        if (++links > kLinkLimit) {
            return std::nullopt;
        }
        done.pop_back();
        if (!target->empty() && target->front() == '/') {
            done.clear();
        }
        std::vector<std::string> more = PathParts(*target);
        todo.insert(todo.end(), more.rbegin(), more.rend());
    }
    return JoinParts(done);
}

std::optional<FileStat> HostFiles::Stat(const std::string& path) const
{
    struct stat st
    {
    };
    const auto onDisk = OnDiskResolved(path);
    if (!onDisk || ::lstat(onDisk->c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileStat{st.st_mode, st.st_uid, st.st_gid, st.st_dev, st.st_ino, st.st_rdev, S_ISCHR(st.st_mode)};
}

bool HostFiles::Exists(const std::string& path) const
{
    return Stat(path).has_value();
}

HostIdentity HostIdentity::OfThisProcess()
{
    HostIdentity identity;
    identity.uid = ::getuid();
    identity.gid = ::getgid();
    identity.pid = ::getpid();
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        identity.groups.resize(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, identity.groups.data());
        identity.groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    std::array<char, 16384> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(identity.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        identity.userName = found->pw_name;
    }
    return identity;
}

bool HostIdentity::HasGroup(gid_t group) const
{
    return gid == group || std::find(groups.begin(), groups.end(), group) != groups.end();
}

bool MayReadWrite(const HostFiles& files, const std::string& path, const HostIdentity& identity)
{
    if (files.IsRealSystem()) {
        return ::access(files.Resolve(path).c_str(), R_OK | W_OK) == 0;
    }
    const auto st = files.Stat(path);
    if (!st) {
        return false;
    }
    if (identity.uid == 0) {
        return true;
    }
    mode_t need = S_IROTH | S_IWOTH;
    if (identity.uid == st->uid) {
        need = S_IRUSR | S_IWUSR;
    } else if (identity.HasGroup(st->gid)) {
        need = S_IRGRP | S_IWGRP;
    }
    return (st->mode & need) == need;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace aurex::ports

#include "transfer/backup_disk.h"

#include "record/private_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

namespace aurex {

namespace {

int Error(int result)
{
    return result == 0 ? 0 : errno;
}

constexpr const char* kTempPrefix = ".codeplug-";
constexpr const char* kTempSuffix = ".tmp";

std::string TempName(pid_t pid, unsigned number)
{
    return kTempPrefix + std::to_string(pid) + "-" + std::to_string(number) + kTempSuffix;
}

// The process of a hidden name TempName made; 0 for any other name.
pid_t TempOwner(std::string_view name)
{
    const std::string_view prefix = kTempPrefix;
    const std::string_view suffix = kTempSuffix;
    if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix) {
        return 0;
    }
    const std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const std::size_t dash = middle.find('-');
    if (dash == std::string_view::npos || dash + 1 == middle.size() ||
        middle.substr(dash + 1).find_first_not_of("0123456789") != std::string_view::npos) {
        return 0;
    }
    pid_t pid = 0;
    const auto parsed = std::from_chars(middle.data(), middle.data() + dash, pid);
    if (parsed.ec != std::errc() || parsed.ptr != middle.data() + dash || pid <= 0) {
        return 0;
    }
    return pid;
}

} // namespace

std::string ErrorText(int error)
{
    return PlaceErrorText(error);
}

int BackupDisk::MakePrivateFolder(const std::string& path)
{
    if (path.empty() || path[0] != '/') {
        return EINVAL;
    }
    // A link planted where the backups go would take the radios' passwords elsewhere.
    return aurex::MakePrivateFolder(path);
}

int BackupDisk::OpenFolder(const std::string& path, int& fd)
{
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? errno : 0;
}

int BackupDisk::CreateUnnamed(int folder, int& fd, std::string& tempName)
{
    tempName.clear();
    fd = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }
    // A file system without unnamed files: a hidden name no other run uses.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = TempName(::getpid(), counter++);
        fd = ::openat(folder, tempName.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return 0;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    tempName.clear();
    return errno;
}

int BackupDisk::Write(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return ENOSPC; // no progress: a short write, never a loop
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int BackupDisk::WriteAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? ENOSPC : errno; // no progress: a short write, never a loop
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

int BackupDisk::Truncate(int fd, std::uint64_t size)
{
    return Error(::ftruncate(fd, static_cast<off_t>(size)));
}

int BackupDisk::ReadAt(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? EIO : errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

int BackupDisk::DataSync(int fd)
{
    return Error(::fdatasync(fd));
}

int BackupDisk::LinkIn(int folder, int fd, const std::string& tempName, const std::string& name)
{
    if (!tempName.empty()) {
        if (::linkat(folder, tempName.c_str(), folder, name.c_str(), 0) == 0) {
            return 0;
        }
        if (errno != EPERM && errno != EOPNOTSUPP) {
            return errno;
        }
        // No hard links here: a rename that refuses to replace does the same.
        return ::syscall(SYS_renameat2, folder, tempName.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0
                   ? 0
                   : errno;
    }
    // link() fails with EEXIST on a taken name; a rename would replace it.
    if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) {
        return 0;
    }
    if (errno != ENOENT && errno != EPERM) {
        return errno;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return Error(::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW));
}

int BackupDisk::Unlink(int folder, const std::string& name)
{
    return Error(::unlinkat(folder, name.c_str(), 0));
}

int BackupDisk::RemoveLeftTemporaries(int folder)
{
    const int listed = ::dup(folder);
    DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (dir == nullptr) {
        if (listed >= 0) {
            ::close(listed);
        }
        return 0;
    }
    std::vector<std::string> left;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = TempOwner(entry->d_name);
        // A number taken again by another process keeps its file: better a stray file than a
        // backup of a running program's lost.
        if (owner > 0 && owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH) {
            left.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : left) {
        removed += ::unlinkat(folder, name.c_str(), 0) == 0 ? 1 : 0;
    }
    return removed;
}

int BackupDisk::SyncFolder(int folder)
{
    return Error(::fsync(folder));
}

int BackupDisk::FreeBytes(int folder, std::uint64_t& bytes)
{
    struct statvfs vfs
    {
    };
    if (::fstatvfs(folder, &vfs) != 0) {
        return errno;
    }
    bytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return 0;
}

void BackupDisk::Close(int fd)
{
    if (fd >= 0) {
        ::close(fd);
    }
}

BackupDisk& SystemBackupDisk()
{
    static BackupDisk disk;
    return disk;
}

} // namespace aurex

#include "record/target_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aurex {

const char* FileKindText(mode_t mode)
{
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    return S_ISSOCK(mode) ? "a socket" : "not a regular file";
}

namespace {

std::string CannotWrite(const std::string& path, const std::string& why)
{
    return "cannot write " + path + ": " + why;
}

// Why an existing file of this kind may not be written: empty when it may.
std::string RefusalFor(const std::string& path, const struct stat& st, ExistingFile existing)
{
    if (!S_ISREG(st.st_mode)) {
        return CannotWrite(path, std::string("it is ") + FileKindText(st.st_mode) + "; name a new file");
    }
    if (existing == ExistingFile::Keep) {
        return CannotWrite(path, "it already exists");
    }
    // Emptying a file of several names would empty them all, wherever they are.
    return st.st_nlink > 1 ? CannotWrite(path, "it has other names (hard links); name a new file")
                           : std::string();
}

} // namespace

std::string TargetRefusal(const std::string& path, ExistingFile existing)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? std::string() : CannotWrite(path, std::strerror(errno));
    }
    return RefusalFor(path, st, existing);
}

bool PutInPlace(const std::string& temporary, const std::string& path, ExistingFile existing,
                std::string& error)
{
    error = TargetRefusal(path, existing);
    if (!error.empty()) {
        return false;
    }
    if (existing == ExistingFile::Replace) {
        // Absent or a regular file the user chose to replace: the rename swaps names and never
        // writes into what was there.
        if (std::rename(temporary.c_str(), path.c_str()) == 0) {
            return true;
        }
    } else if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    } else if ((errno == EINVAL || errno == ENOSYS) && ::link(temporary.c_str(), path.c_str()) == 0) {
        // A file system without the no-replace rename: a new link fails as well on a taken name.
        ::unlink(temporary.c_str());
        return true;
    }
    const int fault = errno;
    // Something took the name since the check: say what it is.
    error = fault == EEXIST ? TargetRefusal(path, ExistingFile::Keep) : std::string();
    if (error.empty()) {
        error = CannotWrite(path, std::strerror(fault));
    }
    return false;
}

int OpenTargetFile(const std::string& path, ExistingFile existing, std::string& error)
{
    error = TargetRefusal(path, existing);
    if (!error.empty()) {
        return -1;
    }
    // No O_TRUNC: what is opened is checked first. O_NONBLOCK keeps a FIFO put in its place
    // meanwhile from holding the open.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC |
                      (existing == ExistingFile::Keep ? O_EXCL : 0);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        const int fault = errno;
        error = TargetRefusal(path, existing);
        if (error.empty()) {
            error = CannotWrite(path, std::strerror(fault));
        }
        return -1;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        error = CannotWrite(path, std::strerror(errno));
    } else if (error = RefusalFor(path, st, ExistingFile::Replace); error.empty()) {
        if (::ftruncate(fd, 0) != 0 || ::fchmod(fd, 0600) != 0 ||
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            error = CannotWrite(path, std::strerror(errno));
        }
    }
    if (!error.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace aurex

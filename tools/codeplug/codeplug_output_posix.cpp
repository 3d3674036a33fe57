// Writing codeplug files on POSIX systems: the output checks by lstat and stat, the temporary
// file synced and renamed over OUT. codeplug_output_win32.cpp is the Windows twin.
#include "codeplug/codeplug_file.h"

#include "record/target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace aurex {

namespace {

std::string SystemError(int error)
{
    return error != 0 ? std::strerror(error) : "unknown error";
}

// OUT itself, links not followed: absent or a regular file. A link is refused rather than
// replaced by the rename or written through.
bool CheckOutputKind(const std::string& path, std::string& error)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        error = "cannot write " + path + ": " + SystemError(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "cannot write " + path + ": it is " + FileKindText(st.st_mode) +
                "; OUT must be a new file or a regular file";
        return false;
    }
    return true;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The rename is durable only once the folder that holds OUT is synced too.
void SyncFolderOf(const std::string& path)
{
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool CheckCodeplugOutput(const std::string& in, const std::string& out, std::string& error)
{
    // Links followed on both sides: a symbolic or hard link to IN is IN.
    struct stat inStat
    {
    };
    struct stat outStat
    {
    };
    if (::stat(in.c_str(), &inStat) == 0 && ::stat(out.c_str(), &outStat) == 0 &&
        inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino) {
        error = "cannot write " + out + ": it is the same file as " + in + "; name a new file for OUT";
        return false;
    }
    return CheckOutputKind(out, error);
}

bool WriteCodeplugFile(const std::string& path, const std::vector<uint16_t>& buffer, std::size_t byteCount,
                       std::string& error)
{
    std::vector<unsigned char> bytes;
    if (!CodeplugLineBytes(path, buffer, byteCount, bytes, error) || !CheckOutputKind(path, error)) {
        return false;
    }
    // A name of our own beside OUT: OUT is never seen half written. Only the owner may read it:
    // a codeplug holds the radio's passwords, as the backup it came from does.
    const std::string temporary = TemporaryNameBeside(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write " + path + ": " + SystemError(errno);
        return false;
    }
    struct stat st
    {
    };
    int fault = 0;
    if (::fstat(fd, &st) != 0) {
        fault = errno;
    } else if (!S_ISREG(st.st_mode)) {
        fault = EINVAL;
    } else if (!WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
        fault = errno;
    }
    if (::close(fd) != 0 && fault == 0) {
        fault = errno;
    }
    // Should something else have taken OUT's name since the check, a folder makes the rename
    // fail and anything else is replaced, never written into.
    if (fault == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        fault = errno;
    }
    if (fault != 0) {
        error = "cannot write " + path + ": " + SystemError(fault);
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolderOf(path);
    return true;
}

} // namespace aurex

#include "record/private_folder.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aurex {

int MakePrivateFolder(const std::string& path)
{
    if (path.empty()) {
        return EINVAL;
    }
    // mkdir's mode is what the umask leaves of it; 0700 leaves nothing for others to take away.
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        if (::mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    // Opened, not looked up again: what is checked and tightened is what is there.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st
    {
    };
    if (fd < 0) {
        // Linux says ENOTDIR for a link here; the caller is told what is really in the way.
        const int error = errno;
        return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? ELOOP : error;
    }
    int error = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (error == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0 &&
        ::fchmod(fd, st.st_mode & 0700) != 0) {
        error = errno;
    }
    ::close(fd);
    return error;
}

std::string PlaceErrorText(int error)
{
    if (error == ELOOP) {
        return "it is a symbolic link, which this program does not follow there";
    }
    return std::strerror(error);
}

} // namespace aurex

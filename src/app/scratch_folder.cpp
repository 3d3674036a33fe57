#include "app/scratch_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "record/private_folder.h"

namespace aurex {

namespace {

constexpr const char* kPrefix = "run-";
constexpr const char* kLockName = "lock";

bool IsAbsoluteSetting(const char* name, std::filesystem::path& value)
{
    const char* text = std::getenv(name);
    if (text == nullptr || text[0] != '/') {
        return false;
    }
    value = text;
    return true;
}

// The process id a run folder is named after; 0 for any other name.
pid_t OwnerOf(const std::string& name)
{
    const std::size_t prefix = std::strlen(kPrefix);
    if (name.size() <= prefix || name.size() > prefix + 9 || name.compare(0, prefix, kPrefix) != 0) {
        return 0;
    }
    pid_t pid = 0;
    for (std::size_t i = prefix; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return 0;
        }
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

bool OwnerIsRunning(const std::filesystem::path& folder, pid_t pid)
{
    const int lock = ::open((folder / kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lock >= 0) {
        // The lock outlives no process: free means the run that made the folder has ended,
        // whatever process has its number now.
        const bool held = ::flock(lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(lock);
        return held;
    }
    // Killed before it took its lock.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

ScratchFolder::ScratchFolder(std::filesystem::path parent)
    : parent_(std::move(parent)), files_(parent_ / (kPrefix + std::to_string(::getpid())))
{
}

ScratchFolder::~ScratchFolder()
{
    Release();
}

std::string ScratchFolder::Prepare()
{
    if (lock_ >= 0) {
        return {};
    }
    const std::string where =
        "The folder for the images of this run, " + Path().string() + ", cannot be made: ";
    if (const int error = MakePrivateFolder(parent_)) {
        return where + PlaceErrorText(error) + ".";
    }
    // In a shared temporary folder another user could have put the parent there first; one that
    // others may still write into lets them plant what the run then opens.
    struct stat st
    {
    };
    if (::lstat(parent_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 022) != 0) {
        return where + parent_.string() + " is not a folder of this user's alone.";
    }
    if (::mkdir(Path().c_str(), 0700) != 0 && errno != EEXIST) {
        return where + std::strerror(errno) + ".";
    }
    if (::lstat(Path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return where + "a file of that name is in the way.";
    }
    const int lock = ::open((Path() / kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) {
        return where + std::strerror(errno) + ".";
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(lock);
        return where + std::strerror(e) + ".";
    }
    lock_ = lock;
    // With the lock ours, anything else here was left by a killed process that had this number
    // before us (the start skips this folder as ours); extraction never writes over a file.
    std::vector<std::filesystem::path> left;
    std::error_code listed;
    for (std::filesystem::directory_iterator it(Path(), listed), end; !listed && it != end;
         it.increment(listed)) {
        if (it->path().filename() != kLockName) {
            left.push_back(it->path());
        }
    }
    for (const std::filesystem::path& path : left) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    return {};
}

void ScratchFolder::Release()
{
    if (lock_ < 0) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(Path(), ignored);
    ::close(lock_);
    lock_ = -1;
}

std::filesystem::path DefaultScratchParent()
{
    std::filesystem::path base;
    if (IsAbsoluteSetting("XDG_CACHE_HOME", base)) {
        return base / "Aurex Code Updater";
    }
    if (IsAbsoluteSetting("HOME", base)) {
        return base / ".cache" / "Aurex Code Updater";
    }
    if (!IsAbsoluteSetting("TMPDIR", base)) {
        base = "/tmp";
    }
    return base / ("aurex-code-updater-" + std::to_string(::geteuid()));
}

int RemoveStaleScratchFolders(const std::filesystem::path& parent)
{
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t pid = OwnerOf(it->path().filename().string());
        std::error_code typeError;
        if (pid <= 0 || pid == ::getpid() || !it->is_directory(typeError) || it->is_symlink(typeError) ||
            OwnerIsRunning(it->path(), pid)) {
            continue;
        }
        std::error_code ignored;
        if (std::filesystem::remove_all(it->path(), ignored) > 0) {
            ++removed;
        }
    }
    return removed;
}

} // namespace aurex

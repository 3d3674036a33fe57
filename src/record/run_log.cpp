#include "record/run_log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "record/private_folder.h"

namespace aurex {

namespace {

// A log is a page or two per run; a buffer this large means nobody flushes: write it out.
constexpr std::size_t kFlushAbove = 256 * 1024;

std::int64_t SteadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The names in `folder` that are run files ("run-" ... suffix), sorted oldest first.
std::vector<std::string> RunFileNames(const std::string& folder, std::string_view suffix)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.starts_with("run-") && EndsWith(name, suffix)) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

RunLog::RunLog(std::function<std::int64_t()> clock) : clock_(clock ? std::move(clock) : SteadyNanoseconds) {}

RunLog::~RunLog()
{
    Close();
}

bool RunLog::Open(const std::string& folder, const std::string& name)
{
    Close();
    warning_.clear();
    buffer_.clear();
    path_ = folder + "/" + name;
    if (const int error = MakePrivateFolder(folder)) {
        warning_ = "The run log cannot be written: cannot use the folder " + folder + " (" +
                   PlaceErrorText(error) + "). The run goes on without it.";
        return false;
    }
    // Never over another run's log: a name taken (two runs in one instant) gets a number.
    const std::size_t dot = name.rfind('.');
    for (int n = 2; (fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) < 0 &&
                    errno == EEXIST && n < 100;
         ++n) {
        path_ = folder + "/" + name.substr(0, dot) + "-" + std::to_string(n) +
                (dot == std::string::npos ? std::string() : name.substr(dot));
    }
    if (fd_ < 0) {
        Fail("cannot create", errno);
        return false;
    }
    origin_ = clock_();
    return true;
}

double RunLog::SecondsSinceOpen() const
{
    return static_cast<double>(clock_() - origin_) / 1e9;
}

void RunLog::Line(std::string_view text)
{
    if (!IsOpen()) {
        return;
    }
    char stamp[32];
    const int n = std::snprintf(stamp, sizeof stamp, "+%9.3f ", SecondsSinceOpen());
    buffer_.append(stamp, static_cast<std::size_t>(n));
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        buffer_.append(text.substr(start, end - start));
        buffer_ += '\n';
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
        buffer_.append(static_cast<std::size_t>(n), ' ');
    }
    if (buffer_.size() > kFlushAbove) {
        Flush();
    }
}

void RunLog::Raw(std::string_view text)
{
    if (!IsOpen()) {
        return;
    }
    buffer_.append(text);
    if (buffer_.size() > kFlushAbove) {
        Flush();
    }
}

void RunLog::Flush()
{
    std::size_t done = 0;
    while (IsOpen() && done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail("cannot write to", n < 0 ? errno : ENOSPC);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void RunLog::Close()
{
    if (!IsOpen()) {
        return;
    }
    Flush();
    if (IsOpen()) {
        ::fsync(fd_);
        ::close(fd_);
        fd_ = -1;
    }
}

void RunLog::Fail(std::string_view step, int error)
{
    warning_ = "The run log cannot be written: " + std::string(step) + " " + path_ + " (" +
               std::strerror(error) + "). The run goes on without it.";
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    buffer_.clear();
}

std::string RunLogName(std::string_view compactUtcTime, long pid, std::string_view kind)
{
    return "run-" + std::string(compactUtcTime) + "-" + std::to_string(pid) + "-" + std::string(kind) +
           ".log";
}

void RotateRunLogs(const std::string& folder, std::size_t keep)
{
    const std::vector<std::string> logs = RunFileNames(folder, ".log");
    if (logs.size() <= keep) {
        return;
    }
    for (std::size_t i = 0; i + keep < logs.size(); ++i) {
        const std::string path = folder + "/" + logs[i];
        ::unlink(path.c_str());
        const std::string trace = path.substr(0, path.size() - 4) + ".trace";
        ::unlink(trace.c_str());
    }
}

std::vector<std::string> NewestRunFiles(const std::string& folder, std::string_view suffix, std::size_t count)
{
    std::vector<std::string> names = RunFileNames(folder, suffix);
    std::reverse(names.begin(), names.end());
    if (names.size() > count) {
        names.resize(count);
    }
    for (std::string& name : names) {
        name = folder + "/" + name;
    }
    return names;
}

} // namespace aurex

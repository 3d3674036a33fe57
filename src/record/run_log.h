#pragma once

// The text log of one run, in the logs folder of the data folder. Lines are kept in memory and
// written at each Flush (the caller flushes at each status and at the end), so writing never
// waits on the disk in the middle of a transfer. A log that cannot be written is closed with one
// warning; the run goes on without it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace aurex {

class RunLog
{
  public:
    // `clock` gives monotonic nanoseconds; empty: std::chrono::steady_clock.
    explicit RunLog(std::function<std::int64_t()> clock = {});
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Creates `folder`/`name` (0600; the folder private, never a link; "-2", "-3", ... before the
    // extension when the name is taken) and starts the clock of the lines. False with Warning().
    bool Open(const std::string& folder, const std::string& name);
    bool IsOpen() const { return fd_ >= 0; }
    // One line "+  12.345 text"; further lines of a text of several are indented under it.
    void Line(std::string_view text);
    // Text appended as it is (a block such as the line trace).
    void Raw(std::string_view text);
    // Writes what is buffered; a failure closes the log and sets Warning().
    void Flush();
    // Flushes, syncs and closes.
    void Close();
    const std::string& Path() const { return path_; }
    // Why the log was dropped: empty while all is well.
    const std::string& Warning() const { return warning_; }
    double SecondsSinceOpen() const;

  private:
    void Fail(std::string_view step, int error);

    std::function<std::int64_t()> clock_;
    std::int64_t origin_ = 0;
    int fd_ = -1;
    std::string path_;
    std::string buffer_;
    std::string warning_;
};

// "run-20261208T101500Z-4242-update.log": names sort by the time the run began.
std::string RunLogName(std::string_view compactUtcTime, long pid, std::string_view kind);

// Removes the oldest run logs in `folder` beyond the newest `keep`, with the trace beside each
// (same name, ".trace"). Other files are left alone.
void RotateRunLogs(const std::string& folder, std::size_t keep);

// The newest `count` files of the logs folder whose names end in `suffix`, newest first.
std::vector<std::string> NewestRunFiles(const std::string& folder, std::string_view suffix,
                                        std::size_t count);

} // namespace aurex

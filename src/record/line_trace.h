#pragma once

// Every frame on the radio link, both ways, with a monotonic time stamp, the direction, the
// message's name and its bytes. The newest frames are always kept in memory for the run log of a
// failed run; the whole trace can also go to a file as it happens. The digits of the radio
// password message (03 0C) never reach either, nor the data of codeplug blocks (03 02, both
// ways), which hold the radio's passwords; only a trace file asked for with them has them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame_watch.h"
#include "record/target_file.h"

namespace aurex {

enum class TraceDirection : std::uint8_t { Sent, Heard };

// What the trace counted since it was made (or Reset).
struct TraceCounts
{
    std::uint64_t sent = 0;
    std::uint64_t heard = 0;
    // Blocks sent again after the radio refused one (02 0A) or a checksum differed (02 06, 03 06).
    std::uint64_t resends = 0;
    std::uint64_t timeOuts = 0;
    // Checksum-differs answers (02 06, 03 06) and frames heard with a wrong checksum.
    std::uint64_t checksumMismatches = 0;
    // Frames heard and dropped for any other reason (bad escape, too short, oversized, ...).
    std::uint64_t droppedFrames = 0;
};

// The name of a message from the message table ("DataBlock", "BootVersionReply", ...), or
// "Unknown" for a code the table does not hold. A code several ids share gives one name. The few
// codes the program uses outside the table (password step, interface box) have names too.
std::string_view TraceMessageName(std::uint8_t classByte, std::uint8_t commandByte, TraceDirection direction);

// One frame as a trace line, without a line end:
//   "    12.345678 > 04 2D BootVersion"          (seconds since the trace began, '>' sent)
//   "    12.401112 < 04 2E BootVersionReply 04 00"
//   "    13.000000 < dropped: bad checksum"
//   "    14.000000 ! time-out"
// The password message's digits are written "** ** ** **", and so is every data byte of a
// codeplug block.
std::string FormatTraceLine(std::int64_t nanoseconds, TraceDirection direction,
                            std::span<const std::uint8_t> message, FrameEvent event);

// The first line of a trace file that holds codeplug blocks in the clear.
inline constexpr std::string_view kCodeplugTraceMark =
    "# Codeplug blocks in the clear: this trace holds the radio's passwords. Keep it private.\n";

struct TraceFileOptions
{
    ExistingFile existing = ExistingFile::Keep;
    // Codeplug blocks written whole, for support that needs them; the file begins with
    // kCodeplugTraceMark. The entries kept in memory stay masked.
    bool codeplugInClear = false;
};

class LineTrace final : public FrameWatch
{
  public:
    static constexpr std::size_t kKeptFrames = 2000;

    // `clock` gives monotonic nanoseconds; empty: std::chrono::steady_clock.
    explicit LineTrace(std::function<std::int64_t()> clock = {});
    ~LineTrace() override;
    LineTrace(const LineTrace&) = delete;
    LineTrace& operator=(const LineTrace&) = delete;

    void MessageSent(std::span<const std::uint8_t> message) override;
    void FrameHeard(std::span<const std::uint8_t> message, FrameEvent event) override;
    void WaitTimedOut() override;

    // From now on every entry also goes to the file at `path` (0600, never through a link; an
    // existing regular file only with ExistingFile::Replace), buffered and flushed by Flush and
    // at Close. False, with the reason in `error`, when it cannot be opened. A write that fails
    // later closes the file and sets FileError; the trace in memory goes on.
    bool RecordTo(const std::string& path, const TraceFileOptions& options, std::string& error);
    bool Recording() const;
    void Flush();
    void Close();
    const std::string& FileError() const;

    // The kept entries (at most kKeptFrames, oldest first) as trace lines, each ending in '\n'.
    std::string KeptText() const;
    std::size_t KeptCount() const;
    TraceCounts Counts() const;
    // Forgets the kept entries and the counts; the time origin and a recording file stay.
    void Reset();

  private:
    struct Entry
    {
        std::int64_t nanoseconds = 0;
        TraceDirection direction = TraceDirection::Sent;
        FrameEvent event = FrameEvent::None; // None: a time-out
        std::uint16_t length = 0;
        std::array<std::uint8_t, 260> bytes{}; // longer messages keep their first 260 bytes
        std::uint16_t fullLength = 0;          // the message's length on the line
    };
    void Add(TraceDirection direction, std::span<const std::uint8_t> message, FrameEvent event);
    void FailFile(); // a write failed: keep the reason, close the file

    std::function<std::int64_t()> clock_;
    std::int64_t origin_ = 0;
    std::vector<Entry> ring_; // kKeptFrames entries, allocated once
    std::size_t next_ = 0;
    std::size_t kept_ = 0;
    TraceCounts counts_;
    bool blockAskedAgain_ = false; // a refusal or a differing checksum since the last block
    std::FILE* file_ = nullptr;
    bool fileCodeplugInClear_ = false;
    std::string fileError_;
};

} // namespace aurex

#include "record/line_trace.h"

#include "link/message_table.h"
#include "text/hex.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <unistd.h>

namespace aurex {
namespace {

constexpr std::uint8_t kPasswordClass = 0x03;
constexpr std::uint8_t kPasswordCommand = 0x0C;

// Codes the program sends or awaits outside the table: the codeplug password step builds its
// messages from the codes, and the interface-box probe is a pre-built frame.
struct ExtraName
{
    std::uint8_t classByte;
    std::uint8_t commandByte;
    const char* name;
};
constexpr std::array<ExtraName, 4> kExtraNames{{
    {0x03, 0x0B, "PasswordRequest"},
    {kPasswordClass, kPasswordCommand, "Password"},
    {0x09, 0x01, "InterfaceBoxProbe"},
    {0x09, 0x02, "InterfaceBoxReply"},
}};

bool IsReplyName(std::string_view name)
{
    return name.ends_with("Reply");
}

bool IsChecksumDiffers(std::span<const std::uint8_t> message)
{
    return message.size() >= 2 && (message[0] == 0x02 || message[0] == 0x03) && message[1] == 0x06;
}

bool IsCodeplugBlock(std::span<const std::uint8_t> message)
{
    return message.size() >= 2 && message[0] == 0x03 && message[1] == 0x02;
}

// A block of the flash or DSP download (02 09) or of a codeplug written (03 02).
bool IsBlock(std::span<const std::uint8_t> message)
{
    return IsCodeplugBlock(message) || (message.size() >= 2 && message[0] == 0x02 && message[1] == 0x09);
}

// The radio's 02 0A: it lost or refused what was sent last.
bool IsRefusal(std::span<const std::uint8_t> message)
{
    return message.size() >= 2 && message[0] == 0x02 && message[1] == 0x0A;
}

std::int64_t SteadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The longest line: time, mark, a whole message in hex, its name and the cut note.
constexpr std::size_t kMaxLineBytes = 64 + 3 * kLinkPacketCapacity + 64;

// Writes one trace line into `out` (room for kMaxLineBytes) and returns its length. `fullLength`
// is the message's length on the line when `message` holds only its first bytes.
std::size_t WriteLine(char* out, std::int64_t nanoseconds, TraceDirection direction,
                      std::span<const std::uint8_t> message, FrameEvent event, std::size_t fullLength,
                      bool codeplugInClear = false)
{
    const std::int64_t ns = std::max<std::int64_t>(nanoseconds, 0);
    int n = std::snprintf(out, kMaxLineBytes, "%6" PRId64 ".%06" PRId64, ns / 1'000'000'000,
                          (ns % 1'000'000'000) / 1000);
    char* p = out + std::max(n, 0);
    const auto put = [&p](std::string_view text) {
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    };
    if (event == FrameEvent::None) {
        put(" ! time-out");
        return static_cast<std::size_t>(p - out);
    }
    put(direction == TraceDirection::Sent ? " > " : " < ");
    if (event != FrameEvent::Frame) {
        put("dropped: ");
        put(FrameEventName(event));
        return static_cast<std::size_t>(p - out);
    }
    if (message.size() < 2) {
        for (std::uint8_t byte : message) {
            p = PutHexByte(p, byte);
            *p++ = ' ';
        }
        put("(no code)");
        return static_cast<std::size_t>(p - out);
    }
    p = PutHexByte(p, message[0]);
    *p++ = ' ';
    p = PutHexByte(p, message[1]);
    *p++ = ' ';
    put(TraceMessageName(message[0], message[1], direction));
    // The password's digits stay off the screen, the run log and the disk, and so do the
    // codeplug's bytes (the download's scrambling is undone with the radio's serial number).
    // Their count stays: a short block is still seen.
    const bool masked = (message[0] == kPasswordClass && message[1] == kPasswordCommand) ||
                        (IsCodeplugBlock(message) && !codeplugInClear);
    for (std::size_t i = 2; i < message.size(); ++i) {
        *p++ = ' ';
        if (masked) {
            put("**");
        } else {
            p = PutHexByte(p, message[i]);
        }
    }
    if (fullLength > message.size()) {
        n = std::snprintf(p, 40, " ... (%zu bytes)", fullLength);
        p += std::max(n, 0);
    }
    return static_cast<std::size_t>(p - out);
}

} // namespace

std::string_view TraceMessageName(std::uint8_t classByte, std::uint8_t commandByte, TraceDirection direction)
{
    // Where ids share a code, a sent one is the request and a heard one the reply.
    const bool wantReply = direction == TraceDirection::Heard;
    std::string_view found;
    for (const LinkMessage& entry : LinkMessageTable()) {
        if (entry.classByte != classByte || entry.commandByte != commandByte) {
            continue;
        }
        const std::string_view name = LinkMessageName(entry.id);
        if (name.empty()) {
            continue; // an entry without a code of its own
        }
        if (IsReplyName(name) == wantReply) {
            return name;
        }
        if (found.empty()) {
            found = name;
        }
    }
    if (!found.empty()) {
        return found;
    }
    for (const ExtraName& extra : kExtraNames) {
        if (extra.classByte == classByte && extra.commandByte == commandByte) {
            return extra.name;
        }
    }
    return "Unknown";
}

std::string FormatTraceLine(std::int64_t nanoseconds, TraceDirection direction,
                            std::span<const std::uint8_t> message, FrameEvent event)
{
    std::string line(kMaxLineBytes, '\0');
    const std::span<const std::uint8_t> shown = message.first(std::min(message.size(), kLinkPacketCapacity));
    line.resize(WriteLine(line.data(), nanoseconds, direction, shown, event, message.size()));
    return line;
}

LineTrace::LineTrace(std::function<std::int64_t()> clock)
    : clock_(clock ? std::move(clock) : std::function<std::int64_t()>(SteadyNanoseconds)), origin_(clock_()),
      ring_(kKeptFrames)
{
}

LineTrace::~LineTrace()
{
    Close();
}

void LineTrace::MessageSent(std::span<const std::uint8_t> message)
{
    // Equal blocks follow each other in any image (erased flash is all FF): only a block sent
    // after a refusal or a checksum that differed is one sent again.
    if (IsBlock(message) && blockAskedAgain_) {
        ++counts_.resends;
        blockAskedAgain_ = false;
    }
    ++counts_.sent;
    if (IsChecksumDiffers(message)) {
        // The program itself answers a block pair or a running checksum that differs.
        ++counts_.checksumMismatches;
        blockAskedAgain_ = true;
    }
    Add(TraceDirection::Sent, message, FrameEvent::Frame);
}

void LineTrace::FrameHeard(std::span<const std::uint8_t> message, FrameEvent event)
{
    switch (event) {
    case FrameEvent::None:
        return; // no frame ended
    case FrameEvent::Frame:
        ++counts_.heard;
        if (IsChecksumDiffers(message)) {
            ++counts_.checksumMismatches;
        }
        blockAskedAgain_ = blockAskedAgain_ || IsChecksumDiffers(message) || IsRefusal(message);
        break;
    case FrameEvent::BadChecksum:
        ++counts_.checksumMismatches;
        break;
    default:
        // Frames not for us count as dropped too: only the radio talks on this line, so one
        // addressed elsewhere is a garbled address byte, a line fault worth seeing.
        ++counts_.droppedFrames;
        break;
    }
    Add(TraceDirection::Heard, event == FrameEvent::Frame ? message : std::span<const std::uint8_t>{}, event);
}

void LineTrace::WaitTimedOut()
{
    ++counts_.timeOuts;
    Add(TraceDirection::Heard, {}, FrameEvent::None);
}

void LineTrace::Add(TraceDirection direction, std::span<const std::uint8_t> message, FrameEvent event)
{
    Entry& entry = ring_[next_];
    entry.nanoseconds = clock_() - origin_;
    entry.direction = direction;
    entry.event = event;
    const std::size_t kept = std::min(message.size(), entry.bytes.size());
    // A plain loop: GCC 12 at -O3 takes a copy of a dropped frame's empty span for a memmove
    // from null.
    for (std::size_t i = 0; i < kept; ++i) {
        entry.bytes[i] = message[i];
    }
    entry.length = static_cast<std::uint16_t>(kept);
    entry.fullLength = static_cast<std::uint16_t>(std::min<std::size_t>(message.size(), 0xFFFF));
    next_ = (next_ + 1) % kKeptFrames;
    kept_ = std::min(kept_ + 1, kKeptFrames);

    if (file_ != nullptr) {
        std::array<char, kMaxLineBytes + 1> line;
        const std::span<const std::uint8_t> shown =
            message.first(std::min(message.size(), kLinkPacketCapacity));
        std::size_t length = WriteLine(line.data(), entry.nanoseconds, direction, shown, event,
                                       message.size(), fileCodeplugInClear_);
        line[length++] = '\n';
        if (std::fwrite(line.data(), 1, length, file_) != length) {
            FailFile();
        }
    }
}

void LineTrace::FailFile()
{
    fileError_ = std::strerror(errno);
    std::fclose(file_);
    file_ = nullptr;
}

bool LineTrace::RecordTo(const std::string& path, const TraceFileOptions& options, std::string& error)
{
    Close();
    const int fd = OpenTargetFile(path, options.existing, error);
    if (fd < 0) {
        return false;
    }
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    // Large enough that a whole download's lines go out in few writes.
    std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
    file_ = file;
    fileCodeplugInClear_ = options.codeplugInClear;
    fileError_.clear();
    error.clear();
    if (options.codeplugInClear && std::fwrite(kCodeplugTraceMark.data(), 1, kCodeplugTraceMark.size(),
                                               file_) != kCodeplugTraceMark.size()) {
        FailFile();
    }
    return true;
}

bool LineTrace::Recording() const
{
    return file_ != nullptr;
}

void LineTrace::Flush()
{
    if (file_ != nullptr && std::fflush(file_) != 0) {
        FailFile();
    }
}

void LineTrace::Close()
{
    if (file_ == nullptr) {
        return;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) {
        fileError_ = std::strerror(errno);
    }
}

const std::string& LineTrace::FileError() const
{
    return fileError_;
}

std::string LineTrace::KeptText() const
{
    std::string text;
    text.reserve(kept_ * 64);
    std::array<char, kMaxLineBytes> line;
    const std::size_t oldest = kept_ < kKeptFrames ? 0 : next_;
    for (std::size_t i = 0; i < kept_; ++i) {
        const Entry& entry = ring_[(oldest + i) % kKeptFrames];
        const std::size_t length =
            WriteLine(line.data(), entry.nanoseconds, entry.direction, {entry.bytes.data(), entry.length},
                      entry.event, entry.fullLength);
        text.append(line.data(), length);
        text += '\n';
    }
    return text;
}

std::size_t LineTrace::KeptCount() const
{
    return kept_;
}

TraceCounts LineTrace::Counts() const
{
    return counts_;
}

void LineTrace::Reset()
{
    next_ = 0;
    kept_ = 0;
    counts_ = {};
    blockAskedAgain_ = false;
}

} // namespace aurex

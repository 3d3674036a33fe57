#include "record/line_trace.h"

#include "link/message_table.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace aurex {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A clock that moves one millisecond each time it is read.
std::function<std::int64_t()> SteppingClock()
{
    return [now = std::int64_t{0}]() mutable { return (now += 1'000'000); };
}

TEST(TraceMessageName, NamesCodesBothWays)
{
    struct Case
    {
        std::uint8_t classByte;
        std::uint8_t commandByte;
        TraceDirection direction;
        std::string_view name;
    };
    const Case cases[] = {
        {0x04, 0x2D, TraceDirection::Sent, "BootVersion"},
        {0x04, 0x2E, TraceDirection::Heard, "BootVersionReply"},
        {0x04, 0x04, TraceDirection::Sent, "Identity"},
        {0x04, 0x05, TraceDirection::Heard, "IdentityReply"},
        {0x04, 0x20, TraceDirection::Heard, "Declined"},
        {0x02, 0x01, TraceDirection::Sent, "ImageStart"},
        {0x02, 0x09, TraceDirection::Sent, "DataBlock"},
        {0x02, 0x02, TraceDirection::Heard, "PairChecksum"},
        {0x02, 0x07, TraceDirection::Heard, "Ready"},
        {0x02, 0x0A, TraceDirection::Heard, "Negative"},
        {0x02, 0x06, TraceDirection::Sent, "ChecksumDiffers"},
        {0x03, 0x06, TraceDirection::Sent, "CodeplugChecksumDiffers"},
        {0x03, 0x02, TraceDirection::Sent, "CodeplugBlock"},
        {0x03, 0x02, TraceDirection::Heard, "CodeplugBlock"},
        {0x03, 0x08, TraceDirection::Sent, "CodeplugNextBlock"},
        {0x03, 0x08, TraceDirection::Heard, "CodeplugNextBlock"},
        {0x09, 0x00, TraceDirection::Sent, "BaudRate"},
        {0x04, 0x1A, TraceDirection::Heard, "Unused041A"},
        {0xF0, 0x03, TraceDirection::Sent, "UnusedF003"},
        {0x03, 0x0B, TraceDirection::Heard, "PasswordRequest"},
        {0x03, 0x0C, TraceDirection::Sent, "Password"},
        {0x09, 0x01, TraceDirection::Sent, "InterfaceBoxProbe"},
        {0x09, 0x02, TraceDirection::Heard, "InterfaceBoxReply"},
        {0x00, 0x00, TraceDirection::Heard, "Unknown"}, // marks entries without a code
        {0x77, 0x01, TraceDirection::Sent, "Unknown"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TraceMessageName(c.classByte, c.commandByte, c.direction), c.name)
            << std::hex << int{c.classByte} << ' ' << int{c.commandByte};
    }
    // Every entry with a code of its own has a name.
    for (const LinkMessage& entry : LinkMessageTable()) {
        const bool hasCode = entry.classByte != 0 || entry.commandByte != 0;
        EXPECT_EQ(std::string_view(LinkMessageName(entry.id)).empty(), !hasCode) << entry.id;
    }
}

TEST(FormatTraceLine, TimeDirectionNameAndHex)
{
    const Bytes bootVersion{0x04, 0x2D};
    const Bytes reply{0x04, 0x2E, 0x04, 0x00};
    EXPECT_EQ(FormatTraceLine(12'345'678'900, TraceDirection::Sent, bootVersion, FrameEvent::Frame),
              "    12.345678 > 04 2D BootVersion");
    EXPECT_EQ(FormatTraceLine(12'401'112'000, TraceDirection::Heard, reply, FrameEvent::Frame),
              "    12.401112 < 04 2E BootVersionReply 04 00");
    EXPECT_EQ(FormatTraceLine(13'000'000'000, TraceDirection::Heard, {}, FrameEvent::BadChecksum),
              "    13.000000 < dropped: bad checksum");
    EXPECT_EQ(FormatTraceLine(14'000'000'000, TraceDirection::Heard, {}, FrameEvent::None),
              "    14.000000 ! time-out");
    EXPECT_EQ(FormatTraceLine(1'000, TraceDirection::Heard, Bytes{0x7F}, FrameEvent::Frame),
              "     0.000001 < 7F (no code)");
}

TEST(LineTrace, KeepsTheNewestFramesOldestFirst)
{
    LineTrace trace(SteppingClock());
    for (int i = 0; i < 2500; ++i) {
        const Bytes block{0x02, 0x09, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
        trace.MessageSent(block);
    }
    EXPECT_EQ(trace.KeptCount(), LineTrace::kKeptFrames);
    const std::vector<std::string> lines = Lines(trace.KeptText());
    ASSERT_EQ(lines.size(), 2000u);
    // Frame 500 (01 F4) is the oldest kept, read at the 502nd millisecond (the origin took one).
    EXPECT_EQ(lines.front(), "     0.501000 > 02 09 DataBlock 01 F4");
    EXPECT_EQ(lines.back(), "     2.500000 > 02 09 DataBlock 09 C3");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        ASSERT_LT(lines[i - 1], lines[i]) << i; // equal widths: text order is time order
    }
    EXPECT_EQ(trace.Counts().sent, 2500u);
    EXPECT_EQ(trace.Counts().resends, 0u);
}

TEST(LineTrace, CountsResendsChecksumsDropsAndTimeOuts)
{
    LineTrace trace(SteppingClock());
    const Bytes block{0x02, 0x09, 0xAA};
    trace.MessageSent(block);
    trace.MessageSent(block);                               // equal blocks in a row are no resend
    trace.MessageSent(Bytes{0x02, 0x06});                   // the program's own "differs" answer
    trace.MessageSent(block);                               // resend
    trace.FrameHeard(Bytes{0x02, 0x0A}, FrameEvent::Frame); // the radio lost a block
    trace.MessageSent(block);                               // resend
    trace.FrameHeard(Bytes{0x02, 0x06}, FrameEvent::Frame);
    trace.FrameHeard(Bytes{0x03, 0x06}, FrameEvent::Frame);
    trace.FrameHeard(Bytes{0x02, 0x07}, FrameEvent::Frame);
    trace.FrameHeard({}, FrameEvent::BadChecksum);
    trace.FrameHeard({}, FrameEvent::BadEscape);
    trace.FrameHeard({}, FrameEvent::NotForHost);
    trace.FrameHeard({}, FrameEvent::None); // no frame ended: nothing
    trace.WaitTimedOut();
    const TraceCounts counts = trace.Counts();
    EXPECT_EQ(counts.sent, 5u);
    EXPECT_EQ(counts.heard, 4u);
    EXPECT_EQ(counts.resends, 2u);
    EXPECT_EQ(counts.checksumMismatches, 4u);
    EXPECT_EQ(counts.droppedFrames, 2u);
    EXPECT_EQ(counts.timeOuts, 1u);
    EXPECT_EQ(trace.KeptCount(), 13u);

    trace.Reset();
    EXPECT_EQ(trace.KeptCount(), 0u);
    EXPECT_EQ(trace.KeptText(), "");
    trace.MessageSent(Bytes{0x02, 0x06});
    trace.Reset();
    trace.MessageSent(block); // what came before the Reset asks for nothing again
    EXPECT_EQ(trace.Counts().sent, 1u);
    EXPECT_EQ(trace.Counts().resends, 0u);
    EXPECT_EQ(trace.Counts().timeOuts, 0u);
}

// Nor do a codeplug block's bytes, either way; the code, the length and the checksum report stay.
TEST(LineTrace, PasswordDigitsNeverReachTheRingOrTheFile)
{
    test::TempFolder folder;
    const std::string path = folder.File("trace.txt");
    LineTrace trace([] { return std::int64_t{0}; });
    std::string error = "unset";
    ASSERT_TRUE(trace.RecordTo(path, {}, error)) << error;
    EXPECT_EQ(error, "");
    trace.MessageSent(Bytes{0x03, 0x0C, 0x12, 0x34, 0x56, 0x78});
    trace.MessageSent(Bytes{0x03, 0x0C, 0x90, 0x12});
    trace.FrameHeard(Bytes{0x03, 0x0C, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34}, FrameEvent::Frame);
    trace.MessageSent(Bytes{0x03, 0x02, 0x12, 0x34, 0x56});
    trace.FrameHeard(Bytes{0x03, 0x02, 0x78, 0x90}, FrameEvent::Frame);
    trace.FrameHeard(Bytes{0x03, 0x03, 0xAB, 0xCD}, FrameEvent::Frame);
    trace.Close();
    EXPECT_FALSE(trace.Recording());

    struct stat st
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string file = ReadAll(path);
    const std::string kept = trace.KeptText();
    EXPECT_EQ(kept, file);
    EXPECT_EQ(kept, "     0.000000 > 03 0C Password ** ** ** **\n"
                    "     0.000000 > 03 0C Password ** **\n"
                    "     0.000000 < 03 0C Password ** ** ** ** ** **\n"
                    "     0.000000 > 03 02 CodeplugBlock ** ** **\n"
                    "     0.000000 < 03 02 CodeplugBlock ** **\n"
                    "     0.000000 < 03 03 CodeplugChecksum AB CD\n");
    for (const std::string& text : {file, kept}) {
        for (std::string_view digits :
             {"12", "34", "56", "78", "90", "\x12", "\x34", "\x56", "\x78", "\x90"}) {
            EXPECT_EQ(text.find(digits), std::string::npos) << digits;
        }
    }
}

TEST(LineTrace, FileErrorsGiveTheSystemsReason)
{
    LineTrace trace;
    std::string error;
    EXPECT_FALSE(trace.RecordTo("/nonexistent-aurex-folder/trace.txt", {}, error));
    EXPECT_EQ(error, "cannot write /nonexistent-aurex-folder/trace.txt: No such file or directory");
    EXPECT_FALSE(trace.Recording());

    // A file that may not grow: the failed flush closes it; the ring goes on.
    test::TempFolder folder;
    ASSERT_TRUE(trace.RecordTo(folder.File("trace.txt"), {}, error)) << error;
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 0;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    trace.MessageSent(Bytes{0x04, 0x2D});
    trace.Flush();
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(trace.Recording());
    EXPECT_EQ(trace.FileError(), "File too large");
    trace.MessageSent(Bytes{0x04, 0x2D});
    EXPECT_EQ(trace.KeptCount(), 2u);
}

TEST(LineTrace, RecordsEveryEntryAsItHappens)
{
    test::TempFolder folder;
    const std::string path = folder.File("trace.txt");
    LineTrace trace(SteppingClock());
    trace.MessageSent(Bytes{0x04, 0x04}); // before recording: memory only
    std::string error;
    ASSERT_TRUE(trace.RecordTo(path, {}, error)) << error;
    for (int i = 0; i < 3000; ++i) {
        trace.MessageSent(Bytes{0x02, 0x09, static_cast<std::uint8_t>(i)});
        trace.FrameHeard(Bytes{0x02, 0x07}, FrameEvent::Frame);
    }
    trace.FrameHeard({}, FrameEvent::Oversized);
    trace.Flush();
    EXPECT_TRUE(trace.Recording());
    EXPECT_EQ(trace.FileError(), "");
    const std::vector<std::string> lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), 6001u);
    EXPECT_EQ(lines.front(), "     0.002000 > 02 09 DataBlock 00");
    EXPECT_EQ(lines[1], "     0.003000 < 02 07 Ready");
    EXPECT_EQ(lines.back(), "     6.002000 < dropped: oversized");
}

} // namespace
} // namespace aurex

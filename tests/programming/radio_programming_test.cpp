// Identification and the flash download over the program's radio link on a pseudo-terminal,
// on both paths, with the modelled loader on the far end; and the erase wait's event loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "link/link_rig.h"
#include "link/transport_view.h"
#include "loader_model.h"
#include "programming/radio_programming.h"
#include "programming/srecord_writer.h"

namespace aurex {
namespace {

using test::Bytes;
using test::LinkPath;
using test::LinkRig;
using test::PeerIo;
using test::ScriptedPeer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The message of a frame the program sent: BA 7F 01, stuffed message and checksum, 7E.
Bytes Unframe(const Bytes& frame)
{
    Bytes raw;
    for (std::size_t i = 3; i + 1 < frame.size(); ++i) {
        if (frame[i] == 0x10 && i + 2 < frame.size()) {
            const std::uint8_t next = frame[++i];
            raw.push_back(next == 0x00 ? 0xBA : next == 0x01 ? 0x7E : 0x10);
        } else {
            raw.push_back(frame[i]);
        }
    }
    if (!raw.empty()) {
        raw.pop_back(); // checksum
    }
    return raw;
}

// Plays the modelled loader on the line until the code image has ended and the radio was told
// to go back to 19200 baud.
void PlayLoader(PeerIo& io, test::ScriptedLink& sink, test::LoaderModel& model)
{
    for (;;) {
        const Bytes message = Unframe(io.ReadFrame());
        if (message.empty()) {
            return;
        }
        sink.Send(test::ScriptedLink::Packet(message));
        while (!sink.replies.empty()) {
            io.Write(test::RadioFrame(sink.replies.front()));
            sink.replies.pop_front();
        }
        if (message == Bytes{0x09, 0x00, 0x01} && model.images.size() == 2) {
            return;
        }
    }
}

std::string Records(int words, char kind)
{
    // 10, 7E and BA are escaped on the line.
    static constexpr std::uint8_t kWords[8][2] = {{0x10, 0x7E}, {0xBA, 0x10}, {0x00, 0x01}, {0x7E, 0xBA},
                                                  {0xFF, 0xFF}, {0x12, 0x34}, {0x00, 0xBA}, {0x7E, 0x10}};
    std::string text;
    for (int i = 0; i < words; i += 8) {
        Bytes data;
        for (int k = 0; k < 8; ++k) {
            data.insert(data.end(), std::begin(kWords[(i + k) % 8]), std::end(kWords[(i + k) % 8]));
        }
        AppendSRecord(text, kind, kind == '3' ? 0xFE040100 : 0x010100, data, "\n");
    }
    return text + "S9030000FC\n";
}

class RadioProgrammingTest : public ::testing::TestWithParam<LinkPath>
{
  protected:
    void SetUp() override
    {
        std::string message;
        ASSERT_TRUE(rig.Open(GetParam(), message)) << message;
    }
    LinkRig rig;
};

TEST_P(RadioProgrammingTest, DownloadsCodeAndComesBackTo19200)
{
    test::ScriptedLink sink;
    test::LoaderModel model(sink);
    ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
        io.Expect({0xBA, 0x7F, 0x01, 0x09, 0x00, 0x05, 0x72, 0x7E});
        PlayLoader(io, sink, model);
    });
    ChangeBaudRate(rig.link, 115200);
    EXPECT_EQ(rig.pty.LineSpeed(), 115200);

    const std::string loaderText = Records(200, '2');
    const std::string codeText = Records(1000, '3');
    std::istringstream loader(loaderText);
    std::istringstream code(codeText);
    test::RecordedStatus status;
    test::RecordedProgress progress;
    EXPECT_EQ(DownloadCode(rig.link, loader, code, status.Callback(), 0, progress, false),
              ProgrammingStatus::Success);
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());
    ASSERT_EQ(model.images.size(), 2U);
    EXPECT_EQ(model.images[0].data, test::SRecordDataBytes(loaderText));
    EXPECT_EQ(model.images[1].data, test::SRecordDataBytes(codeText));
    EXPECT_EQ(status.texts.back(), "Download finished.");
    EXPECT_EQ(rig.pty.LineSpeed(), 19200);
    if (GetParam() == LinkPath::PortComponent) {
        EXPECT_EQ(test::TriggerOf(rig.link), -1) << "the reply time-out is given back";
    }
}

TEST_P(RadioProgrammingTest, ASilentRadioTimesTheIdentificationOut)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        const Bytes request = Unframe(io.ReadFrame());
        EXPECT_EQ(request, (Bytes{0x04, 0x1C}));
    });
    TargetVersionInfo info;
    const ProgrammingStatus status = ReadTargetVersionInfo(rig.link, 6, info, true);
    peer.Join();
    EXPECT_EQ(status,
              GetParam() == LinkPath::Device ? ProgrammingStatus::TimedOut : ProgrammingStatus::CommProblem);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, RadioProgrammingTest,
                         ::testing::Values(LinkPath::Device, LinkPath::PortComponent),
                         [](const auto& info) { return test::PathName(info.param); });

TEST(EraseWaitTest, KeepsEventsFlowingAndEndsWhenTheLinkIsStopped)
{
    LinkRig rig;
    std::string message;
    ASSERT_TRUE(rig.Open(LinkPath::Device, message)) << message;
    RadioLinkChannel channel(rig.link);

    bool ran = false;
    rig.After(1, [&] { ran = true; });
    channel.Pause(1000);
    EXPECT_TRUE(ran) << "a window event ran during the wait";
    EXPECT_TRUE(IsLinkActive(rig.link));

    // Stopped a moment into an 80-second wait (unscaled here): it ends then, not 80 s later.
    Clock::SetScale(1.0);
    bool late = false;
    rig.After(10, [&] { SetLinkActive(rig.link, false); });
    QTimer sentinel; // local, so it cannot outlive the test
    sentinel.setSingleShot(true);
    QObject::connect(&sentinel, &QTimer::timeout, [&] { late = true; });
    sentinel.start(30000);
    channel.Pause(80000);
    EXPECT_FALSE(late);
    EXPECT_FALSE(IsLinkActive(rig.link));
    channel.Pause(80000); // returns at once on a stopped link
    EXPECT_FALSE(late);
}

} // namespace
} // namespace aurex

// The radio link over real pseudo-terminal pairs with a scripted radio, on both paths.
#include "link/com_port_map.h"
#include "link/message_table.h"
#include "link_rig.h"
#include "mock_serial_system.h"
#include "transport_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace aurex {
namespace {

using test::Bytes;
using test::CodePacket;
using test::DeviceOf;
using test::LinkPath;
using test::LinkRig;
using test::OnPortComponent;
using test::PacketBytes;
using test::PeerIo;
using test::RadioFrame;
using test::ScriptedPeer;
using test::TriggerOf;
using ::testing::IsEmpty;

const Bytes kBaud115200Frame{0xBA, 0x7F, 0x01, 0x09, 0x00, 0x05, 0x72, 0x7E};
const Bytes kBaud19200Frame{0xBA, 0x7F, 0x01, 0x09, 0x00, 0x01, 0x76, 0x7E};

class RadioLinkOnBothPaths : public ::testing::TestWithParam<LinkPath>
{
  protected:
    void SetUp() override
    {
        std::string message = "unset";
        ASSERT_TRUE(rig.Open(GetParam(), message)) << message;
        EXPECT_EQ(message, "");
    }

    // The status a quiet line's time-out leaves on this path.
    LinkStatus TimeoutStatus() const
    {
        return GetParam() == LinkPath::Device ? LinkStatus::Ended : LinkStatus::IdleEnded;
    }

    LinkReply Receive0429()
    {
        LinkPacket alt;
        InitMessage(alt, msg::kDeclined);
        return ReceiveReply(rig.link, CodePacket(0x04, 0x2E), 4, alt, 2);
    }

    LinkRig rig;
};

TEST_P(RadioLinkOnBothPaths, ChangesBaudRateOnBothEndsAndCloses)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        io.Expect(kBaud115200Frame);
        io.Expect(kBaud19200Frame);
    });
    EXPECT_EQ(OnPortComponent(rig.link), GetParam() == LinkPath::PortComponent);
    EXPECT_EQ(rig.pty.LineSpeed(), 19200);
    ChangeBaudRate(rig.link, 115200);
    EXPECT_EQ(rig.pty.LineSpeed(), 115200);
    ChangeBaudRate(rig.link, 19200);
    EXPECT_EQ(rig.pty.LineSpeed(), 19200);
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());

    CloseLink(rig.link);
    if (GetParam() == LinkPath::Device) {
        EXPECT_EQ(DeviceOf(rig.link), nullptr);
    } else {
        EXPECT_FALSE(rig.port.Open());
        EXPECT_EQ(TriggerOf(rig.link), -1);
    }
    // Closed means free: the device opens again.
    std::string message;
    EXPECT_TRUE(rig.Open(GetParam(), message)) << message;
}

TEST_P(RadioLinkOnBothPaths, MatchesTheReplyAmongNoiseAndWrongFrames)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        io.ReadFrame(); // the request
        Bytes noise{0x00, 0x7E, 0x13, 0x10, 0x99};
        Bytes badSum = RadioFrame({0x04, 0x2E, 0x01, 0x02});
        badSum[badSum.size() - 2] ^= 0x01;
        Bytes notForHost{0xBA, 0x01, 0x02, 0x04, 0x2E, 0x01, 0x02, 0x00, 0x7E};
        Bytes all = noise;
        for (const Bytes& part : {badSum, notForHost, RadioFrame({0x04, 0x2E, 0x01}), // short
                                  RadioFrame({0x04, 0x05, 0x01, 0x02}),               // other code
                                  Bytes{0xBA, 0x01, 0x7F, 0x04},                      // cut by the next BA
                                  RadioFrame({0x04, 0x2E, 0x10, 0x7E})}) {            // the reply
            all.insert(all.end(), part.begin(), part.end());
        }
        io.Write(all);
    });
    ASSERT_EQ(CreateLinkTimeout(rig.link, 4000), true);
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    const LinkReply reply = Receive0429();
    EXPECT_EQ(reply.status, LinkStatus::Completed);
    EXPECT_FALSE(reply.alternate);
    EXPECT_EQ(PacketBytes(reply.packet), (Bytes{0x04, 0x2E, 0x10, 0x7E}));
    ReleaseLinkTimeout(rig.link);
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());
}

TEST_P(RadioLinkOnBothPaths, AcceptsTheAlternateReplyAndAnyPacket)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        io.ReadFrame();
        io.Write(RadioFrame({0x04, 0x20}));
        io.ReadFrame();
        io.Write(RadioFrame({0x03, 0x02, 0xAA, 0xBB, 0xCC}));
        io.ReadFrame();
        io.Write(RadioFrame({0x03, 0x03, 0x12, 0x34}));
    });
    ASSERT_TRUE(CreateLinkTimeout(rig.link, 4000));
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    const LinkReply reply = Receive0429();
    EXPECT_EQ(reply.status, LinkStatus::Completed);
    EXPECT_TRUE(reply.alternate);
    EXPECT_EQ(PacketBytes(reply.packet), (Bytes{0x04, 0x20}));

    const std::uint8_t payload[1] = {0x07};
    SendCommandPair(rig.link, 0x03, 0x01, payload, 1);
    const LinkReply any = ReceiveAnyPacket(rig.link);
    EXPECT_EQ(PacketBytes(any.packet), (Bytes{0x03, 0x02, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(any.status, LinkStatus::Completed);

    SendCommandPair(rig.link, 0x03, 0x02, nullptr, 0);
    const LinkReply transfer = ReceiveTransferReply(rig.link);
    EXPECT_EQ(transfer.status, LinkStatus::Completed);
    EXPECT_EQ(PacketBytes(transfer.packet), (Bytes{0x03, 0x03, 0x12, 0x34}));
    ReleaseLinkTimeout(rig.link);
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());
}

TEST_P(RadioLinkOnBothPaths, AQuietLineTimesOutWithThePathsStatus)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) { io.ReadFrame(); });
    ASSERT_TRUE(CreateLinkTimeout(rig.link, 4000));
    EXPECT_EQ(rig.link.timeout, 4000);
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    const LinkReply reply = Receive0429();
    EXPECT_EQ(reply.status, TimeoutStatus());
    EXPECT_EQ(reply.packet.length, 0);
    EXPECT_FALSE(reply.alternate);
    EXPECT_FALSE(rig.commTimer.Enabled()); // disarmed when the wait ended
    if (GetParam() == LinkPath::PortComponent) {
        const auto trigger = static_cast<std::uint16_t>(TriggerOf(rig.link));
        EXPECT_EQ(rig.port.TriggerTicks(trigger), 72); // the port counts the 4000 ms in ticks
        EXPECT_FALSE(rig.port.TriggerArmed(trigger));
    }

    // Once stopped, every wait returns at once with 4 and reads nothing.
    const Bytes late = RadioFrame({0x03, 0x03});
    ASSERT_EQ(::write(rig.pty.PeerFd(), late.data(), late.size()), static_cast<ssize_t>(late.size()));
    SetLinkActive(rig.link, false);
    const LinkReply stopped = ReceiveTransferReply(rig.link);
    EXPECT_EQ(stopped.status, LinkStatus::Ended);
    EXPECT_EQ(stopped.packet.length, 0); // a packet only on success
    const LinkReply any = ReceiveAnyPacket(rig.link);
    EXPECT_EQ(any.packet.length, 0);
    EXPECT_EQ(any.status, LinkStatus::Ended);
    // The frame is still there for the next wait once the link is active again.
    SetLinkActive(rig.link, true);
    const LinkReply again = ReceiveTransferReply(rig.link);
    EXPECT_EQ(again.status, LinkStatus::Completed);
    EXPECT_EQ(PacketBytes(again.packet), (Bytes{0x03, 0x03}));
    ReleaseLinkTimeout(rig.link);
}

TEST_P(RadioLinkOnBothPaths, StopFromATimerEventEndsTheWait)
{
    // No time-out armed at all: only the Stop can end this wait.
    rig.link.commTimer = nullptr;
    bool stopped = false;
    rig.After(30, [&] {
        stopped = true;
        SetLinkActive(rig.link, false); // what the window's Stop does
    });
    const LinkReply reply = ReceiveAnyPacket(rig.link);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(reply.packet.length, 0);
    // A Stop on a quiet line reads as idle on the port-component path.
    EXPECT_EQ(reply.status, GetParam() == LinkPath::Device ? LinkStatus::Ended : LinkStatus::IdleEnded);
}

TEST_P(RadioLinkOnBothPaths, ThePeerVanishingEndsTheWaitWithStatusFour)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        io.ReadFrame();
        io.Write({0xBA, 0x01, 0x7F, 0x04}); // half a reply, then the cable is pulled
        io.Sleep(20);
        io.Close();
    });
    rig.link.commTimer = nullptr; // no time-out: only the vanishing can end the wait
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    const LinkReply reply = Receive0429();
    EXPECT_EQ(reply.packet.length, 0);
    EXPECT_EQ(reply.status, LinkStatus::Ended);
    EXPECT_EQ(ReceiveTransferReply(rig.link).status, LinkStatus::Ended);
    // Sending to a vanished port sends nothing and raises nothing; closing still works.
    SetLinkActive(rig.link, true);
    EXPECT_FALSE(SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0));
    EXPECT_EQ(ReceiveTransferReply(rig.link).status, LinkStatus::Ended);
    EXPECT_EQ(GetLinkStatus(rig.link), LinkStatus::Ended);
    CloseLink(rig.link);
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());
}

TEST_P(RadioLinkOnBothPaths, AFloodOfNoiseAndEndlessFramesStillLetsTheReplyThrough)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        io.ReadFrame();
        Bytes flood{0xBA, 0x01, 0x7F};
        flood.resize(flood.size() + 20000, 0x33); // one endless frame
        flood.resize(flood.size() + 20000, 0x7E); // ends that end nothing
        io.Write(flood);
        io.Write(RadioFrame({0x04, 0x2E, 0x01, 0x02}));
    });
    // The time-out only guards against a hang here. Sped up it was 750 ms, less than 40,000 bytes
    // take one a turn on a loaded core, so the flood itself could end the wait.
    Clock::SetScale(1.0);
    ASSERT_TRUE(CreateLinkTimeout(rig.link, 15000));
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    const LinkReply reply = Receive0429();
    EXPECT_EQ(reply.status, LinkStatus::Completed);
    EXPECT_EQ(PacketBytes(reply.packet), (Bytes{0x04, 0x2E, 0x01, 0x02}));
    ReleaseLinkTimeout(rig.link);
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());
}

TEST_P(RadioLinkOnBothPaths, FramingZeroSendsBytesUnchangedAndOtherFramingsDoNothing)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        io.Expect({0x09, 0x00, 0x7E, 0xBA});
        io.ExpectSilence(50);
    });
    SetLinkFraming(rig.link, kFramingRaw);
    LinkPacket raw;
    for (std::uint8_t b : {0x09, 0x00, 0x7E, 0xBA}) {
        raw.Append(b);
    }
    EXPECT_TRUE(SendCommand(rig.link, raw));
    SetLinkFraming(rig.link, 2);
    EXPECT_FALSE(SendCommand(rig.link, raw));
    EXPECT_FALSE(SendPacket(rig.link, raw));
    const LinkReply nothing = ReceiveTransferReply(rig.link);
    EXPECT_EQ(nothing.status, LinkStatus::Ended);
    EXPECT_EQ(nothing.packet.length, 0);
    EXPECT_TRUE(IsLinkActive(rig.link)); // no wait ran: a wait would have ended on its time-out
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());
}

// What a line trace would be told, in order.
class RecordingWatch final : public FrameWatch
{
  public:
    struct Seen
    {
        char kind; // 'S' sent, 'H' heard, 'T' time-out
        Bytes message;
        FrameEvent event;
    };
    void MessageSent(std::span<const std::uint8_t> message) override
    {
        seen.push_back({'S', Bytes(message.begin(), message.end()), FrameEvent::Frame});
    }
    void FrameHeard(std::span<const std::uint8_t> message, FrameEvent event) override
    {
        seen.push_back({'H', Bytes(message.begin(), message.end()), event});
    }
    void WaitTimedOut() override { seen.push_back({'T', {}, FrameEvent::None}); }
    std::vector<Seen> seen;
};

TEST_P(RadioLinkOnBothPaths, AWatchHearsEveryMessageFrameAndTimeOut)
{
    ScriptedPeer peer(rig.pty, [](PeerIo& io) {
        io.ReadFrame();
        Bytes all = RadioFrame({0x04, 0x2E, 0x01, 0x02});
        all[all.size() - 2] ^= 0x01; // bad checksum
        const Bytes reply = RadioFrame({0x04, 0x2E, 0x10, 0x7E});
        all.insert(all.end(), reply.begin(), reply.end());
        io.Write(all);
        io.ReadFrame(); // unanswered
        io.Read(7);     // the interface-box probe, unanswered
    });
    RecordingWatch watch;
    rig.link.watch = &watch;
    ASSERT_TRUE(CreateLinkTimeout(rig.link, 1000));
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    EXPECT_EQ(Receive0429().status, LinkStatus::Completed);
    SendCommandPair(rig.link, 0x04, 0x2D, nullptr, 0);
    EXPECT_EQ(Receive0429().status, TimeoutStatus());
    SetLinkActive(rig.link, true);
    EXPECT_FALSE(ProbeInterfaceBox(rig.link));
    ReleaseLinkTimeout(rig.link);
    peer.Join();
    EXPECT_THAT(peer.Failures(), IsEmpty());
    using Seen = RecordingWatch::Seen;
    const std::vector<Seen> expected{
        {'S', {0x04, 0x2D}, FrameEvent::Frame},
        {'H', {}, FrameEvent::BadChecksum},
        {'H', {0x04, 0x2E, 0x10, 0x7E}, FrameEvent::Frame},
        {'S', {0x04, 0x2D}, FrameEvent::Frame},
        {'T', {}, FrameEvent::None},
        {'S', {0x09, 0x01}, FrameEvent::Frame},
        {'T', {}, FrameEvent::None},
    };
    ASSERT_EQ(watch.seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(watch.seen[i].kind, expected[i].kind) << i;
        EXPECT_EQ(watch.seen[i].message, expected[i].message) << i;
        EXPECT_EQ(watch.seen[i].event, expected[i].event) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, RadioLinkOnBothPaths,
                         ::testing::Values(LinkPath::Device, LinkPath::PortComponent),
                         [](const auto& info) { return std::string(test::PathName(info.param)); });

TEST(RadioLinkDevicePath, ProbesTheInterfaceBoxAnsweredAndUnanswered)
{
    LinkRig rig;
    std::string message;
    ASSERT_TRUE(rig.Open(LinkPath::Device, message)) << message;
    {
        ScriptedPeer box(rig.pty, [](PeerIo& io) {
            io.Expect({0xBA, 0x7F, 0x4F, 0x09, 0x01, 0x28, 0x7E});
            io.Write(RadioFrame({0x09, 0x02, 0x01, 0x02, 0x03, 0x04}, 0x4F));
        });
        ASSERT_TRUE(CreateLinkTimeout(rig.link, 1000));
        EXPECT_TRUE(ProbeInterfaceBox(rig.link));
        EXPECT_EQ(rig.link.framing, kFramingFramed);
        box.Join();
        EXPECT_THAT(box.Failures(), IsEmpty());
    }
    {
        ScriptedPeer cable(rig.pty, [](PeerIo& io) { io.Read(7); });
        EXPECT_FALSE(ProbeInterfaceBox(rig.link));
        EXPECT_EQ(GetLinkStatus(rig.link), LinkStatus::Ended);
        EXPECT_EQ(rig.link.framing, kFramingFramed);
        cable.Join();
        EXPECT_THAT(cable.Failures(), IsEmpty());
    }
}

// A time-out timer that is already due when a wait arms it: what a program kept from the
// processor past its time-out sees on waking, with the reply queued meanwhile.
class DueAtOnceTimer final : public LinkTimer
{
  public:
    explicit DueAtOnceTimer(RadioLink& link) : link_(link) {}
    void SetInterval(int milliseconds) override { interval_ = milliseconds; }
    void SetEnabled(bool enabled) override
    {
        enabled_ = enabled;
        if (enabled) {
            QTimer::singleShot(0, [this] {
                if (enabled_) {
                    ++fired;
                    OnLinkCommTimer(link_);
                }
            });
        }
    }
    int Interval() const override { return interval_; }
    bool Enabled() const override { return enabled_; }
    int fired = 0;

  private:
    RadioLink& link_;
    int interval_ = 0;
    bool enabled_ = false;
};

TEST(RadioLinkDevicePath, AReplyReceivedBeforeTheTimeOutIsTakenEvenWhenTheTimeOutIsSeenFirst)
{
    LinkRig rig;
    std::string message;
    ASSERT_TRUE(rig.Open(LinkPath::Device, message)) << message;
    DueAtOnceTimer timer(rig.link);
    rig.link.commTimer = &timer;
    ASSERT_TRUE(CreateLinkTimeout(rig.link, 4000));
    auto queue = [&rig](const Bytes& message) {
        const Bytes frame = RadioFrame(message);
        ASSERT_EQ(::write(rig.pty.PeerFd(), frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        // Real milliseconds, not the sped-up clock's: a loaded machine may take a while to pass
        // the bytes through the pseudo-terminal.
        for (int i = 0; i < 2000 && !DeviceOf(rig.link)->CharReady(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(DeviceOf(rig.link)->CharReady());
    };

    queue({0x04, 0x2E, 0x11, 0x22});
    LinkPacket alt;
    InitMessage(alt, msg::kDeclined);
    LinkReply reply = ReceiveReply(rig.link, CodePacket(0x04, 0x2E), 4, alt, 2);
    EXPECT_EQ(timer.fired, 1); // the time-out did end the wait before the reply was read
    EXPECT_EQ(reply.status, LinkStatus::Completed);
    EXPECT_EQ(PacketBytes(reply.packet), (Bytes{0x04, 0x2E, 0x11, 0x22}));
    EXPECT_FALSE(reply.alternate);

    // Only a reply: other frames already queued do not complete the wait, which times out.
    queue({0x03, 0x03, 0x00, 0x01});
    reply = ReceiveReply(rig.link, CodePacket(0x04, 0x2E), 4, alt, 2);
    EXPECT_EQ(timer.fired, 2);
    EXPECT_EQ(reply.status, LinkStatus::Ended);
    EXPECT_EQ(reply.packet.length, 0);

    // A Stop that comes with the time-out stands: the reply waits for the next receive.
    SetLinkActive(rig.link, true);
    queue({0x03, 0x08});
    QTimer::singleShot(0, [&rig] { SetLinkActive(rig.link, false); });
    const LinkReply stopped = ReceiveTransferReply(rig.link);
    EXPECT_EQ(stopped.status, LinkStatus::Ended);
    EXPECT_EQ(timer.fired, 3);
    EXPECT_EQ(GetLinkStatus(rig.link), LinkStatus::Ended);
    SetLinkActive(rig.link, true);
    rig.link.commTimer = nullptr;
    const LinkReply next = ReceiveTransferReply(rig.link);
    EXPECT_EQ(next.status, LinkStatus::Completed);
    EXPECT_EQ(PacketBytes(next.packet), (Bytes{0x03, 0x08}));
}

// A stream of bytes puts off the time-out. A Stop ends the wait at once; a Stop that is held off
// does not, but then the put-off time-out ends the wait once the line is quiet, whether the Stop
// came during the stream or after it.
TEST(RadioLinkPortPath, AStopOrAHeldStopEndsAWaitWhoseTimeOutTheStreamPutOff)
{
    struct StopCase
    {
        const char* what;
        bool held;         // HoldLinkStop rather than a plain Stop
        bool duringStream; // at the first time-out in the stream, else after 600 ms of quiet
    };
    for (const StopCase c : {StopCase{"Stop once the line is quiet", false, false},
                             StopCase{"held Stop during the stream", true, true},
                             StopCase{"held Stop once the line is quiet", true, false}}) {
        SCOPED_TRACE(c.what);
        LinkRig rig;
        std::string message;
        ASSERT_TRUE(rig.Open(LinkPath::PortComponent, message)) << message;
        std::atomic<bool> floodOver{false};
        std::atomic<std::chrono::steady_clock::rep> lastWrite{0};
        ScriptedPeer radio(rig.pty, [&floodOver, &lastWrite](PeerIo& io) {
            // Noise without frame markers, faster than the link takes it, for many time-outs' length.
            const Bytes chunk(4096, 0x55);
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
            while (std::chrono::steady_clock::now() < end && !io.Stopping()) {
                io.Write(chunk);
                lastWrite = std::chrono::steady_clock::now().time_since_epoch().count();
            }
            floodOver = true; // then the radio falls silent
        });
        ASSERT_TRUE(CreateLinkTimeout(rig.link, 4000)); // 72 ticks, about 200 ms at the test's scale
        bool stopped = false;
        bool cutAfterAll = false;
        int quietChecks = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            quietChecks += floodOver ? 1 : 0;
            if (!stopped && (c.duringStream ? rig.triggersFired >= 1 : quietChecks == 30)) {
                stopped = true;
                if (c.held) {
                    HoldLinkStop(rig.link, true);
                } else {
                    SetLinkActive(rig.link, false);
                }
            }
            if (quietChecks == 250) {
                cutAfterAll = true; // seconds of quiet: the wait would have gone on for good
                SetLinkActive(rig.link, false);
            }
        });
        watch.start(20);
        const LinkReply reply = ReceiveAnyPacket(rig.link);
        // Cut off: ended while the radio had written within a time-out. A radio thread kept from
        // the processor that long on a loaded machine is a quiet line, which may end the wait.
        const auto sinceWrite = std::chrono::steady_clock::now().time_since_epoch() -
                                std::chrono::steady_clock::duration(lastWrite.load());
        const bool endedInStream = !floodOver && sinceWrite < std::chrono::milliseconds(200);
        watch.stop();
        EXPECT_TRUE(stopped) << "the wait ended before the user stopped it";
        EXPECT_FALSE(cutAfterAll) << "the wait went on on a quiet line";
        EXPECT_FALSE(endedInStream) << "a streaming reply was cut off";
        EXPECT_GE(rig.triggersFired, 1); // the time-out did fall during the stream
        EXPECT_EQ(reply.packet.length, 0);
        EXPECT_EQ(reply.status, LinkStatus::IdleEnded);
        EXPECT_FALSE(IsLinkActive(rig.link)); // every later wait returns at once, as after a time-out
        HoldLinkStop(rig.link, false);
        ReleaseLinkTimeout(rig.link);
        radio.Stop();
        EXPECT_THAT(radio.Failures(), IsEmpty());
    }
}

TEST(RadioLinkPortPath, TimeOutsBecomeTicksAndTriggersAreGivenBack)
{
    LinkRig rig;
    std::string message;
    ASSERT_TRUE(rig.Open(LinkPath::PortComponent, message)) << message;
    ASSERT_TRUE(CreateLinkTimeout(rig.link, 15000));
    EXPECT_EQ(rig.link.timeout, 15000);
    auto handle = static_cast<std::uint16_t>(TriggerOf(rig.link));
    ArmLinkTimeout(rig.link);
    EXPECT_TRUE(rig.port.TriggerArmed(handle));
    EXPECT_EQ(rig.port.TriggerTicks(handle), 270);
    DisarmLinkTimeout(rig.link);
    EXPECT_FALSE(rig.port.TriggerArmed(handle));
    ASSERT_TRUE(CreateLinkTimeout(rig.link, 4000));
    EXPECT_EQ(rig.link.timeout, 4000);
    handle = static_cast<std::uint16_t>(TriggerOf(rig.link));
    ArmLinkTimeout(rig.link);
    EXPECT_EQ(rig.port.TriggerTicks(handle), 72);
    DisarmLinkTimeout(rig.link);
    ReleaseLinkTimeout(rig.link);
    EXPECT_EQ(TriggerOf(rig.link), -1);
    // Creating and releasing many times never runs the port out of triggers.
    for (int i = 0; i < 500; ++i) {
        ASSERT_TRUE(CreateLinkTimeout(rig.link, 4000));
        ReleaseLinkTimeout(rig.link);
    }
}

TEST(RadioLinkOpening, FailuresGiveTheirMessages)
{
    test::EnsureCoreApplication();
    test::ScopedComOverride missing(5, "/dev/aurex-no-such-device");
    std::string message;
    RadioLink link;
    EXPECT_EQ(OpenDeviceLink(link, 5, 19200, false, message), PortOpenResult::NotPresent);
    EXPECT_EQ(message, kPortErrorMessage);
    EXPECT_NE(DeviceOf(link), nullptr); // kept until CloseLink
    CloseLink(link);
    EXPECT_EQ(DeviceOf(link), nullptr);

    ComPort port;
    port.SetComNumber(5);
    EXPECT_EQ(OpenComPortLink(link, port, message), PortOpenResult::NotPresent);
    EXPECT_EQ(message, kPortUnavailableMessage);

    // In use: the device path holds it, the port component is told so.
    test::PtyPair pty;
    test::ScopedComOverride com(6, pty.DevicePath());
    RadioLink holder;
    ASSERT_EQ(OpenDeviceLink(holder, 6, 19200, false, message), PortOpenResult::Opened) << message;
    port.SetComNumber(6);
    EXPECT_EQ(OpenComPortLink(link, port, message), PortOpenResult::InUse);
    EXPECT_EQ(message, kPortUnavailableMessage);
    CloseLink(holder);

    // Permission denied is told as such, with the device and the fix.
    ::testing::NiceMock<test::MockSerialSystem> os;
    ON_CALL(os, Open(::testing::_))
        .WillByDefault(::testing::Return(
            SerialOpenResult{kNoSerialHandle, PortOpenResult::PermissionDenied, "Permission denied"}));
    link.makeDevice = [&os] { return std::make_unique<VNXCommDeviceSerial>(os); };
    EXPECT_EQ(OpenDeviceLink(link, 6, 19200, false, message), PortOpenResult::PermissionDenied);
    EXPECT_EQ(message, PermissionDeniedMessage(pty.DevicePath()));
    CloseLink(link);
}

TEST(RadioLinkCodes, BaudRatesMapToDeviceCodes)
{
    EXPECT_EQ(BaudToDeviceCode(9600), 12);
    EXPECT_EQ(BaudToDeviceCode(19200), 14);
    EXPECT_EQ(BaudToDeviceCode(38400), 15);
    EXPECT_EQ(BaudToDeviceCode(57600), 17);
    EXPECT_EQ(BaudToDeviceCode(115200), 19);
    EXPECT_EQ(BaudToDeviceCode(4800), 14);
    RadioLink link;
    EXPECT_FALSE(link.active);
    EXPECT_EQ(TriggerOf(link), -1);
    EXPECT_EQ(link.framing, 0);
    EXPECT_EQ(GetLinkStatus(link), LinkStatus::Ended);
    test::EnsureCoreApplication();
    ComPort port;
    link.transport = std::make_unique<PortComponentTransport>(port); // the port path's line, never opened
    link.idle = true;
    EXPECT_TRUE(IsLinkTimedOut(link));
    EXPECT_EQ(GetLinkStatus(link), LinkStatus::IdleEnded);
    OnLinkTriggerTimer(link);
    EXPECT_FALSE(link.active);
}

} // namespace
} // namespace aurex

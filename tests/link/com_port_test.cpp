// The port component over real pseudo-terminals: opening and its failures, queues, half-duplex
// mode, timer triggers and DelayTicks; plus the COM number mapping and the clock behind it.
#include "fake_sysfs.h"
#include "link/clock.h"
#include "link/com_port.h"
#include "link/com_port_map.h"
#include "link/vnx_win_ext_serial_port.h"
#include "mock_serial_system.h"
#include "qt_app.h"
#include "support/scripted_peer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace aurex {
namespace {

using test::Bytes;

class ComPortOnPty : public ::testing::Test
{
  protected:
    ComPortOnPty() : com_(3, pty_.DevicePath())
    {
        test::EnsureCoreApplication();
        port_.SetComNumber(3);
    }

    // Runs the event loop until the condition holds (bounded, so a fault fails instead of hanging).
    template <typename Condition> bool PumpUntil(Condition done, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) {
                return false;
            }
            QTimer guard;
            guard.start(20);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

    test::PtyPair pty_;
    test::ScopedComOverride com_;
    ComPort port_;
    test::FakeSysfs sys_; // where the pseudo-terminal may pose as a USB adapter
};

TEST_F(ComPortOnPty, OpensClosesAndTellsOpenFailuresApart)
{
    port_.SetOpen(true);
    EXPECT_TRUE(port_.Open());
    EXPECT_EQ(port_.DevicePath(), pty_.DevicePath());

    // Held by this program already: in use, not a plain error.
    ComPort other;
    other.SetComNumber(3);
    try {
        other.SetOpen(true);
        ADD_FAILURE() << "a second open of the same device succeeded";
    } catch (const ComPortError& e) {
        EXPECT_EQ(e.OpenResult(), PortOpenResult::InUse);
    }
    port_.SetOpen(false);
    EXPECT_FALSE(port_.Open());
    other.SetOpen(true); // free again
    EXPECT_TRUE(other.Open());
    other.SetOpen(false);

    test::ScopedComOverride missing(4, "/dev/aurex-no-such-device");
    other.SetComNumber(4);
    try {
        other.SetOpen(true);
        ADD_FAILURE() << "a missing device opened";
    } catch (const ComPortError& e) {
        EXPECT_EQ(e.OpenResult(), PortOpenResult::NotPresent);
        EXPECT_EQ(e.DevicePath(), "/dev/aurex-no-such-device");
    }
    other.SetComNumber(65); // beyond the list and without an override
    EXPECT_THROW(other.SetOpen(true), ComPortError);
}

TEST_F(ComPortOnPty, QueuesBlocksUpToTheirSizeAndDeliversTheBytesInOrder)
{
    port_.SetOpen(true);
    EXPECT_EQ(port_.GetOutBuffFree(), ComPort::kQueueSize);
    EXPECT_EQ(port_.GetOutBuffUsed(), 0);

    Bytes block(ComPort::kQueueSize);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7);
    }
    Bytes seen;
    test::ScriptedPeer peer(pty_, [&seen](test::PeerIo& io) {
        seen = io.Read(ComPort::kQueueSize);
        io.Write({0x11, 0x22, 0x33});
    });
    // As large as the free space: one call.
    EXPECT_EQ(port_.PutBlock(block.data(), static_cast<std::uint16_t>(block.size())), 0);
    ASSERT_TRUE(PumpUntil([&] { return port_.GetOutBuffUsed() == 0; }));
    Bytes received;
    ASSERT_TRUE(PumpUntil([&] {
        while (port_.CharReady()) {
            received.push_back(port_.GetChar());
        }
        return received.size() >= 3;
    }));
    peer.Join();
    EXPECT_THAT(peer.Failures(), ::testing::IsEmpty());
    EXPECT_EQ(seen, block);
    EXPECT_EQ(received, (Bytes{0x11, 0x22, 0x33}));

    // The flush operations discard what is queued.
    const Bytes late = test::RadioFrame({0x04, 0x05});
    ::write(pty_.PeerFd(), late.data(), late.size());
    ASSERT_TRUE(PumpUntil([&] { return port_.CharReady(); }));
    port_.FlushInBuffer();
    EXPECT_FALSE(port_.CharReady());
}

TEST_F(ComPortOnPty, ABlockThatDoesNotFitOrAClosedPortRaises)
{
    Bytes block(16, 0x42);
    EXPECT_THROW(port_.PutBlock(block.data(), 16), ComPortError);
    port_.SetOpen(true);
    Bytes tooBig(ComPort::kQueueSize + 1, 0x42);
    try {
        port_.PutBlock(tooBig.data(), static_cast<std::uint16_t>(tooBig.size()));
        ADD_FAILURE() << "an oversized block was queued";
    } catch (const ComPortError& e) {
        EXPECT_EQ(e.kind(), ComPortError::Kind::QueueFull);
    }
}

TEST_F(ComPortOnPty, HalfDuplexWithoutDriverSupportIsReportedAndStillSends)
{
    port_.SetRS485Mode(true);
    port_.SetOpen(true);
    EXPECT_TRUE(port_.RS485Mode());
    EXPECT_FALSE(port_.KernelHalfDuplex());
    EXPECT_THAT(port_.LastRefusal(), ::testing::HasSubstr("RTS"));
    EXPECT_FALSE(port_.GetCTS()); // no CTS line: the send path never waits on it

    test::ScriptedPeer peer(pty_, [](test::PeerIo& io) { io.Expect({0xBA, 0x7F, 0x01, 0x7E}); });
    const Bytes frame{0xBA, 0x7F, 0x01, 0x7E};
    EXPECT_EQ(port_.PutBlock(frame.data(), 4), 0);
    EXPECT_EQ(port_.GetOutBuffUsed(), 0); // sent and drained before RTS dropped
    peer.Join();
    EXPECT_THAT(peer.Failures(), ::testing::IsEmpty());
}

// Asked of an adapter only; what was set goes back when closed, destroyed, or by an open that
// fails after it.
TEST_F(ComPortOnPty, LowLatencyAskedOfAnAdapterOnlyAndPutBackOnEveryWayOut)
{
    using ::testing::_;
    sys_.AddTty(std::filesystem::path(pty_.DevicePath()).filename().string(), "usb-serial");
    enum Exit { kClose, kDestroy, kFailedOpen, kRefused, kNotAdapter };
    for (const Exit exit : {kClose, kDestroy, kFailedOpen, kRefused, kNotAdapter}) {
        ::testing::NiceMock<test::MockSerialSystem> os;
        os.AcceptEverything();
        auto port = std::make_unique<ComPort>(nullptr, os);
        port->SetComNumber(3);
        port->SetSysfsRoot(exit == kNotAdapter ? sys_.root / "empty" : sys_.root);
        SerialHandle asked = kNoSerialHandle;
        SerialHandle restored = kNoSerialHandle;
        const auto answer = exit == kRefused ? LowLatencyResult::Refused("EPERM") : LowLatencyResult::Set();
        ON_CALL(os, RequestLowLatency(_))
            .WillByDefault(::testing::DoAll(::testing::SaveArg<0>(&asked), ::testing::Return(answer)));
        ON_CALL(os, RestoreLowLatency(_)).WillByDefault(::testing::SaveArg<0>(&restored));
        EXPECT_CALL(os, RequestLowLatency(_)).Times(exit == kNotAdapter ? 0 : 1);
        EXPECT_CALL(os, RestoreLowLatency(_)).Times(exit <= kFailedOpen ? 1 : 0);
        if (exit == kFailedOpen) {
            EXPECT_CALL(os, SetModemLine(_, _, _)).WillOnce(::testing::Throw(std::runtime_error("gone")));
            EXPECT_THROW(port->SetOpen(true), std::runtime_error);
            EXPECT_NE(restored, kNoSerialHandle); // by the failed open itself
        } else {
            port->SetOpen(true);
        }
        EXPECT_EQ(port->Open(), exit != kFailedOpen);
        EXPECT_EQ(port->LowLatency().outcome, exit == kRefused      ? LowLatencyResult::Outcome::Refused
                                              : exit == kNotAdapter ? LowLatencyResult::Outcome::NotAsked
                                                                    : LowLatencyResult::Outcome::Set);
        exit == kDestroy ? port.reset() : port->SetOpen(false);
        ::testing::Mock::VerifyAndClearExpectations(&os);
        EXPECT_EQ(restored, exit <= kFailedOpen ? asked : kNoSerialHandle);
    }
}

TEST_F(ComPortOnPty, ThePortClosesWhenThePeerVanishes)
{
    port_.SetOpen(true);
    pty_.ClosePeer();
    EXPECT_TRUE(PumpUntil([&] { return !port_.Open(); }));
    EXPECT_FALSE(port_.CharReady());
}

TEST_F(ComPortOnPty, TimerTriggersFireOncePerArmingAndNeverWhenDisarmed)
{
    Clock::SetScale(0.05);
    std::vector<quint16> fired;
    QObject::connect(&port_, &ComPort::OnTriggerTimer, [&](ComPort* sender, quint16 handle) {
        EXPECT_EQ(sender, &port_);
        fired.push_back(handle);
    });
    const std::uint16_t a = port_.AddTimerTrigger();
    const std::uint16_t b = port_.AddTimerTrigger();
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_NE(a, b);

    port_.SetTimerTrigger(a, 2, true);
    port_.SetTimerTrigger(b, 1, true);
    port_.SetTimerTrigger(b, 0, false); // disarmed: never fires
    EXPECT_FALSE(port_.TriggerArmed(b));
    ASSERT_TRUE(PumpUntil([&] { return !fired.empty(); }));
    port_.DelayTicks(4, true); // time for a wrongly armed b, or a second a, to show
    EXPECT_EQ(fired, std::vector<quint16>{a});

    port_.RemoveTrigger(a);
    port_.SetTimerTrigger(a, 1, true); // a released handle does nothing
    EXPECT_FALSE(port_.TriggerArmed(a));
    port_.RemoveTrigger(b);

    std::vector<std::uint16_t> handles;
    for (std::uint16_t h = port_.AddTimerTrigger(); h != 0; h = port_.AddTimerTrigger()) {
        handles.push_back(h);
        ASSERT_LT(handles.size(), 1000u) << "triggers never run out";
    }
    EXPECT_FALSE(handles.empty());
    for (std::uint16_t h : handles) {
        port_.RemoveTrigger(h);
    }
    EXPECT_NE(port_.AddTimerTrigger(), 0);
    Clock::SetScale(1.0);
}

TEST_F(ComPortOnPty, DelayTicksKeepsEventsFlowingOnlyWhenAskedAndEndsOnQuit)
{
    Clock::SetScale(0.05);
    int events = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++events; });
    ticker.start(1);
    port_.DelayTicks(4, true);
    EXPECT_GT(events, 0);

    events = 0;
    port_.DelayTicks(4, false);
    EXPECT_EQ(events, 0);
    port_.DelayTicks(0, true);
    port_.DelayTicks(-5, true);
    EXPECT_EQ(events, 0);

    // A quit while yielding ends the wait early; the scale makes "early" unmistakable.
    Clock::SetScale(1.0);
    QTimer::singleShot(10, [] { QCoreApplication::exit(0); });
    QElapsedTimer t;
    t.start();
    port_.DelayTicks(18 * 60, true); // a minute unless the quit ends it
    EXPECT_LT(t.elapsed(), 30000);

    // Running the application loop once clears the quit, so later waits wait again.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    Clock::SetScale(0.05);
    events = 0;
    port_.DelayTicks(4, true);
    EXPECT_GT(events, 0);
    Clock::SetScale(1.0);
}

TEST(ComMapping, NumbersMapToDeviceFamiliesAndTheEnvironmentOverrides)
{
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(16), "/dev/ttyS15");
    EXPECT_EQ(ComDevicePath(17), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(40), "/dev/ttyUSB23");
    EXPECT_EQ(ComDevicePath(41), "/dev/ttyACM0");
    EXPECT_EQ(ComDevicePath(64), "/dev/ttyACM23");
    EXPECT_EQ(ComDevicePath(0), "");
    EXPECT_EQ(ComDevicePath(65), "");
    {
        test::ScopedComOverride over(2, "/dev/pts/99");
        EXPECT_EQ(ComDevicePath(2), "/dev/pts/99");
        EXPECT_EQ(ResolvePortName("\\\\.\\COM2"), "/dev/pts/99");
        EXPECT_EQ(ResolvePortName("com2"), "/dev/pts/99");
    }
    EXPECT_EQ(ComDevicePath(2), "/dev/ttyS1");
    EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortName("/dev/ttyUSB3"), "/dev/ttyUSB3");
    EXPECT_EQ(ResolvePortName("COMX"), "COMX");
    EXPECT_THAT(PermissionDeniedMessage("/dev/ttyUSB0"),
                ::testing::AllOf(::testing::HasSubstr("/dev/ttyUSB0"), ::testing::HasSubstr("dialout")));
}

TEST(ClockScale, ParsesTheFactorAndScalesTicksAndMilliseconds)
{
    // The reading itself is ReadTimeScale's (time_scale_test); the clock takes its factor.
    EXPECT_EQ(Clock::ParseScale("0.01"), 0.01);
    EXPECT_EQ(Clock::ParseScale("1e9"), Clock::kMaxScale);

    EXPECT_EQ(Clock::SecondsToTicks(1), 18);
    EXPECT_EQ(Clock::TicksToMilliseconds(360), 19773); // the codeplug step's reset wait
    Clock::SetScale(1.0);
    EXPECT_EQ(Clock::TimerTicks(72).count(), 3955);
    EXPECT_EQ(Clock::TimerMilliseconds(4000).count(), 4000);
    Clock::SetScale(0.01);
    EXPECT_EQ(Clock::TimerMilliseconds(4000).count(), 40);
    EXPECT_EQ(Clock::TimerMilliseconds(1).count(), 1); // never scaled down to nothing
    EXPECT_EQ(Clock::Milliseconds(0).count(), 0);
    Clock::SetScale(-1);
    EXPECT_EQ(Clock::Scale(), 1.0);
}

TEST(ClockScale, AFloorKeepsAScaledReplyTimeOutLongEnoughInRealTimeButNoLongerThanItself)
{
    struct Case
    {
        double scale;
        std::int64_t floor, ms, armed;
    } const cases[] = {
        {0.2, 0, 1000, 1000},      // no floor: as it stands
        {0.2, 1000, 1000, 5000},   // 200 ms real would be below the floor: 1000 ms real
        {0.2, 1000, 15000, 15000}, // 3 s real is above it
        {0.2, 1000, 300, 1500},    // never past its own length (300 ms real)
        {1.0, 1000, 300, 300},     {0.2, 1000, 0, 0},
    };
    for (const Case& c : cases) {
        Clock::SetScale(c.scale);
        Clock::SetTimeoutFloor(c.floor);
        EXPECT_EQ(Clock::ReplyTimeout(c.ms), c.armed) << c.scale << " " << c.floor << " " << c.ms;
    }
    Clock::SetTimeoutFloor(0);
    Clock::SetScale(1.0);
}

} // namespace
} // namespace aurex

// The program's own radio link against the real simulator: both ways of opening meet it, the
// probe, the switch to 115200 and the replies come through.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "link/clock.h"
#include "link/radio_link.h"
#include "support/pty_pair.h"
#include "support/radio_sim_process.h"

namespace aurex {
namespace {

using test::RadioSimProcess;
using test::ScopedComOverride;

constexpr int kCom = 7;

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "radio-sim-link-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

LinkPacket Code(std::uint8_t cls, std::uint8_t cmd)
{
    LinkPacket p;
    p.Append(cls);
    p.Append(cmd);
    return p;
}

// One identification query as the program makes it; the reply's bytes, empty when none came.
std::vector<std::uint8_t> BootVersion(RadioLink& link)
{
    SendPacket(link, Code(0x04, 0x2D));
    const LinkReply reply = ReceiveReply(link, Code(0x04, 0x2E), 4, Code(0x04, 0x20), 2);
    if (reply.status != LinkStatus::Completed) {
        return {};
    }
    return {reply.packet.Bytes().begin(), reply.packet.Bytes().end()};
}

class RadioSimWithTheLink : public ::testing::Test
{
  protected:
    RadioSimWithTheLink()
    {
        App();
        link.commTimer = &commTimer;
        QObject::connect(&commTimer, &ScaledTimer::OnTimer, [this] { OnLinkCommTimer(link); });
        QObject::connect(&port, &ComPort::OnTriggerTimer,
                         [this](ComPort*, quint16) { OnLinkTriggerTimer(link); });
    }
    ~RadioSimWithTheLink() override { CloseLink(link); }

    ComPort port;
    ScaledTimer commTimer;
    RadioLink link;
};

TEST_F(RadioSimWithTheLink, DevicePathFindsTheBoxSwitchesTo115200AndQueries)
{
    RadioSimProcess sim({});
    ScopedComOverride com(kCom, sim.DevicePath());
    std::string message;
    ASSERT_EQ(OpenDeviceLink(link, kCom, 19200, false, message), PortOpenResult::Opened) << message;
    SetLinkFraming(link, kFramingFramed);
    SetLinkActive(link, true);
    ASSERT_TRUE(CreateLinkTimeout(link, 1000));
    EXPECT_TRUE(ProbeInterfaceBox(link)) << sim.Log();
    ChangeBaudRate(link, 115200);
    ASSERT_TRUE(CreateLinkTimeout(link, 4000));
    EXPECT_EQ(BootVersion(link), (std::vector<std::uint8_t>{0x04, 0x2E, 4, 0})) << sim.Log();
    // Back to 19200, as after a code download.
    ChangeBaudRate(link, 19200);
    EXPECT_EQ(BootVersion(link), (std::vector<std::uint8_t>{0x04, 0x2E, 4, 0})) << sim.Log();
}

TEST_F(RadioSimWithTheLink, HalfDuplexPathHearsItsEchoAndStillGetsTheReplies)
{
    RadioSimProcess sim({"--interface", "half-duplex"});
    ScopedComOverride com(kCom, sim.DevicePath());
    {
        // No box on a plain cable: the probe goes unanswered.
        std::string message;
        ASSERT_EQ(OpenDeviceLink(link, kCom, 19200, false, message), PortOpenResult::Opened) << message;
        SetLinkFraming(link, kFramingFramed);
        SetLinkActive(link, true);
        ASSERT_TRUE(CreateLinkTimeout(link, 1000));
        EXPECT_FALSE(ProbeInterfaceBox(link));
        CloseLink(link);
    }
    port.SetComNumber(kCom);
    port.SetRS485Mode(true);
    std::string message;
    ASSERT_EQ(OpenComPortLink(link, port, message), PortOpenResult::Opened) << message;
    SetLinkActive(link, true);
    SetLinkFraming(link, kFramingFramed);
    SetLinkBaud(link, 19200);
    // The port path switches without a pause after the message.
    ChangeBaudRate(link, 115200);
    ASSERT_TRUE(CreateLinkTimeout(link, 4000));
    EXPECT_EQ(BootVersion(link), (std::vector<std::uint8_t>{0x04, 0x2E, 4, 0})) << sim.Log();
    ReleaseLinkTimeout(link);
}

} // namespace
} // namespace aurex

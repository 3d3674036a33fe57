// The shared termios set-up: the bits each routine sets and clears, and the rates on a real
// pseudo-terminal, standard and custom, set alone and through the program's serial system.
#include "link/serial_baud_linux.h"
#include "link/serial_system.h"
#include "link/serial_termios.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace aurex {
namespace {

// Both ends of a fresh pseudo-terminal, closed at the end of the test.
struct Pty
{
    Pty()
    {
        termios raw = RawLine19200();
        char name[128] = {};
        if (::openpty(&peer, &device, name, &raw, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        path = name;
    }
    ~Pty()
    {
        ::close(peer);
        ::close(device);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int peer = -1;
    int device = -1;
    std::string path;
};

TEST(SerialTermios, RawLineIs8N1WithoutFlowControlAt19200)
{
    const termios t = RawLine19200();
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), tcflag_t{0});
    EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF | IXANY | ICRNL | ISTRIP), tcflag_t{0});
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t{0});
    EXPECT_EQ(t.c_oflag & OPOST, tcflag_t{0});
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(::cfgetispeed(&t), speed_t{B19200});
    EXPECT_EQ(::cfgetospeed(&t), speed_t{B19200});
}

TEST(SerialTermios, MakeRawClearsLineEditingOnAnyStartingPoint)
{
    termios t{};
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_iflag = ICRNL | IXON | ISTRIP;
    t.c_oflag = OPOST;
    MakeRaw(t);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t{0});
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | ISTRIP), tcflag_t{0});
    EXPECT_EQ(t.c_oflag & OPOST, tcflag_t{0});
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
}

TEST(SerialTermios, FrameSetsDataBitsParityAndStopBits)
{
    termios t = RawLine19200();
    SetFrame(t, 7, SerialParity::Mark, true, SerialStopBits::Two);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS7});
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t{PARENB | PARODD | CMSPAR});
    EXPECT_NE(t.c_cflag & CSTOPB, tcflag_t{0});
    EXPECT_NE(t.c_iflag & INPCK, tcflag_t{0});

    SetFrame(t, 5, SerialParity::Space, false, SerialStopBits::OneAndHalf);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS5});
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t{PARENB | CMSPAR});
    EXPECT_NE(t.c_cflag & CSTOPB, tcflag_t{0});
    EXPECT_EQ(t.c_iflag & INPCK, tcflag_t{0});

    SetFrame(t, 6, SerialParity::Odd, true, SerialStopBits::One);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS6});
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t{PARENB | PARODD});
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t{0});
    EXPECT_NE(t.c_iflag & INPCK, tcflag_t{0});

    // No parity: nothing to check, whatever was asked.
    SetFrame(t, 9, SerialParity::None, true, SerialStopBits::One);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t{0});
    EXPECT_EQ(t.c_iflag & INPCK, tcflag_t{0});

    SetFrame(t, 8, SerialParity::Even, false, SerialStopBits::One);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t{PARENB});
}

TEST(SerialTermios, FlowControlSetsOnlyWhatIsAsked)
{
    termios t = RawLine19200();
    t.c_iflag |= IXANY;
    SetFlowControl(t, true, true, false);
    EXPECT_NE(t.c_cflag & CRTSCTS, tcflag_t{0});
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), tcflag_t{IXON});

    SetFlowControl(t, false, false, true);
    EXPECT_EQ(t.c_cflag & CRTSCTS, tcflag_t{0});
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), tcflag_t{IXOFF});

    SetFlowControl(t, false, false, false);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), tcflag_t{0});
}

TEST(SerialTermios, StandardRatesHaveTheirCodesAndOthersNone)
{
    EXPECT_EQ(StandardSpeedCode(110), unsigned{B110});
    EXPECT_EQ(StandardSpeedCode(9600), unsigned{B9600});
    EXPECT_EQ(StandardSpeedCode(19200), unsigned{B19200});
    EXPECT_EQ(StandardSpeedCode(38400), unsigned{B38400});
    EXPECT_EQ(StandardSpeedCode(115200), unsigned{B115200});
    EXPECT_EQ(StandardSpeedCode(230400), unsigned{B230400});
    EXPECT_EQ(StandardSpeedCode(14400), unsigned{B0});
    EXPECT_EQ(StandardSpeedCode(460800), unsigned{B0});
    EXPECT_EQ(StandardSpeedCode(0), unsigned{B0});

    termios t = RawLine19200();
    EXPECT_TRUE(SetStandardSpeed(t, 57600));
    EXPECT_EQ(::cfgetospeed(&t), speed_t{B57600});
    EXPECT_EQ(::cfgetispeed(&t), speed_t{B57600});
    EXPECT_FALSE(SetStandardSpeed(t, 14400));
    EXPECT_EQ(::cfgetospeed(&t), speed_t{B57600});
}

TEST(SerialTermios, LineSpeedsOnAPseudoTerminal)
{
    Pty pty;
    int transmit = 0;
    int receive = 0;
    ASSERT_TRUE(ReadLineSpeeds(pty.device, transmit, receive));
    EXPECT_EQ(transmit, 19200);
    EXPECT_EQ(receive, 19200);

    // A standard rate keeps its code, so termios readers see it.
    ASSERT_EQ(SetLineSpeed(pty.device, 115200), 0);
    ASSERT_TRUE(ReadLineSpeeds(pty.device, transmit, receive));
    EXPECT_EQ(transmit, 115200);
    EXPECT_EQ(receive, 115200);
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.device, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t{B115200});

    ASSERT_EQ(SetLineSpeed(pty.device, 14400), 0);
    ASSERT_TRUE(ReadLineSpeeds(pty.device, transmit, receive));
    EXPECT_EQ(transmit, 14400);
    EXPECT_EQ(receive, 14400);
}

TEST(SerialTermios, NotATerminalIsReported)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    int transmit = -1;
    int receive = -1;
    EXPECT_FALSE(ReadLineSpeeds(pipeFds[0], transmit, receive));
    EXPECT_NE(SetLineSpeed(pipeFds[0], 14400), 0);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

// The program's own serial system over the same routines: a custom rate reaches the line, and the
// settings the device had (a terminal chosen by mistake) come back when the program closes it.
TEST(SerialTermios, ProgramSerialSystemSetsCustomAndStandardRatesThenPutsTheOldOnesBack)
{
    Pty pty;
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.device, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(pty.device, TCSANOW, &before), 0);
    SerialSystem& os = PlatformSerialSystem();
    const SerialOpenResult opened = os.Open(pty.path);
    ASSERT_EQ(opened.outcome, PortOpenResult::Opened) << opened.message;

    SerialConfig config;
    config.baudRate = 14400;
    EXPECT_TRUE(os.Configure(opened.handle, config));
    int transmit = 0;
    int receive = 0;
    ASSERT_TRUE(ReadLineSpeeds(pty.device, transmit, receive));
    EXPECT_EQ(transmit, 14400);

    // A pseudo-terminal keeps the input flags; its driver forces 8 bits without parity.
    config.baudRate = 57600;
    config.parity = SerialParity::Even;
    config.parityCheck = true;
    config.xonXoffIn = true;
    EXPECT_TRUE(os.Configure(opened.handle, config));
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.device, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t{B57600});
    EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF | IXANY), tcflag_t{INPCK | IXOFF});
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t{0});
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    os.Close(opened.handle);
    ASSERT_EQ(::tcgetattr(pty.device, &t), 0);
    EXPECT_EQ(t.c_lflag, before.c_lflag);
    EXPECT_EQ(::cfgetospeed(&t), speed_t{B9600});
}

} // namespace
} // namespace aurex

#include "link/serial_termios.h"

#include "link/serial_baud_linux.h"

namespace aurex {

namespace {

tcflag_t CharacterSize(int dataBits)
{
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

void MakeRaw(termios& t)
{
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
}

void SetFrame(termios& t, int dataBits, SerialParity parity, bool parityCheck, SerialStopBits stopBits)
{
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= CharacterSize(dataBits);
    switch (parity) {
    case SerialParity::None:
        break;
    case SerialParity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case SerialParity::Even:
        t.c_cflag |= PARENB;
        break;
    case SerialParity::Mark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SerialParity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    t.c_iflag &= ~INPCK;
    if (parityCheck && parity != SerialParity::None) {
        t.c_iflag |= INPCK;
    }
    // A UART sends one and a half stop bits for CSTOPB with 5 data bits.
    if (stopBits != SerialStopBits::One) {
        t.c_cflag |= CSTOPB;
    }
}

void SetFlowControl(termios& t, bool rtsCts, bool xonXoffOut, bool xonXoffIn)
{
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (rtsCts) {
        t.c_cflag |= CRTSCTS;
    }
    if (xonXoffOut) {
        t.c_iflag |= IXON;
    }
    if (xonXoffIn) {
        t.c_iflag |= IXOFF;
    }
}

bool SetStandardSpeed(termios& t, int baudRate)
{
    const auto speed = static_cast<speed_t>(StandardSpeedCode(baudRate));
    if (speed == B0) {
        return false;
    }
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    return true;
}

termios RawLine19200()
{
    termios t{};
    MakeRaw(t);
    SetFrame(t, 8, SerialParity::None, false, SerialStopBits::One);
    SetFlowControl(t, false, false, false);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, B19200);
    ::cfsetospeed(&t, B19200);
    return t;
}

} // namespace aurex

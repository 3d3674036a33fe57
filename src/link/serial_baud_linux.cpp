#include "link/serial_baud_linux.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace aurex {

unsigned StandardSpeedCode(int baudRate)
{
    switch (baudRate) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

int SetLineSpeed(int fd, int baudRate)
{
    struct termios2 t
    {
    };
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    const unsigned code = StandardSpeedCode(baudRate);
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= code != B0 ? code : BOTHER;
    t.c_ispeed = static_cast<speed_t>(baudRate);
    t.c_ospeed = static_cast<speed_t>(baudRate);
    if (::ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    return 0;
}

bool ReadLineSpeeds(int fd, int& transmitBaud, int& receiveBaud)
{
    struct termios2 t
    {
    };
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    transmitBaud = static_cast<int>(t.c_ospeed);
    // A receive speed of 0 means "as the transmit speed".
    receiveBaud = t.c_ispeed != 0 ? static_cast<int>(t.c_ispeed) : transmitBaud;
    return true;
}

} // namespace aurex

// termios2 lives apart from <termios.h>: the two headers cannot meet in one file.
#include "line_speed_linux.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace aurex::sim {

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

int WriteLineSpeed(int fd, int baud)
{
    struct termios2 t
    {
    };
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    // Standard rates keep their own codes, so every tool reading the port sees them.
    tcflag_t code = BOTHER;
    switch (baud) {
    case 9600:
        code = B9600;
        break;
    case 19200:
        code = B19200;
        break;
    case 38400:
        code = B38400;
        break;
    case 57600:
        code = B57600;
        break;
    case 115200:
        code = B115200;
        break;
    default:
        break;
    }
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= code;
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    return 0;
}

} // namespace aurex::sim

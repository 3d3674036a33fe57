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
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    return 0;
}

} // namespace aurex::sim

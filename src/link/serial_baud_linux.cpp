#include "link/serial_baud_linux.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace aurex {

int SetCustomBaudRate(int fd, int baudRate)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = static_cast<speed_t>(baudRate);
    t.c_ospeed = static_cast<speed_t>(baudRate);
    if (::ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    return 0;
}

} // namespace aurex

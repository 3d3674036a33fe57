#pragma once

namespace aurex {

// Sets a rate that has no Bxxx constant (14400, 56000, ...) on an open tty. 0 or an errno value.
// Kept apart because the kernel's termios2 header cannot share a file with <termios.h>.
int SetCustomBaudRate(int fd, int baudRate);

} // namespace aurex

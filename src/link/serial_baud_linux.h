#pragma once

namespace aurex {

// Line speeds of an open tty, custom rates (14400, 56000, ...) included. Kept apart because the
// kernel's termios2 header cannot share a file with <termios.h>; so this header does not include
// either.

// The Bxxx code of a standard rate (110 to 230400), 0 (B0) for a rate without one. The kernel
// and the C library use the same codes.
unsigned StandardSpeedCode(int baudRate);

// Sets both speeds of a tty. A standard rate keeps its own code, so every tool reading the port
// sees it; any other rate is set as a number (BOTHER). 0 or an errno value.
int SetLineSpeed(int fd, int baudRate);

// The transmit and receive speeds a tty is set to, in bits per second, custom rates included;
// false when the descriptor is not a terminal.
bool ReadLineSpeeds(int fd, int& transmitBaud, int& receiveBaud);

} // namespace aurex

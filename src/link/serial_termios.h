// Termios set-up of a serial descriptor, shared by the program's serial ports, the simulated
// radio's end of the line and the tests' pseudo-terminals. Plain POSIX, no Qt.
#pragma once

#include "link/serial_system.h"

#include <termios.h>

namespace aurex {

// Binary line: no line editing, no translation, no null stripping, no signals; the receiver on
// and the modem status lines ignored.
void MakeRaw(termios& t);

// Character frame: data bits (5 to 8; anything else is 8), parity, whether received parity is
// checked, stop bits.
void SetFrame(termios& t, int dataBits, SerialParity parity, bool parityCheck, SerialStopBits stopBits);

// Flow control: RTS/CTS in hardware, XON/XOFF on output and on input; all else off.
void SetFlowControl(termios& t, bool rtsCts, bool xonXoffOut, bool xonXoffIn);

// Sets both speeds of t to a standard rate; false, t unchanged, for a rate without a Bxxx code
// (SetLineSpeed in serial_baud_linux.h sets those on the open descriptor).
bool SetStandardSpeed(termios& t, int baudRate);

// A raw 8N1 line without flow control at 19200 baud, the rate a radio starts at, built from
// nothing; a read returns as soon as one byte is there. For a new pseudo-terminal or a device
// opened afresh.
termios RawLine19200();

} // namespace aurex

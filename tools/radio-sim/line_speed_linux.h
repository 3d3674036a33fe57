#pragma once

namespace aurex::sim {

// The transmit and receive speeds a terminal is set to, in bits per second, custom rates
// included; false when the descriptor is not a terminal.
bool ReadLineSpeeds(int fd, int& transmitBaud, int& receiveBaud);

// Sets both speeds of a terminal; an errno value, 0 on success.
int WriteLineSpeed(int fd, int baud);

} // namespace aurex::sim

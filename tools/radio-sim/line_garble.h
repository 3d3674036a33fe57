// What a receiver makes of bytes sent at another speed. A slower receiver sees one byte for
// every few sent; a faster one sees a burst of bytes per sent byte (the start bit and every low
// stretch look like bytes of their own). The received values are only 00, E0, F8, FE or FF:
// never a frame marker or the escape byte, so garbled bytes can never pass for a frame.
#pragma once

#include <cstdint>
#include <vector>

namespace aurex::sim {

class Garbler
{
  public:
    // Appends what the receiver takes from one byte; speeds in bits per second, both > 0 and
    // different.
    void Feed(std::uint8_t byte, int senderBaud, int receiverBaud, std::vector<std::uint8_t>& out);

  private:
    // A slower receiver: sent bytes not yet covered by a received one, and their bits.
    double pending_ = 0;
    unsigned pendingBits_ = 0;
};

} // namespace aurex::sim

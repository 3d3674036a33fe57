#include "line_garble.h"

#include <algorithm>
#include <bit>

namespace aurex::sim {

void Garbler::Feed(std::uint8_t byte, int senderBaud, int receiverBaud, std::vector<std::uint8_t>& out)
{
    if (senderBaud <= 0 || receiverBaud <= 0 || senderBaud == receiverBaud) {
        out.push_back(byte);
        return;
    }
    if (senderBaud > receiverBaud) {
        // One received byte spans `ratio` sent bytes; its value depends on the low bits it met.
        const double ratio = static_cast<double>(senderBaud) / receiverBaud;
        pending_ += 1.0;
        pendingBits_ += static_cast<unsigned>(std::popcount(byte));
        if (pending_ >= ratio) {
            static constexpr std::uint8_t kValues[4] = {0x00, 0xF8, 0xFE, 0xFF};
            out.push_back(kValues[pendingBits_ & 3u]);
            pending_ -= ratio;
            pendingBits_ = 0;
        }
        return;
    }
    // A faster receiver samples the 10 line bits (start 0, 8 data bits LSB first, stop 1) in
    // `ratio` slots; every slot that holds a low bit starts a byte of its own.
    const int ratio = std::clamp((receiverBaud + senderBaud / 2) / senderBaud, 2, 12);
    const unsigned line = 0x200u | (static_cast<unsigned>(byte) << 1); // bit 0 is the start bit
    for (int slot = 0; slot < ratio; ++slot) {
        const int from = slot * 10 / ratio;
        const int to = std::max(from + 1, (slot + 1) * 10 / ratio);
        const unsigned mask = ((1u << to) - 1u) & ~((1u << from) - 1u);
        const unsigned bits = line & mask;
        if (bits == mask) {
            continue; // all high: an idle line, no byte
        }
        out.push_back(bits == 0 ? 0x00 : 0xE0);
    }
}

} // namespace aurex::sim

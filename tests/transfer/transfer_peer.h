#pragma once

// The radio's side of codeplug transfers for scripted peers: reading the program's frames back
// into messages (independently of the program's codec), answering, and the blocks of a codeplug.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/ioctl.h>

#include "support/scripted_peer.h"

namespace aurex::test {

// Unstuffs one frame as the program sends it (BA 7F 01 ... checksum 7E) and returns its message;
// records a failure and returns nothing when the frame is not one.
inline Bytes ProgramMessage(PeerIo& io, const Bytes& frame)
{
    if (frame.size() < 5 || frame[0] != 0xBA || frame[1] != 0x7F || frame[2] != 0x01 ||
        frame.back() != 0x7E) {
        io.Fail("not a frame of the program: " + Hex(frame));
        return {};
    }
    Bytes body;
    for (std::size_t i = 3; i + 1 < frame.size(); ++i) {
        std::uint8_t b = frame[i];
        if (b == 0x10 && i + 2 < frame.size()) {
            const std::uint8_t code = frame[++i];
            b = code == 0x00 ? 0xBA : code == 0x01 ? 0x7E : 0x10;
        }
        body.push_back(b);
    }
    unsigned sum = 0x7F + 0x01;
    for (std::uint8_t b : body) {
        sum += b;
    }
    if ((sum & 0xFF) != 0 || body.empty()) {
        io.Fail("bad checksum in " + Hex(frame));
        return {};
    }
    body.pop_back();
    return body;
}

// The next message the program sends.
inline Bytes NextMessage(PeerIo& io, int timeoutMs = 10000)
{
    const Bytes frame = io.ReadFrame(timeoutMs);
    if (frame.empty()) {
        return {};
    }
    return ProgramMessage(io, frame);
}

// Reads the next message and records a failure unless it is `expected`.
inline bool ExpectMessage(PeerIo& io, const Bytes& expected)
{
    const Bytes got = NextMessage(io);
    if (got != expected) {
        io.Fail("expected " + Hex(expected) + ", got " + Hex(got));
        return false;
    }
    return true;
}

inline void SendMessage(PeerIo& io, const Bytes& message)
{
    io.Write(RadioFrame(message));
}

inline Bytes WithCode(std::uint8_t cls, std::uint8_t cmd, const Bytes& payload = {})
{
    Bytes m{cls, cmd};
    m.insert(m.end(), payload.begin(), payload.end());
    return m;
}

// One 128-byte block of `image` as a 03 02 message.
inline Bytes DataBlockMessage(const Bytes& image, std::size_t index)
{
    Bytes m{0x03, 0x02};
    m.insert(m.end(), image.begin() + static_cast<std::ptrdiff_t>(index * 128),
             image.begin() + static_cast<std::ptrdiff_t>(index * 128 + 128));
    return m;
}

// Bytes whose every pair differs from its neighbours and never reads as a block mark.
inline Bytes PatternBytes(std::size_t count, std::uint8_t seed)
{
    Bytes b(count);
    for (std::size_t i = 0; i < count; ++i) {
        b[i] = static_cast<std::uint8_t>((i * 7 + seed) % 251 + 1);
        if (b[i] == 0x5F) {
            b[i] = 0x60;
        }
    }
    return b;
}

// 16-bit sum of the big-endian words of a range.
inline std::uint16_t BigEndianSum(const Bytes& bytes, std::size_t begin, std::size_t end)
{
    unsigned sum = 0;
    for (std::size_t i = begin; i + 1 < end; i += 2) {
        sum += static_cast<unsigned>(bytes[i] << 8 | bytes[i + 1]);
    }
    return static_cast<std::uint16_t>(sum);
}

// Bytes the program has written that the peer has not read yet.
inline int PendingForPeer(const PtyPair& pty)
{
    int count = 0;
    const int fd = pty.PeerFd();
    if (fd < 0 || ::ioctl(fd, FIONREAD, &count) != 0) {
        return 0;
    }
    return count;
}

} // namespace aurex::test

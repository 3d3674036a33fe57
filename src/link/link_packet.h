#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace aurex {

// Largest message the link carries, and largest raw frame body accepted from the line.
inline constexpr std::size_t kLinkPacketCapacity = 1024;
inline constexpr std::size_t kMaxRawFrameBytes = 1024;

// The unit the send and receive operations exchange: a two-byte code (class, command) and
// its payload.
struct LinkPacket
{
    std::int32_t length = 0;
    std::array<std::uint8_t, kLinkPacketCapacity> data{};

    // The valid bytes; an out-of-range length yields no bytes rather than a read past data.
    std::span<const std::uint8_t> Bytes() const
    {
        if (length < 0 || static_cast<std::size_t>(length) > data.size()) {
            return {};
        }
        return {data.data(), static_cast<std::size_t>(length)};
    }

    bool HasCode() const { return length >= 2 && static_cast<std::size_t>(length) <= data.size(); }
    std::uint8_t ClassByte() const { return data[0]; }
    std::uint8_t CommandByte() const { return data[1]; }

    // Appends one payload byte; false (packet unchanged) when the packet is full.
    bool Append(std::uint8_t byte)
    {
        if (length < 0 || static_cast<std::size_t>(length) >= data.size()) {
            return false;
        }
        data[static_cast<std::size_t>(length)] = byte;
        ++length;
        return true;
    }
};

} // namespace aurex

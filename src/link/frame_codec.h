#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "link/link_packet.h"

namespace aurex {

// Frame layout on the line: BA, address, address, stuffed message, stuffed checksum, 7E.
inline constexpr std::uint8_t kFrameStart = 0xBA;
inline constexpr std::uint8_t kFrameEnd = 0x7E;
inline constexpr std::uint8_t kFrameEscape = 0x10;
inline constexpr std::uint8_t kHostAddress = 0x7F;         // first byte sent, second byte received
inline constexpr std::uint8_t kRadioAddress = 0x01;        // second byte sent to the radio
inline constexpr std::uint8_t kInterfaceBoxAddress = 0x4F; // second byte of the interface-box probe

// A sent message carries at most 255 bytes: the frame has no room for a longer count.
inline constexpr std::size_t kMaxSentMessageBytes = 255;
// Start, two addresses, every message byte and the checksum stuffed to two bytes, end.
inline constexpr std::size_t kMaxSentFrameBytes = 3 + 2 * (kMaxSentMessageBytes + 1) + 1;

// The interface-box probe, sent unframed: the frame of 09 01 addressed to the box.
inline constexpr std::array<std::uint8_t, 7> kInterfaceBoxProbeFrame{0xBA, 0x7F, 0x4F, 0x09,
                                                                     0x01, 0x28, 0x7E};

// The bytes of one built frame; fixed storage, so building needs no allocation.
class FrameBytes
{
  public:
    std::span<const std::uint8_t> Bytes() const { return {bytes_.data(), size_}; }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return size_; }

  private:
    friend std::optional<FrameBytes> BuildFrame(const LinkPacket&, std::uint8_t);
    std::array<std::uint8_t, kMaxSentFrameBytes> bytes_{};
    std::size_t size_ = 0;
};

// The frame of a packet, addressed 7F then secondAddress. A length outside 0..255 cannot be
// framed and gives nothing, rather than a frame of some other message.
std::optional<FrameBytes> BuildFrame(const LinkPacket& packet, std::uint8_t secondAddress = kRadioAddress);

// What one received byte did to the frame in progress.
enum class FrameEvent : std::uint8_t {
    None,        // byte taken (or ignored outside a frame); no frame ended
    Frame,       // a frame with a right checksum ended; FrameDecoder::Message() holds its message
    BadChecksum, // frame ended but its bytes do not sum to 0: dropped
    BadEscape,   // 0x10 followed by a byte other than 00, 01, 02 (or by the end): dropped
    TooShort,    // frame ended without a checksum byte after the addresses: dropped
    NotForHost,  // second address byte is not 7F: ignored until the next BA
    Oversized,   // more than 1024 bytes after BA: dropped whole, waiting for the next BA
    Restarted,   // BA inside a frame: the partial frame is dropped and a new one starts
};

// Short English name of an event, for logs and test messages.
const char* FrameEventName(FrameEvent event);

// True for the events that drop a frame.
constexpr bool IsFrameError(FrameEvent event)
{
    return event != FrameEvent::None && event != FrameEvent::Frame;
}

// Which frames a receiver takes: the program only those whose second address byte is 7F; the
// simulated radio, which hears the frames the program addresses to it and to the interface box,
// takes every frame and reads the address with SecondAddress().
enum class FrameFilter : std::uint8_t { HostOnly, AnyAddress };

// Incremental receiver: fed one byte at a time, it unstuffs and sums as bytes arrive and
// reports complete frames and precise errors. Nothing it holds can grow past 1024 bytes.
class FrameDecoder
{
  public:
    FrameDecoder() = default;
    explicit FrameDecoder(FrameFilter filter) : filter_(filter) {}

    FrameEvent Feed(std::uint8_t byte);

    // The message of the last complete frame (addresses and checksum removed); kept until the
    // next Frame event.
    const LinkPacket& Message() const { return message_; }
    // Second address byte of the last complete frame.
    std::uint8_t SecondAddress() const { return secondAddress_; }

    // Forget any partial frame and wait for the next BA.
    void Reset() { state_ = State::Hunting; }

    bool InFrame() const { return state_ != State::Hunting; }

  private:
    enum class State : std::uint8_t { Hunting, FirstAddress, SecondAddress, Body, Escape };

    FrameEvent Drop(FrameEvent why)
    {
        state_ = State::Hunting;
        return why;
    }
    FrameEvent EndFrame();

    FrameFilter filter_ = FrameFilter::HostOnly;
    State state_ = State::Hunting;
    std::uint8_t address_ = 0;       // second address of the frame in progress
    std::uint8_t secondAddress_ = 0; // of the last complete frame
    std::size_t rawCount_ = 0;       // bytes after BA, addresses included, stuffed
    std::size_t bodyCount_ = 0;      // unstuffed message and checksum bytes in body_
    std::uint8_t sum_ = 0;
    std::array<std::uint8_t, kMaxRawFrameBytes> body_{};
    LinkPacket message_{};
};

// The reply a wait accepts: an expected code and length and an alternate one. Lengths count
// the code, as MessageLength gives them. A side without a code never matches.
struct ExpectedReply
{
    std::array<std::uint8_t, 2> code{};
    int length = 0;
    bool hasCode = false;
    std::array<std::uint8_t, 2> alternateCode{};
    int alternateLength = 0;
    bool hasAlternate = false;

    // From code packets as InitMessage fills them; a packet shorter than two bytes gives a side
    // that never matches.
    static ExpectedReply FromPackets(const LinkPacket& expectedCode, int expectedLength,
                                     const LinkPacket& alternateCode, int alternateLength);
    // From table ids; an unknown id gives a side that never matches.
    static ExpectedReply ForMessages(int expectedId, int alternateId);
    static ExpectedReply ForMessage(int expectedId) { return ForMessages(expectedId, -1); }
};

enum class ReplyMatch : std::uint8_t { None, Expected, Alternate };

// The expected side wins when both would match. A message shorter than its two code bytes
// matches nothing.
ReplyMatch MatchReply(const LinkPacket& message, const ExpectedReply& expected);

// The receive side of a reply wait: frames in, the awaited reply out. Frames that do not
// match are dropped and the wait goes on.
class ReplyDecoder
{
  public:
    struct Step
    {
        FrameEvent frame = FrameEvent::None;
        ReplyMatch match = ReplyMatch::None; // set only when frame is FrameEvent::Frame

        bool Completed() const { return match != ReplyMatch::None; }
        bool Alternate() const { return match == ReplyMatch::Alternate; }
    };

    ReplyDecoder() = default;
    explicit ReplyDecoder(const ExpectedReply& expected) : expected_(expected) {}

    // New expectation for the next wait; a partial frame carries over, as on the line.
    void Expect(const ExpectedReply& expected) { expected_ = expected; }
    Step Feed(std::uint8_t byte);

    // The matched reply; its length is the matched length.
    const LinkPacket& Reply() const { return frames_.Message(); }
    // The message of the last complete frame, whether it matched or not.
    const LinkPacket& Message() const { return frames_.Message(); }
    void Reset() { frames_.Reset(); }

  private:
    FrameDecoder frames_;
    ExpectedReply expected_{};
};

} // namespace aurex

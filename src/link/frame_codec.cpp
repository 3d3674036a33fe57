#include "link/frame_codec.h"

#include <algorithm>

#include "link/message_table.h"

namespace aurex {
namespace {

// Writes one message or checksum byte, stuffed.
std::size_t PutStuffed(std::uint8_t* out, std::uint8_t byte)
{
    switch (byte) {
    case kFrameStart:
        out[0] = kFrameEscape;
        out[1] = 0x00;
        return 2;
    case kFrameEnd:
        out[0] = kFrameEscape;
        out[1] = 0x01;
        return 2;
    case kFrameEscape:
        out[0] = kFrameEscape;
        out[1] = 0x02;
        return 2;
    default:
        out[0] = byte;
        return 1;
    }
}

} // namespace

std::optional<FrameBytes> BuildFrame(const LinkPacket& packet, std::uint8_t secondAddress)
{
    if (packet.length < 0 || static_cast<std::size_t>(packet.length) > kMaxSentMessageBytes) {
        return std::nullopt;
    }
    FrameBytes frame;
    std::uint8_t* out = frame.bytes_.data();
    std::size_t n = 0;
    out[n++] = kFrameStart;
    out[n++] = kHostAddress;
    out[n++] = secondAddress;
    auto sum = static_cast<std::uint8_t>(kHostAddress + secondAddress);
    for (std::int32_t i = 0; i < packet.length; ++i) {
        const std::uint8_t byte = packet.data[static_cast<std::size_t>(i)];
        sum = static_cast<std::uint8_t>(sum + byte);
        n += PutStuffed(out + n, byte);
    }
    n += PutStuffed(out + n, static_cast<std::uint8_t>(0x100 - sum));
    out[n++] = kFrameEnd;
    frame.size_ = n;
    return frame;
}

const char* FrameEventName(FrameEvent event)
{
    switch (event) {
    case FrameEvent::None:
        return "none";
    case FrameEvent::Frame:
        return "frame";
    case FrameEvent::BadChecksum:
        return "bad checksum";
    case FrameEvent::BadEscape:
        return "bad escape";
    case FrameEvent::TooShort:
        return "too short";
    case FrameEvent::NotForHost:
        return "not for host";
    case FrameEvent::Oversized:
        return "oversized";
    case FrameEvent::Restarted:
        return "restarted";
    }
    return "unknown";
}

FrameEvent FrameDecoder::Feed(std::uint8_t byte)
{
    if (byte == kFrameStart) {
        const bool partial = state_ != State::Hunting && rawCount_ > 0;
        state_ = State::FirstAddress;
        rawCount_ = 0;
        bodyCount_ = 0;
        sum_ = 0;
        return partial ? FrameEvent::Restarted : FrameEvent::None;
    }
    if (state_ == State::Hunting) {
        return FrameEvent::None;
    }
    if (byte == kFrameEnd) {
        // An end before both address bytes does nothing: the radio's own rule is that only a
        // frame whose second byte is 7F can end, and bytes keep coming until then.
        if (state_ == State::FirstAddress || state_ == State::SecondAddress) {
            return FrameEvent::None;
        }
        return EndFrame();
    }
    if (++rawCount_ > kMaxRawFrameBytes) {
        return Drop(FrameEvent::Oversized);
    }
    switch (state_) {
    case State::FirstAddress:
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        state_ = State::SecondAddress;
        return FrameEvent::None;
    case State::SecondAddress:
        if (filter_ == FrameFilter::HostOnly && byte != kHostAddress) {
            return Drop(FrameEvent::NotForHost);
        }
        address_ = byte;
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        state_ = State::Body;
        return FrameEvent::None;
    case State::Body:
        if (byte == kFrameEscape) {
            state_ = State::Escape;
            return FrameEvent::None;
        }
        break;
    case State::Escape:
        switch (byte) {
        case 0x00:
            byte = kFrameStart;
            break;
        case 0x01:
            byte = kFrameEnd;
            break;
        case 0x02:
            byte = kFrameEscape;
            break;
        default:
            return Drop(FrameEvent::BadEscape);
        }
        state_ = State::Body;
        break;
    case State::Hunting:
        return FrameEvent::None;
    }
    // rawCount_ bounds bodyCount_, so this store stays inside body_.
    body_[bodyCount_++] = byte;
    sum_ = static_cast<std::uint8_t>(sum_ + byte);
    return FrameEvent::None;
}

FrameEvent FrameDecoder::EndFrame()
{
    if (state_ == State::Escape) {
        return Drop(FrameEvent::BadEscape);
    }
    if (bodyCount_ == 0) {
        return Drop(FrameEvent::TooShort);
    }
    if (sum_ != 0) {
        return Drop(FrameEvent::BadChecksum);
    }
    const std::size_t messageBytes = bodyCount_ - 1;
    std::copy_n(body_.begin(), messageBytes, message_.data.begin());
    message_.length = static_cast<std::int32_t>(messageBytes);
    secondAddress_ = address_;
    state_ = State::Hunting;
    return FrameEvent::Frame;
}

ExpectedReply ExpectedReply::FromPackets(const LinkPacket& expectedCode, int expectedLength,
                                         const LinkPacket& alternateCode, int alternateLength)
{
    ExpectedReply reply;
    if (expectedCode.HasCode()) {
        reply.code = {expectedCode.data[0], expectedCode.data[1]};
        reply.length = expectedLength;
        reply.hasCode = true;
    }
    if (alternateCode.HasCode()) {
        reply.alternateCode = {alternateCode.data[0], alternateCode.data[1]};
        reply.alternateLength = alternateLength;
        reply.hasAlternate = true;
    }
    return reply;
}

ExpectedReply ExpectedReply::ForMessages(int expectedId, int alternateId)
{
    LinkPacket expected;
    LinkPacket alternate;
    InitMessage(expected, expectedId);
    InitMessage(alternate, alternateId);
    return FromPackets(expected, MessageLength(expectedId), alternate, MessageLength(alternateId));
}

ReplyMatch MatchReply(const LinkPacket& message, const ExpectedReply& expected)
{
    if (!message.HasCode()) {
        return ReplyMatch::None;
    }
    const std::array<std::uint8_t, 2> code{message.data[0], message.data[1]};
    if (expected.hasCode && code == expected.code && message.length == expected.length) {
        return ReplyMatch::Expected;
    }
    if (expected.hasAlternate && code == expected.alternateCode &&
        message.length == expected.alternateLength) {
        return ReplyMatch::Alternate;
    }
    return ReplyMatch::None;
}

ReplyDecoder::Step ReplyDecoder::Feed(std::uint8_t byte)
{
    Step step;
    step.frame = frames_.Feed(byte);
    if (step.frame == FrameEvent::Frame) {
        step.match = MatchReply(frames_.Message(), expected_);
    }
    return step;
}

} // namespace aurex

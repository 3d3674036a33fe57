#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "link/frame_codec.h"
#include "link/message_table.h"

namespace aurex {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

// A frame as the radio sends it: BA, its own address, 7F, stuffed message and checksum, 7E.
Bytes RadioFrame(const Bytes& message, std::uint8_t firstAddress = 0x01)
{
    Bytes out{0xBA, firstAddress, 0x7F};
    unsigned sum = firstAddress + 0x7Fu;
    auto put = [&out](std::uint8_t b) {
        if (b == 0xBA || b == 0x7E || b == 0x10) {
            out.push_back(0x10);
            out.push_back(b == 0xBA ? 0x00 : b == 0x7E ? 0x01 : 0x02);
        } else {
            out.push_back(b);
        }
    };
    for (std::uint8_t b : message) {
        sum += b;
        put(b);
    }
    put(static_cast<std::uint8_t>(-sum));
    out.push_back(0x7E);
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

struct Fed
{
    std::vector<FrameEvent> events; // every event other than None, in order
    std::vector<Bytes> messages;    // message of every Frame event
};

Fed Feed(FrameDecoder& decoder, const Bytes& bytes)
{
    Fed fed;
    for (std::uint8_t b : bytes) {
        const FrameEvent e = decoder.Feed(b);
        if (e != FrameEvent::None) {
            fed.events.push_back(e);
        }
        if (e == FrameEvent::Frame) {
            fed.messages.emplace_back(decoder.Message().Bytes().begin(), decoder.Message().Bytes().end());
        }
    }
    return fed;
}

TEST(FrameDecoder, UnstuffsAndDropsAddressesAndChecksum)
{
    FrameDecoder decoder;
    const Fed fed = Feed(
        decoder, Cat({Bytes{0x00, 0x7F, 0x7E, 0x55}, // noise before the first BA
                      RadioFrame({0x04, 0x2E, 0x10, 0x7E, 0xBA, 0x01}), RadioFrame({0x02, 0x07}, 0x10)}));
    EXPECT_THAT(fed.events, ElementsAre(FrameEvent::Frame, FrameEvent::Frame));
    ASSERT_EQ(fed.messages.size(), 2u);
    EXPECT_THAT(fed.messages[0], ElementsAre(0x04, 0x2E, 0x10, 0x7E, 0xBA, 0x01));
    EXPECT_THAT(fed.messages[1], ElementsAre(0x02, 0x07));
    EXPECT_FALSE(decoder.InFrame());
}

TEST(FrameDecoder, StuffedChecksumIsAccepted)
{
    // Checksums 10, 7E and BA: address sum 0x80 plus the message byte.
    for (std::uint8_t b : {0x70, 0x02, 0xC6}) {
        FrameDecoder decoder;
        const Bytes frame = RadioFrame({b}, 0x01);
        ASSERT_EQ(frame.size(), 7u) << int(b); // the checksum took two bytes
        const Fed fed = Feed(decoder, frame);
        ASSERT_THAT(fed.events, ElementsAre(FrameEvent::Frame)) << int(b);
        EXPECT_THAT(fed.messages[0], ElementsAre(b));
    }
}

TEST(FrameDecoder, SecondStartMarkerRestartsTheFrame)
{
    FrameDecoder decoder;
    const Bytes partial{0xBA, 0x01, 0x7F, 0x04, 0x05, 0x11};
    const Fed fed = Feed(decoder, Cat({partial, RadioFrame({0x04, 0x21, 0x07})}));
    EXPECT_THAT(fed.events, ElementsAre(FrameEvent::Restarted, FrameEvent::Frame));
    EXPECT_THAT(fed.messages[0], ElementsAre(0x04, 0x21, 0x07));
}

TEST(FrameDecoder, FrameNotAddressedToHostNeverCompletes)
{
    FrameDecoder decoder;
    // Our own frame echoed back (7F 01): its 7E ends nothing, the next BA starts afresh.
    Bytes echo{0xBA, 0x7F, 0x01, 0x09, 0x00, 0x05, 0x72, 0x7E};
    const Fed fed = Feed(decoder, Cat({echo, Bytes{0x33, 0x7F, 0x7E}, RadioFrame({0x02, 0x03})}));
    EXPECT_THAT(fed.events, ElementsAre(FrameEvent::NotForHost, FrameEvent::Frame));
    EXPECT_THAT(fed.messages[0], ElementsAre(0x02, 0x03));
}

TEST(FrameDecoder, RadioSideReceiverTakesEveryAddressAndTellsIt)
{
    // What the simulated radio hears: the box probe (7F 4F) and a frame for the radio (7F 01).
    FrameDecoder decoder(FrameFilter::AnyAddress);
    Bytes probe(kInterfaceBoxProbeFrame.begin(), kInterfaceBoxProbeFrame.end());
    const Bytes baud{0xBA, 0x7F, 0x01, 0x09, 0x00, 0x05, 0x72, 0x7E};
    EXPECT_THAT(Feed(decoder, probe).messages, ElementsAre(Bytes{0x09, 0x01}));
    EXPECT_EQ(decoder.SecondAddress(), kInterfaceBoxAddress);
    EXPECT_THAT(Feed(decoder, baud).messages, ElementsAre(Bytes{0x09, 0x00, 0x05}));
    EXPECT_EQ(decoder.SecondAddress(), kRadioAddress);
    // The checksum still covers both addresses.
    probe[2] = 0x01;
    EXPECT_THAT(Feed(decoder, probe).events, ElementsAre(FrameEvent::BadChecksum));
}

TEST(FrameDecoder, EndMarkerBeforeTheAddressesIsIgnored)
{
    // The 7E is never stored, so the next byte is still the first address byte.
    FrameDecoder decoder;
    Bytes frame = RadioFrame({0x04, 0x1D, 0x00, 0x01});
    frame.insert(frame.begin() + 1, 0x7E);
    frame.insert(frame.begin() + 3, 0x7E);
    const Fed fed = Feed(decoder, frame);
    EXPECT_THAT(fed.events, ElementsAre(FrameEvent::Frame));
}

TEST(FrameDecoder, CorruptFramesAreDroppedAndTheNextOneStillArrives)
{
    const Bytes good = RadioFrame({0x02, 0x0A});
    Bytes badSum = RadioFrame({0x02, 0x07});
    badSum[4] ^= 0x01;
    const Bytes badEscape{0xBA, 0x01, 0x7F, 0x02, 0x10, 0x03, 0x00, 0x7E};
    const Bytes escapeAtEnd{0xBA, 0x01, 0x7F, 0x02, 0x10, 0x7E};
    const Bytes noChecksum{0xBA, 0x81, 0x7F, 0x7E}; // addresses sum to 0 but nothing follows

    FrameDecoder decoder;
    const Fed fed = Feed(decoder, Cat({badSum, good, badEscape, good, escapeAtEnd, noChecksum, good}));
    EXPECT_THAT(fed.events, ElementsAre(FrameEvent::BadChecksum, FrameEvent::Frame, FrameEvent::BadEscape,
                                        FrameEvent::Frame, FrameEvent::BadEscape, FrameEvent::TooShort,
                                        FrameEvent::Frame));
    for (const Bytes& m : fed.messages) {
        EXPECT_THAT(m, ElementsAre(0x02, 0x0A));
    }
}

TEST(FrameDecoder, FrameOfExactly1024RawBytesIsAccepted)
{
    // 2 addresses + 1021 message bytes + checksum = 1024 bytes between BA and 7E.
    Bytes message(1021, 0x55);
    Bytes frame = RadioFrame(message);
    ASSERT_EQ(frame.size(), 1024u + 2);
    FrameDecoder decoder;
    const Fed fed = Feed(decoder, frame);
    ASSERT_THAT(fed.events, ElementsAre(FrameEvent::Frame));
    EXPECT_EQ(decoder.Message().length, 1021);
}

TEST(FrameDecoder, OversizedFrameIsDiscardedWholeUntilTheNextStart)
{
    FrameDecoder decoder;
    Bytes big = RadioFrame(Bytes(1022, 0x55)); // 1025 raw bytes
    // The tail after the limit looks like a whole frame body of its own; it must not complete.
    Bytes tail{0x01, 0x7F, 0x02, 0x03, 0x7B, 0x7E};
    big.insert(big.end() - 1, tail.begin(), tail.end());
    const Fed fed = Feed(decoder, Cat({big, RadioFrame({0x02, 0x03})}));
    EXPECT_THAT(fed.events, ElementsAre(FrameEvent::Oversized, FrameEvent::Frame));
    EXPECT_THAT(fed.messages[0], ElementsAre(0x02, 0x03));

    // Stuffed bytes count twice: 600 escaped bytes are 1200 raw bytes.
    FrameDecoder again;
    EXPECT_THAT(Feed(again, RadioFrame(Bytes(600, 0x7E))).events, ElementsAre(FrameEvent::Oversized));
}

// --- reply matching ---

TEST(ReplyDecoder, RightCodeWithWrongLengthDoesNotCompleteTheWait)
{
    // Boot load version: 04 2D expects 04 2E with 2 payload bytes.
    ReplyDecoder replies(ExpectedReply::ForMessage(msg::kBootVersionReply));
    auto feedAll = [&replies](const Bytes& bytes) {
        std::vector<ReplyDecoder::Step> completed;
        for (std::uint8_t b : bytes) {
            const auto step = replies.Feed(b);
            if (step.frame == FrameEvent::Frame) {
                completed.push_back(step);
            }
        }
        return completed;
    };
    auto steps = feedAll(Cat({RadioFrame({0x04, 0x2E, 0x01}), RadioFrame({0x04, 0x2E, 0x01, 0x02, 0x03}),
                              RadioFrame({0x04, 0x2F, 0x01, 0x02})}));
    ASSERT_EQ(steps.size(), 3u);
    for (const auto& s : steps) {
        EXPECT_FALSE(s.Completed());
    }
    steps = feedAll(RadioFrame({0x04, 0x2E, 0x12, 0x34}));
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_TRUE(steps[0].Completed());
    EXPECT_FALSE(steps[0].Alternate());
    EXPECT_EQ(replies.Reply().length, 4);
    EXPECT_THAT(Bytes(replies.Reply().Bytes().begin(), replies.Reply().Bytes().end()),
                ElementsAre(0x04, 0x2E, 0x12, 0x34));
}

TEST(ReplyDecoder, AlternateReplySetsTheAlternateFlagOnlyWhenItMatches)
{
    // Expected 04 05 (+8), alternate 04 20 (no payload).
    ReplyDecoder replies(ExpectedReply::ForMessages(msg::kIdentityReply, msg::kDeclined));
    ReplyDecoder::Step last;
    for (std::uint8_t b : RadioFrame({0x04, 0x20, 0x00})) { // right code, wrong length
        last = replies.Feed(b);
    }
    EXPECT_EQ(last.frame, FrameEvent::Frame);
    EXPECT_FALSE(last.Alternate());
    for (std::uint8_t b : RadioFrame({0x04, 0x20})) {
        last = replies.Feed(b);
    }
    EXPECT_TRUE(last.Completed());
    EXPECT_TRUE(last.Alternate());
    EXPECT_EQ(replies.Reply().length, 2);
}

TEST(MatchReply, ExpectedWinsOverAnIdenticalAlternate)
{
    // The interface-box probe awaits 09 02 with length 6 on both sides.
    LinkPacket code;
    code.Append(0x09);
    code.Append(0x02);
    const ExpectedReply probe = ExpectedReply::FromPackets(code, 6, code, 6);
    LinkPacket reply = code;
    for (std::uint8_t b : {1, 2, 3, 4}) {
        reply.Append(b);
    }
    EXPECT_EQ(MatchReply(reply, probe), ReplyMatch::Expected);
    reply.length = 5;
    EXPECT_EQ(MatchReply(reply, probe), ReplyMatch::None);
}

TEST(MatchReply, SidesWithoutACodeAndMessagesWithoutACodeNeverMatch)
{
    LinkPacket empty; // as InitMessage leaves a packet for an unknown id
    const ExpectedReply none = ExpectedReply::FromPackets(empty, 0, empty, 0);
    LinkPacket zero;
    zero.Append(0x00);
    zero.Append(0x00);
    EXPECT_EQ(MatchReply(zero, none), ReplyMatch::None);
    zero.length = 0;
    EXPECT_EQ(MatchReply(zero, none), ReplyMatch::None);

    // Unknown ids give length 0; a bare message must not match stale code bytes.
    const ExpectedReply unknown = ExpectedReply::ForMessages(99, 100);
    EXPECT_FALSE(unknown.hasCode);
    EXPECT_FALSE(unknown.hasAlternate);
    LinkPacket shortMessage;
    shortMessage.data[0] = 0x04;
    shortMessage.data[1] = 0x2E;
    shortMessage.length = 1;
    EXPECT_EQ(MatchReply(shortMessage, ExpectedReply::ForMessage(msg::kBootVersionReply)), ReplyMatch::None);
}

} // namespace
} // namespace aurex

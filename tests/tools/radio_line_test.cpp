// The radio's end of the line: speeds, the interface box, echo, pacing and the line faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "line_garble.h"
#include "radio_bench.h"

namespace aurex::sim::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Bytes kBootVersionReply{0x04, 0x2E, 4, 0};

TEST(RadioLineInterface, BoxAnswersTheProbeAndOnlyWhenPresent)
{
    const Bytes probe(kInterfaceBoxProbeFrame.begin(), kInterfaceBoxProbeFrame.end());
    RadioProfile box;
    RadioBench withBox(box);
    withBox.SendRaw(probe);
    const auto replies = withBox.Replies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].size(), 6u); // the length the probe's wait expects
    EXPECT_EQ(replies[0][0], 0x09);
    EXPECT_EQ(replies[0][1], 0x02);

    for (Interface plain : {Interface::Direct, Interface::HalfDuplex}) {
        RadioProfile cable;
        cable.interface = plain;
        RadioBench bench(cable);
        bench.SendRaw(probe);
        EXPECT_THAT(bench.Replies(), IsEmpty());
        // The radio still answers frames addressed to it.
        EXPECT_THAT(bench.Exchange({0x04, 0x2D}), ElementsAre(kBootVersionReply));
    }
}

TEST(RadioLineInterface, HalfDuplexEchoesTheProgramsBytesWhichItsReceiverIgnores)
{
    RadioProfile profile;
    profile.interface = Interface::HalfDuplex;
    RadioBench bench(profile);
    const Bytes request = ProgramFrame({0x04, 0x2D});
    bench.SendRaw(request);
    const Bytes raw = bench.TakeRaw();
    ASSERT_GT(raw.size(), request.size());
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(request.size())), request);
    const Heard heard = HearAsProgram(raw);
    EXPECT_THAT(heard.messages, ElementsAre(kBootVersionReply));
    EXPECT_THAT(heard.errors, ElementsAre(FrameEvent::NotForHost));

    // Through the interface box the program hears only the radio.
    RadioBench box{RadioProfile{}};
    box.SendRaw(request);
    const Heard plain = HearAsProgram(box.TakeRaw());
    EXPECT_THAT(plain.messages, ElementsAre(kBootVersionReply));
    EXPECT_THAT(plain.errors, IsEmpty());
}

TEST(RadioLineSpeed, FollowsTheBaudMessageAndGarblesWhileTheEndsDisagree)
{
    RadioBench bench{RadioProfile{}};
    bench.Send({0x09, 0x00, 0x05});
    EXPECT_EQ(bench.Radio().Baud(), 115200);
    EXPECT_THAT(bench.Replies(), IsEmpty());

    // The program has not switched yet: its request arrives garbled, and nothing is answered.
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), IsEmpty());
    // Now both ends agree.
    bench.programBaud = 115200;
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), ElementsAre(kBootVersionReply));

    // A reply sent while the program listens at another speed is noise there.
    bench.Send({0x04, 0x2D});
    bench.programBaud = 19200;
    const Heard heard = HearAsProgram(bench.TakeRaw());
    EXPECT_THAT(heard.messages, IsEmpty());

    // Back to 19200 with the message sent at the old speed, as after a code download.
    bench.programBaud = 115200;
    bench.Send({0x09, 0x00, 0x01});
    bench.programBaud = 19200;
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), ElementsAre(kBootVersionReply));
}

TEST(RadioLineSpeed, ASpeedChangeDuringTheReadGetsTheBenefitOfTheDoubt)
{
    // The program wrote 09 00 05 at 19200 and switched before the radio looked again.
    RadioBench bench{RadioProfile{}};
    bench.programBaud = 115200;
    bench.SendRaw(ProgramFrame({0x09, 0x00, 0x05}), 19200);
    EXPECT_EQ(bench.Radio().Baud(), 115200);
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), ElementsAre(kBootVersionReply));
    // A program that sets a speed the radio was never told of stays unheard.
    RadioBench other{RadioProfile{}};
    other.programBaud = 57600;
    EXPECT_THAT(other.Exchange({0x04, 0x2D}), IsEmpty());
}

TEST(RadioLineSpeed, ARadioLeftAt115200HearsOnlyAProgramAt115200)
{
    RadioProfile profile;
    ASSERT_EQ(ApplySetting(profile, "start-baud", "115200"), "");
    EXPECT_NE(ApplySetting(profile, "start-baud", "12345"), "");
    RadioBench bench(profile);
    EXPECT_EQ(bench.Radio().Baud(), 115200);
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), IsEmpty());
    bench.programBaud = 115200;
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), ElementsAre(kBootVersionReply));
    EXPECT_NE(HelpText().find("--start-baud"), std::string::npos);
}

TEST(RadioLineSpeed, GarbledBytesNeverFormMarkersAndFollowTheSpeedRatio)
{
    Bytes sent;
    for (int i = 0; i < 600; ++i) {
        sent.push_back(static_cast<std::uint8_t>(i * 7));
    }
    const auto receive = [&sent](int sender, int receiver) {
        Garbler garbler;
        Bytes out;
        for (std::uint8_t b : sent) {
            garbler.Feed(b, sender, receiver, out);
        }
        return out;
    };
    const Bytes slow = receive(115200, 19200);
    const Bytes fast = receive(19200, 115200);
    EXPECT_EQ(slow.size(), 100u); // one byte for every six sent
    EXPECT_GT(fast.size(), sent.size() * 2);
    for (const Bytes* out : {&slow, &fast}) {
        EXPECT_TRUE(std::none_of(out->begin(), out->end(), [](std::uint8_t b) {
            return b == kFrameStart || b == kFrameEnd || b == kFrameEscape;
        }));
    }
    EXPECT_EQ(receive(19200, 19200), sent);
}

TEST(RadioLineFaults, SilenceFromAFrameOrAMessageOn)
{
    RadioProfile fromFrame;
    fromFrame.silentFrom = 3;
    RadioBench bench(fromFrame);
    EXPECT_EQ(bench.Exchange({0x04, 0x2D}).size(), 1u);
    EXPECT_EQ(bench.Exchange({0x04, 0x1C}).size(), 1u);
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), IsEmpty());
    EXPECT_THAT(bench.Exchange({0x04, 0x1C}), IsEmpty());

    RadioProfile atMessage;
    atMessage.silentAt = *ParseTrigger("04 1C#2");
    RadioBench other(atMessage);
    EXPECT_EQ(other.Exchange({0x04, 0x1C}).size(), 1u);
    EXPECT_EQ(other.Exchange({0x04, 0x2D}).size(), 1u);
    EXPECT_THAT(other.Exchange({0x04, 0x1C}), IsEmpty());
    EXPECT_THAT(other.Exchange({0x04, 0x2D}), IsEmpty());
}

TEST(RadioLineFaults, UnansweredMessagesLeaveTheRadioAsIfUnheard)
{
    RadioProfile profile;
    profile.unanswered = {*ParseTrigger("04 2D"), *ParseTrigger("02 01#1")};
    RadioBench bench(profile);
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), IsEmpty());
    EXPECT_THAT(bench.Exchange({0x04, 0x2D}), IsEmpty());
    EXPECT_THAT(bench.Exchange({0x04, 0x1C}).size(), 1u);
    // Only the first start goes unheard: no image was opened by it.
    EXPECT_THAT(bench.Exchange({0x02, 0x01}), IsEmpty());
    EXPECT_THAT(bench.Exchange(WithCode(0x02, 0x09, DataBlock(1))), IsEmpty());
    EXPECT_THAT(bench.Exchange({0x02, 0x01}), ElementsAre(Bytes{0x02, 0x07}));
}

TEST(RadioLineFaults, CorruptedRepliesFailTheirChecksumAndOthersStayWhole)
{
    RadioProfile profile;
    profile.corrupt = {*ParseTrigger("04 04#1")};
    profile.serial = {0x10, 0x7E, 0xBA, 0x10, 0x7E, 0xBA, 0x10, 0x10}; // all stuffed
    RadioBench bench(profile);
    bench.Send({0x04, 0x04});
    const Heard heard = HearAsProgram(bench.TakeRaw());
    EXPECT_THAT(heard.messages, IsEmpty());
    EXPECT_THAT(heard.errors, ElementsAre(FrameEvent::BadChecksum));
    EXPECT_EQ(bench.Exchange({0x04, 0x04}).size(), 1u);
}

TEST(RadioLineFaults, LatencyAndDelayHoldRepliesBack)
{
    RadioProfile profile;
    profile.latencyMs = 20;
    profile.delay = {{*ParseTrigger("04 2D#2"), 1000}};
    RadioBench bench(profile);
    bench.Send({0x04, 0x2D});
    EXPECT_THAT(bench.Replies(), IsEmpty());
    bench.Wait(19ms);
    EXPECT_THAT(bench.Replies(), IsEmpty());
    bench.Wait(1ms);
    EXPECT_THAT(bench.Replies(), ElementsAre(kBootVersionReply));

    bench.Send({0x04, 0x2D});
    bench.Wait(1019ms);
    EXPECT_THAT(bench.Replies(), IsEmpty());
    EXPECT_EQ(bench.Line().NextEvent(), bench.Now() + 1ms);
    // Only output is due: a caller that cannot write has nothing to wake up for.
    EXPECT_FALSE(bench.Line().NextEvent(false).has_value());
    bench.Wait(1ms);
    EXPECT_THAT(bench.Replies(), ElementsAre(kBootVersionReply));

    // The time scale shortens the radio's own waits.
    RadioProfile scaled = profile;
    scaled.timeScale = 0.1;
    RadioBench quick(scaled);
    quick.Send({0x04, 0x2D});
    quick.Wait(2ms);
    EXPECT_THAT(quick.Replies(), ElementsAre(kBootVersionReply));
}

TEST(RadioLineFaults, DropAfterClosesOnceTheLastReplyIsOut)
{
    RadioProfile profile;
    profile.dropAfter = 2;
    profile.latencyMs = 5;
    RadioBench bench(profile);
    bench.Send({0x04, 0x2D});
    bench.Send({0x04, 0x1C});
    EXPECT_FALSE(bench.Line().Closed()); // the second reply is still due
    EXPECT_EQ(bench.Line().InboundRoom(), 0u);
    bench.Wait(5ms);
    EXPECT_EQ(bench.Replies().size(), 2u);
    EXPECT_TRUE(bench.Line().Closed());
}

TEST(RadioLinePace, BytesGoAtATenthOfTheBaudRateBothWays)
{
    RadioProfile profile;
    profile.pace = true;
    RadioBench bench(profile);
    const Bytes request = ProgramFrame({0x04, 0x2D});
    const auto byteTime = SimTime(521); // 19200 baud: 1920 bytes a second
    const auto requestTime = byteTime * static_cast<int>(request.size());
    bench.SendRaw(request);
    EXPECT_THAT(bench.Replies(), IsEmpty());
    bench.Wait(requestTime - 1us);
    EXPECT_TRUE(bench.TakeRaw().empty()); // the last byte of the request is still on its way
    bench.Wait(1us);
    // The reply (9 bytes) leaves at the same pace, each byte handed over once it is all out.
    EXPECT_TRUE(bench.TakeRaw().empty());
    bench.Wait(byteTime);
    Bytes raw = bench.TakeRaw();
    EXPECT_EQ(raw.size(), 1u);
    bench.Wait(SimTime(4 * 521));
    const Bytes more = bench.TakeRaw();
    raw.insert(raw.end(), more.begin(), more.end());
    EXPECT_EQ(raw.size(), 5u);
    bench.Wait(SimTime(4 * 521));
    const Bytes rest = bench.TakeRaw();
    raw.insert(raw.end(), rest.begin(), rest.end());
    EXPECT_THAT(HearAsProgram(raw).messages, ElementsAre(kBootVersionReply));

    // After a quiet spell a request takes no less: it is in a whole request time after it went.
    bench.Wait(10ms);
    bench.SendRaw(request);
    bench.Wait(requestTime - 1us);
    EXPECT_TRUE(bench.TakeRaw().empty());
    bench.Wait(1us + byteTime);
    EXPECT_EQ(bench.TakeRaw().size(), 1u);

    // A request sent right after the baud-rate message, at the new speed, meets the radio once
    // the message ahead of it on the line has switched it.
    RadioBench switching(profile);
    switching.SendRaw(ProgramFrame({0x09, 0x00, 0x05}));
    switching.programBaud = 115200;
    switching.SendRaw(ProgramFrame({0x04, 0x2D}));
    switching.Wait(20ms);
    EXPECT_THAT(switching.Replies(), ElementsAre(kBootVersionReply));
}

TEST(RadioLinePace, TheLineWakesAtFrameEndsAndForWholeReplies)
{
    RadioProfile profile;
    profile.pace = true;
    profile.startBaud = 115200;
    RadioBench bench(profile);
    bench.programBaud = 115200;
    const auto byteTime = SimTime(87); // 115200 baud
    const Bytes request = ProgramFrame({0x04, 0x2D});
    const auto requestTime = byteTime * static_cast<int>(request.size());

    // Bytes on their way in wake nobody until the frame's end is in.
    bench.SendRaw(request);
    EXPECT_EQ(bench.Line().NextEvent(), bench.Now() + requestTime);
    ASSERT_TRUE(bench.WaitForNextEvent());

    // A short reply is handed over whole once its last byte is out, and not before.
    const Bytes reply = ProgramFrame(kBootVersionReply, kHostAddress);
    const auto replyTime = byteTime * static_cast<int>(reply.size());
    ASSERT_LT(replyTime, RadioLine::kLongestHold);
    EXPECT_EQ(bench.Line().NextEvent(), bench.Now() + replyTime);
    bench.Wait(replyTime - 1us);
    EXPECT_EQ(bench.TakeRaw().size(), reply.size() - 1);
    bench.Wait(1us);
    EXPECT_EQ(bench.TakeRaw().size(), 1u);
    EXPECT_FALSE(bench.Line().NextEvent().has_value());

    // Two frames in one write: the first one's end comes first.
    const Bytes two = Cat({request, request});
    bench.SendRaw(two);
    EXPECT_EQ(bench.Line().NextEvent(), bench.Now() + requestTime);

    // Bytes that end no frame are taken once the last of them is in.
    RadioBench noise(profile);
    noise.programBaud = 115200;
    noise.SendRaw(Bytes{0x01, 0x02, 0x03});
    EXPECT_EQ(noise.Line().NextEvent(), noise.Now() + byteTime * 3);
}

TEST(RadioLinePace, ALongReplyHoldsNoByteLongerThanTheLongestHold)
{
    RadioProfile profile;
    profile.pace = true;
    RadioBench bench(profile);
    const auto byteTime = SimTime(521); // 19200 baud: the 9-byte reply lasts 4.7 ms
    bench.SendRaw(ProgramFrame({0x04, 0x2D}));
    ASSERT_TRUE(bench.WaitForNextEvent());
    Bytes raw;
    SimTime lastWake = bench.Now();
    while (bench.Line().NextEvent()) {
        const SimTime next = *bench.Line().NextEvent();
        // The first byte waiting at each wake went out no longer ago than the longest hold.
        EXPECT_LE(next - lastWake, RadioLine::kLongestHold + byteTime);
        ASSERT_TRUE(bench.WaitForNextEvent());
        const Bytes part = bench.TakeRaw();
        EXPECT_FALSE(part.empty());
        // What one wake hands over spans the longest hold at most.
        EXPECT_LE(part.size(), static_cast<std::size_t>(RadioLine::kLongestHold / byteTime) + 1);
        raw.insert(raw.end(), part.begin(), part.end());
        lastWake = bench.Now();
    }
    EXPECT_THAT(HearAsProgram(raw).messages, ElementsAre(kBootVersionReply));
}

} // namespace
} // namespace aurex::sim::test

namespace aurex::sim::test {
namespace {

Bytes PassAll(LineNoise& noise, const Bytes& in)
{
    Bytes out;
    for (std::uint8_t b : in) {
        if (const auto arrived = noise.Pass(b)) {
            out.push_back(*arrived);
        }
    }
    return out;
}

TEST(RadioLineNoise, TheSeedAloneDecidesWhichBytesAreLostOrChanged)
{
    Bytes data(200'000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    LineNoise a(1e-3, 1e-3, 42);
    LineNoise b(1e-3, 1e-3, 42);
    LineNoise other(1e-3, 1e-3, 43);
    const Bytes fromA = PassAll(a, data);
    EXPECT_EQ(PassAll(b, data), fromA);
    EXPECT_NE(PassAll(other, data), fromA);
    // About one byte in a thousand each way; the count follows from the seed.
    EXPECT_EQ(fromA.size(), data.size() - a.Dropped());
    EXPECT_GT(a.Dropped(), 150u);
    EXPECT_LT(a.Dropped(), 250u);
    EXPECT_GT(a.Corrupted(), 150u);
    EXPECT_LT(a.Corrupted(), 250u);

    // A changed byte always differs; without rates nothing happens.
    LineNoise always(0, 1, 7);
    for (int v = 0; v < 256; ++v) {
        EXPECT_NE(always.Pass(static_cast<std::uint8_t>(v)),
                  std::optional<std::uint8_t>(static_cast<std::uint8_t>(v)));
    }
    LineNoise quiet(0, 0, 7);
    EXPECT_FALSE(quiet.Active());
    EXPECT_EQ(PassAll(quiet, data), data);
}

TEST(RadioLineNoise, ReachesBothDirectionsOfTheLine)
{
    {
        RadioProfile profile;
        profile.noiseDrop = 1; // nothing the program sends arrives
        RadioBench bench(profile);
        EXPECT_THAT(bench.Exchange({0x04, 0x2D}), IsEmpty());
        EXPECT_GT(bench.Line().InboundNoise().Dropped(), 0u);
    }
    {
        RadioProfile profile;
        profile.noiseCorrupt = 1; // every reply byte changes: no reply decodes
        RadioBench bench(profile);
        bench.Send({0x04, 0x2D});
        EXPECT_THAT(bench.Replies(), IsEmpty());
    }
    {
        RadioProfile profile;
        EXPECT_EQ(ApplySetting(profile, "noise-drop", "1e-3"), "");
        EXPECT_EQ(ApplySetting(profile, "noise-corrupt", "0.0001"), "");
        EXPECT_EQ(ApplySetting(profile, "noise-seed", "18446744073709551615"), "");
        EXPECT_DOUBLE_EQ(profile.noiseDrop, 1e-3);
        EXPECT_DOUBLE_EQ(profile.noiseCorrupt, 1e-4);
        EXPECT_EQ(profile.noiseSeed, 18446744073709551615ull);
        EXPECT_NE(ApplySetting(profile, "noise-drop", "1.5"), "");
        EXPECT_NE(ApplySetting(profile, "noise-corrupt", "-0.1"), "");
        EXPECT_NE(ApplySetting(profile, "noise-seed", "-1"), "");
    }
}

} // namespace
} // namespace aurex::sim::test

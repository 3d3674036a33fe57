#include "radio_line.h"

#include <algorithm>

namespace aurex::sim {
namespace {

// Makes a built frame fail its checksum without touching markers or stuffing: one message
// byte changes by one.
void CorruptFrame(std::vector<std::uint8_t>& frame)
{
    for (std::size_t i = 3; i + 1 < frame.size(); ++i) {
        if (frame[i] == kFrameEscape || frame[i - 1] == kFrameEscape) {
            continue;
        }
        const auto changed = static_cast<std::uint8_t>(frame[i] ^ 0x01);
        if (changed != kFrameStart && changed != kFrameEnd && changed != kFrameEscape) {
            frame[i] = changed;
            return;
        }
    }
}

} // namespace

RadioLine::RadioLine(const RadioProfile& profile, const std::vector<std::uint8_t>& codeplug)
    : profile_(profile), radio_(profile, codeplug, report_),
      inNoise_(profile.noiseDrop, profile.noiseCorrupt, profile.noiseSeed),
      // Its own stream, so the faults of one direction do not shift with the traffic of the other.
      outNoise_(profile.noiseDrop, profile.noiseCorrupt, profile.noiseSeed ^ 0x5DEECE66Dull)
{
}

std::size_t RadioLine::InboundRoom() const
{
    if (dropping_ || outboundBytes_ >= kOutboundCapacity) {
        return 0;
    }
    return kInboundCapacity - inbound_.size();
}

SimTime RadioLine::ByteTime(int baud) const
{
    // Start bit, 8 data bits, stop bit.
    return SimTime((10'000'000LL + baud / 2) / std::max(baud, 1));
}

void RadioLine::FromProgram(std::span<const std::uint8_t> bytes, int sendBefore, int sendNow, SimTime now)
{
    const std::size_t room = InboundRoom();
    if (bytes.size() > room) {
        report_.Info(now, std::to_string(bytes.size() - room) +
                              " bytes from the program dropped: the line is full");
        bytes = bytes.first(room);
    }
    // Whether the bytes arrive garbled is decided when the radio takes them: bytes still on
    // their way (a paced line) meet the speed the radio has by then.
    const bool unknown = sendBefore == 0 && sendNow == 0;
    const int senderBaud = sendNow != 0 ? sendNow : sendBefore;
    for (std::uint8_t b : bytes) {
        SimTime arrival = now;
        if (profile_.pace) {
            // A byte is in once its stop bit is: a byte time after it started, never earlier.
            arrival = std::max(now, lastArrival_) + ByteTime(unknown ? radio_.Baud() : senderBaud);
        }
        lastArrival_ = arrival;
        inbound_.push_back({b, sendBefore, sendNow, arrival});
    }
}

void RadioLine::Advance(SimTime now)
{
    while (!inbound_.empty() && inbound_.front().arrival <= now) {
        const InByte in = inbound_.front();
        inbound_.pop_front();
        radio_.Advance(in.arrival);
        TakeByte(in);
    }
    radio_.Advance(now);
}

void RadioLine::TakeByte(const InByte& in)
{
    if (dropping_) {
        return;
    }
    if (profile_.interface == Interface::HalfDuplex) {
        Queue({in.byte}, in.arrival, true);
    }
    const std::optional<std::uint8_t> arrived = inNoise_.Pass(in.byte);
    if (!arrived) {
        if (profile_.verbose) {
            report_.Trace(in.arrival, "noise: a byte from the program is lost");
        }
        return;
    }
    const int radioBaud = radio_.Baud();
    const bool unknown = in.sendBefore == 0 && in.sendNow == 0;
    const bool garbled = !unknown && in.sendBefore != radioBaud && in.sendNow != radioBaud;
    const int senderBaud = in.sendNow != 0 ? in.sendNow : in.sendBefore;
    if (garbled != garbling_) {
        garbling_ = garbled;
        report_.Info(in.arrival, garbled ? "the program sends at " + std::to_string(senderBaud) +
                                               " baud, the radio listens at " + std::to_string(radioBaud) +
                                               ": bytes arrive garbled"
                                         : "both ends at " + std::to_string(radioBaud) + " baud again");
    }
    std::uint8_t taken[16];
    std::size_t count = 0;
    if (garbled) {
        std::vector<std::uint8_t> bytes;
        inGarbler_.Feed(*arrived, senderBaud, radioBaud, bytes);
        count = std::min(bytes.size(), sizeof taken);
        std::copy_n(bytes.begin(), count, taken);
    } else {
        taken[count++] = *arrived;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const FrameEvent event = decoder_.Feed(taken[i]);
        if (event == FrameEvent::Frame) {
            OnFrame(decoder_.Message(), decoder_.SecondAddress(), in.arrival);
        } else if (IsFrameError(event) && profile_.verbose) {
            report_.Trace(in.arrival, std::string("dropped a frame: ") + FrameEventName(event));
        }
    }
}

void RadioLine::OnFrame(const LinkPacket& message, std::uint8_t secondAddress, SimTime now)
{
    ++frames_;
    unsigned occurrence = 0;
    std::uint8_t cls = 0;
    std::uint8_t cmd = 0;
    if (message.HasCode()) {
        cls = message.ClassByte();
        cmd = message.CommandByte();
        occurrence = ++occurrences_[static_cast<std::uint16_t>(cls << 8 | cmd)];
    }
    if (profile_.verbose) {
        report_.Trace(now, "in  " + DescribeMessage(message));
    }
    const auto matches = [&](const MessageTrigger& t) {
        return message.HasCode() && t.Matches(cls, cmd, occurrence);
    };

    if (!silent_ && ((profile_.silentFrom != 0 && frames_ >= profile_.silentFrom) ||
                     (profile_.silentAt && matches(*profile_.silentAt)))) {
        silent_ = true;
        report_.Info(now, "fault: the radio falls silent at " + DescribeMessage(message));
    }
    const bool unanswered = std::any_of(profile_.unanswered.begin(), profile_.unanswered.end(), matches);
    if (silent_) {
        if (profile_.verbose) {
            report_.Trace(now, "silent: " + DescribeMessage(message) + " not answered");
        }
    } else if (unanswered) {
        report_.Info(now, "fault: " + DescribeMessage(message) + " (occurrence " +
                              std::to_string(occurrence) + ") left unanswered");
    } else {
        replies_.clear();
        radio_.Receive(message, secondAddress, now, replies_);
        SimTime due = now + SimTime(ScaledMicroseconds(profile_, profile_.latencyMs));
        for (const DelayedReply& d : profile_.delay) {
            if (matches(d.trigger) && !replies_.empty()) {
                due += SimTime(ScaledMicroseconds(profile_, d.milliseconds));
                report_.Info(now, "fault: the reply to " + DescribeMessage(message) + " is delayed by " +
                                      std::to_string(d.milliseconds) + " ms");
            }
        }
        const bool corrupt = std::any_of(profile_.corrupt.begin(), profile_.corrupt.end(), matches);
        if (corrupt && !replies_.empty()) {
            report_.Info(now, "fault: the reply to " + DescribeMessage(message) + " goes out corrupted");
        }
        for (const LinkPacket& reply : replies_) {
            const auto frame = BuildFrame(reply, kHostAddress);
            if (!frame) {
                continue;
            }
            std::vector<std::uint8_t> bytes(frame->Bytes().begin(), frame->Bytes().end());
            if (corrupt) {
                CorruptFrame(bytes);
            }
            if (profile_.verbose) {
                report_.Trace(now, "out " + DescribeMessage(reply));
            }
            Queue(std::move(bytes), due, false);
        }
    }
    if (profile_.dropAfter != 0 && frames_ >= profile_.dropAfter && !dropping_) {
        dropping_ = true;
        inbound_.clear();
        report_.Info(now, "fault: the line drops after frame " + std::to_string(frames_));
    }
}

void RadioLine::Queue(std::vector<std::uint8_t> bytes, SimTime notBefore, bool echo)
{
    outboundBytes_ += bytes.size();
    if (echo && !outbound_.empty() && outbound_.back().echo && outbound_.back().sent == 0) {
        Segment& last = outbound_.back();
        last.bytes.insert(last.bytes.end(), bytes.begin(), bytes.end());
        return;
    }
    outbound_.push_back({std::move(bytes), 0, notBefore, echo});
}

void RadioLine::TakeOutput(SimTime now, int receiveBaud, std::vector<std::uint8_t>& out)
{
    const int radioBaud = radio_.Baud();
    while (!outbound_.empty()) {
        Segment& segment = outbound_.front();
        while (segment.sent < segment.bytes.size()) {
            SimTime start = segment.notBefore;
            if (profile_.pace) {
                // Handed over once its stop bit has left: a paced line never beats the real one.
                start = std::max(start, lineFreeAt_) + ByteTime(radioBaud);
            }
            if (start > now) {
                return;
            }
            std::uint8_t b = segment.bytes[segment.sent++];
            --outboundBytes_;
            if (profile_.pace) {
                lineFreeAt_ = start;
            }
            if (!segment.echo) {
                const std::optional<std::uint8_t> arrived = outNoise_.Pass(b);
                if (!arrived) {
                    continue; // lost on the way: it still took its time on the line
                }
                b = *arrived;
            }
            if (segment.echo || receiveBaud == 0 || receiveBaud == radioBaud) {
                out.push_back(b);
            } else {
                outGarbler_.Feed(b, radioBaud, receiveBaud, out);
            }
        }
        outbound_.pop_front();
    }
}

SimTime RadioLine::NextTellingArrival() const
{
    // Noise, an echo, a garbled byte or the verbose log act on every byte; so does a queue
    // filling up, which must drain to let more in.
    if (inNoise_.Active() || profile_.verbose || profile_.interface == Interface::HalfDuplex || garbling_ ||
        inbound_.size() >= kInboundCapacity / 2) {
        return inbound_.front().arrival;
    }
    // Otherwise only a frame's end does something, and only a byte that meets a speed other
    // than its own can turn into one.
    const int radioBaud = radio_.Baud();
    for (const InByte& in : inbound_) {
        const bool unknown = in.sendBefore == 0 && in.sendNow == 0;
        const bool mayGarble = !unknown && in.sendBefore != radioBaud && in.sendNow != radioBaud;
        if (in.byte == kFrameEnd || mayGarble) {
            return in.arrival;
        }
    }
    return inbound_.back().arrival;
}

std::optional<SimTime> RadioLine::NextEvent(bool withOutput) const
{
    std::optional<SimTime> next = radio_.NextDeadline();
    const auto consider = [&next](SimTime t) {
        if (!next || t < *next) {
            next = t;
        }
    };
    if (!inbound_.empty()) {
        consider(NextTellingArrival());
    }
    if (withOutput && !outbound_.empty()) {
        const Segment& segment = outbound_.front();
        if (!profile_.pace) {
            consider(segment.notBefore);
        } else {
            const SimTime byteTime = ByteTime(radio_.Baud());
            const SimTime firstOut = std::max(segment.notBefore, lineFreeAt_) + byteTime;
            const auto left = static_cast<SimTime::rep>(segment.bytes.size() - segment.sent);
            // An echo goes back byte by byte, as the program's own bytes pass.
            const SimTime lastOut = segment.echo ? firstOut : firstOut + byteTime * (left - 1);
            consider(std::min(lastOut, firstOut + kLongestHold));
        }
    }
    return next;
}

} // namespace aurex::sim

// The radio's end of the serial line: raw bytes in from the program, raw bytes out, with a
// clock. Between the bytes and the radio's state machine it frames and unframes, carries bytes
// at the line's pace, garbles what crosses while the two ends are set to different speeds,
// echoes the program's bytes on a half-duplex cable, and applies the faults asked for. Pure:
// the caller brings the bytes, the time and the speed the program's end is set to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "line_garble.h"
#include "line_noise.h"
#include "link/frame_codec.h"
#include "radio_profile.h"
#include "simulated_radio.h"

namespace aurex::sim {

class RadioLine
{
  public:
    // Bytes read but not yet taken by the radio, and bytes queued to go out, past which the line
    // takes no more input until they drain.
    static constexpr std::size_t kInboundCapacity = 4096;
    static constexpr std::size_t kOutboundCapacity = 64 * 1024;

    RadioLine(const RadioProfile& profile, const std::vector<std::uint8_t>& codeplug);

    // Bytes that arrived from the program at `now`. The program's end was set to sendBefore
    // when the line last looked and to sendNow after reading (0: not known, taken as agreeing).
    // A speed change between the two looks gets the benefit of the doubt: the bytes count as
    // clean when either speed matches the radio's, since they may have been sent before the
    // change. At most InboundRoom() bytes are taken.
    void FromProgram(std::span<const std::uint8_t> bytes, int sendBefore, int sendNow, SimTime now);
    std::size_t InboundRoom() const;

    // Lets the radio take every byte that has arrived by now, and ends erases and restarts.
    void Advance(SimTime now);

    // Appends the bytes due on the line by now, as the program's end, set to receiveBaud (0: not
    // known, taken as agreeing), reads them.
    void TakeOutput(SimTime now, int receiveBaud, std::vector<std::uint8_t>& out);

    // When Advance or TakeOutput next has something the program can notice; without output,
    // when Advance has (for a caller that cannot take output now). On a paced line that is not
    // every byte: bytes on their way in are taken, each at its own arrival time, at the next
    // frame end, and a reply is handed over whole once its last byte is out, no byte held more
    // than kLongestHold past its time. So the caller wakes a few times a frame, not per byte.
    std::optional<SimTime> NextEvent(bool withOutput = true) const;

    // How long a paced byte may wait, past the moment its stop bit is out, for the rest of its
    // reply: about what a USB serial adapter at low latency holds bytes back.
    static constexpr SimTime kLongestHold{1000};

    // The drop-after fault has struck and every reply is out: the line is to be closed.
    bool Closed() const { return dropping_ && outbound_.empty(); }

    int RadioBaud() const { return radio_.Baud(); }
    const SimulatedRadio& Radio() const { return radio_; }
    SimReport& Report() { return report_; }
    unsigned FramesReceived() const { return frames_; }
    const LineNoise& InboundNoise() const { return inNoise_; }
    const LineNoise& OutboundNoise() const { return outNoise_; }

  private:
    struct InByte
    {
        std::uint8_t byte;
        int sendBefore; // the program's speed bracketing the sending (0: not known)
        int sendNow;
        SimTime arrival;
    };
    struct Segment
    {
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
        SimTime notBefore{};
        bool echo = false; // the program's own bytes: never garbled
    };

    void TakeByte(const InByte& in);
    void OnFrame(const LinkPacket& message, std::uint8_t secondAddress, SimTime now);
    void Queue(std::vector<std::uint8_t> bytes, SimTime notBefore, bool echo);
    SimTime ByteTime(int baud) const;
    SimTime NextTellingArrival() const;

    const RadioProfile& profile_;
    SimReport report_;
    SimulatedRadio radio_;
    FrameDecoder decoder_{FrameFilter::AnyAddress};
    Garbler inGarbler_;
    Garbler outGarbler_;
    LineNoise inNoise_;  // the program's bytes on their way to the radio
    LineNoise outNoise_; // the radio's bytes on their way to the program
    std::deque<InByte> inbound_;
    SimTime lastArrival_{};
    std::deque<Segment> outbound_;
    SimTime lineFreeAt_{};
    std::size_t outboundBytes_ = 0;

    unsigned frames_ = 0;
    std::map<std::uint16_t, unsigned> occurrences_; // bounded by the 65536 codes
    bool silent_ = false;
    bool dropping_ = false;
    bool garbling_ = false; // for logging the start and end of a disagreement
    std::vector<LinkPacket> replies_;
};

} // namespace aurex::sim

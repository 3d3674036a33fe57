// Drives the simulated radio's line as the program would, on a clock the test moves: frames
// are built and the replies read with the program's own frame codec, so a test also checks
// that the two ends understand each other.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "link/frame_codec.h"
#include "radio_line.h"

namespace aurex::sim::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

inline LinkPacket Packet(const Bytes& bytes)
{
    LinkPacket packet;
    for (std::uint8_t b : bytes) {
        packet.Append(b);
    }
    return packet;
}

inline Bytes ProgramFrame(const Bytes& message, std::uint8_t secondAddress = kRadioAddress)
{
    const auto frame = BuildFrame(Packet(message), secondAddress);
    return Bytes(frame->Bytes().begin(), frame->Bytes().end());
}

inline Bytes MessageBytes(const LinkPacket& packet)
{
    return Bytes(packet.Bytes().begin(), packet.Bytes().end());
}

// The messages the program's receiver takes from raw bytes, and what it dropped.
struct Heard
{
    std::vector<Bytes> messages;
    std::vector<FrameEvent> errors;
};

inline Heard HearAsProgram(const Bytes& raw)
{
    Heard heard;
    FrameDecoder decoder; // the program's: only frames whose second address is 7F
    for (std::uint8_t b : raw) {
        const FrameEvent e = decoder.Feed(b);
        if (e == FrameEvent::Frame) {
            heard.messages.push_back(MessageBytes(decoder.Message()));
        } else if (IsFrameError(e)) {
            heard.errors.push_back(e);
        }
    }
    return heard;
}

class RadioBench
{
  public:
    explicit RadioBench(RadioProfile profile, Bytes codeplug = Bytes(64, 0x11))
        : profile_(std::move(profile)), line_(std::make_unique<RadioLine>(profile_, codeplug))
    {
    }

    RadioLine& Line() { return *line_; }
    const SimulatedRadio& Radio() { return line_->Radio(); }
    SimTime Now() const { return now_; }

    // The speed the program's end is set to (both directions).
    int programBaud = 19200;

    void SendRaw(const Bytes& raw, int sendBefore = 0)
    {
        line_->FromProgram(raw, sendBefore != 0 ? sendBefore : programBaud, programBaud, now_);
        line_->Advance(now_);
    }
    void Send(const Bytes& message, std::uint8_t secondAddress = kRadioAddress)
    {
        SendRaw(ProgramFrame(message, secondAddress));
    }

    // Raw bytes on the program's end by now.
    Bytes TakeRaw()
    {
        line_->Advance(now_);
        Bytes raw;
        line_->TakeOutput(now_, programBaud, raw);
        return raw;
    }
    std::vector<Bytes> Replies() { return HearAsProgram(TakeRaw()).messages; }

    std::vector<Bytes> Exchange(const Bytes& message)
    {
        Send(message);
        return Replies();
    }

    void Wait(SimTime d)
    {
        now_ += d;
        line_->Advance(now_);
    }
    // Moves the clock to the line's next event, if there is one.
    bool WaitForNextEvent()
    {
        const auto next = line_->NextEvent();
        if (!next) {
            return false;
        }
        now_ = std::max(now_, *next);
        line_->Advance(now_);
        return true;
    }

    std::vector<SimReport::File> Files() { return line_->Report().TakeFiles(); }

  private:
    RadioProfile profile_;
    std::unique_ptr<RadioLine> line_;
    SimTime now_{};
};

// A 128-byte data block whose bytes follow from a seed.
inline Bytes DataBlock(unsigned seed)
{
    Bytes block(128);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(seed * 37 + i * 11 + (i >> 3));
    }
    return block;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes WithCode(std::uint8_t cls, std::uint8_t cmd, const Bytes& payload)
{
    Bytes message{cls, cmd};
    message.insert(message.end(), payload.begin(), payload.end());
    return message;
}

} // namespace aurex::sim::test

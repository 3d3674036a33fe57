// The simulated radio's line against arbitrary input from the program: raw bytes, well-framed
// messages of any content, box probes, speed changes and time passing, in any order. Nothing
// may crash, and what the line holds stays within its bounds.
//
// Input: one settings byte, then records of [kind][length][length bytes]; kind 0 raw bytes,
// 1 a framed message to the radio, 2 a framed message to the box, 3 the program's end changes
// speed (first byte) and time passes (second byte, in milliseconds).
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "link/frame_codec.h"
#include "radio_line.h"

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

constexpr int kSpeeds[] = {19200, 115200, 9600, 57600, 38400, 0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace aurex;
    using namespace aurex::sim;
    if (size < 1) {
        return 0;
    }
    const std::uint8_t settings = data[0];
    RadioProfile profile;
    profile.mode = (settings & 1) != 0 ? StartMode::Application : StartMode::BootLoad;
    profile.interface = static_cast<Interface>((settings >> 1) % 3);
    profile.pace = (settings & 8) != 0;
    profile.password = (settings & 16) != 0 ? "1234" : "";
    profile.eraseMs = (settings & 32) != 0 ? 0 : 3;
    profile.restartMs = 2;
    profile.checksumEvery = 1 + ((settings >> 6) & 3);
    profile.badChecksum = (settings & 64) != 0 ? BadChecksum::Once : BadChecksum::Never;
    profile.verifyFailBlock = (settings & 128) != 0 ? 3 : 0;
    profile.notReady = (settings >> 6) & 1;
    RadioLine line(profile, std::vector<std::uint8_t>(100, 0x5F));

    SimTime now{};
    int programBaud = 19200;
    std::vector<std::uint8_t> out;
    std::size_t i = 1;
    while (i + 2 <= size) {
        const std::uint8_t kind = data[i] & 3;
        const std::size_t length = data[i + 1];
        i += 2;
        const std::span<const std::uint8_t> body(data + i, std::min(length, size - i));
        i += body.size();
        switch (kind) {
        case 0:
            line.FromProgram(body.first(std::min(body.size(), line.InboundRoom())), programBaud, programBaud,
                             now);
            break;
        case 1:
        case 2: {
            LinkPacket packet;
            for (std::uint8_t b : body) {
                packet.Append(b);
            }
            // A block message is 130 bytes: let a short record stand for one, padded.
            if (body.size() >= 2 && body[1] == 0x09 && body[0] == 0x02) {
                while (packet.length < 130) {
                    packet.Append(static_cast<std::uint8_t>(packet.length));
                }
            }
            const auto frame = BuildFrame(packet, kind == 1 ? kRadioAddress : kInterfaceBoxAddress);
            if (frame) {
                const auto bytes = frame->Bytes();
                line.FromProgram(bytes.first(std::min(bytes.size(), line.InboundRoom())), programBaud,
                                 programBaud, now);
            }
            break;
        }
        case 3:
            if (!body.empty()) {
                programBaud = kSpeeds[body[0] % 6];
            }
            if (body.size() > 1) {
                now += SimTime(1000 * body[1]);
            }
            break;
        }
        line.Advance(now);
        out.clear();
        line.TakeOutput(now, programBaud, out);
        Check(out.size() <= RadioLine::kOutboundCapacity * 12 + 4096);
        Check(line.InboundRoom() <= RadioLine::kInboundCapacity);
        Check(line.Radio().CodeplugMemory().size() == kCodeplugBlockBytes * 256);
        if (const auto next = line.NextEvent()) {
            Check(*next >= SimTime{} || *next <= now);
        }
        line.Report().TakeLines();
        for (const auto& file : line.Report().TakeFiles()) {
            Check(file.bytes.size() <= kMaxImageBytes);
        }
    }
    // Let everything due come out.
    for (int step = 0; step < 64 && line.NextEvent(); ++step) {
        now = std::max(now, *line.NextEvent());
        line.Advance(now);
        out.clear();
        line.TakeOutput(now, programBaud, out);
    }
    return 0;
}

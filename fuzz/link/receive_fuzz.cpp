// Receive side against arbitrary line bytes: the incremental decoder must agree with a plain
// collect-then-unstuff decoder, never exceed its bounds, and the reply match must only ever
// complete on the awaited code and length. Input: expected id, alternate id, line bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/frame_codec.h"
#include "link/message_table.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

// Straightforward decoder: keep the raw bytes after BA, decide everything at 7E.
class ReferenceDecoder
{
  public:
    // Returns true and sets message when a frame completes.
    bool Feed(std::uint8_t b, Bytes& message)
    {
        if (b == 0xBA) {
            raw_.clear();
            inFrame_ = true;
            return false;
        }
        if (!inFrame_) {
            return false;
        }
        if (b == 0x7E) {
            if (raw_.size() < 2 || raw_[1] != 0x7F) {
                return false; // keeps accumulating until the next BA
            }
            inFrame_ = false;
            Bytes body;
            for (std::size_t i = 2; i < raw_.size(); ++i) {
                if (raw_[i] != 0x10) {
                    body.push_back(raw_[i]);
                    continue;
                }
                if (++i == raw_.size() || raw_[i] > 0x02) {
                    return false;
                }
                body.push_back(raw_[i] == 0x00 ? 0xBA : raw_[i] == 0x01 ? 0x7E : 0x10);
            }
            if (body.empty()) {
                return false;
            }
            unsigned sum = raw_[0] + raw_[1];
            for (std::uint8_t x : body) {
                sum += x;
            }
            if (sum % 256 != 0) {
                return false;
            }
            message.assign(body.begin(), body.end() - 1);
            return true;
        }
        raw_.push_back(b);
        if (raw_.size() > 1024) {
            inFrame_ = false;
        }
        return false;
    }

  private:
    Bytes raw_;
    bool inFrame_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const int expectedId = data[0] % 64;
    const int alternateId = data[1] % 64;
    const aurex::ExpectedReply expected = aurex::ExpectedReply::ForMessages(expectedId, alternateId);

    aurex::FrameDecoder frames;
    aurex::ReplyDecoder replies(expected);
    ReferenceDecoder reference;
    Bytes referenceMessage;
    for (std::size_t i = 2; i < size; ++i) {
        const std::uint8_t b = data[i];
        const aurex::FrameEvent event = frames.Feed(b);
        const bool referenceFrame = reference.Feed(b, referenceMessage);
        Check((event == aurex::FrameEvent::Frame) == referenceFrame);

        const auto step = replies.Feed(b);
        Check(step.frame == event);
        if (event != aurex::FrameEvent::Frame) {
            Check(!step.Completed());
            continue;
        }
        const aurex::LinkPacket& message = frames.Message();
        Check(message.length >= 0 && message.length <= 1021);
        Check(Bytes(message.Bytes().begin(), message.Bytes().end()) == referenceMessage);
        if (step.Completed()) {
            const aurex::LinkPacket& reply = replies.Reply();
            const bool alt = step.Alternate();
            Check(reply.data[0] == (alt ? expected.alternateCode[0] : expected.code[0]));
            Check(reply.data[1] == (alt ? expected.alternateCode[1] : expected.code[1]));
            Check(reply.length ==
                  (alt ? aurex::MessageLength(alternateId) : aurex::MessageLength(expectedId)));
        }

        // What was received, sent back in a frame of our own, must decode to the same message.
        auto frame = aurex::BuildFrame(message, 0x7F);
        Check(frame.has_value() == (message.length <= 255));
        if (frame) {
            aurex::FrameDecoder again;
            aurex::FrameEvent last = aurex::FrameEvent::None;
            for (std::uint8_t x : frame->Bytes()) {
                last = again.Feed(x);
            }
            Check(last == aurex::FrameEvent::Frame);
            Check(again.Message().length == message.length);
            Check(
                std::equal(message.Bytes().begin(), message.Bytes().end(), again.Message().Bytes().begin()));
        }
    }
    return 0;
}

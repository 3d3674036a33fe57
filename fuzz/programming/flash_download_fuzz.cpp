// The flash download against a radio that answers with arbitrary messages: whatever the radio
// says and whatever the image holds, every data block sent is 02 09 with 128 bytes, the result
// is one of the download's statuses, and the download ends.
// Input: one flag byte (bit 0: a line that repeats refused requests, bits 1-3: platform), the code image text
// up to a 0x00 byte, then the radio's replies, each as a length byte and that many bytes.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "programming/flash_download.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

// Replies come in order from the input, whatever was sent; a wait takes the first that
// matches and drops the rest before it, as the link drops frames.
class FuzzLink final : public aurex::ProgrammingLink
{
  public:
    std::deque<Bytes> replies;
    aurex::LinkCapabilities capabilities;
    bool active = true;
    std::size_t sends = 0;

    bool CreateTimeout(std::int32_t) override { return true; }
    void ReleaseTimeout() override {}
    void Send(const aurex::LinkPacket& packet) override
    {
        ++sends;
        Check(packet.length >= 2 && packet.length <= 130);
        if (packet.data[0] == 0x02 && packet.data[1] == 0x09) {
            Check(packet.length == 130);
        }
    }
    aurex::LinkReply ReceiveReply(const aurex::LinkPacket& expected, int expectedLength,
                                  const aurex::LinkPacket& alternate, int alternateLength) override
    {
        while (active && !replies.empty()) {
            const Bytes r = replies.front();
            replies.pop_front();
            const auto is = [&](const aurex::LinkPacket& code, int length) {
                return r.size() >= 2 && r[0] == code.data[0] && r[1] == code.data[1] &&
                       static_cast<int>(r.size()) == length;
            };
            if (is(expected, expectedLength) || is(alternate, alternateLength)) {
                aurex::LinkReply reply{CurrentStatus(), {}, !is(expected, expectedLength)};
                for (const std::uint8_t b : r) {
                    reply.packet.Append(b);
                }
                return reply;
            }
        }
        active = false;
        return {.status = CurrentStatus()};
    }
    aurex::LinkReply ReceiveAnyPacket() override { return {.status = CurrentStatus()}; }
    aurex::LinkStatus CurrentStatus() const override
    {
        return active ? aurex::LinkStatus::Completed : aurex::LinkStatus::Ended;
    }
    aurex::LinkCapabilities Capabilities() const override { return capabilities; }
    bool IsActive() const override { return active; }
    void ChangeBaudRate(std::int32_t) override {}
    void Pause(std::int32_t) override {}
};

struct NullProgress final : aurex::ProgressDisplay
{
    void SetRange(int, int) override {}
    void SetPosition(int) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    FuzzLink link;
    link.capabilities.repeatsRefusedRequests = (data[0] & 1) != 0;
    const auto code = static_cast<std::uint8_t>((data[0] >> 1) & 7);
    std::size_t i = 1;
    std::string image;
    while (i < size && data[i] != 0) {
        image += static_cast<char>(data[i++]);
    }
    ++i;
    while (i < size) {
        const std::size_t n = data[i++];
        link.replies.emplace_back(data + std::min(i, size), data + std::min(i + n, size));
        i += n;
    }
    std::istringstream loader("S1050000AABB95\nS9030000FC\n");
    std::istringstream codeImage(image);
    NullProgress progress;
    using aurex::ProgrammingStatus;
    const ProgrammingStatus status = aurex::DownloadCode(
        link, loader, codeImage, [](const std::string&) {}, code, progress, (data[0] & 16) != 0);
    Check(status == ProgrammingStatus::Success || status == ProgrammingStatus::CommProblem ||
          status == ProgrammingStatus::ImageError || status == ProgrammingStatus::TimedOut ||
          status == ProgrammingStatus::VerifyFailed || status == ProgrammingStatus::StartUnanswered);
    return 0;
}

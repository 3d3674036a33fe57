#pragma once

// A radio behind the abstract link, without a serial line: every packet the updater sends is
// logged and handed to a responder, which queues the radio's replies. A wait takes the queued
// replies in order, dropping those it does not match, as the real wait drops frames; with
// nothing queued the wait ends as a time-out does.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "programming/programming_link.h"

namespace aurex::test {

using Bytes = std::vector<std::uint8_t>;

class ScriptedLink : public ProgrammingLink
{
  public:
    using Responder = std::function<void(const Bytes& sent)>;

    bool CreateTimeout(std::int32_t milliseconds) override
    {
        timeouts.push_back(milliseconds);
        return timeoutAvailable;
    }
    void ReleaseTimeout() override { ++releases; }
    void Send(const LinkPacket& packet) override
    {
        const Bytes bytes(packet.Bytes().begin(), packet.Bytes().end());
        sent.push_back(bytes);
        if (respond) {
            respond(bytes);
        }
    }
    LinkReply ReceiveReply(const LinkPacket& expectedCode, int expectedLength,
                           const LinkPacket& alternateCode, int alternateLength) override
    {
        while (active && !replies.empty()) {
            const Bytes reply = replies.front();
            replies.pop_front();
            const auto matches = [&](const LinkPacket& code, int length) {
                return reply.size() >= 2 && reply[0] == code.data[0] && reply[1] == code.data[1] &&
                       static_cast<int>(reply.size()) == length;
            };
            if (matches(expectedCode, expectedLength)) {
                return {CurrentStatus(), Packet(reply), false};
            }
            if (matches(alternateCode, alternateLength)) {
                return {CurrentStatus(), Packet(reply), true};
            }
        }
        active = false;
        return {.status = CurrentStatus()};
    }
    LinkReply ReceiveAnyPacket() override
    {
        if (!active || replies.empty()) {
            active = false;
            return {.status = CurrentStatus()};
        }
        const Bytes reply = replies.front();
        replies.pop_front();
        return {CurrentStatus(), Packet(reply), false};
    }
    LinkStatus CurrentStatus() const override { return active ? LinkStatus::Completed : endedStatus; }
    LinkCapabilities Capabilities() const override { return capabilities; }
    bool IsActive() const override { return active; }
    void ChangeBaudRate(std::int32_t baud) override
    {
        bauds.push_back(baud);
        sent.push_back({0x09, 0x00, static_cast<std::uint8_t>(baud == 115200 ? 5 : 1)});
    }
    void Pause(std::int32_t milliseconds) override
    {
        pauses.push_back(milliseconds);
        if (duringPause) {
            duringPause();
        }
    }

    void Reply(const Bytes& message) { replies.push_back(message); }

    static LinkPacket Packet(const Bytes& bytes)
    {
        LinkPacket p;
        for (const std::uint8_t b : bytes) {
            p.Append(b);
        }
        return p;
    }

    // Settings.
    bool timeoutAvailable = true;
    LinkCapabilities capabilities; // the direct line's: none
    // What a wait that found no reply leaves: Ended, or IdleEnded on a quiet half-duplex line.
    LinkStatus endedStatus = LinkStatus::Ended;
    Responder respond;
    std::function<void()> duringPause; // e.g. Stop pressed meanwhile

    // State and record.
    bool active = true;
    std::deque<Bytes> replies;
    std::vector<Bytes> sent;
    std::vector<std::int32_t> timeouts;
    int releases = 0;
    std::vector<std::int32_t> bauds;
    std::vector<std::int32_t> pauses;
};

// Records what the downloads show.
struct RecordedProgress : ProgressDisplay
{
    void SetRange(int minimum, int maximum) override { ranges.push_back({minimum, maximum}); }
    void SetPosition(int position) override { positions.push_back(position); }
    void BeginTimedWait(std::int32_t milliseconds) override { timedWaits.push_back(milliseconds); }
    void EndTimedWait(bool ranOut) override { timedWaitEnds.push_back(ranOut); }
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;
    std::vector<std::int32_t> timedWaits;
    std::vector<bool> timedWaitEnds;
};

struct RecordedStatus
{
    std::vector<std::string> texts;
    StatusCallback Callback()
    {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

} // namespace aurex::test

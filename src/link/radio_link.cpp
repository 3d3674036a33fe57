#include "link/radio_link.h"

#include "link/clock.h"
#include "link/com_port_map.h"
#include "link/event_turns.h"
#include "link/link_timeouts.h"
#include "link/message_table.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace aurex {

namespace {

bool LineOpen(const RadioLink& link)
{
    return link.transport != nullptr && link.transport->LineOpen();
}

bool FramingKnown(const RadioLink& link)
{
    return link.framing == kFramingRaw || link.framing == kFramingFramed;
}

enum class WaitFor { Reply, AnyFrame };

// Out of line, so the byte loop pays only the null test when nobody watches.
[[gnu::noinline]] void ReportFrame(FrameWatch& watch, const ReplyDecoder& decoder, FrameEvent event)
{
    if (event == FrameEvent::Frame) {
        watch.FrameHeard(decoder.Message().Bytes(), event);
    } else {
        watch.FrameHeard({}, event);
    }
}

// Takes one received byte into the decoder; true when it completes the wait.
bool FeedByte(RadioLink& link, WaitFor what, bool* alternate)
{
    std::uint8_t byte = 0;
    if (!link.transport->TakeByte(byte)) {
        return false;
    }
    const ReplyDecoder::Step step = link.decoder.Feed(byte);
    if (link.watch != nullptr && step.frame != FrameEvent::None) {
        ReportFrame(*link.watch, link.decoder, step.frame);
    }
    if (what == WaitFor::AnyFrame) {
        return step.frame == FrameEvent::Frame;
    }
    if (step.frame != FrameEvent::Frame) {
        return false;
    }
    if (alternate != nullptr) {
        *alternate = step.Alternate();
    }
    return step.Completed();
}

// At most this many bytes are looked at once a wait has timed out: more than the longest frame.
constexpr int kLateReplyBytes = 2 * static_cast<int>(kMaxRawFrameBytes);

// A program kept from the processor may see its time-out before the reply that came in time:
// both are due when it next runs. What is already received is read before the wait counts as
// timed out, or the reply would stay queued and be taken for the answer to the next request.
bool ReadReplyAlreadyHere(RadioLink& link, WaitFor what, bool* alternate)
{
    for (int n = 0; n < kLateReplyBytes && LineOpen(link) && link.transport->ByteWaiting(); ++n) {
        if (FeedByte(link, what, alternate)) {
            return true;
        }
    }
    return false;
}

// The wait loop every receive shares: one byte per turn, the window's events between turns,
// blocking while the line is quiet. True when a frame completed the wait.
bool RunWait(RadioLink& link, WaitFor what, bool* alternate)
{
    ArmLinkTimeout(link);
    link.idle = false;
    link.timedOut = false;
    link.lateTimeOut = false;
    bool completed = false;
    while (link.active && !completed) {
        ProcessPendingEvents();
        if (!LineOpen(link)) {
            // The port went away under the wait (cable pulled, adapter gone): the wait ends and
            // every later one returns at once, with status 4.
            link.active = false;
            link.idle = false;
            if (link.transport) {
                link.transport->LineLost();
            }
            break;
        }
        if (!link.transport->ByteWaiting()) {
            link.idle = true;
            if (link.lateTimeOut && link.stopHeld) {
                // Nobody could stop the wait: the time-out the stream put off falls now.
                OnLinkTriggerTimer(link);
            }
            if (link.active) {
                link.transport->WaitForInput();
            }
            continue;
        }
        link.idle = false;
        completed = FeedByte(link, what, alternate);
    }
    if (!completed && link.timedOut) {
        if (ReadReplyAlreadyHere(link, what, alternate)) {
            completed = true;
            link.active = true;
            link.idle = false;
        } else if (link.watch != nullptr) {
            link.watch->WaitTimedOut();
        }
    }
    link.timedOut = false;
    DisarmLinkTimeout(link);
    return completed;
}

bool SendBytes(RadioLink& link, std::span<const std::uint8_t> bytes)
{
    return link.transport && link.transport->Send(bytes, link.active) > 0;
}

// Sends `packet` as the framing says; the watch hears `message`, which is the packet's own bytes
// except for the unframed interface-box probe.
bool SendWatched(RadioLink& link, const LinkPacket& packet, std::span<const std::uint8_t> message)
{
    bool sent = false;
    if (link.framing == kFramingRaw) {
        sent = SendBytes(link, packet.Bytes());
    } else if (link.framing == kFramingFramed) {
        const std::optional<FrameBytes> frame = BuildFrame(packet);
        sent = frame && SendBytes(link, frame->Bytes());
    }
    if (sent && link.watch != nullptr) {
        link.watch->MessageSent(message);
    }
    return sent;
}

} // namespace

RadioLink::RadioLink() = default;

RadioLink::~RadioLink() = default;

PortOpenResult OpenComPortLink(RadioLink& link, ComPort& port, std::string& message)
{
    link.active = false;
    link.idle = false;
    link.transport = std::make_unique<PortComponentTransport>(port);
    link.decoder.Reset();
    try {
        port.SetOpen(true);
    } catch (const ComPortError& e) {
        const PortOpenResult result =
            e.kind() == ComPortError::Kind::OpenFailed ? e.OpenResult() : PortOpenResult::Failed;
        switch (result) {
        case PortOpenResult::NotPresent:
        case PortOpenResult::InUse:
            message = kPortUnavailableMessage;
            break;
        case PortOpenResult::PermissionDenied:
            message = PermissionDeniedMessage(e.DevicePath());
            break;
        default:
            message = kPortErrorMessage;
            break;
        }
        return result;
    }
    port.FlushInBuffer();
    port.FlushOutBuffer();
    message.clear();
    return PortOpenResult::Opened;
}

namespace {

// How opening the device path ended, with what the device's port knows of a failure.
struct DeviceOpening
{
    PortOpenResult result = PortOpenResult::Failed;
    std::string devicePath;
    std::string systemWords; // the system's own reason; empty when it gave none
};

template <typename Open> DeviceOpening OpenOnDevice(RadioLink& link, Open open)
{
    link.active = false;
    link.idle = false;
    link.transport.reset();
    link.decoder.Reset();
    try {
        std::unique_ptr<VNXCommDeviceSerial> serial =
            link.makeDevice ? link.makeDevice() : std::make_unique<VNXCommDeviceSerial>();
        VNXCommDeviceSerial* device = serial.get();
        // Kept on failure too; CloseLink lets the device go.
        auto transport = std::make_unique<DeviceTransport>(std::move(serial), link.commTimer);
        DeviceTransport& opening = *transport;
        link.transport = std::move(transport);
        if (open(opening)) {
            return {PortOpenResult::Opened, {}, {}};
        }
        if (device == nullptr) {
            return {};
        }
        const PortOpenResult result = device->Port().OpenResult();
        return {result == PortOpenResult::Opened ? PortOpenResult::Failed : result,
                device->Port().DevicePath(), device->Port().LastRefusal()};
    } catch (const std::exception&) {
        // any error on the way counts as a failed open
    }
    return {};
}

} // namespace

PortOpenResult OpenDeviceLink(RadioLink& link, int comNumber, std::int32_t baud, bool flowControl,
                              std::string& message)
{
    const DeviceOpening opened = OpenOnDevice(
        link, [&](DeviceTransport& transport) { return transport.Open(comNumber, baud, flowControl); });
    if (opened.result == PortOpenResult::Opened) {
        message.clear();
    } else if (opened.result == PortOpenResult::PermissionDenied) {
        message = PermissionDeniedMessage(opened.devicePath);
    } else {
        message = kPortErrorMessage;
    }
    return opened.result;
}

PortOpenResult OpenDevicePathLink(RadioLink& link, const std::string& devicePath, std::int32_t baud,
                                  bool flowControl, std::string& message)
{
    const DeviceOpening opened = OpenOnDevice(
        link, [&](DeviceTransport& transport) { return transport.Open(devicePath, baud, flowControl); });
    if (opened.result == PortOpenResult::Opened) {
        message.clear();
    } else {
        message = opened.systemWords.empty() ? std::string(kPortErrorMessage) : opened.systemWords;
    }
    return opened.result;
}

void CloseLink(RadioLink& link)
{
    if (link.transport) {
        link.transport->Close();
    }
}

void SetLinkActive(RadioLink& link, bool active)
{
    link.active = active;
    link.timedOut = false; // a Stop after the time-out stands
}
bool IsLinkActive(const RadioLink& link)
{
    return link.active;
}
bool IsLinkTimedOut(const RadioLink& link)
{
    return LinkCapabilitiesOf(link).quietEndIsCommProblem && link.idle;
}

LinkCapabilities LinkCapabilitiesOf(const RadioLink& link)
{
    return link.transport ? link.transport->Capabilities() : LinkCapabilities{};
}

void SetLinkFraming(RadioLink& link, std::int32_t mode)
{
    link.framing = mode;
}

void SetLinkBaud(RadioLink& link, std::int32_t baud)
{
    if (link.transport) {
        link.transport->SetBaud(baud);
    }
}

void ChangeBaudRate(RadioLink& link, std::int32_t baud)
{
    LinkPacket packet;
    InitMessage(packet, msg::kBaudRate);
    packet.Append(BaudSelector(baud));
    SendPacket(link, packet);
    if (link.transport) {
        link.transport->FollowBaudChange(baud);
    }
}

bool ProbeInterfaceBox(RadioLink& link)
{
    link.framing = kFramingRaw;
    LinkPacket probe;
    for (std::uint8_t b : kInterfaceBoxProbeFrame) {
        probe.Append(b);
    }
    constexpr std::array<std::uint8_t, 2> kProbeMessage{kInterfaceBoxProbeFrame[3],
                                                        kInterfaceBoxProbeFrame[4]};
    SendWatched(link, probe, kProbeMessage);
    link.framing = kFramingFramed;
    LinkPacket code;
    code.Append(0x09);
    code.Append(0x02);
    const LinkReply reply = ReceiveReply(link, code, 6, code, 6);
    return reply.packet.length >= 2 && reply.packet.data[0] == 0x09 && reply.packet.data[1] == 0x02;
}

bool CreateLinkTimeout(RadioLink& link, std::int32_t milliseconds)
{
    link.timeout = milliseconds;
    return link.transport ? link.transport->CreateTimeout() : true;
}

void ArmLinkTimeout(RadioLink& link)
{
    if (link.transport) {
        const auto timeout = Clock::ReplyTimeout(link.timeout);
        link.transport->ArmTimeout(static_cast<std::int32_t>(
            std::min<std::int64_t>(timeout, std::numeric_limits<std::int32_t>::max())));
    }
}

void DisarmLinkTimeout(RadioLink& link)
{
    if (link.transport) {
        link.transport->DisarmTimeout();
    }
}

void ReleaseLinkTimeout(RadioLink& link)
{
    if (link.transport) {
        link.transport->ReleaseTimeout();
    }
}

void OnLinkCommTimer(RadioLink& link)
{
    link.timedOut = link.active;
    link.active = false;
    if (link.commTimer != nullptr) {
        link.commTimer->SetEnabled(false);
    }
}

void OnLinkTriggerTimer(RadioLink& link)
{
    // A reply that is streaming in is not cut off: only a quiet line times out. Bytes that came
    // while the wait was asleep, and that a busy machine leaves unread until after the timer, are
    // no quiet line either.
    if (link.idle && link.active && link.transport && link.transport->ByteWaiting()) {
        link.idle = false;
    }
    if (IsLinkTimedOut(link)) {
        link.timedOut = link.active;
        link.active = false;
    } else {
        link.lateTimeOut = link.active;
    }
}

void HoldLinkStop(RadioLink& link, bool held)
{
    link.stopHeld = held;
}

void PauseLink(RadioLink& link, std::int32_t milliseconds)
{
    if (milliseconds <= 0 || !link.active) {
        return;
    }
    // A nested loop that sleeps until its timer, an application quit or a stopped link ends it.
    QEventLoop loop;
    QTimer done;
    done.setSingleShot(true);
    done.setTimerType(Qt::PreciseTimer);
    QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Stop arrives as a window event that only clears the link's flag: look at it now and then.
    QTimer watch;
    watch.setInterval(link_timeouts::kStopCheckIntervalMs);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (!link.active) {
            loop.quit();
        }
    });
    done.start(Clock::TimerTicks(Clock::PortTicks(milliseconds)));
    watch.start();
    loop.exec();
}

bool LineHeldAfterSend(RadioLink& link, std::int32_t milliseconds)
{
    if (!link.transport) {
        return false;
    }
    LinkTransport& line = *link.transport;
    line.DrainTransmitQueue();
    QTimer settle;
    settle.setSingleShot(true);
    settle.start(Clock::TimerMilliseconds(milliseconds));
    while (settle.isActive() && line.LineOpen()) {
        if (!line.ByteWaiting()) {
            line.WaitForInput();
            continue;
        }
        // Nothing is expected now: whatever comes is read and dropped, so it cannot keep waking us.
        std::uint8_t byte = 0;
        line.TakeByte(byte);
    }
    return line.LineOpen();
}

bool SendPacket(RadioLink& link, const LinkPacket& packet)
{
    return SendWatched(link, packet, packet.Bytes());
}

bool SendCommand(RadioLink& link, const LinkPacket& packet)
{
    if (!FramingKnown(link)) {
        return false;
    }
    return SendPacket(link, packet);
}

bool SendCommandPair(RadioLink& link, std::uint8_t classByte, std::uint8_t commandByte,
                     const std::uint8_t* data, int dataLength)
{
    LinkPacket packet;
    packet.Append(classByte);
    packet.Append(commandByte);
    if (data != nullptr) {
        for (int i = 0; i < dataLength; ++i) {
            if (!packet.Append(data[i])) {
                return false; // longer than a packet holds: sending a cut message would be worse
            }
        }
    }
    return SendCommand(link, packet);
}

LinkReply ReceiveReply(RadioLink& link, const LinkPacket& expectedCode, int expectedLength,
                       const LinkPacket& alternateCode, int alternateLength)
{
    if (!FramingKnown(link)) {
        return {};
    }
    link.decoder.Expect(
        ExpectedReply::FromPackets(expectedCode, expectedLength, alternateCode, alternateLength));
    bool alternate = false;
    if (!RunWait(link, WaitFor::Reply, &alternate)) {
        return {.status = GetLinkStatus(link)};
    }
    return {GetLinkStatus(link), link.decoder.Reply(), alternate};
}

LinkReply ReceiveAnyPacket(RadioLink& link)
{
    if (!FramingKnown(link)) {
        return {};
    }
    link.decoder.Expect(ExpectedReply{});
    if (!RunWait(link, WaitFor::AnyFrame, nullptr)) {
        return {.status = GetLinkStatus(link)};
    }
    return {GetLinkStatus(link), link.decoder.Reply(), false};
}

LinkReply ReceiveTransferReply(RadioLink& link)
{
    if (!FramingKnown(link)) {
        return {};
    }
    link.decoder.Expect(ExpectedReply{});
    if (!RunWait(link, WaitFor::AnyFrame, nullptr)) {
        return {.status = GetLinkStatus(link)};
    }
    return {LinkStatus::Completed, link.decoder.Reply(), false};
}

LinkStatus GetLinkStatus(const RadioLink& link)
{
    if (IsLinkTimedOut(link)) {
        return LinkStatus::IdleEnded;
    }
    return link.active ? LinkStatus::Completed : LinkStatus::Ended;
}

} // namespace aurex

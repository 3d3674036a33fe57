#include "link/radio_link.h"

#include "link/clock.h"
#include "link/com_port_map.h"
#include "link/message_table.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <span>

namespace aurex {

namespace {

constexpr std::int32_t kNoTrigger = -1;

bool TriggerValid(const RadioLink& link) { return link.triggerHandle != kNoTrigger && link.triggerHandle != 0; }

VNXCommDeviceSerial* SerialDevice(RadioLink& link) { return dynamic_cast<VNXCommDeviceSerial*>(link.device.get()); }

// Runs whatever is pending without waiting.
void ProcessPending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

// Blocks until something happens: a received byte, a timer, user input.
void BlockForEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents); }

bool LinePortOpen(const RadioLink& link)
{
    if (link.usePortComponent) {
        return link.port != nullptr && link.port->Open();
    }
    return link.device != nullptr && link.device->IsOpen();
}

// (Re)binds the notifier to the device's current handle.
QSocketNotifier* DeviceNotifier(RadioLink& link)
{
    const SerialHandle handle = link.device ? link.device->WaitHandle() : kNoSerialHandle;
    if (handle == kNoSerialHandle) {
        link.deviceNotifier.reset();
        return nullptr;
    }
    if (!link.deviceNotifier || link.deviceNotifier->socket() != static_cast<qintptr>(handle)) {
        link.deviceNotifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(handle), QSocketNotifier::Read);
        link.deviceNotifier->setEnabled(false);
    }
    return link.deviceNotifier.get();
}

void DropDeviceNotifier(RadioLink& link) { link.deviceNotifier.reset(); }

// One quiet turn: sleep in the event loop until input, a timer or the user wakes us.
void WaitForInput(RadioLink& link)
{
    if (link.usePortComponent) {
        // The port component's own notifier reads into its queue and wakes us.
        BlockForEvents();
        return;
    }
    QSocketNotifier* notifier = DeviceNotifier(link);
    if (notifier == nullptr) {
        return;
    }
    // Level-triggered: enabled only while we block, or it would fire for every queued byte.
    notifier->setEnabled(true);
    BlockForEvents();
    if (link.deviceNotifier) {
        link.deviceNotifier->setEnabled(false);
    }
    // Woken with nothing to read: the device may have gone (hang-up also wakes the notifier).
    if (link.device && !link.device->CharReady() && !link.device->CheckConnection()) {
        DropDeviceNotifier(link);
    }
}

bool ByteWaiting(RadioLink& link)
{
    return link.usePortComponent ? link.port->CharReady() : link.device->CharReady();
}

bool TakeByte(RadioLink& link, std::uint8_t& byte)
{
    if (link.usePortComponent) {
        byte = link.port->GetChar();
        return true;
    }
    return link.device->ReadChar(byte) == 1;
}

enum class WaitFor { Reply, AnyFrame };

// Takes one received byte into the decoder; true when it completes the wait.
bool FeedByte(RadioLink& link, WaitFor what, bool* alternate)
{
    std::uint8_t byte = 0;
    if (!TakeByte(link, byte)) {
        // A failed read with bytes queued: find out whether the device is still there.
        if (link.device) {
            link.device->CheckConnection();
        }
        return false;
    }
    const ReplyDecoder::Step step = link.decoder.Feed(byte);
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
    for (int n = 0; n < kLateReplyBytes && LinePortOpen(link) && ByteWaiting(link); ++n) {
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
    bool completed = false;
    while (link.active && !completed) {
        ProcessPending();
        if (!LinePortOpen(link)) {
            // The port went away under the wait (cable pulled, adapter gone): the wait ends and
            // every later one returns at once, with status 4.
            link.active = false;
            link.idle = false;
            DropDeviceNotifier(link);
            break;
        }
        if (!ByteWaiting(link)) {
            link.idle = true;
            if (link.active) {
                WaitForInput(link);
            }
            continue;
        }
        link.idle = false;
        completed = FeedByte(link, what, alternate);
    }
    if (!completed && link.timedOut && ReadReplyAlreadyHere(link, what, alternate)) {
        completed = true;
        link.active = true;
        link.idle = false;
    }
    link.timedOut = false;
    DisarmLinkTimeout(link);
    return completed;
}

// Waits (processing events) until the transmit queue has room; false when the port closes or the
// link is stopped meanwhile, so a stuck line cannot hold the program.
bool WaitForSendRoom(RadioLink& link, int count)
{
    while (link.port->Open() && link.port->GetOutBuffFree() < count) {
        if (!link.active) {
            return false;
        }
        BlockForEvents();
    }
    if (link.port->RS485Mode()) {
        // CTS changes raise no event here: look again every millisecond while it is held.
        while (link.port->Open() && link.port->GetCTS()) {
            if (!link.active) {
                return false;
            }
            QTimer poll;
            poll.setSingleShot(true);
            poll.start(1);
            BlockForEvents();
        }
    }
    return link.port->Open();
}

int SendBytes(RadioLink& link, std::span<const std::uint8_t> bytes)
{
    if (!link.usePortComponent) {
        if (!link.device) {
            return -1;
        }
        return link.device->Write(bytes.data(), static_cast<int>(bytes.size()));
    }
    if (link.port == nullptr || bytes.size() > static_cast<std::size_t>(ComPort::kQueueSize)) {
        return -1;
    }
    const int count = static_cast<int>(bytes.size());
    if (!WaitForSendRoom(link, count)) {
        return -1; // the port is gone or the run was stopped: nothing can go out
    }
    return link.port->PutBlock(bytes.data(), static_cast<std::uint16_t>(count));
}

// Lets the port component's queued bytes leave, bounded by the time they need on the line plus
// a margin. (The device path drains on every write.)
void DrainTransmitQueue(RadioLink& link)
{
    if (!link.usePortComponent || link.port == nullptr || !link.port->Open()) {
        return;
    }
    const std::int64_t lineMs =
        static_cast<std::int64_t>(link.port->GetOutBuffUsed()) * 10 * 1000 / std::max(link.port->Baud(), 1) + 2000;
    const Deadline deadline{std::chrono::milliseconds(lineMs)};
    while (link.port->Open() && link.port->GetOutBuffUsed() > 0 && !deadline.Expired()) {
        QTimer bound;
        bound.setSingleShot(true);
        bound.start(std::max(1, deadline.RemainingMilliseconds()));
        BlockForEvents();
    }
}

} // namespace

RadioLink::RadioLink() = default;

RadioLink::~RadioLink()
{
    deviceNotifier.reset();
    if (device && device->IsOpen()) {
        device->Close();
    }
}

bool OpenComPortLink(RadioLink& link, ComPort& port, std::string& message)
{
    link.usePortComponent = true;
    link.active = false;
    link.idle = false;
    link.port = &port;
    link.decoder.Reset();
    try {
        port.SetOpen(true);
    } catch (const ComPortError& e) {
        switch (e.kind()) {
        case ComPortError::Kind::NotPresent:
        case ComPortError::Kind::InUse:
            message = kPortUnavailableMessage;
            break;
        case ComPortError::Kind::PermissionDenied:
            message = PermissionDeniedMessage(e.DevicePath());
            break;
        default:
            message = kPortErrorMessage;
            break;
        }
        return false;
    }
    port.FlushInBuffer();
    port.FlushOutBuffer();
    message.clear();
    return true;
}

bool OpenDeviceLink(RadioLink& link, int comNumber, std::int32_t baud, bool flowControl, std::string& message)
{
    link.active = false;
    link.idle = false;
    DropDeviceNotifier(link);
    link.device.reset();
    link.usePortComponent = false;
    link.decoder.Reset();
    try {
        std::unique_ptr<VNXCommDeviceSerial> serial =
            link.makeDevice ? link.makeDevice() : std::make_unique<VNXCommDeviceSerial>();
        VNXCommDeviceSerial* device = serial.get();
        link.device = std::move(serial); // kept on failure too; CloseLink deletes it
        if (device->OpenPort(comNumber, BaudToDeviceCode(baud), flowControl)) {
            message.clear();
            return true;
        }
        if (device->Port().OpenFailure() == SerialOpenFailure::PermissionDenied) {
            message = PermissionDeniedMessage(device->Port().DevicePath());
            return false;
        }
    } catch (const std::exception&) {
        // any error on the way counts as a failed open
    }
    message = kPortErrorMessage;
    return false;
}

void CloseLink(RadioLink& link)
{
    if (!link.usePortComponent) {
        DropDeviceNotifier(link);
        if (link.device && link.device->IsOpen()) {
            link.device->Close();
        }
        link.device.reset();
        return;
    }
    if (link.port == nullptr) {
        return;
    }
    DrainTransmitQueue(link);
    // The trigger belongs to the link: give it back even when the port vanished under us.
    DisarmLinkTimeout(link);
    ReleaseLinkTimeout(link);
    if (link.port->Open()) {
        link.port->FlushInBuffer();
        link.port->FlushOutBuffer();
        link.port->SetOpen(false);
    }
}

void SetLinkActive(RadioLink& link, bool active)
{
    link.active = active;
    link.timedOut = false; // a Stop after the time-out stands
}
bool IsLinkActive(const RadioLink& link) { return link.active; }
bool IsLinkTimedOut(const RadioLink& link) { return link.usePortComponent && link.idle; }
bool UsesPortComponent(const RadioLink& link) { return link.usePortComponent; }
void SetLinkFraming(RadioLink& link, std::int32_t mode) { link.framing = mode; }

void SetLinkBaud(RadioLink& link, std::int32_t baud)
{
    if (link.usePortComponent) {
        if (link.port != nullptr) {
            link.port->SetBaud(baud);
        }
        return;
    }
    if (VNXCommDeviceSerial* device = SerialDevice(link)) {
        device->SetBaudCode(BaudToDeviceCode(baud));
    }
}

void ChangeBaudRate(RadioLink& link, std::int32_t baud)
{
    LinkPacket packet;
    InitMessage(packet, kBaudRateMessageId);
    packet.Append(BaudSelector(baud));
    SendPacket(link, packet);
    if (!link.usePortComponent) {
        Clock::SleepMilliseconds(100); // the radio switches before we do
    }
    SetLinkBaud(link, baud);
}

std::uint8_t BaudToDeviceCode(std::int32_t baud)
{
    switch (baud) {
    case 9600: return 12;
    case 38400: return 15;
    case 57600: return 17;
    case 115200: return 19;
    default: return 14;
    }
}

bool ProbeInterfaceBox(RadioLink& link)
{
    link.framing = kFramingRaw;
    LinkPacket probe;
    for (std::uint8_t b : kInterfaceBoxProbeFrame) {
        probe.Append(b);
    }
    SendPacket(link, probe);
    link.framing = kFramingFramed;
    LinkPacket code;
    code.Append(0x09);
    code.Append(0x02);
    bool alternate = false;
    const LinkPacket reply = ReceiveReply(link, code, 6, code, 6, alternate);
    return reply.length >= 2 && reply.data[0] == 0x09 && reply.data[1] == 0x02;
}

bool CreateLinkTimeout(RadioLink& link, std::int32_t milliseconds)
{
    if (!link.usePortComponent) {
        link.timeout = milliseconds;
        return true;
    }
    // The two time-outs that reach this path, in ticks as the port counts them.
    std::int32_t ticks = milliseconds;
    if (milliseconds == 4000) {
        ticks = 72;
    } else if (milliseconds == 15000) {
        ticks = 270;
    }
    link.timeout = ticks;
    if (link.port == nullptr) {
        link.triggerHandle = 0;
        return false;
    }
    ReleaseLinkTimeout(link); // a second create must not strand the first trigger
    link.triggerHandle = link.port->AddTimerTrigger();
    return link.triggerHandle != 0;
}

void ArmLinkTimeout(RadioLink& link)
{
    if (link.usePortComponent) {
        if (TriggerValid(link) && link.port != nullptr) {
            link.port->SetTimerTrigger(static_cast<std::uint16_t>(link.triggerHandle), link.timeout, true);
        }
        return;
    }
    if (link.commTimer != nullptr) {
        link.commTimer->SetInterval(link.timeout);
        link.commTimer->SetEnabled(true);
    }
}

void DisarmLinkTimeout(RadioLink& link)
{
    if (link.usePortComponent) {
        if (TriggerValid(link) && link.port != nullptr) {
            link.port->SetTimerTrigger(static_cast<std::uint16_t>(link.triggerHandle), 0, false);
        }
        return;
    }
    if (link.commTimer != nullptr) {
        link.commTimer->SetEnabled(false);
    }
}

void ReleaseLinkTimeout(RadioLink& link)
{
    if (!link.usePortComponent) {
        return;
    }
    if (TriggerValid(link) && link.port != nullptr) {
        link.port->RemoveTrigger(static_cast<std::uint16_t>(link.triggerHandle));
    }
    link.triggerHandle = kNoTrigger;
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
    // A reply that is streaming in is not cut off: only a quiet line times out.
    if (IsLinkTimedOut(link)) {
        link.timedOut = link.active;
        link.active = false;
    }
}

bool LineHeldAfterSend(RadioLink& link, std::int32_t milliseconds)
{
    DrainTransmitQueue(link);
    QTimer settle;
    settle.setSingleShot(true);
    settle.start(Clock::TimerMilliseconds(milliseconds));
    while (settle.isActive() && LinePortOpen(link)) {
        if (!ByteWaiting(link)) {
            WaitForInput(link);
            continue;
        }
        // Nothing is expected now: whatever comes is read and dropped, so it cannot keep waking us.
        std::uint8_t byte = 0;
        if (!TakeByte(link, byte) && link.device) {
            link.device->CheckConnection();
        }
    }
    return LinePortOpen(link);
}

int SendPacket(RadioLink& link, const LinkPacket& packet)
{
    if (link.framing == kFramingRaw) {
        return SendBytes(link, packet.Bytes());
    }
    if (link.framing == kFramingFramed) {
        const std::optional<FrameBytes> frame = BuildFrame(packet);
        if (!frame) {
            return -1;
        }
        return SendBytes(link, frame->Bytes());
    }
    return -1;
}

int SendCommand(RadioLink& link, const LinkPacket& packet)
{
    if (link.framing != kFramingRaw && link.framing != kFramingFramed) {
        return -1;
    }
    const int result = SendPacket(link, packet);
    if (link.usePortComponent) {
        return result == 0 ? 1 : -1;
    }
    return result;
}

int SendCommandPair(RadioLink& link, std::uint8_t classByte, std::uint8_t commandByte, const std::uint8_t* data,
                    int dataLength)
{
    LinkPacket packet;
    packet.Append(classByte);
    packet.Append(commandByte);
    if (data != nullptr) {
        for (int i = 0; i < dataLength; ++i) {
            if (!packet.Append(data[i])) {
                return -1; // longer than a packet holds: sending a cut message would be worse
            }
        }
    }
    return SendCommand(link, packet);
}

LinkPacket ReceiveReply(RadioLink& link, const LinkPacket& expectedCode, int expectedLength,
                        const LinkPacket& alternateCode, int alternateLength, bool& alternate)
{
    alternate = false;
    if (link.framing != kFramingRaw && link.framing != kFramingFramed) {
        return {};
    }
    link.decoder.Expect(ExpectedReply::FromPackets(expectedCode, expectedLength, alternateCode, alternateLength));
    if (!RunWait(link, WaitFor::Reply, &alternate)) {
        alternate = false;
        return {};
    }
    return link.decoder.Reply();
}

LinkPacket ReceiveAnyPacket(RadioLink& link)
{
    if (link.framing != kFramingRaw && link.framing != kFramingFramed) {
        return {};
    }
    link.decoder.Expect(ExpectedReply{});
    if (!RunWait(link, WaitFor::AnyFrame, nullptr)) {
        return {};
    }
    return link.decoder.Reply();
}

int ReceiveTransferReply(RadioLink& link, LinkPacket& packet)
{
    if (link.framing != kFramingRaw && link.framing != kFramingFramed) {
        return 0;
    }
    link.decoder.Expect(ExpectedReply{});
    if (!RunWait(link, WaitFor::AnyFrame, nullptr)) {
        return -1;
    }
    packet = link.decoder.Reply();
    return 1;
}

int GetLinkStatus(const RadioLink& link)
{
    if (IsLinkTimedOut(link)) {
        return kLinkIdleEnded;
    }
    return link.active ? kLinkCompleted : kLinkEnded;
}

} // namespace aurex

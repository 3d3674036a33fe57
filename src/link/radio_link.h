#pragma once

#include "link/com_port.h"
#include "link/device_transport.h"
#include "link/frame_codec.h"
#include "link/frame_watch.h"
#include "link/link_capabilities.h"
#include "link/link_packet.h"
#include "link/link_reply.h"
#include "link/link_timer.h"
#include "link/link_transport.h"
#include "link/port_component_transport.h"
#include "link/port_open_result.h"
#include "link/vnx_comm_device.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace aurex {

inline constexpr std::int32_t kFramingRaw = 0;
inline constexpr std::int32_t kFramingFramed = 1;

// The one link to the radio, embedded in the main window. Every wait runs on the thread that owns
// the window, blocking in its event loop between turns, so a quiet line costs nothing and the
// window, its timers and the Stop button keep working.
struct RadioLink
{
    RadioLink();
    ~RadioLink();
    RadioLink(const RadioLink&) = delete;
    RadioLink& operator=(const RadioLink&) = delete;

    bool active = false;
    bool idle = false;
    bool timedOut = false; // the running wait was ended by its time-out
    // The running wait's time-out fell while its reply streamed in (port path), and was put off.
    bool lateTimeOut = false;
    bool stopHeld = false; // see HoldLinkStop
    std::int32_t framing = kFramingRaw;
    LinkTimer* commTimer = nullptr; // the main window's m_CommTimer: the device path's time-out
    std::int32_t timeout = 0;       // the reply time-out, in milliseconds

    // The receive state, carried from one wait to the next as the bytes are on the line.
    ReplyDecoder decoder;
    // The line, chosen when the link opens (OpenDeviceLink, OpenComPortLink); kept when it closes.
    std::unique_ptr<LinkTransport> transport;
    // Makes the device-path device; tests hand in one over a recorded operating system.
    std::function<std::unique_ptr<VNXCommDeviceSerial>()> makeDevice;
    // Told of every message sent, frame heard and wait timed out; not owned. Null: nobody.
    FrameWatch* watch = nullptr;
};

// Opening, closing and settings. Opening gives its outcome and, when it failed, the text to show.
PortOpenResult OpenComPortLink(RadioLink& link, ComPort& port, std::string& message);
PortOpenResult OpenDeviceLink(RadioLink& link, int comNumber, std::int32_t baud, bool flowControl,
                              std::string& message);
// The same on a device path rather than a COM number, for a caller that words the failure itself:
// `message` then holds the system's own reason.
PortOpenResult OpenDevicePathLink(RadioLink& link, const std::string& devicePath, std::int32_t baud,
                                  bool flowControl, std::string& message);
void CloseLink(RadioLink& link);
void SetLinkActive(RadioLink& link, bool active);
bool IsLinkActive(const RadioLink& link);
bool IsLinkTimedOut(const RadioLink& link);
// What the line under the link offers; none before it first opens.
LinkCapabilities LinkCapabilitiesOf(const RadioLink& link);
void SetLinkFraming(RadioLink& link, std::int32_t mode);
void SetLinkBaud(RadioLink& link, std::int32_t baud);
void ChangeBaudRate(RadioLink& link, std::int32_t baud);
bool ProbeInterfaceBox(RadioLink& link);

// Time-outs, in milliseconds.
bool CreateLinkTimeout(RadioLink& link, std::int32_t milliseconds);
void ArmLinkTimeout(RadioLink& link);
void DisarmLinkTimeout(RadioLink& link);
void ReleaseLinkTimeout(RadioLink& link);

// What the main window's timer handlers call: m_CommTimer's expiry (device path) and the port
// component's trigger (port path).
void OnLinkCommTimer(RadioLink& link);
void OnLinkTriggerTimer(RadioLink& link);

// A Stop that may not cut the exchange short (`held`), or its end. The link stays active, but a
// wait no longer goes on for good: one whose time-out a streaming reply put off ends at the line's
// next quiet moment, as that time-out would then have ended it.
void HoldLinkStop(RadioLink& link, bool held);

// A fixed wait of the program's milliseconds that keeps the window alive. It lasts whole ticks, as
// the port component counts them, and ends early when the program quits or the link is stopped:
// after Stop nothing is left to wait for.
void PauseLink(RadioLink& link, std::int32_t milliseconds);

// Sending: true when the message went out whole (false on an unknown framing, a closed or
// stopped port, or data longer than a packet holds).
bool SendPacket(RadioLink& link, const LinkPacket& packet);
bool SendCommand(RadioLink& link, const LinkPacket& packet);
bool SendCommandPair(RadioLink& link, std::uint8_t classByte, std::uint8_t commandByte,
                     const std::uint8_t* data, int dataLength);

// A message no reply confirms has only surely left while the line was still there after it went
// out: lets the queued bytes leave, then watches the line for `milliseconds` (scaled). False when
// the port went away meanwhile (cable or adapter pulled, the other end hung up). Bytes that
// arrive meanwhile are dropped.
bool LineHeldAfterSend(RadioLink& link, std::int32_t milliseconds);

// Receiving. Each wait gives the status the link is in when it ends, with the frame that ended it
// (a frame may end a wait that Stop or the time-out ended in the same turn: the status then says
// so). On an unknown framing nothing is received: Ended at once.
LinkReply ReceiveReply(RadioLink& link, const LinkPacket& expectedCode, int expectedLength,
                       const LinkPacket& alternateCode, int alternateLength);
LinkReply ReceiveAnyPacket(RadioLink& link);
// The same wait as ReceiveAnyPacket, but Completed whenever a frame ended it: the transfer goes by
// the frame it received, not by a Stop that came with it.
LinkReply ReceiveTransferReply(RadioLink& link);
// The status the link is in now: what a wait ending now would give.
LinkStatus GetLinkStatus(const RadioLink& link);

// Open-failure texts.
inline constexpr const char* kPortUnavailableMessage = "The chosen COM port is in use or not available";
inline constexpr const char* kPortErrorMessage = "Unable to start communication: COM port error";

} // namespace aurex

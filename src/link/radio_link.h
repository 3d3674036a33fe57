#pragma once

#include "link/com_port.h"
#include "link/frame_codec.h"
#include "link/link_packet.h"
#include "link/link_timer.h"
#include "link/vnx_comm_device.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace aurex {

// Outcomes of a wait, as GetLinkStatus gives them.
inline constexpr int kLinkCompleted = 1;   // the awaited reply came
inline constexpr int kLinkIdleEnded = 2;   // ended while the port-component path was idle
inline constexpr int kLinkEnded = 4;       // ended otherwise (time-out, Stop, port gone)

inline constexpr std::int32_t kFramingRaw = 0;
inline constexpr std::int32_t kFramingFramed = 1;

// The one link to the radio, embedded in the main window. Every wait runs on the thread that owns
// the window, blocking in its event loop between turns, so a quiet line costs nothing and the
// window, its timers and the Stop button keep working.
struct RadioLink {
    RadioLink();
    ~RadioLink();
    RadioLink(const RadioLink&) = delete;
    RadioLink& operator=(const RadioLink&) = delete;

    bool active = false;
    bool idle = false;
    bool timedOut = false;                // the running wait was ended by its time-out
    bool usePortComponent = false;
    std::int32_t framing = kFramingRaw;
    ComPort* port = nullptr;              // the main window's port component, not owned
    std::int32_t triggerHandle = -1;
    std::unique_ptr<VNXCommDevice> device; // the device path's own device
    LinkTimer* commTimer = nullptr;       // the main window's m_CommTimer
    std::int32_t timeout = 0;             // ms on the device path, ticks on the port path

    // The receive state, carried from one wait to the next as the bytes are on the line.
    ReplyDecoder decoder;
    // Wakes a blocked wait when the device has input; enabled only while a wait blocks.
    std::unique_ptr<QSocketNotifier> deviceNotifier;
    // Makes the device-path device; tests hand in one over a recorded operating system.
    std::function<std::unique_ptr<VNXCommDeviceSerial>()> makeDevice;
};

// Opening, closing and settings.
bool OpenComPortLink(RadioLink& link, ComPort& port, std::string& message);
bool OpenDeviceLink(RadioLink& link, int comNumber, std::int32_t baud, bool flowControl, std::string& message);
void CloseLink(RadioLink& link);
void SetLinkActive(RadioLink& link, bool active);
bool IsLinkActive(const RadioLink& link);
bool IsLinkTimedOut(const RadioLink& link);
bool UsesPortComponent(const RadioLink& link);
void SetLinkFraming(RadioLink& link, std::int32_t mode);
void SetLinkBaud(RadioLink& link, std::int32_t baud);
void ChangeBaudRate(RadioLink& link, std::int32_t baud);
std::uint8_t BaudToDeviceCode(std::int32_t baud);
bool ProbeInterfaceBox(RadioLink& link);

// Time-outs.
bool CreateLinkTimeout(RadioLink& link, std::int32_t milliseconds);
void ArmLinkTimeout(RadioLink& link);
void DisarmLinkTimeout(RadioLink& link);
void ReleaseLinkTimeout(RadioLink& link);

// What the main window's timer handlers call: m_CommTimer's expiry (device path) and the port
// component's trigger (port path).
void OnLinkCommTimer(RadioLink& link);
void OnLinkTriggerTimer(RadioLink& link);

// Sending.
int SendPacket(RadioLink& link, const LinkPacket& packet);
int SendCommand(RadioLink& link, const LinkPacket& packet);
int SendCommandPair(RadioLink& link, std::uint8_t classByte, std::uint8_t commandByte, const std::uint8_t* data,
                    int dataLength);

// A message no reply confirms has only surely left while the line was still there after it went
// out: lets the queued bytes leave, then watches the line for `milliseconds` (scaled). False when
// the port went away meanwhile (cable or adapter pulled, the other end hung up). Bytes that
// arrive meanwhile are dropped.
bool LineHeldAfterSend(RadioLink& link, std::int32_t milliseconds);

// Receiving. The packets are meaningful only when GetLinkStatus then gives 1.
LinkPacket ReceiveReply(RadioLink& link, const LinkPacket& expectedCode, int expectedLength,
                        const LinkPacket& alternateCode, int alternateLength, bool& alternate);
LinkPacket ReceiveAnyPacket(RadioLink& link);
int ReceiveTransferReply(RadioLink& link, LinkPacket& packet);
int GetLinkStatus(const RadioLink& link);

// Open-failure texts.
inline constexpr const char* kPortUnavailableMessage = "The chosen COM port is in use or not available";
inline constexpr const char* kPortErrorMessage = "Unable to start communication: COM port error";

} // namespace aurex

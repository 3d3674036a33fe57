#include "link/port_component_transport.h"

#include "link/clock.h"
#include "link/event_turns.h"
#include "link/link_timeouts.h"

#include <QTimer>

#include <algorithm>
#include <chrono>

namespace aurex {

bool PortComponentTransport::TakeByte(std::uint8_t& byte)
{
    byte = port_.GetChar();
    return true;
}

void PortComponentTransport::WaitForInput()
{
    BlockForEvents();
}

// Waits (processing events) until the transmit queue has room; false when the port closes or the
// link is stopped meanwhile, so a stuck line cannot hold the program.
bool PortComponentTransport::WaitForSendRoom(int count, const bool& active)
{
    while (port_.Open() && port_.GetOutBuffFree() < count) {
        if (!active) {
            return false;
        }
        BlockForEvents();
    }
    if (port_.RS485Mode()) {
        // CTS changes raise no event here: look again every millisecond while it is held.
        while (port_.Open() && port_.GetCTS()) {
            if (!active) {
                return false;
            }
            QTimer poll;
            poll.setSingleShot(true);
            poll.start(link_timeouts::kCtsPollIntervalMs);
            BlockForEvents();
        }
    }
    return port_.Open();
}

int PortComponentTransport::Send(std::span<const std::uint8_t> bytes, const bool& active)
{
    if (bytes.size() > static_cast<std::size_t>(ComPort::kQueueSize)) {
        return -1;
    }
    const int count = static_cast<int>(bytes.size());
    if (!WaitForSendRoom(count, active)) {
        return -1; // the port is gone or the run was stopped: nothing can go out
    }
    // The port queues the whole block or raises.
    return port_.PutBlock(bytes.data(), static_cast<std::uint16_t>(count)) == 0 ? 1 : -1;
}

void PortComponentTransport::DrainTransmitQueue()
{
    if (!port_.Open()) {
        return;
    }
    const std::int64_t lineMs =
        static_cast<std::int64_t>(port_.GetOutBuffUsed()) * 10 * 1000 / std::max(port_.Baud(), 1) +
        link_timeouts::kDrainMarginMs;
    const Deadline deadline{std::chrono::milliseconds(lineMs)};
    while (port_.Open() && port_.GetOutBuffUsed() > 0 && !deadline.Expired()) {
        QTimer bound;
        bound.setSingleShot(true);
        bound.start(std::max(1, deadline.RemainingMilliseconds()));
        BlockForEvents();
    }
}

bool PortComponentTransport::CreateTimeout()
{
    ReleaseTimeout(); // a second create must not strand the first trigger
    trigger_ = port_.AddTimerTrigger();
    return trigger_ != 0;
}

void PortComponentTransport::ArmTimeout(std::int32_t milliseconds)
{
    if (TriggerValid()) {
        port_.SetTimerTrigger(static_cast<std::uint16_t>(trigger_), Clock::PortTicks(milliseconds), true);
    }
}

void PortComponentTransport::DisarmTimeout()
{
    if (TriggerValid()) {
        port_.SetTimerTrigger(static_cast<std::uint16_t>(trigger_), 0, false);
    }
}

void PortComponentTransport::ReleaseTimeout()
{
    if (TriggerValid()) {
        port_.RemoveTrigger(static_cast<std::uint16_t>(trigger_));
    }
    trigger_ = kNoTrigger;
}

void PortComponentTransport::Close()
{
    DrainTransmitQueue();
    // The trigger belongs to the link: give it back even when the port vanished under us.
    DisarmTimeout();
    ReleaseTimeout();
    if (port_.Open()) {
        port_.FlushInBuffer();
        port_.FlushOutBuffer();
        port_.SetOpen(false);
    }
}

} // namespace aurex

#pragma once

// Which line a link opened on, and the parts of it that tests look at.

#include "link/radio_link.h"

namespace aurex::test {

inline bool OnPortComponent(const RadioLink& link)
{
    return dynamic_cast<const PortComponentTransport*>(link.transport.get()) != nullptr;
}

inline PortComponentTransport* PortTransportOf(RadioLink& link)
{
    return dynamic_cast<PortComponentTransport*>(link.transport.get());
}

// The device of the device path; null when the link is not on it or the device is closed.
inline VNXCommDeviceSerial* DeviceOf(RadioLink& link)
{
    auto* transport = dynamic_cast<DeviceTransport*>(link.transport.get());
    return transport != nullptr ? transport->Device() : nullptr;
}

// The port component's trigger behind the reply time-out; -1 when there is none.
inline std::int32_t TriggerOf(RadioLink& link)
{
    const PortComponentTransport* transport = PortTransportOf(link);
    return transport != nullptr ? transport->TriggerHandle() : PortComponentTransport::kNoTrigger;
}

} // namespace aurex::test

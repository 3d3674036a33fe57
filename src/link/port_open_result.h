#pragma once

#include <cstdint>

namespace aurex {

// How opening a serial port ended, whoever opened it: the operating system, the device classes,
// the port component, the radio link, the window's port probe.
enum class PortOpenResult : std::uint8_t {
    Opened,
    NotPresent,       // no device behind the COM number
    InUse,            // another program (or another link of ours) holds it
    PermissionDenied, // this user may not open it
    Failed,           // any other reason
};

} // namespace aurex

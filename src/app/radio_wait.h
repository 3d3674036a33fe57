#pragma once

// Waiting for a radio on a port: before a run starts (a script that waits for the technician to
// connect the radio), between the radios of a production line, and after a boot code refresh
// when nobody is at the terminal to press OK. A look opens the port, probes the interface box
// and asks the boot version, as a run does; between looks the program sleeps in its event loop.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "link/radio_link.h"

namespace aurex {

enum class RadioPresence {
    NoPort,   // the device cannot be opened (an adapter unplugged with the radio's cable)
    Silent,   // the port opens, but nothing answers the boot version query
    Answered, // a radio answered (a declined query counts: it is there)
};

struct RadioLook
{
    RadioPresence presence = RadioPresence::NoPort;
    std::array<std::uint8_t, 2> bootVersion{};
    std::string detail;    // why the port did not open
    std::int32_t baud = 0; // the speed the radio answered at
};

// One look at the device at 19200 baud and, when nothing answered there, at 115200, where an
// interrupted run leaves a radio (as the connection check looks); the port is closed again on
// every path.
RadioLook LookForRadio(const std::string& devicePath);
// One look over a link that is open already (a run under way), at the speed it is set to.
RadioLook LookOnLink(RadioLink& link);

enum class RadioWanted { Present, Gone };
enum class WaitEnd { Found, TimedOut, Stopped };

struct RadioWait
{
    std::function<RadioLook()> look;
    RadioWanted wanted = RadioWanted::Present;
    // Empty: no limit. The user's own seconds, so AUREX_TIME_SCALE leaves it alone.
    std::optional<std::chrono::milliseconds> limit;
    // Looked at between looks: true ends the wait.
    std::function<bool()> stopped;
    // Called after every look (a console that tells what it saw).
    std::function<void(const RadioLook&)> seen;
};

// Looks until the radio is as wanted. A radio counts as gone only after two looks in a row
// found it so: one unanswered query is not a radio taken away.
WaitEnd WaitForRadio(const RadioWait& wait, RadioLook& last);

// The pause between looks, before AUREX_TIME_SCALE.
inline constexpr int kRadioLookIntervalMs = 1000;
// How long a console nobody answers waits for a radio after a boot code refresh, unless
// --wait-for-radio says otherwise.
inline constexpr int kRadioReturnDefaultSeconds = 120;

// "boot 6.0", or "declined to tell its boot version".
std::string BootVersionText(const std::array<std::uint8_t, 2>& version);

} // namespace aurex

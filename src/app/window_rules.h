#pragma once

// Small rules of the main window that need no window: the radio type code of an image set, the
// name and release texts made from the program's file name, and how the port list is drawn.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/port_open_result.h"

namespace aurex {

// The updater's own radio type code from the image set's radio model, series and kind flag.
std::uint8_t RadioTypeCodeFor(std::uint8_t radioModel, std::int8_t series, std::uint8_t kindFlag);

// The connected radio's type code, from the image set's radio model and the boot load version
// (major, minor) that the radio reports. Differs from RadioTypeCodeFor for portable radios and
// for boot load major 7.
std::uint8_t RadioTypeCodeOfRadio(std::uint8_t radioModel, std::uint8_t major, std::uint8_t minor);

// The program file's name without its folder, cut at its first ".".
std::string ProgramBaseName(std::string_view programPath);

// The release text shown for a name label caption ("N/A" when it names no release).
std::string ReleaseTextFor(std::string_view nameCaption);

inline constexpr int kPortCount = 64;
inline constexpr int kPortAvailable = 2;
inline constexpr int kPortInUseHere = 1;
inline constexpr int kPortAbsent = 0;

// Colours of one port list item, as roles that a rendering maps to its palette.
enum class ItemText { Normal, Highlighted, Grey };
enum class ItemBackground { Normal, Highlight, White };
struct PortItemLook
{
    ItemText text;
    ItemBackground background;
    bool operator==(const PortItemLook&) const = default;
};

PortItemLook PortItemLookFor(int availability, bool listEnabled, bool selected);

// Why the last probe found a port unavailable, in a few words for its item in the list.
std::string PortUnavailableReason(PortOpenResult found);

// The list position to select after the user picked `index`: index itself when that port is
// available, else the first available one, else index unchanged.
int PortSelectionAfterChange(const std::array<int, kPortCount>& availability, int index);

} // namespace aurex

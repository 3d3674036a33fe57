#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aurex::sim {

// The codeplug a radio holds when no file is given: a valid 5.8 image from the codeplug image
// builder, in line order (each 16-bit word high byte first).
std::vector<std::uint8_t> DefaultCodeplug();

// A codeplug file in line order: a whole number of words, 2 to 32768 bytes. Empty with a
// message in error when it cannot be used.
std::vector<std::uint8_t> LoadCodeplugFile(const std::string& path, std::string& error);

} // namespace aurex::sim

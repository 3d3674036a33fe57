#include "codeplug_source.h"

#include <fstream>

#include "codeplug-builder/codeplug_builder.h"
#include "simulated_radio.h"

namespace aurex::sim {

std::vector<std::uint8_t> DefaultCodeplug()
{
    CodeplugOptions options;
    options.formatIndex = 3; // 5.8
    const BuiltCodeplug built = BuildCodeplug(options);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::size_t{built.imageLength} * 2);
    for (std::uint32_t i = 0; i < built.imageLength && i < built.buffer.size(); ++i) {
        bytes.push_back(static_cast<std::uint8_t>(built.buffer[i] >> 8));
        bytes.push_back(static_cast<std::uint8_t>(built.buffer[i]));
    }
    return bytes;
}

std::vector<std::uint8_t> LoadCodeplugFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read codeplug file " + path;
        return {};
    }
    std::vector<std::uint8_t> bytes(kCodeplugBytes + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kCodeplugBytes) {
        error = "codeplug file " + path + " is larger than the radio's 32768 bytes";
        return {};
    }
    if (bytes.empty() || bytes.size() % 2 != 0) {
        error = "codeplug file " + path + " does not hold a whole number of 16-bit words";
        return {};
    }
    return bytes;
}

} // namespace aurex::sim

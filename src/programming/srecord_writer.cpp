#include "programming/srecord_writer.h"

#include <array>

#include "text/hex.h"

namespace aurex {

namespace {

constexpr std::size_t kMaxCount = 255;

} // namespace

std::size_t SRecordAddressBytes(char type)
{
    switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
        return 2;
    case '2':
    case '6':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return 0;
    }
}

bool AppendSRecord(std::string& out, char type, std::uint32_t address, std::span<const std::uint8_t> data,
                   std::string_view lineEnd)
{
    const std::size_t addressBytes = SRecordAddressBytes(type);
    if (addressBytes == 0 || data.size() > kMaxCount - addressBytes - 1) {
        return false;
    }
    const auto count = static_cast<std::uint8_t>(addressBytes + data.size() + 1);
    // The line is built in a local buffer and appended once: the image sets run this for
    // every line of every set in every build.
    std::array<char, 4 + 2 * kMaxCount> line;
    char* p = line.data();
    *p++ = 'S';
    *p++ = type;
    p = PutHexByte(p, count);
    unsigned sum = count;
    for (std::size_t i = addressBytes; i-- > 0;) {
        const auto b = static_cast<std::uint8_t>(address >> (8 * i));
        sum += b;
        p = PutHexByte(p, b);
    }
    for (const std::uint8_t b : data) {
        sum += b;
        p = PutHexByte(p, b);
    }
    p = PutHexByte(p, static_cast<std::uint8_t>(~sum));
    out.append(line.data(), static_cast<std::size_t>(p - line.data()));
    out.append(lineEnd);
    return true;
}

bool AppendSRecord(std::string& out, char type, std::uint32_t address, std::string_view data,
                   std::string_view lineEnd)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    return AppendSRecord(out, type, address, std::span<const std::uint8_t>(bytes, data.size()), lineEnd);
}

std::string SRecordLine(char type, std::uint32_t address, std::span<const std::uint8_t> data,
                        std::string_view lineEnd)
{
    std::string line;
    AppendSRecord(line, type, address, data, lineEnd);
    return line;
}

std::string SRecordLine(char type, std::uint32_t address, std::string_view data, std::string_view lineEnd)
{
    std::string line;
    AppendSRecord(line, type, address, data, lineEnd);
    return line;
}

} // namespace aurex

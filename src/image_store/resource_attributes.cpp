#include "image_store/resource_attributes.h"

#include <algorithm>

#include "image_store/embedded_blobs.h"

namespace aurex {

namespace {

std::uint32_t ReadU32(const std::array<unsigned char, ResourceAttributes::kSize>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void WriteU32(std::array<unsigned char, ResourceAttributes::kSize>& b, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

constexpr std::size_t kTessaroAt = 0x28;
constexpr std::size_t kBrevioAt = 0x32;

} // namespace

ResourceAttributes ResourceAttributes::Decode(std::span<const unsigned char> bytes)
{
    std::array<unsigned char, kSize> b{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kSize), b.begin());
    ResourceAttributes r;
    r.loader_pieces = ReadU32(b, 0x00);
    r.code_pieces = ReadU32(b, 0x04);
    r.boot_loader_pieces = ReadU32(b, 0x08);
    r.boot_code_pieces = ReadU32(b, 0x0C);
    r.second_boot_loader_pieces = ReadU32(b, 0x10);
    r.second_boot_code_pieces = ReadU32(b, 0x14);
    r.boot_major = ReadU32(b, 0x18);
    r.boot_minor = ReadU32(b, 0x1C);
    r.second_boot_major = ReadU32(b, 0x20);
    r.second_boot_minor = ReadU32(b, 0x24);
    std::copy_n(b.begin() + kTessaroAt, kVersionTextSize,
                reinterpret_cast<unsigned char*>(r.tessaro_version.data()));
    std::copy_n(b.begin() + kBrevioAt, kVersionTextSize,
                reinterpret_cast<unsigned char*>(r.brevio_version.data()));
    r.radio_model = b[0x3C];
    r.kind_flag = b[0x3D];
    r.series = static_cast<std::int8_t>(b[0x3E]);
    r.upgrade_type = b[0x3F];
    return r;
}

std::array<unsigned char, ResourceAttributes::kSize> ResourceAttributes::Encode() const
{
    std::array<unsigned char, kSize> b{};
    WriteU32(b, 0x00, loader_pieces);
    WriteU32(b, 0x04, code_pieces);
    WriteU32(b, 0x08, boot_loader_pieces);
    WriteU32(b, 0x0C, boot_code_pieces);
    WriteU32(b, 0x10, second_boot_loader_pieces);
    WriteU32(b, 0x14, second_boot_code_pieces);
    WriteU32(b, 0x18, boot_major);
    WriteU32(b, 0x1C, boot_minor);
    WriteU32(b, 0x20, second_boot_major);
    WriteU32(b, 0x24, second_boot_minor);
    std::copy_n(reinterpret_cast<const unsigned char*>(tessaro_version.data()), kVersionTextSize,
                b.begin() + kTessaroAt);
    std::copy_n(reinterpret_cast<const unsigned char*>(brevio_version.data()), kVersionTextSize,
                b.begin() + kBrevioAt);
    b[0x3C] = radio_model;
    b[0x3D] = kind_flag;
    b[0x3E] = static_cast<unsigned char>(series);
    b[0x3F] = upgrade_type;
    return b;
}

bool LoadResourceAttributes(const EmbeddedBlobs& blobs, ResourceAttributes& record)
{
    record = ResourceAttributes{};
    const auto blob = blobs.Find(kResourceAttributesBlobName);
    if (!blob) {
        return false;
    }
    record = ResourceAttributes::Decode(*blob);
    return blob->size() >= ResourceAttributes::kSize;
}

std::string VersionText(const std::array<char, ResourceAttributes::kVersionTextSize>& field)
{
    const auto end = std::find(field.begin(), field.end(), '\0');
    return std::string(field.begin(), end);
}

AttributeLabelTexts LabelTextsFor(const ResourceAttributes& record)
{
    return AttributeLabelTexts{
        .tessaro_version = VersionText(record.tessaro_version),
        .brevio_version = VersionText(record.brevio_version),
        .radio_model = RadioModelName(record.radio_model),
        .series = std::to_string(static_cast<int>(record.series)),
        .upgrade_type = UpgradeTypeName(record.upgrade_type),
    };
}

std::string RadioModelName(unsigned radio_model)
{
    switch (radio_model) {
    case 0:
        return "8400";
    case 1:
        return "8600";
    default:
        return "Unknown";
    }
}

std::string UpgradeTypeName(unsigned upgrade_type)
{
    switch (upgrade_type) {
    case 0:
        return "Application";
    case 1:
        return "Boot";
    case 2:
        return "DSP";
    case 3:
        return "Application_Boot";
    default:
        return "Unknown";
    }
}

} // namespace aurex

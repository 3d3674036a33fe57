#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace aurex {

class EmbeddedBlobs;

// Upgrade types of an image set, as stored in the record's last byte.
enum class UpgradeType : std::uint8_t { Application = 0, Boot = 1, Dsp = 2, ApplicationBoot = 3 };

// The 64-byte little-endian record that describes the carried image set.
struct ResourceAttributes
{
    static constexpr std::size_t kSize = 64;
    static constexpr std::size_t kVersionTextSize = 10;

    std::uint32_t loader_pieces = 0;                      // 0x00, application set
    std::uint32_t code_pieces = 0;                        // 0x04
    std::uint32_t boot_loader_pieces = 0;                 // 0x08, boot set
    std::uint32_t boot_code_pieces = 0;                   // 0x0C
    std::uint32_t second_boot_loader_pieces = 0;          // 0x10, second boot set
    std::uint32_t second_boot_code_pieces = 0;            // 0x14
    std::uint32_t boot_major = 0;                         // 0x18
    std::uint32_t boot_minor = 0;                         // 0x1C
    std::uint32_t second_boot_major = 0;                  // 0x20, 0 = no second boot set
    std::uint32_t second_boot_minor = 0;                  // 0x24
    std::array<char, kVersionTextSize> tessaro_version{}; // 0x28, NUL-ended when shorter
    std::array<char, kVersionTextSize> brevio_version{};  // 0x32
    std::uint8_t radio_model = 0;                         // 0x3C: 0 = 8400 family, 1 = 8600 family
    std::uint8_t kind_flag = 0;                           // 0x3D
    std::int8_t series = 0;                               // 0x3E
    std::uint8_t upgrade_type = 0;                        // 0x3F, see UpgradeType

    // The stored byte as its type; a byte that names none compares equal to no type.
    UpgradeType Upgrade() const { return static_cast<UpgradeType>(upgrade_type); }

    // Fields that the given bytes do not reach stay zero.
    static ResourceAttributes Decode(std::span<const unsigned char> bytes);
    std::array<unsigned char, kSize> Encode() const;

    friend bool operator==(const ResourceAttributes&, const ResourceAttributes&) = default;
};

// Reads the record from the blob "ResourceAttributes_". True only when all 64 bytes were
// there; otherwise `record` holds what could be read and zeros, and the caller keeps its
// labels as they are. Never reports anything itself.
bool LoadResourceAttributes(const EmbeddedBlobs& blobs, ResourceAttributes& record);

// Texts of the five labels that the record fills. Version texts are the raw bytes up to the
// first NUL (all ten when there is none); the window decides how to show bytes above 0x7F.
struct AttributeLabelTexts
{
    std::string tessaro_version;
    std::string brevio_version;
    std::string radio_model;
    std::string series;
    std::string upgrade_type;
};
AttributeLabelTexts LabelTextsFor(const ResourceAttributes& record);

std::string VersionText(const std::array<char, ResourceAttributes::kVersionTextSize>& field);

// "8400" for model 0, "8600" for model 1; "Unknown" for values no radio has.
std::string RadioModelName(unsigned radio_model);
// "Application", "Boot", "DSP", "Application_Boot"; "Unknown" for other values.
std::string UpgradeTypeName(unsigned upgrade_type);

} // namespace aurex

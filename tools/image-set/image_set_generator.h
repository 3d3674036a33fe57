#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "image_store/resource_attributes.h"

namespace aurex::imageset {

// Builds sample image sets: deterministic from a seed, S-record images cut into pieces at line
// ends, DSP object files cut into binary pieces, and the ResourceAttributes record whose piece
// counts are taken from what is generated.

struct SRecordImage
{
    char record_type = '3'; // '2' (24-bit addresses) or '3' (32-bit addresses)
    std::uint32_t start_address = 0;
    std::uint32_t data_lines = 0;      // data records, 16 bytes each; the S9 record follows
    std::uint32_t lines_per_piece = 0; // lines of every piece but the last; 0 for one piece
};

struct DspObjectImage
{
    std::uint32_t piece_bytes = 16384;
};

struct ImageSpec
{
    std::string blob_base;  // "Loader" or "Code"
    std::string set_suffix; // "", "_Boot" or "_BootTwo"
    std::variant<SRecordImage, DspObjectImage> content;
};

struct ImageSetRecipe
{
    ResourceAttributes record; // piece counts are filled in by GenerateImageSet
    std::vector<ImageSpec> images;
    std::uint64_t seed = 1;
};

// carried, application, boot, dsp, second-boot, portable.
std::optional<ImageSetRecipe> Preset(std::string_view name);
std::vector<std::string_view> PresetNames();

// Sets a version text field: at most ten characters, NUL-ended when shorter.
bool SetVersionText(std::array<char, ResourceAttributes::kVersionTextSize>& field, std::string_view text);

// Calls `emit` once per blob with its name (in capitals, as the maker's program files hold
// them) and its bytes: the record first, then the pieces. Returns the record as generated.
using BlobEmitter = std::function<void(const std::string& name, const std::string& bytes)>;
ResourceAttributes GenerateImageSet(const ImageSetRecipe& recipe, const BlobEmitter& emit);

// Source that binds blob files into an executable as read-only linked data and defines
// aurex::CarriedImageSet() over them. `set_id` becomes part of symbol names.
struct BoundBlob
{
    std::string name;
    std::string path; // absolute
    std::uint64_t size = 0;
};
std::optional<std::string> BindingSource(std::string_view set_id, const std::vector<BoundBlob>& blobs);

} // namespace aurex::imageset

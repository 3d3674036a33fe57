#include "image_store/embedded_blobs.h"

#include <algorithm>
#include <cstdint>

namespace aurex {

namespace {
constexpr char FoldCase(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
} // namespace

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

std::optional<std::span<const unsigned char>> LinkedBlobTable::Find(std::string_view name) const
{
    for (const EmbeddedBlob& blob : blobs_) {
        if (NamesEqualIgnoringCase(blob.name, name)) {
            return std::span<const unsigned char>(blob.data, blob.size);
        }
    }
    return std::nullopt;
}

std::string PieceBlobName(std::string_view base, std::string_view set_suffix, std::uint32_t piece)
{
    std::string name;
    name.reserve(base.size() + set_suffix.size() + 12);
    name.append(base).append(set_suffix).append("_").append(std::to_string(piece));
    return name;
}

} // namespace aurex

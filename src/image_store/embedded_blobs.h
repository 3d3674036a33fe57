#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace aurex {

// The named read-only blobs bound into the program file. Names compare without regard to
// ASCII letter case, as the maker's resource lookup did. A blob is handed out as a view of
// bytes that stay where the program file put them: nothing is copied.
class EmbeddedBlobs
{
  public:
    virtual ~EmbeddedBlobs() = default;
    virtual std::optional<std::span<const unsigned char>> Find(std::string_view name) const = 0;
};

struct EmbeddedBlob
{
    const char* name;
    const unsigned char* data;
    std::size_t size;
};

// A fixed table of blobs, as the build generates it for each image set.
class LinkedBlobTable final : public EmbeddedBlobs
{
  public:
    constexpr explicit LinkedBlobTable(std::span<const EmbeddedBlob> blobs) : blobs_(blobs) {}
    std::optional<std::span<const unsigned char>> Find(std::string_view name) const override;
    std::span<const EmbeddedBlob> Blobs() const { return blobs_; }

  private:
    std::span<const EmbeddedBlob> blobs_;
};

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);

// Blob names of the image store.
inline constexpr std::string_view kResourceAttributesBlobName = "ResourceAttributes_";
// "Loader" or "Code", the set suffix ("", "_Boot", "_BootTwo"), "_" and the piece number.
std::string PieceBlobName(std::string_view base, std::string_view set_suffix, std::uint32_t piece);

// The image set bound into this executable. Each executable that carries a set gets the
// definition from the source that the build generates for that set (see AurexImageSet.cmake);
// an executable without one does not link.
const EmbeddedBlobs& CarriedImageSet();

} // namespace aurex

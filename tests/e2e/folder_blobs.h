// A generated image set read from its folder, as the program file would hold it: the in-process
// end-to-end tests hand it to the window model in place of the blobs bound into an updater.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "e2e_support.h"
#include "image_store/embedded_blobs.h"

namespace aurex::e2e {

class FolderBlobs final : public EmbeddedBlobs
{
  public:
    explicit FolderBlobs(const fs::path& folder)
    {
        for (const std::string& name : Entries(folder)) {
            blobs_[name] = ReadFile(folder / name);
        }
    }
    std::optional<std::span<const unsigned char>> Find(std::string_view name) const override
    {
        for (const auto& [key, bytes] : blobs_) {
            if (NamesEqualIgnoringCase(key, name)) {
                return std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            }
        }
        return std::nullopt;
    }

  private:
    std::map<std::string, std::string> blobs_;
};

} // namespace aurex::e2e

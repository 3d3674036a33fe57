#pragma once

// A .tar.gz written as it is built: ustar entries of regular files, gzip-compressed through zlib.
// Nothing is kept whole in memory; a file is read and compressed in pieces.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "record/target_file.h"

namespace aurex {

class TarGzWriter
{
  public:
    TarGzWriter();
    ~TarGzWriter(); // an unfinished archive is closed and removed
    TarGzWriter(const TarGzWriter&) = delete;
    TarGzWriter& operator=(const TarGzWriter&) = delete;

    // Creates `path` (0600) under a temporary name beside it; Finish puts it under `path`, over
    // an existing regular file only with ExistingFile::Replace and never over anything else.
    // False with the reason in Error().
    bool Open(const std::string& path, ExistingFile existing = ExistingFile::Keep);
    // An entry named `name` (relative, at most 100 bytes, no "..") holding `bytes`, mode 0600,
    // time `mtime` (seconds since 1970).
    bool AddBytes(const std::string& name, std::span<const std::uint8_t> bytes, std::int64_t mtime);
    bool AddText(const std::string& name, const std::string& text, std::int64_t mtime);
    // An entry holding the regular file at `sourcePath`, read in pieces; a file that is not
    // regular, or larger than `maxBytes`, is refused (the archive stays sound).
    bool AddFile(const std::string& name, const std::string& sourcePath, std::int64_t mtime,
                 std::uint64_t maxBytes = 64ull << 20);
    // Writes the end blocks, ends the gzip stream, syncs and renames into place.
    bool Finish();
    const std::string& Error() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace aurex

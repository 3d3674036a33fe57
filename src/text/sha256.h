// SHA-256 of bytes, small and self-contained: the library stays free of Qt and of crypto
// libraries, and a backup's digest is worked out once per backup.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace aurex {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256
{
  public:
    Sha256();
    void Update(std::span<const std::uint8_t> bytes);
    // The digest of everything given so far; the object then starts over.
    Sha256Digest Finish();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
};

Sha256Digest Sha256Of(std::span<const std::uint8_t> bytes);
// The digest as 64 lower-case hex digits, the way digests are usually written down and compared.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
std::string DigestHex(const Sha256Digest& digest);

} // namespace aurex

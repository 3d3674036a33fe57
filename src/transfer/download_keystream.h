#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "transfer/des.h"

namespace aurex {

// The fixed key of the codeplug download scrambling.
inline constexpr DesBlock kDownloadScrambleKey = {'K', '#', 'K', '#', 'K', '#', 'K', '#'};

// Bytes in one codeplug data block.
inline constexpr std::size_t kScrambleBlockSize = 128;

// DES in 8-bit output-feedback mode. Each download holds its own keystream, so two transfers
// (or the program and a simulated radio in one process) never disturb each other.
class DownloadKeystream
{
  public:
    // Fixed key, all-zero register; a download starts it again with the radio's identity.
    DownloadKeystream();
    // Fixed key, register loaded with the radio's identity.
    explicit DownloadKeystream(const DesBlock& identity);

    // Builds the key schedule of key and loads the register.
    void KeystreamInit(const DesBlock& key, const DesBlock& startRegister);
    // Encrypts the register, feeds the first byte of the result back into it and returns that byte.
    std::uint8_t KeystreamByte();

  private:
    DesRoundKeys m_roundKeys{};
    DesBlock m_register{};
};

// Scrambles one plain block in place for the radio; draws two keystream bytes.
void ScrambleBlock(DownloadKeystream& keystream, std::span<std::uint8_t, kScrambleBlockSize> block);

// Undoes ScrambleBlock in place, given a keystream at the same point (the radio's side).
void UnscrambleBlock(DownloadKeystream& keystream, std::span<std::uint8_t, kScrambleBlockSize> block);

} // namespace aurex

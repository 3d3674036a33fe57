#pragma once

#include <array>
#include <cstdint>

namespace aurex {

// One 64-bit DES block (or key) as bytes, most significant bit of byte 0 first.
using DesBlock = std::array<std::uint8_t, 8>;

// The 16 round keys of the DES key schedule, 48 bits each, in round order 1 to 16.
using DesRoundKeys = std::array<std::uint64_t, 16>;

// DES key schedule (FIPS 46-3). Parity bits of the key are ignored, as the cipher does.
DesRoundKeys DesKeySchedule(const DesBlock& key);

// DES encryption of one block (FIPS 46-3).
DesBlock DesEncrypt(const DesRoundKeys& roundKeys, const DesBlock& plain);

} // namespace aurex

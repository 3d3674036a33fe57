#include "transfer/download_keystream.h"

#include <algorithm>

namespace aurex {

DownloadKeystream::DownloadKeystream() : DownloadKeystream(DesBlock{}) {}

DownloadKeystream::DownloadKeystream(const DesBlock& identity)
{
    KeystreamInit(kDownloadScrambleKey, identity);
}

void DownloadKeystream::KeystreamInit(const DesBlock& key, const DesBlock& startRegister)
{
    m_roundKeys = DesKeySchedule(key);
    m_register = startRegister;
}

std::uint8_t DownloadKeystream::KeystreamByte()
{
    const std::uint8_t k = DesEncrypt(m_roundKeys, m_register)[0];
    std::shift_left(m_register.begin(), m_register.end(), 1);
    m_register.back() = k;
    return k;
}

// Every byte pair swaps places; the first pair is masked with two keystream bytes and every
// later pair with the scrambled first pair.
void ScrambleBlock(DownloadKeystream& keystream, std::span<std::uint8_t, kScrambleBlockSize> block)
{
    const auto s0 = static_cast<std::uint8_t>(block[1] ^ keystream.KeystreamByte());
    const auto s1 = static_cast<std::uint8_t>(block[0] ^ keystream.KeystreamByte());
    for (std::size_t i = 2; i < block.size(); i += 2) {
        const std::uint8_t even = block[i];
        block[i] = static_cast<std::uint8_t>(block[i + 1] ^ s0);
        block[i + 1] = static_cast<std::uint8_t>(even ^ s1);
    }
    block[0] = s0;
    block[1] = s1;
}

void UnscrambleBlock(DownloadKeystream& keystream, std::span<std::uint8_t, kScrambleBlockSize> block)
{
    const std::uint8_t s0 = block[0];
    const std::uint8_t s1 = block[1];
    for (std::size_t i = 2; i < block.size(); i += 2) {
        const std::uint8_t even = block[i];
        block[i] = static_cast<std::uint8_t>(block[i + 1] ^ s1);
        block[i + 1] = static_cast<std::uint8_t>(even ^ s0);
    }
    block[1] = static_cast<std::uint8_t>(s0 ^ keystream.KeystreamByte());
    block[0] = static_cast<std::uint8_t>(s1 ^ keystream.KeystreamByte());
}

} // namespace aurex

#pragma once

// OpenSSL's DES as a reference for our own. Its low-level DES calls are deprecated since 3.0,
// but they are the plain cipher we want to compare with, so the warning is silenced here only.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "transfer/des.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/des.h>

namespace aurex::test {

inline DesBlock OpenSslEncrypt(const DesBlock& key, const DesBlock& plain)
{
    DES_cblock keyBlock;
    std::copy(key.begin(), key.end(), keyBlock);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);
    DES_cblock in;
    DES_cblock out;
    std::copy(plain.begin(), plain.end(), in);
    DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
    DesBlock result{};
    std::copy(std::begin(out), std::end(out), result.begin());
    return result;
}

// The first count bytes of DES 8-bit output feedback: the encryption of zeros.
inline std::vector<std::uint8_t> OpenSslOfb8Keystream(const DesBlock& key, const DesBlock& iv,
                                                      std::size_t count)
{
    DES_cblock keyBlock;
    std::copy(key.begin(), key.end(), keyBlock);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);
    DES_cblock ivec;
    std::copy(iv.begin(), iv.end(), ivec);
    const std::vector<std::uint8_t> zeros(count, 0);
    std::vector<std::uint8_t> stream(count, 0);
    DES_ofb_encrypt(zeros.data(), stream.data(), 8, static_cast<long>(count), &schedule, &ivec);
    return stream;
}

} // namespace aurex::test

#pragma GCC diagnostic pop

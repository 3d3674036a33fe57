#pragma once

#include <cstdint>

namespace aurex {

// Radios that cannot tell their boot load version reliably: neither the target check nor the
// boot version check asks them.
inline bool SkipsBootCheck(std::uint8_t radioTypeCode)
{
    return radioTypeCode == 1 || radioTypeCode == 4 || radioTypeCode == 5;
}

} // namespace aurex

#pragma once

// The two queries the codeplug step asks of a radio that has restarted on its new code: who it is
// (the identity that scrambles a codeplug download) and which codeplug format it expects. Unlike
// the version queries these take any reply and judge it, since a restarting radio may first send
// a notice of its own.

#include <array>
#include <cstdint>
#include <optional>

#include "programming/programming_link.h"

namespace aurex {

using RadioIdentity = std::array<std::uint8_t, 8>;

struct CodeplugFormat
{
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
};

// 04 04, answered by 04 05 with 8 bytes; one 07 25 notice (the radio has restarted) may come
// first. Nothing when the radio did not answer so. The link's time-out must exist.
std::optional<RadioIdentity> QueryRadioIdentity(ProgrammingLink& link);

// 04 1C, answered by 04 1D with the major and minor of the format. Nothing without that answer.
std::optional<CodeplugFormat> QueryCodeplugFormat(ProgrammingLink& link);

} // namespace aurex

// UTF-8 checked the strict way (no overlong forms, no surrogates, nothing past U+10FFFF), for the
// JSON reader and writer: text read from a file is checked, text written to one is kept valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace aurex {

// The length (1 to 4) of the well-formed sequence that starts at `at`, or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// Appends the UTF-8 form of a code point (not a surrogate, at most U+10FFFF).
void AppendUtf8(std::string& out, std::uint32_t code);

} // namespace aurex

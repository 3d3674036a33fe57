// Writing JSON strings: every control character, quote and backslash escaped, and the text kept
// valid UTF-8 so that the strict reader takes back whatever was written.
#pragma once

#include <string>
#include <string_view>

namespace aurex {

// Appends `text` in double quotes. A byte that is not part of valid UTF-8 becomes U+FFFD; any
// other text reads back unchanged.
void AppendJsonString(std::string& out, std::string_view text);

} // namespace aurex

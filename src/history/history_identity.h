#pragma once

// A radio's identity as the history, the backups' names and the logs write it: the serial number
// in upper-case hex digits without separators. The window's label keeps its dashed form.

#include <string>
#include <string_view>

namespace aurex {

// The identity of `text` in that form: dashes dropped, hex digits upper case. Older rows hold the
// dashed form; they read and match as the same radio. Text that is no such identity is kept as is.
std::string HistoryIdentity(std::string_view text);

} // namespace aurex

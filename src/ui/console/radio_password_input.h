#pragma once

// The radio's codeplug password when it is not on the command line: read from standard input,
// or missing where nobody can be asked, which is said before any radio is touched.

#include <optional>
#include <string>

namespace aurex {

// Said before an update that meets a guarded radio with no password to give it.
inline constexpr const char* kNoRadioPasswordNotice =
    "No radio password was given (--radio-password) and none can be asked here: a radio that guards "
    "its codeplug with a password will get the new code, but its codeplug will not be converted.\n";

// One line from `fd`, read a byte at a time so that nothing after it is taken from the stream's
// later readers. Empty for an empty line or none; nullopt for a line that is no password (not
// digits, or too long).
std::optional<std::string> ReadRadioPasswordLine(int fd);

} // namespace aurex

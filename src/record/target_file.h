#pragma once

// Files the user names for the program to write (a support bundle, a line trace). A name taken by
// anything but a regular file is refused, a regular file is replaced only when the user said so,
// and a symbolic link is never followed: a device node, a folder or another user's planted link
// stays as it is.

#include <cstdint>
#include <string>

#include <sys/types.h>

namespace aurex {

enum class ExistingFile : std::uint8_t {
    Keep,    // only a new file is made
    Replace, // an existing regular file may be replaced (the user confirmed it)
};

// What a file of this mode is, for a refusal: "a folder", "a device", "a symbolic link", ...
const char* FileKindText(mode_t mode);

// Empty when `path` may be written; else "cannot write PATH: it ..." saying why not.
std::string TargetRefusal(const std::string& path, ExistingFile existing);

// Puts the finished `temporary` at `path`: never over anything with Keep, over a regular file
// only with Replace. False with the reason in `error`; `temporary` is left for the caller.
bool PutInPlace(const std::string& temporary, const std::string& path, ExistingFile existing,
                std::string& error);

// Opens `path` to be written from its start, 0600: a new file, or with Replace an existing
// regular file of one name only, emptied and made 0600. -1 with the reason in `error`.
int OpenTargetFile(const std::string& path, ExistingFile existing, std::string& error);

} // namespace aurex

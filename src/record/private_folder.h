#pragma once

// The folders this program keeps per user (the data folder, its logs, the cache folder): this
// user's alone whatever the umask, and never reached through a link that someone else put there.

#include <string>

namespace aurex {

// Creates `path` and its missing parents, the new ones 0700. The folder itself must
// be a folder, not a link to one (ELOOP); one of ours that others may use loses their access.
// 0 or an errno value.
int MakePrivateFolder(const std::string& path);

// The reason for an errno value of MakePrivateFolder or of opening a file without following a
// link, as a clause: a link gets words of its own.
std::string PlaceErrorText(int error);

} // namespace aurex

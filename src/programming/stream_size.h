#pragma once

#include <cstdint>
#include <istream>

namespace aurex {

// Size of what a stream holds from its start (its file size); 0 when it cannot tell. The read
// position is left where it was.
std::int64_t StreamSize(std::istream& in);

} // namespace aurex

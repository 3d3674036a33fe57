#include "programming/stream_size.h"

namespace aurex {

std::int64_t StreamSize(std::istream& in)
{
    in.clear();
    const std::istream::pos_type here = in.tellg();
    if (here == std::istream::pos_type(-1)) {
        in.clear();
        return 0;
    }
    in.seekg(0, std::ios::end);
    const std::istream::pos_type end = in.tellg();
    in.clear();
    in.seekg(here);
    return end == std::istream::pos_type(-1) ? 0 : static_cast<std::int64_t>(end);
}

} // namespace aurex

#pragma once

// The system's own words for a Win32 error code (Windows builds only), without its line end and
// full stop; "system error N" when the system has none.

#include <string>

namespace aurex {

std::string Win32ErrorText(unsigned long error);

} // namespace aurex

#include "history/history_identity.h"

#include <cctype>

namespace aurex {

std::string HistoryIdentity(std::string_view text)
{
    std::string identity;
    identity.reserve(text.size());
    for (char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '-') {
            continue;
        }
        if (!std::isxdigit(code)) {
            return std::string(text);
        }
        identity += static_cast<char>(std::toupper(code));
    }
    return identity;
}

} // namespace aurex

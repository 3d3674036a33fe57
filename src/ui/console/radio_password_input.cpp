#include "ui/console/radio_password_input.h"

#include <unistd.h>

#include <cerrno>

#include "transfer/password_encoding.h"

namespace aurex {

std::optional<std::string> ReadRadioPasswordLine(int fd)
{
    std::string line;
    bool tooLong = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || c == '\n') {
            break;
        }
        // The rest of an overlong line is read away, never kept.
        if (line.size() <= kRadioPasswordMostDigits) {
            line.push_back(c);
        } else {
            tooLong = true;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (tooLong || (!line.empty() && !IsRadioPasswordText(line))) {
        return std::nullopt;
    }
    return line;
}

} // namespace aurex

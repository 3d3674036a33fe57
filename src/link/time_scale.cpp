#include "link/time_scale.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace aurex {

namespace {

// The setting as the user gave it, cut short: the warning stays one line.
std::string Quoted(const char* text)
{
    constexpr std::size_t kShown = 40;
    std::string shown(text, ::strnlen(text, kShown + 1));
    if (shown.size() > kShown) {
        shown.resize(kShown);
        shown += "...";
    }
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return "\"" + shown + "\"";
}

} // namespace

bool TimeScaleInRange(double factor)
{
    return std::isfinite(factor) && factor >= kMinTimeScale && factor <= kMaxTimeScale;
}

TimeScaleReading ReadTimeScale(const char* text, std::string_view name)
{
    TimeScaleReading reading;
    if (text == nullptr || *text == '\0') {
        return reading;
    }
    const std::string prefix = "warning: " + std::string(name) + "=" + Quoted(text);
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0) {
        reading.warning = prefix + " is not a positive number; waits keep their real length (factor 1).";
        return reading;
    }
    if (value > kMaxTimeScale) {
        reading.factor = kMaxTimeScale;
        reading.warning = prefix + " is above the largest factor; 10 is used.";
    } else if (value < kMinTimeScale) {
        reading.factor = kMinTimeScale;
        reading.warning = prefix + " is below the smallest factor; 0.0001 is used.";
    } else {
        reading.factor = value;
    }
    return reading;
}

} // namespace aurex

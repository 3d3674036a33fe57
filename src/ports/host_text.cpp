#include "ports/host_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace aurex::ports {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) {
            ++i;
        }
        if (i > start) {
            fields.push_back(line.substr(start, i - start));
        }
    }
    return fields;
}

template <typename T> std::optional<T> ParseNumber(std::string_view text, int base)
{
    T value{};
    if (text.empty()) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The quoted value after ATTRS{key}== (or ATTR{key}==) in a rule line.
std::optional<std::string_view> MatchValue(std::string_view line, std::string_view key)
{
    for (std::string_view prefix : {"ATTRS{", "ATTR{"}) {
        const std::string pattern = std::string(prefix) + std::string(key) + "}==\"";
        const std::size_t at = line.find(pattern);
        if (at == std::string_view::npos) {
            continue;
        }
        const std::size_t start = at + pattern.size();
        const std::size_t end = line.find('"', start);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        return line.substr(start, end - start);
    }
    return std::nullopt;
}

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<long long> ParseDecimal(std::string_view text)
{
    const auto value = ParseNumber<long long>(Trimmed(text), 10);
    if (!value || *value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<long long> ParseTtyIndex(std::string_view fdinfo)
{
    constexpr std::string_view kKey = "tty-index:";
    for (std::string_view line : SplitLines(fdinfo)) {
        if (line.substr(0, kKey.size()) == kKey) {
            return ParseDecimal(line.substr(kKey.size()));
        }
    }
    return std::nullopt;
}

std::optional<int> ParseLockFilePid(std::string_view content)
{
    const std::string_view text = Trimmed(content);
    if (const auto pid = ParseNumber<int>(text, 10); pid && *pid > 0) {
        return pid;
    }
    // Old programs wrote the pid as a binary int of the machine's order.
    const bool looksLikeText = content.find_first_not_of("0123456789 \t\r\n") == std::string_view::npos;
    if (content.size() == sizeof(std::int32_t) && !looksLikeText) {
        std::int32_t pid = 0;
        std::memcpy(&pid, content.data(), sizeof pid);
        if (pid > 0) {
            return static_cast<int>(pid);
        }
    }
    return std::nullopt;
}

std::optional<ProcLock> ParseProcLocksLine(std::string_view line)
{
    std::vector<std::string_view> fields = Fields(line);
    // "1:" then, for a process waiting on the lock, "->"; the waiters hold nothing yet.
    if (fields.size() < 6 || fields[0].empty() || fields[0].back() != ':' || fields[1] == "->") {
        return std::nullopt;
    }
    ProcLock lock;
    lock.type = std::string(fields[1]);
    const auto pid = ParseNumber<int>(fields[4], 10);
    if (!pid) {
        return std::nullopt;
    }
    lock.pid = *pid;
    // major:minor in hex, then the inode in decimal.
    const std::string_view id = fields[5];
    const std::size_t first = id.find(':');
    const std::size_t second = first == std::string_view::npos ? first : id.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto major = ParseNumber<unsigned>(id.substr(0, first), 16);
    const auto minor = ParseNumber<unsigned>(id.substr(first + 1, second - first - 1), 16);
    const auto inode = ParseNumber<std::uint64_t>(id.substr(second + 1), 10);
    if (!major || !minor || !inode) {
        return std::nullopt;
    }
    lock.major = *major;
    lock.minor = *minor;
    lock.inode = *inode;
    return lock;
}

bool UdevDataIgnoresModemManager(std::string_view record)
{
    for (std::string_view line : SplitLines(record)) {
        if (Trimmed(line) == "E:ID_MM_DEVICE_IGNORE=1") {
            return true;
        }
    }
    return false;
}

bool RuleLineMatchesUsbId(std::string_view line, std::string_view vendorId, std::string_view productId)
{
    const std::string_view text = Trimmed(line);
    if (text.empty() || text.front() == '#' || vendorId.empty() || productId.empty()) {
        return false;
    }
    const auto vendor = MatchValue(text, "idVendor");
    const auto product = MatchValue(text, "idProduct");
    return vendor && product && EqualsIgnoringCase(*vendor, vendorId) &&
           EqualsIgnoringCase(*product, productId);
}

std::optional<GroupEntry> ParseGroupLine(std::string_view line)
{
    std::string_view text = Trimmed(line);
    if (text.empty() || text.front() == '#') {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    while (parts.size() < 3) {
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        parts.push_back(text.substr(0, colon));
        text.remove_prefix(colon + 1);
    }
    const auto gid = ParseNumber<unsigned>(parts[2], 10);
    if (parts[0].empty() || !gid) {
        return std::nullopt;
    }
    GroupEntry entry{std::string(parts[0]), *gid, {}};
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view member = Trimmed(text.substr(0, comma));
        if (!member.empty()) {
            entry.members.emplace_back(member);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    return entry;
}

} // namespace aurex::ports

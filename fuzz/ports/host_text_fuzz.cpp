// The readers of lock files, /proc/locks, descriptor infos, udev records and rules and /etc/group against any
// text: they never read past it, what they return is well formed, and what they return reads
// back the same when written out again.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ports/host_text.h"

namespace {

using namespace aurex::ports;

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

void CheckLines(std::string_view text)
{
    std::size_t total = 0;
    for (std::string_view line : SplitLines(text)) {
        Check(line.find('\n') == std::string_view::npos);
        total += line.size();
    }
    Check(total <= text.size());
    const std::string_view trimmed = Trimmed(text);
    Check(trimmed.empty() || (!IsBlank(trimmed.front()) && !IsBlank(trimmed.back())));
}

void CheckLockFile(std::string_view text)
{
    const auto pid = ParseLockFilePid(text);
    Check(!pid || *pid > 0);
    if (pid && text.find_first_not_of("0123456789 \t\r\n") == std::string_view::npos) {
        std::string_view digits = Trimmed(text);
        digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
        Check(std::to_string(*pid) == digits);
    }
}

void CheckProcLocks(std::string_view text)
{
    for (std::string_view line : SplitLines(text)) {
        const auto lock = ParseProcLocksLine(line);
        if (!lock) {
            continue;
        }
        char id[64] = {};
        std::snprintf(id, sizeof id, "%02x:%02x:%llu", lock->major, lock->minor,
                      static_cast<unsigned long long>(lock->inode));
        const std::string again =
            "1: " + lock->type + " ADVISORY WRITE " + std::to_string(lock->pid) + " " + id;
        const auto back = ParseProcLocksLine(again);
        Check(back && back->pid == lock->pid && back->major == lock->major && back->minor == lock->minor &&
              back->inode == lock->inode && back->type == lock->type);
    }
}

void CheckGroups(std::string_view text)
{
    for (std::string_view line : SplitLines(text)) {
        const auto group = ParseGroupLine(line);
        if (!group) {
            continue;
        }
        Check(!group->name.empty() && group->name.find(':') == std::string::npos);
        std::string again = group->name + ":x:" + std::to_string(group->gid) + ":";
        for (const std::string& member : group->members) {
            Check(!member.empty() && member.find(',') == std::string::npos);
            again += member + ",";
        }
        const auto back = ParseGroupLine(again);
        Check(back && back->name == group->name && back->gid == group->gid &&
              back->members == group->members);
    }
}

void CheckUdev(std::string_view text, std::string_view vendor, std::string_view product)
{
    UdevDataIgnoresModemManager(text);
    Check(UdevDataIgnoresModemManager(std::string(text) + "\nE:ID_MM_DEVICE_IGNORE=1\n"));
    for (std::string_view line : SplitLines(text)) {
        RuleLineMatchesUsbId(line, vendor, product);
    }
    const std::string rule = "ATTRS{idVendor}==\"" + std::string(vendor) + "\", ATTRS{idProduct}==\"" +
                             std::string(product) + "\"";
    Check(RuleLineMatchesUsbId(rule, vendor, product));
}

// Four hex digits from the input, as sysfs writes a USB id.
std::string HexId(const std::uint8_t* data)
{
    char id[8] = {};
    std::snprintf(id, sizeof id, "%02x%02X", data[0], data[1]);
    return id;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    const std::string vendor = HexId(data);
    const std::string product = HexId(data + 2);
    const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
    CheckLines(text);
    CheckLockFile(text);
    CheckProcLocks(text);
    CheckGroups(text);
    CheckUdev(text, vendor, product);
    const auto ttyIndex = ParseTtyIndex(text);
    Check(!ttyIndex || *ttyIndex >= 0);
    return 0;
}

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Pure readers of the small text files the port checks look at. They take the text already read
// (bounded) and never touch the file system, so the fuzz target can feed them anything.
namespace aurex::ports {

// The lines of a text, without their line ends.
std::vector<std::string_view> SplitLines(std::string_view text);

// The text without leading and trailing blanks and line ends.
std::string_view Trimmed(std::string_view text);

// A non-negative decimal number filling the whole (trimmed) text, as sysfs and /proc write them.
std::optional<long long> ParseDecimal(std::string_view text);

// The pid in a UUCP lock file (/var/lock/LCK..ttyUSB0): ASCII, possibly padded with blanks, or
// the 4-byte binary int of old programs. Nothing when the content is neither.
std::optional<int> ParseLockFilePid(std::string_view content);

// The pseudo-terminal a master descriptor stands for: the number N of /dev/pts/N in the
// "tty-index:" line of /proc/<pid>/fdinfo/<fd>. Nothing when the text has no such line.
std::optional<long long> ParseTtyIndex(std::string_view fdinfo);

// One lock of /proc/locks, e.g. "1: FLOCK  ADVISORY  WRITE 812 00:05:1033 0 EOF".
struct ProcLock
{
    std::string type; // FLOCK, POSIX, OFDLCK, ...
    int pid = 0;      // -1 for open file description locks, which have no owner process
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t inode = 0;
};
std::optional<ProcLock> ParseProcLocksLine(std::string_view line);

// Whether a udev database record (/run/udev/data/c188:0) tells ModemManager to leave the device
// alone.
bool UdevDataIgnoresModemManager(std::string_view record);

// Whether a udev rule line (comments do not count) matches the USB id, e.g.
// ATTRS{idVendor}=="1a86", ATTRS{idProduct}=="7523"; hex digits in either case.
bool RuleLineMatchesUsbId(std::string_view line, std::string_view vendorId, std::string_view productId);

// One line of /etc/group: "dialout:x:20:ann,bob".
struct GroupEntry
{
    std::string name;
    unsigned gid = 0;
    std::vector<std::string> members;
};
std::optional<GroupEntry> ParseGroupLine(std::string_view line);

} // namespace aurex::ports

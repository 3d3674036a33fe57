#pragma once

// The support bundle: one .tar.gz that whoever supports a workshop can read without the
// machine: the newest run logs and line traces, the connection check's report, the program's
// name and release, and the update history's newest rows. Codeplug contents only on request.

#include <string>
#include <vector>

namespace aurex {

class UpdateHistory;

struct SupportBundleInput
{
    std::string dataFolder;       // logs/ and codeplug-backups/ in it
    std::string about;            // program name, release, build, host
    std::string connectionReport; // the connection check's report, or why there is none
    UpdateHistory* history = nullptr;
    bool withCodeplugs = false;  // the newest backups and their records too
    std::size_t newestLogs = 20; // logs, and as many traces
    std::size_t newestRows = 20;
    std::size_t newestBackups = 10;
};

struct SupportBundleResult
{
    bool written = false;
    std::string error;              // why not, when not written
    std::vector<std::string> names; // what the bundle holds, in order
};

SupportBundleResult WriteSupportBundle(const std::string& path, const SupportBundleInput& input);

} // namespace aurex

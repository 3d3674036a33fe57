#pragma once

// The support bundle: one .tar.gz that whoever supports a workshop can read without the
// machine: the newest run logs and line traces, the connection check's report, the program's
// name and release, and the update history's newest rows. Codeplug contents only on request: a
// trace that holds them whole stays out without it.

#include <string>
#include <vector>

#include "record/target_file.h"

namespace aurex {

class UpdateHistory;

struct SupportBundleInput
{
    std::string dataFolder;       // logs/ and codeplug-backups/ in it
    std::string about;            // program name, release, build, host
    std::string connectionReport; // the connection check's report, or why there is none
    UpdateHistory* history = nullptr;
    // The newest backups and their records too, and traces written with the codeplug in the clear.
    bool withCodeplugs = false;
    ExistingFile existing = ExistingFile::Keep; // whether a regular file at the path is replaced
    std::size_t newestLogs = 20;                // logs, and as many traces
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

#pragma once

// The copy of a radio's codeplug kept on the computer before anything is written back into the
// radio: exactly the bytes of the upload, in the per-user data folder of the program.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace aurex {

// <per-user application data folder>/codeplug-backups (QStandardPaths::AppDataLocation).
std::string CodeplugBackupFolder();

struct CodeplugBackupResult {
    bool saved = false;
    std::string path;   // the file written, when saved
    std::string error;  // why not, when not saved
};

// Writes `bytes` to codeplug-<identity>-<yyyyMMdd-HHmmss>.bin in the backup folder (a numbered
// name when that exists): to a temporary name first, flushed to the disk and renamed, then read
// back and compared. Never replaces an earlier backup. Nothing is left behind on failure.
CodeplugBackupResult SaveCodeplugBackup(std::string_view identity, std::span<const std::uint8_t> bytes);

}  // namespace aurex

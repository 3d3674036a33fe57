#pragma once

// The codeplug backups on this computer as the user chooses one to put back into a radio: each
// read within bounds and judged by CheckBackup, and the folder listed newest first.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "transfer/backup_record.h"

namespace aurex {

struct BackupForRestore
{
    std::vector<std::uint8_t> bytes;    // at most one byte more than a backup can hold
    std::optional<BackupRecord> record; // when one lies beside the backup and reads
    bool recordFile = false;            // a record lies beside it, readable or not
    std::string identity;               // the record's, else the file name's
    std::string format;                 // "5.9"; empty when unknown
    std::string time;                   // UTC: the record's, else the file name's; may be empty
    std::string error;                  // a sentence for the user when it must not be restored
};

// Reads the backup at `path` and its record, and refuses what must not go into a radio.
BackupForRestore ReadBackupForRestore(const std::string& path);

struct BackupEntry
{
    std::string path;
    std::string fileName;
    std::string identity;
    std::string time; // UTC as 2026-12-07T22:16:34Z: the record's, else the file name's; may be empty
    std::string format;
    std::string reason; // the record's ("before-update", ...); empty without one
    bool hasRecord = false;
    std::string problem; // why it would be refused; empty when it may be restored
};

// A backup's UTC time (2026-12-07T22:16:34Z) in this computer's time, as people read it
// (2026-12-07 23:16:34); empty when it is not a time.
std::string BackupLocalTime(const std::string& utc);

// No folder shows more: a folder of many files still lists quickly.
inline constexpr std::size_t kBackupListLimit = 1000;

// The *.bin files of `folder`, newest first, at most kBackupListLimit of them (the newest).
// A missing or unreadable folder lists nothing.
std::vector<BackupEntry> ListCodeplugBackups(const std::string& folder);

} // namespace aurex

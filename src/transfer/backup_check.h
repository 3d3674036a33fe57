#pragma once

// Whether a codeplug backup may go back into a radio, judged from its bytes and the text of its
// record alone: the files are read elsewhere, so every rule here is tested and fuzzed without
// a disk.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "transfer/backup_record.h"

namespace aurex {

// A backup is never larger than the radio's codeplug buffer.
inline constexpr std::size_t kBackupMaxBytes = 32768;

struct BackupCheck
{
    std::optional<BackupRecord> record; // when there is one and it reads
    std::string identity;               // the record's, else the file name's
    std::string format;                 // "5.9", or empty when the image names no known format
    std::string problem;                // a sentence for the user when it must not be restored
};

// `path` names the backup in the sentences and gives the identity when there is no record;
// `bytes` are the file's first kBackupMaxBytes + 1 bytes (one more than fits shows it is too
// large); `recordText` is its record's text, or empty when it has none.
BackupCheck CheckBackup(std::string_view path, std::span<const std::uint8_t> bytes,
                        const std::optional<std::string>& recordText);

// What a backup's file name says: codeplug-<identity>-<yyyyMMdd-HHmmss>[-<n>].bin.
struct BackupName
{
    std::string identity;
    std::string localTime; // yyyy-MM-ddTHH:mm:ss, in the computer's time when it was saved
    int number = 1;        // 2, 3, ... for a second backup in the same second
};
// Empty for any other name; `name` is a file name or a path.
std::optional<BackupName> ParseBackupName(std::string_view name);

} // namespace aurex

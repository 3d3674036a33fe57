#pragma once

// The record kept beside each codeplug backup, as <backup name>.json: what the backup is of, when
// and why it was taken and by which program, so that a backup can be told apart and checked
// years later without the radio. Fields may be added to the record, never renamed; a reader
// ignores the ones it does not know.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aurex {

inline constexpr int kBackupRecordFormatVersion = 1;

enum class BackupReason { BeforeUpdate, BeforeRestore, OnRequest };

// "before-update", "before-restore", "on-request".
std::string_view BackupReasonName(BackupReason reason);

struct BackupRecord
{
    int formatVersion = kBackupRecordFormatVersion;
    std::string radioIdentity; // 16 hex digits, as the backup's file name has it
    int updaterModel = 0;      // radio model of the carried image set
    int updaterSeries = 0;
    std::map<std::string, std::string> radioVersions; // what the radio told before the backup
    int codeplugFormatMajor = 0;
    int codeplugFormatMinor = 0;
    std::uint64_t lengthBytes = 0;
    std::string sha256; // 64 lower-case hex digits of the backup's bytes
    std::string time;   // UTC, as 2026-12-07T22:16:34Z
    std::string programName;
    std::string programRelease;
    BackupReason reason = BackupReason::BeforeUpdate;
    std::vector<std::string> conversionReport; // written only when there is one

    bool operator==(const BackupRecord&) const = default;
};

// Pretty-printed UTF-8 JSON, ending in a newline; the same record always gives the same text.
std::string WriteBackupRecord(const BackupRecord& record);

struct BackupRecordRead
{
    std::optional<BackupRecord> record;
    std::string error; // a sentence for the user when there is no record
};

// Reads what WriteBackupRecord wrote, within tight limits (64 KiB, strings of 4 KiB). A missing
// field, a value of the wrong type or out of range, another format version, an identity that is
// not 16 hex digits, or anything that is not JSON is an error.
BackupRecordRead ReadBackupRecord(std::string_view text);

// Where the record of a backup lies: its path with ".bin" replaced by ".json" (".json" added to
// a name without ".bin").
std::string BackupRecordPath(std::string_view backupPath);

} // namespace aurex

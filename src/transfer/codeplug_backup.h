#pragma once

// The copy of a radio's codeplug kept on the computer before anything is written back into the
// radio: exactly the bytes of the upload, in the per-user data folder of the program.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "transfer/backup_disk.h"
#include "transfer/backup_record.h"
#include "transfer/disk_room.h"

namespace aurex {

// Room a backup needs at the most: the largest codeplug, with a margin.
inline constexpr std::uint64_t kBackupRoomBytes = 64 * 1024;

struct BackupFolderPlace
{
    std::string path;    // <per-user data folder>/codeplug-backups
    std::string problem; // why there is none, when there is none
};

// Where backups go ($XDG_DATA_HOME, else $HOME/.local/share). Without either there is no
// per-user folder: a backup must not land in a folder of the file system's root.
BackupFolderPlace LocateCodeplugBackupFolder();
// The path alone; empty when there is none.
std::string CodeplugBackupFolder();

// Empty when a backup can be saved now: the folder can be made, and a file of kBackupRoomBytes
// written and synced in it. Otherwise a sentence that names the folder and the reason; the
// update must then not begin, since the backup would be found missing only after the new code
// is in the radio. With `room`, that file is kept there for the backup SaveCodeplugBackup writes.
std::string CheckCodeplugBackupFolder(BackupDisk& disk = SystemBackupDisk(), DiskRoom* room = nullptr);

struct CodeplugBackupResult
{
    bool saved = false;
    std::string path;       // the file written, when saved
    std::string recordPath; // its record, when saved
    std::string error;      // why not, when not saved
    BackupRecord record;    // as written, when saved
};

// Writes `bytes` to codeplug-<identity>-<yyyyMMdd-HHmmss>.bin in the backup folder (a numbered
// name when that is taken): as an unnamed file for its owner only, synced to the disk and read
// back, then linked in under a name that no file holds, and the folder synced. Never replaces an
// earlier backup; nothing is left behind on failure, and a backup that may not be on the disk
// counts as failed. Its record goes beside it the same way (BackupRecordPath): `facts` as the
// caller knows them, with identity, length, SHA-256, time and, when unset, the codeplug format
// filled in here. A backup whose record cannot be written is not kept either. A `room` held in
// the backup folder is written into (and given up either way), so a disk that filled since the
// check still takes the backup.
CodeplugBackupResult SaveCodeplugBackup(std::string_view identity, std::span<const std::uint8_t> bytes,
                                        BackupDisk& disk = SystemBackupDisk(), BackupRecord facts = {},
                                        DiskRoom* room = nullptr);

// How SaveCodeplugBackupIn treats its folder: its own is made and kept private; the user's is
// used as it is.
enum class FolderUse { Own, Users };

// SaveCodeplugBackup into the folder `path`.
CodeplugBackupResult SaveCodeplugBackupIn(const std::string& path, FolderUse use, std::string_view identity,
                                          std::span<const std::uint8_t> bytes, BackupDisk& disk,
                                          BackupRecord facts, DiskRoom* room = nullptr);

} // namespace aurex

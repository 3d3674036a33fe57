#pragma once

// Room on a disk held for a write that must not find the disk full: an unnamed file of ours,
// written and synced, kept open until the write takes it over or lets it go. Another writer on
// the same disk (a line trace, a log) cannot take that room away meanwhile.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "transfer/backup_disk.h"

namespace aurex {

// Closes a descriptor and removes a hidden name left by the disk, whatever way a write ends.
class OpenBackupFile
{
  public:
    OpenBackupFile(BackupDisk& disk, int folder) : disk_(disk), folder_(folder) {}
    ~OpenBackupFile();
    OpenBackupFile(const OpenBackupFile&) = delete;
    OpenBackupFile& operator=(const OpenBackupFile&) = delete;

    int fd = -1;
    std::string tempName;

  private:
    BackupDisk& disk_;
    int folder_;
};

class OpenFolder
{
  public:
    explicit OpenFolder(BackupDisk& disk) : disk_(disk) {}
    ~OpenFolder() { disk_.Close(fd); }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    int fd = -1;

  private:
    BackupDisk& disk_;
};

// A new file of `bytes` in the open folder, written and synced; 0 or an errno value, with `step`
// saying what failed.
int WriteSynced(BackupDisk& disk, const OpenFolder& folder, std::unique_ptr<OpenBackupFile>& file,
                std::span<const std::uint8_t> bytes, std::string& step);

struct DiskRoom
{
    std::string path; // the folder the room is in
    BackupDisk* disk = nullptr;
    std::unique_ptr<OpenFolder> folder;
    std::unique_ptr<OpenBackupFile> file; // declared after the folder: it goes first

    bool Held() const { return file != nullptr; }
    // Gives the room back to the disk.
    void Release()
    {
        file.reset();
        folder.reset();
        path.clear();
        disk = nullptr;
    }
};

// Takes `bytes` of room in `folder` (open, at `path`) into `room`; 0 or an errno value, with
// `step` saying what failed (the room is then not held).
int TakeRoom(BackupDisk& disk, const std::string& path, std::unique_ptr<OpenFolder> folder,
             std::uint64_t bytes, DiskRoom& room, std::string& step);

// The same for the folder at `path`, which exists; room of ours a killed run left there goes.
int TakeRoomIn(BackupDisk& disk, const std::string& path, std::uint64_t bytes, DiskRoom& room);

} // namespace aurex

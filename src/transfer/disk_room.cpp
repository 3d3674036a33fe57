#include "transfer/disk_room.h"

#include <vector>

namespace aurex {

OpenBackupFile::~OpenBackupFile()
{
    disk_.Close(fd);
    if (!tempName.empty()) {
        disk_.Unlink(folder_, tempName);
    }
}

int WriteSynced(BackupDisk& disk, const OpenFolder& folder, std::unique_ptr<OpenBackupFile>& file,
                std::span<const std::uint8_t> bytes, std::string& step)
{
    step = "cannot create a file in it";
    file = std::make_unique<OpenBackupFile>(disk, folder.fd);
    if (int e = disk.CreateUnnamed(folder.fd, file->fd, file->tempName)) {
        return e;
    }
    step = "cannot write in it";
    if (int e = disk.Write(file->fd, bytes.data(), bytes.size())) {
        return e;
    }
    // Written is not yet on the disk: only a synced file survives a power cut.
    step = "cannot write to the disk";
    return disk.DataSync(file->fd);
}

int TakeRoom(BackupDisk& disk, const std::string& path, std::unique_ptr<OpenFolder> folder,
             std::uint64_t bytes, DiskRoom& room, std::string& step)
{
    room.Release();
    // Zeros written, not a size set: a sparse file holds no room at all.
    const std::vector<std::uint8_t> zeros(bytes, 0);
    std::unique_ptr<OpenBackupFile> file;
    if (int e = WriteSynced(disk, *folder, file, zeros, step)) {
        return e;
    }
    room.path = path;
    room.disk = &disk;
    room.folder = std::move(folder);
    room.file = std::move(file);
    return 0;
}

int TakeRoomIn(BackupDisk& disk, const std::string& path, std::uint64_t bytes, DiskRoom& room)
{
    auto folder = std::make_unique<OpenFolder>(disk);
    if (int e = disk.OpenFolder(path, folder->fd)) {
        return e;
    }
    disk.RemoveLeftTemporaries(folder->fd);
    std::string step;
    return TakeRoom(disk, path, std::move(folder), bytes, room, step);
}

} // namespace aurex

#include "transfer/codeplug_backup.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "text/sha256.h"
#include "transfer/disk_room.h"

namespace aurex {

namespace {

// Only what is safe in a file name on every system; the identity is hex digits anyway.
std::string NamePart(std::string_view identity)
{
    std::string part;
    for (char c : identity) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            part.push_back(c);
        }
    }
    return part.empty() ? "unknown" : part;
}

bool IsAbsoluteSetting(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/';
}

// The folder made (private) and opened, with what killed runs left half written gone; 0 or an
// errno value.
int PrepareFolder(BackupDisk& disk, const std::string& path, OpenFolder& folder)
{
    if (int e = disk.MakePrivateFolder(path)) {
        return e;
    }
    if (int e = disk.OpenFolder(path, folder.fd)) {
        return e;
    }
    disk.RemoveLeftTemporaries(folder.fd);
    return 0;
}

void FillRecord(BackupRecord& facts, const std::string& identity, std::span<const std::uint8_t> bytes,
                const QDateTime& now)
{
    facts.radioIdentity = identity;
    facts.lengthBytes = bytes.size();
    facts.sha256 = Sha256Hex(bytes);
    facts.time = now.toUTC().toString(Qt::ISODate).toStdString();
    // The format version is the image's fourth word, high byte first as on the line.
    if (facts.codeplugFormatMajor == 0 && bytes.size() >= 8) {
        facts.codeplugFormatMajor = bytes[6];
        facts.codeplugFormatMinor = bytes[7];
    }
    if (facts.programName.empty()) {
        facts.programName = QCoreApplication::applicationName().toStdString();
    }
}

} // namespace

BackupFolderPlace LocateCodeplugBackupFolder()
{
    BackupFolderPlace place;
    if (!IsAbsoluteSetting("XDG_DATA_HOME") && !IsAbsoluteSetting("HOME")) {
        place.problem =
            "neither HOME nor XDG_DATA_HOME is set, so there is no per-user folder for codeplug backups";
        return place;
    }
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (base.isEmpty()) {
        place.problem = "no per-user data folder is known on this computer";
        return place;
    }
    place.path = QDir(base).filePath(QStringLiteral("codeplug-backups")).toStdString();
    return place;
}

std::string CodeplugBackupFolder()
{
    return LocateCodeplugBackupFolder().path;
}

std::string CheckCodeplugBackupFolder(BackupDisk& disk, DiskRoom* room)
{
    const BackupFolderPlace place = LocateCodeplugBackupFolder();
    if (place.path.empty()) {
        return "Codeplug backups cannot be saved: " + place.problem + ".";
    }
    const std::string where = "Codeplug backups cannot be saved in the folder " + place.path + ": ";
    auto folder = std::make_unique<OpenFolder>(disk);
    if (int e = PrepareFolder(disk, place.path, *folder)) {
        return where + "cannot create the folder (" + ErrorText(e) + ").";
    }
    std::uint64_t free = 0;
    if (disk.FreeBytes(folder->fd, free) == 0 && free < kBackupRoomBytes) {
        return where + "the disk has " + std::to_string(free / 1024) + " KB free, and a backup needs " +
               std::to_string(kBackupRoomBytes / 1024) + " KB.";
    }
    // Free space alone does not show quotas or a read-only mount: a trial file of a backup's size,
    // kept as the backup's room when asked, since the disk may fill before the backup is saved.
    DiskRoom trial;
    std::string step;
    if (int e = TakeRoom(disk, place.path, std::move(folder), kBackupRoomBytes, room ? *room : trial, step)) {
        return where + step + " (" + ErrorText(e) + ").";
    }
    return {};
}

CodeplugBackupResult SaveCodeplugBackup(std::string_view identity, std::span<const std::uint8_t> bytes,
                                        BackupDisk& disk, BackupRecord facts, DiskRoom* room)
{
    const BackupFolderPlace place = LocateCodeplugBackupFolder();
    if (place.path.empty()) {
        CodeplugBackupResult r;
        r.error = place.problem;
        return r;
    }
    return SaveCodeplugBackupIn(place.path, FolderUse::Own, identity, bytes, disk, std::move(facts), room);
}

namespace {

// The room's file and folder when it was taken there on this disk, the codeplug written over its
// start and the rest given back (for the record); 0 or an errno value, with `step`.
int WriteIntoRoom(DiskRoom& room, std::unique_ptr<OpenFolder>& folder, std::unique_ptr<OpenBackupFile>& file,
                  std::span<const std::uint8_t> bytes, std::string& step)
{
    folder = std::move(room.folder);
    file = std::move(room.file);
    BackupDisk& disk = *room.disk;
    room.Release();
    step = "cannot write in it";
    if (int e = disk.WriteAt(file->fd, bytes.data(), bytes.size(), 0)) {
        return e;
    }
    if (int e = disk.Truncate(file->fd, bytes.size())) {
        return e;
    }
    step = "cannot write to the disk";
    return disk.DataSync(file->fd);
}

} // namespace

CodeplugBackupResult SaveCodeplugBackupIn(const std::string& path, FolderUse use, std::string_view identity,
                                          std::span<const std::uint8_t> bytes, BackupDisk& disk,
                                          BackupRecord facts, DiskRoom* room)
{
    CodeplugBackupResult r;
    auto folder = std::make_unique<OpenFolder>(disk);
    std::unique_ptr<OpenBackupFile> file;
    std::string step;
    int written = 0;
    if (room != nullptr && room->Held() && room->path == path && room->disk == &disk &&
        bytes.size() <= kBackupRoomBytes) {
        written = WriteIntoRoom(*room, folder, file, bytes, step);
    } else {
        // A folder of the user's own (the current one) keeps its permissions and its files.
        const int e =
            use == FolderUse::Own ? PrepareFolder(disk, path, *folder) : disk.OpenFolder(path, folder->fd);
        if (e != 0) {
            r.error = "cannot create the folder " + path + " (" + ErrorText(e) + ")";
            return r;
        }
        written = WriteSynced(disk, *folder, file, bytes, step);
    }
    if (written != 0) {
        r.error = path + ": " + step + " (" + ErrorText(written) + ")";
        return r;
    }

    // Only a backup that reads back as written counts.
    std::vector<std::uint8_t> stored(bytes.size());
    if (int e = disk.ReadAt(file->fd, stored.data(), stored.size(), 0)) {
        r.error = path + ": cannot read the backup back (" + ErrorText(e) + ")";
        return r;
    }
    if (!std::equal(bytes.begin(), bytes.end(), stored.begin())) {
        r.error = path + ": the backup read back differs from the codeplug";
        return r;
    }

    const QDateTime now = QDateTime::currentDateTime();
    FillRecord(facts, NamePart(identity), bytes, now);
    const std::string recordText = WriteBackupRecord(facts);
    std::unique_ptr<OpenBackupFile> recordFile;
    if (int e = WriteSynced(
            disk, *folder, recordFile,
            std::span(reinterpret_cast<const std::uint8_t*>(recordText.data()), recordText.size()), step)) {
        r.error = path + ": the backup's record " + step + " (" + ErrorText(e) + ")";
        return r;
    }

    const std::string stem = "codeplug-" + NamePart(identity) + "-" +
                             now.toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    // A backup without its record would pass for an old one: the two take one stem, both free.
    std::string name;
    std::string recordName;
    int linked = EEXIST;
    for (int n = 1; linked == EEXIST && n <= 999; ++n) {
        name = n == 1 ? stem + ".bin" : stem + "-" + std::to_string(n) + ".bin";
        recordName = BackupRecordPath(name);
        linked = disk.LinkIn(folder->fd, file->fd, file->tempName, name);
        if (linked == 0) {
            linked = disk.LinkIn(folder->fd, recordFile->fd, recordFile->tempName, recordName);
            if (linked != 0) {
                disk.Unlink(folder->fd, name);
            }
        }
    }
    if (linked == EEXIST) {
        r.error = path + ": too many backups of this radio in one second";
        return r;
    }
    if (linked != 0) {
        r.error = path + ": cannot name the backup " + name + " (" + ErrorText(linked) + ")";
        return r;
    }
    // The names are on the disk only once the folder is synced too.
    if (int e = disk.SyncFolder(folder->fd)) {
        disk.Unlink(folder->fd, name);
        disk.Unlink(folder->fd, recordName);
        r.error = path + ": cannot write the folder to the disk (" + ErrorText(e) + ")";
        return r;
    }
    r.saved = true;
    r.path = path + "/" + name;
    r.recordPath = path + "/" + recordName;
    r.record = std::move(facts);
    return r;
}

} // namespace aurex

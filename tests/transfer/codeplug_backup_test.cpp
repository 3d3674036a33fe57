// The backup file kept before a codeplug is written back.
#include "transfer/codeplug_backup.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "data_home.h"
#include "link/qt_app.h"
#include "text/sha256.h"
#include "transfer_peer.h"

namespace aurex {
namespace {

using test::Bytes;
using test::ScopedDataHome;

const char* const kSerialText = "00001A2B3C4D5E6F";

TEST(CodeplugBackupTest, KeepsEveryBackupWholeUnderItsOwnName)
{
    test::EnsureCoreApplication();
    ScopedDataHome home;
    const std::string folder = CodeplugBackupFolder();
    EXPECT_EQ(folder.rfind(home.Path().toStdString(), 0), 0U) << folder;

    const Bytes first = test::PatternBytes(640, 1);
    const Bytes second = test::PatternBytes(256, 2);
    const CodeplugBackupResult a = SaveCodeplugBackup(kSerialText, first);
    const CodeplugBackupResult b = SaveCodeplugBackup(kSerialText, second);
    ASSERT_TRUE(a.saved) << a.error;
    ASSERT_TRUE(b.saved) << b.error;
    EXPECT_NE(a.path, b.path);
    EXPECT_EQ(ScopedDataHome::Backups().size(), 2);
    ASSERT_EQ(ScopedDataHome::Files().size(), 4); // each with its record, and no temporary file left behind
    EXPECT_EQ(ScopedDataHome::Read(QFileInfo(QString::fromStdString(a.path)).fileName()), first);
    EXPECT_EQ(ScopedDataHome::Read(QFileInfo(QString::fromStdString(b.path)).fileName()), second);

    // The record beside a backup describes those bytes.
    const Bytes recordBytes =
        ScopedDataHome::Read(QFileInfo(QString::fromStdString(a.recordPath)).fileName());
    const BackupRecordRead read = ReadBackupRecord(std::string(recordBytes.begin(), recordBytes.end()));
    ASSERT_TRUE(read.record) << read.error;
    EXPECT_EQ(*read.record, a.record);
    EXPECT_EQ(read.record->radioIdentity, kSerialText);
    EXPECT_EQ(read.record->lengthBytes, first.size());
    EXPECT_EQ(read.record->sha256, Sha256Hex(first));
    EXPECT_EQ(read.record->codeplugFormatMajor * 256 + read.record->codeplugFormatMinor,
              first[6] * 256 + first[7]);
    EXPECT_EQ(a.recordPath, BackupRecordPath(a.path));

    // Whatever the identity text holds, the name stays inside the folder.
    const CodeplugBackupResult odd = SaveCodeplugBackup("../x/..", first);
    ASSERT_TRUE(odd.saved) << odd.error;
    EXPECT_EQ(QFileInfo(QString::fromStdString(odd.path)).absolutePath().toStdString(), folder);

    QFile blocker(home.Path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ScopedDataHome unusable(blocker.fileName());
    const CodeplugBackupResult failed = SaveCodeplugBackup(kSerialText, first);
    EXPECT_FALSE(failed.saved);
    EXPECT_FALSE(failed.error.empty());
}

// The real disk with one call made to fail, or to do something first, as a test asks.
class FaultyDisk : public BackupDisk
{
  public:
    std::function<int()> dataSync, syncFolder, write, createUnnamed;
    std::function<int(std::uint64_t&)> freeBytes;
    std::function<void(int folder, const std::string& name)> beforeLink;

    int DataSync(int fd) override { return dataSync ? dataSync() : BackupDisk::DataSync(fd); }
    int SyncFolder(int fd) override { return syncFolder ? syncFolder() : BackupDisk::SyncFolder(fd); }
    int Write(int fd, const std::uint8_t* data, std::size_t size) override
    {
        return write ? write() : BackupDisk::Write(fd, data, size);
    }
    int CreateUnnamed(int folder, int& fd, std::string& tempName) override
    {
        return createUnnamed ? createUnnamed() : BackupDisk::CreateUnnamed(folder, fd, tempName);
    }
    int FreeBytes(int folder, std::uint64_t& bytes) override
    {
        return freeBytes ? freeBytes(bytes) : BackupDisk::FreeBytes(folder, bytes);
    }
    int LinkIn(int folder, int fd, const std::string& tempName, const std::string& name) override
    {
        if (beforeLink) {
            beforeLink(folder, name);
        }
        return BackupDisk::LinkIn(folder, fd, tempName, name);
    }
};

mode_t ModeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Every entry of the folder, hidden ones too.
QStringList AllEntries(const std::string& folder)
{
    return QDir(QString::fromStdString(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A backup that may not be on the disk is no backup: each failing step leaves no file and says
// what failed; the check before a run finds the same faults, naming the folder.
TEST(CodeplugBackupTest, AFailedWriteOrSyncLeavesNoBackupAndTheCheckNamesTheFolder)
{
    test::EnsureCoreApplication();
    struct Case
    {
        const char* what;
        std::function<void(FaultyDisk&)> fault;
        const char* saveSays;  // in the error of the save
        const char* checkSays; // in the check's sentence; null: the check passes
    };
    const Case cases[] = {
        {"file sync", [](FaultyDisk& d) { d.dataSync = [] { return EIO; }; }, "cannot write to the disk",
         "Input/output error"},
        {"folder sync", [](FaultyDisk& d) { d.syncFolder = [] { return EIO; }; },
         "cannot write the folder to the disk", nullptr},
        {"full disk", [](FaultyDisk& d) { d.write = [] { return ENOSPC; }; }, "No space left on device",
         "No space left on device"},
        {"little room",
         [](FaultyDisk& d) {
             d.freeBytes = [](std::uint64_t& b) {
                 b = 20 * 1024;
                 return 0;
             };
         },
         nullptr, "the disk has 20 KB free, and a backup needs 64 KB"},
        {"unwritable", [](FaultyDisk& d) { d.createUnnamed = [] { return EACCES; }; }, "Permission denied",
         "cannot create a file in it (Permission denied)"},
        {"read-only", [](FaultyDisk& d) { d.createUnnamed = [] { return EROFS; }; }, "Read-only file system",
         "Read-only file system"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedDataHome home;
        FaultyDisk disk;
        c.fault(disk);
        const std::string check = CheckCodeplugBackupFolder(disk);
        if (c.checkSays == nullptr) {
            EXPECT_EQ(check, "");
        } else {
            EXPECT_NE(check.find(c.checkSays), std::string::npos) << check;
            EXPECT_NE(check.find("folder " + CodeplugBackupFolder()), std::string::npos) << check;
        }
        const CodeplugBackupResult r = SaveCodeplugBackup(kSerialText, test::PatternBytes(640, 1), disk);
        EXPECT_EQ(r.saved, c.saveSays == nullptr);
        if (c.saveSays != nullptr) {
            EXPECT_NE(r.error.find(c.saveSays), std::string::npos) << r.error;
        }
        // Neither the check's trial file nor a failed backup stays, under any name.
        if (c.saveSays != nullptr) {
            EXPECT_TRUE(AllEntries(CodeplugBackupFolder()).isEmpty())
                << AllEntries(CodeplugBackupFolder()).join(' ').toStdString();
        }
    }

    // Without HOME and XDG_DATA_HOME the folder would be one of the file system's root.
    ScopedDataHome home;
    qunsetenv("XDG_DATA_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qunsetenv("HOME");
    const std::string check = CheckCodeplugBackupFolder();
    const CodeplugBackupResult r = SaveCodeplugBackup(kSerialText, test::PatternBytes(64, 1));
    qputenv("HOME", oldHome);
    EXPECT_NE(check.find("neither HOME nor XDG_DATA_HOME is set"), std::string::npos) << check;
    EXPECT_FALSE(r.saved);
}

// A file that takes the chosen name after it was chosen is never replaced; backups and their
// folder are for their owner only, whatever the umask, and an older open folder is closed up.
TEST(CodeplugBackupTest, NeverReplacesAFileAndKeepsBackupsPrivate)
{
    test::EnsureCoreApplication();
    ScopedDataHome home;
    const mode_t oldMask = ::umask(022);
    FaultyDisk disk;
    std::string planted;
    disk.beforeLink = [&planted](int folder, const std::string& name) {
        if (planted.empty()) {
            planted = name;
            const int fd = ::openat(folder, name.c_str(), O_CREAT | O_WRONLY, 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::write(fd, "theirs", 6), 6);
            ::close(fd);
        }
    };
    const Bytes ours = test::PatternBytes(640, 3);
    const CodeplugBackupResult r = SaveCodeplugBackup(kSerialText, ours, disk);
    ASSERT_TRUE(r.saved) << r.error;
    const QString name = QFileInfo(QString::fromStdString(r.path)).fileName();
    EXPECT_EQ(name.toStdString(), planted.substr(0, planted.size() - 4) + "-2.bin");
    EXPECT_EQ(ScopedDataHome::Read(QString::fromStdString(planted)), Bytes({'t', 'h', 'e', 'i', 'r', 's'}));
    EXPECT_EQ(ScopedDataHome::Read(name), ours);
    EXPECT_EQ(ModeOf(r.path), 0600U);
    EXPECT_EQ(ModeOf(CodeplugBackupFolder()), 0700U);
    EXPECT_EQ(ModeOf(QFileInfo(QString::fromStdString(CodeplugBackupFolder())).absolutePath().toStdString()),
              0700U);

    ASSERT_EQ(::chmod(CodeplugBackupFolder().c_str(), 0755), 0);
    ASSERT_TRUE(SaveCodeplugBackup(kSerialText, ours).saved);
    EXPECT_EQ(ModeOf(CodeplugBackupFolder()), 0700U);

    // A link put in the folder's place is not followed: the codeplug holds the radio's passwords.
    const std::string elsewhere = CodeplugBackupFolder() + "-elsewhere";
    const auto kept = QDir(QString::fromStdString(CodeplugBackupFolder())).entryList(QDir::Files);
    ASSERT_EQ(::rename(CodeplugBackupFolder().c_str(), elsewhere.c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), CodeplugBackupFolder().c_str()), 0);
    const CodeplugBackupResult linked = SaveCodeplugBackup(kSerialText, ours);
    EXPECT_FALSE(linked.saved);
    EXPECT_NE(linked.error.find("symbolic link"), std::string::npos) << linked.error;
    EXPECT_EQ(QDir(QString::fromStdString(elsewhere)).entryList(QDir::Files), kept);
    ::umask(oldMask);
}

// Where the file system has no unnamed files a backup is written under a hidden name first; a run
// killed then leaves that name behind. The next check or save removes it, and only it.
TEST(CodeplugBackupTest, HiddenFilesOfKilledRunsGoAtTheNextCheck)
{
    test::EnsureCoreApplication();
    ScopedDataHome home;
    const std::string folder = CodeplugBackupFolder();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const pid_t ended = ::fork();
    if (ended == 0) {
        ::_exit(0);
    }
    ::waitpid(ended, nullptr, 0);
    const std::string killed = ".codeplug-" + std::to_string(ended) + "-0.tmp";
    const std::string mine = ".codeplug-" + std::to_string(::getpid()) + "-3.tmp";
    const std::string living = ".codeplug-1-0.tmp";
    for (const std::string& name :
         {killed, mine, living, std::string(".codeplug-" + std::to_string(ended) + "-.tmp"),
          std::string(".codeplug-x-0.tmp"), std::string("codeplug-1-0.tmp")}) {
        QFile file(QString::fromStdString(folder + "/" + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(CheckCodeplugBackupFolder(), "");
    const QStringList left = AllEntries(folder);
    EXPECT_FALSE(left.contains(QString::fromStdString(killed)));
    EXPECT_EQ(left.size(), 5) << left.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(left.contains(QString::fromStdString(mine)));
    EXPECT_TRUE(left.contains(QString::fromStdString(living)));
}

} // namespace
} // namespace aurex

// Backups read for a restore and the backups folder listed, on real files.
#include "transfer/backup_catalog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "backup_images.h"
#include "transfer/backup_check.h"

namespace aurex {
namespace {

using test::BackupBytes;
using test::RecordOf;

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

class BackupFolder : public ::testing::Test
{
  protected:
    std::string Path(const std::string& name) const
    {
        return QDir(dir_.path()).filePath(QString::fromStdString(name)).toStdString();
    }
    std::string Folder() const { return dir_.path().toStdString(); }

  private:
    QTemporaryDir dir_;
};

TEST_F(BackupFolder, RefusesWhatMustNotGoIntoARadioEachWithItsSentence)
{
    const std::vector<std::uint8_t> good = BackupBytes();
    const std::size_t words = good.size() / 2;
    const std::string name = Path("codeplug-00001A2B3C4D5E6F-20261207-221634.bin");
    const std::string refused = "The backup " + name + " cannot be restored: ";
    const std::string changed =
        "The backup " + name + " does not match its record: it may have been changed (";
    const std::string notJson = "{ \"format_version\": 1,";
    const auto bytes = [](std::vector<std::uint8_t> b) {
        return [b](const std::string& p) { WriteFile(p, b); };
    };
    const auto withRecord = [&](std::vector<std::uint8_t> b, std::function<void(BackupRecord&)> change) {
        return [b, change](const std::string& p) {
            WriteFile(p, b);
            BackupRecord record = RecordOf(b, "00001A2B3C4D5E6F", "2026-12-07T22:16:34Z");
            change(record);
            WriteText(BackupRecordPath(p), WriteBackupRecord(record));
        };
    };
    std::vector<std::uint8_t> broken = good;
    broken[0] = 0;
    std::vector<std::uint8_t> cut(good.begin(), good.end() - 20);
    std::vector<std::uint8_t> tampered = good;
    tampered[good.size() - 1] ^= 0x80;

    struct Case
    {
        const char* what;
        std::function<void(const std::string&)> make;
        std::string sentence;
    };
    const std::vector<Case> cases = {
        {"missing", [](const std::string&) {}, refused + "the file does not exist."},
        {"a folder", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); },
         refused + "it is a folder, not a file."},
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         refused + "it is not a regular file."},
        {"empty", bytes({}), refused + "the file is empty."},
        {"odd", bytes({0x5F, 0x5F, 0x00}), refused + "it holds 3 bytes, not a whole number of 16-bit words."},
        {"too large", bytes(std::vector<std::uint8_t>(40000, 0)),
         refused + "it is larger than the 32768-byte codeplug buffer, so it is no codeplug backup."},
        {"no image", bytes(broken),
         refused + "it is not a valid codeplug image (it fails the structure check)."},
        {"cut in its trailer", bytes(cut),
         refused + "it is cut short: it ends at word " + std::to_string(words - 10) +
             ", inside its image's 128-word trailer (words " + std::to_string(words - 128) + " to " +
             std::to_string(words - 1) + ")."},
        {"record not JSON",
         [&](const std::string& p) {
             WriteFile(p, good);
             WriteText(BackupRecordPath(p), notJson);
         },
         refused + "its record " + BackupRecordPath(name) + " cannot be read. " +
             ReadBackupRecord(notJson).error},
        {"record a folder",
         [&](const std::string& p) {
             WriteFile(p, good);
             ASSERT_EQ(::mkdir(BackupRecordPath(p).c_str(), 0700), 0);
         },
         refused + "its record " + BackupRecordPath(name) + " cannot be read: it is a folder, not a file."},
        {"record of another length", withRecord(good, [](BackupRecord& r) { r.lengthBytes = 32768; }),
         changed + "the record says 32768 bytes, the file holds " + std::to_string(good.size()) + ")."},
        {"record of another digest",
         withRecord(good, [](BackupRecord& r) { r.sha256 = std::string(64, 'a'); }),
         changed + "its SHA-256 is not the one the record holds)."},
        {"a changed byte",
         [&](const std::string& p) {
             withRecord(good, [](BackupRecord&) {})(p);
             WriteFile(p, tampered);
         },
         changed + "its SHA-256 is not the one the record holds)."},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(name);
        std::filesystem::remove_all(BackupRecordPath(name));
        c.make(name);
        const BackupForRestore read = ReadBackupForRestore(name);
        EXPECT_EQ(read.error, c.sentence) << c.what;
        EXPECT_EQ(read.identity, "00001A2B3C4D5E6F") << c.what;
        EXPECT_LE(read.bytes.size(), kBackupMaxBytes + 1) << c.what; // read bounded
    }
}

TEST_F(BackupFolder, ReadsAGoodBackupWithAndWithoutItsRecord)
{
    const std::vector<std::uint8_t> bytes = BackupBytes(3);
    const std::string plain = Path("codeplug-1A2B-20261207-221634.bin");
    WriteFile(plain, bytes);
    BackupForRestore read = ReadBackupForRestore(plain);
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.bytes, bytes);
    EXPECT_FALSE(read.record);
    EXPECT_FALSE(read.recordFile);
    EXPECT_EQ(read.identity, "1A2B");
    EXPECT_EQ(read.format, "5.8");

    const std::string recorded = Path("my-copy.bin");
    WriteFile(recorded, bytes);
    const BackupRecord record = RecordOf(bytes, "00000A1B2C3D4E5F", "2026-12-07T22:16:34Z");
    WriteText(BackupRecordPath(recorded), WriteBackupRecord(record));
    read = ReadBackupForRestore(recorded);
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.bytes, bytes);
    ASSERT_TRUE(read.record);
    EXPECT_EQ(*read.record, record);
    EXPECT_TRUE(read.recordFile);
    EXPECT_EQ(read.identity, "00000A1B2C3D4E5F");
}

std::string NameTimeUtc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime)
        .toUTC()
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))
        .toStdString();
}

TEST_F(BackupFolder, ListsBackupsNewestFirstWithWhatTheirNamesSay)
{
    const std::vector<std::uint8_t> bytes = BackupBytes(5);
    WriteFile(Path("codeplug-1A2B-20261205-101010.bin"), bytes);
    WriteFile(Path("codeplug-1A2B-20261205-101010-2.bin"), bytes);
    // Saved a day later, its record tells another identity and the UTC time.
    WriteFile(Path("codeplug-1A2B-20261207-090000.bin"), bytes);
    WriteText(Path("codeplug-1A2B-20261207-090000.json"),
              WriteBackupRecord(
                  RecordOf(bytes, "00000A1B2C3D4E5F", "2026-12-07T08:00:00Z", BackupReason::BeforeRestore)));
    WriteFile(Path("odd-name.bin"), {});
    WriteFile(Path("notes.txt"), bytes);
    WriteFile(Path("codeplug-1A2B-20261206-101010.bin.old"), bytes);

    const std::vector<BackupEntry> list = ListCodeplugBackups(Folder());
    ASSERT_EQ(list.size(), 4U);
    EXPECT_EQ(list[0].fileName, "codeplug-1A2B-20261207-090000.bin");
    EXPECT_EQ(list[0].path, Path("codeplug-1A2B-20261207-090000.bin"));
    EXPECT_EQ(list[0].identity, "00000A1B2C3D4E5F");
    EXPECT_EQ(list[0].time, "2026-12-07T08:00:00Z");
    EXPECT_EQ(list[0].reason, "before-restore");
    EXPECT_TRUE(list[0].hasRecord);
    EXPECT_EQ(list[0].format, "5.10");
    EXPECT_EQ(list[0].problem, "");

    // The same second: the numbered one came later.
    EXPECT_EQ(list[1].fileName, "codeplug-1A2B-20261205-101010-2.bin");
    EXPECT_EQ(list[2].fileName, "codeplug-1A2B-20261205-101010.bin");
    for (const BackupEntry& e : {list[1], list[2]}) {
        EXPECT_EQ(e.identity, "1A2B");
        EXPECT_EQ(e.time, NameTimeUtc(2026, 12, 5, 10, 10, 10));
        EXPECT_EQ(e.reason, "");
        EXPECT_FALSE(e.hasRecord);
        EXPECT_EQ(e.problem, "");
    }

    // Neither record nor name tells its time: last, and shown with its problem.
    EXPECT_EQ(list[3].fileName, "odd-name.bin");
    EXPECT_EQ(list[3].time, "");
    EXPECT_EQ(list[3].identity, "");
    EXPECT_EQ(list[3].problem,
              "The backup " + Path("odd-name.bin") + " cannot be restored: the file is empty.");
}

TEST_F(BackupFolder, ListsAtMostTheNewestThousand)
{
    const std::size_t count = kBackupListLimit + 5;
    for (std::size_t i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "codeplug-AB-20261201-%02zu%02zu%02zu.bin", i / 3600, i / 60 % 60,
                      i % 60);
        WriteFile(Path(name), {});
    }
    const std::vector<BackupEntry> list = ListCodeplugBackups(Folder());
    ASSERT_EQ(list.size(), kBackupListLimit);
    EXPECT_EQ(list.front().fileName, "codeplug-AB-20261201-001644.bin"); // the last, 1004 s in
    EXPECT_EQ(list.back().fileName, "codeplug-AB-20261201-000005.bin");  // the five oldest left out
}

TEST(BackupCatalog, AMissingFolderListsNothing)
{
    EXPECT_TRUE(ListCodeplugBackups("/nonexistent/aurex-backups").empty());
    EXPECT_TRUE(ListCodeplugBackups("").empty());
}

} // namespace
} // namespace aurex

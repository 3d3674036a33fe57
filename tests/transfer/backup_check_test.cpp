// The check of a backup's bytes and record text before a restore, without files.
#include "transfer/backup_check.h"

#include <gtest/gtest.h>

#include "backup_images.h"

namespace aurex {
namespace {

using test::BackupBytes;
using test::RecordOf;

const std::string kPath = "/b/codeplug-1A2B-20261207-221634.bin";

TEST(BackupCheck, AGoodBackupWithoutARecordTakesItsIdentityFromItsName)
{
    for (const std::uint8_t format : {3, 4, 5}) {
        const BackupCheck check = CheckBackup(kPath, BackupBytes(format), std::nullopt);
        EXPECT_EQ(check.problem, "");
        EXPECT_FALSE(check.record);
        EXPECT_EQ(check.identity, "1A2B");
        EXPECT_EQ(check.format, "5." + std::to_string(format + 5));
    }
    EXPECT_EQ(CheckBackup("/b/radio.bin", BackupBytes(), std::nullopt).identity, "");
}

TEST(BackupCheck, AGoodBackupWithItsRecordTakesTheRecordsIdentity)
{
    const std::vector<std::uint8_t> bytes = BackupBytes(5, 7);
    const BackupRecord record =
        RecordOf(bytes, "00000A1B2C3D4E5F", "2026-12-07T22:16:34Z", BackupReason::OnRequest);
    const BackupCheck check = CheckBackup(kPath, bytes, WriteBackupRecord(record));
    EXPECT_EQ(check.problem, "");
    ASSERT_TRUE(check.record);
    EXPECT_EQ(*check.record, record);
    EXPECT_EQ(check.identity, "00000A1B2C3D4E5F");
    EXPECT_EQ(check.format, "5.10");
}

TEST(BackupCheck, EveryChangedByteIsSeenThroughTheRecord)
{
    const std::vector<std::uint8_t> bytes = BackupBytes();
    const std::string record = WriteBackupRecord(RecordOf(bytes, "00001A2B3C4D5E6F", "2026-12-07T22:16:34Z"));
    const std::string changed = "The backup " + kPath +
                                " does not match its record: it may have been changed (its SHA-256 is not "
                                "the one the record holds).";
    // The first word, one inside the chain, the last trailer byte: each still of the same length.
    for (const std::size_t at : {std::size_t{0}, std::size_t{101}, bytes.size() - 1}) {
        std::vector<std::uint8_t> tampered = bytes;
        tampered[at] ^= 0x01;
        const BackupCheck check = CheckBackup(kPath, tampered, record);
        EXPECT_EQ(check.problem, changed) << "byte " << at;
        // Without its record a trailer byte is not checked at all: that is what the record is for.
        if (at == bytes.size() - 1) {
            EXPECT_EQ(CheckBackup(kPath, tampered, std::nullopt).problem, "");
        }
    }
}

TEST(BackupCheck, ATooLargeFileIsRefusedWhateverItHolds)
{
    std::vector<std::uint8_t> bytes = BackupBytes();
    bytes.resize(kBackupMaxBytes, 0);
    EXPECT_EQ(CheckBackup(kPath, bytes, std::nullopt).problem, ""); // a whole buffer is fine
    bytes.push_back(0);
    EXPECT_NE(CheckBackup(kPath, bytes, std::nullopt).problem, "");
}

TEST(BackupCheck, TheNameGivesIdentityTimeAndNumber)
{
    struct Case
    {
        std::string name;
        bool parses;
        std::string identity;
        std::string time;
        int number;
    };
    const std::vector<Case> cases = {
        {"codeplug-1A2B-20261207-221634.bin", true, "1A2B", "2026-12-07T22:16:34", 1},
        {"/home/u/codeplug-unknown-20260101-000000-2.bin", true, "unknown", "2026-01-01T00:00:00", 2},
        {"codeplug-00001A2B3C4D5E6F-20261231-235960-999.bin", true, "00001A2B3C4D5E6F", "2026-12-31T23:59:60",
         999},
        {"codeplug-1A2B-20261207-221634-1.bin", false, "", "", 0},    // the first has no number
        {"codeplug-1A2B-20261207-221634-02.bin", false, "", "", 0},   // nor a leading zero
        {"codeplug-1A2B-20261207-221634-1000.bin", false, "", "", 0}, // at most 999 a second
        {"codeplug-1A2B-20261307-221634.bin", false, "", "", 0},      // month 13
        {"codeplug-1A2B-20261200-221634.bin", false, "", "", 0},      // day 0
        {"codeplug-1A2B-20261207-241634.bin", false, "", "", 0},      // hour 24
        {"codeplug-1A2B-2026127-221634.bin", false, "", "", 0},
        {"codeplug-1A.B-20261207-221634.bin", false, "", "", 0},
        {"codeplug--20261207-221634.bin", false, "", "", 0},
        {"codeplug-1A2B-20261207-221634.json", false, "", "", 0},
        {"backup-1A2B-20261207-221634.bin", false, "", "", 0},
        {"codeplug-.bin", false, "", "", 0},
        {"", false, "", "", 0},
    };
    for (const Case& c : cases) {
        const std::optional<BackupName> name = ParseBackupName(c.name);
        ASSERT_EQ(name.has_value(), c.parses) << c.name;
        if (name) {
            EXPECT_EQ(name->identity, c.identity) << c.name;
            EXPECT_EQ(name->localTime, c.time) << c.name;
            EXPECT_EQ(name->number, c.number) << c.name;
        }
    }
}

} // namespace
} // namespace aurex

// The update history on real SQLite files: what goes in comes out, several programs append at
// once, a killed writer loses at most its unfinished row, and a damaged file is moved aside.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include "history/history_columns.h"
#include "history/update_history.h"
#include "link/qt_app.h"

namespace aurex {
namespace {

class UpdateHistoryTest : public ::testing::Test
{
  protected:
    void SetUp() override { test::EnsureCoreApplication(); }

    std::string Folder() const { return dir_.path().toStdString() + "/data"; }
    std::string File() const { return HistoryFileIn(Folder()); }

    std::unique_ptr<UpdateHistory> OpenQuietly()
    {
        std::string warning, error;
        auto history = UpdateHistory::Open(File(), warning, error);
        EXPECT_TRUE(history) << error;
        EXPECT_EQ(warning, "");
        return history;
    }

    QTemporaryDir dir_;
};

HistoryRow Started(const std::string& identity, const std::string& port = "COM 3 (/dev/ttyUSB0)")
{
    HistoryRow row;
    row.startedUtc = "2026-12-08T10:15:00Z";
    row.kind = "update";
    row.port = port;
    row.radioIdentity = identity;
    return row;
}

HistoryRow Completed(HistoryRow row, int code, const std::string& text)
{
    row.finishedUtc = "2026-12-08T10:17:03Z";
    row.resultCode = code;
    row.resultText = text;
    row.durationSeconds = 123.25;
    return row;
}

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// quick_check of the file through a connection of the test's own.
std::string QuickCheck(const std::string& path)
{
    std::string answer;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(QString::fromStdString(path));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("PRAGMA quick_check")) && query.next()) {
                answer = query.value(0).toString().toStdString();
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return answer;
}

TEST_F(UpdateHistoryTest, EveryFieldComesBackAsWritten)
{
    auto history = OpenQuietly();
    ASSERT_TRUE(history);
    HistoryRow start = Started("1A2B\"3C, \xC3\xA9t\xC3\xA9");
    start.model = "Portable";
    start.series = "Serie \xE2\x82\xAC 5";
    start.versionsBefore = "boot 4.0, file format 5.8";
    start.imageSetName = "Set \"A\"";
    start.imageSetRelease = "R 12.4";
    const std::int64_t id = history->Begin(start);
    ASSERT_GT(id, 0) << history->Error();

    HistoryRow end = Completed(start, 7, "Line one,\r\nline \"two\"\n\xE6\x97\xA5\xE6\x9C\xAC");
    end.startedUtc = "ignored";
    end.versionsAfter = "boot 4.1, file format 5.9";
    end.backupFile = "/home/u/backups/codeplug-1A2B, copy.bin";
    end.backupSha256 = std::string(64, 'f');
    end.verification = "not verified";
    end.logFile = "/home/u/logs/run 1.log";
    ASSERT_TRUE(history->Finish(id, end)) << history->Error();

    const std::vector<HistoryRow> rows = history->Rows();
    ASSERT_EQ(rows.size(), 1u);
    const HistoryRow& got = rows[0];
    EXPECT_EQ(got.id, id);
    EXPECT_EQ(got.startedUtc, start.startedUtc);
    EXPECT_EQ(got.finishedUtc, end.finishedUtc);
    EXPECT_EQ(got.kind, end.kind);
    EXPECT_EQ(got.port, end.port);
    EXPECT_EQ(got.radioIdentity, end.radioIdentity);
    EXPECT_EQ(got.model, end.model);
    EXPECT_EQ(got.series, end.series);
    EXPECT_EQ(got.versionsBefore, end.versionsBefore);
    EXPECT_EQ(got.versionsAfter, end.versionsAfter);
    EXPECT_EQ(got.imageSetName, end.imageSetName);
    EXPECT_EQ(got.imageSetRelease, end.imageSetRelease);
    EXPECT_EQ(got.resultCode, 7);
    EXPECT_EQ(got.resultText, end.resultText);
    EXPECT_DOUBLE_EQ(got.durationSeconds, 123.25);
    EXPECT_EQ(got.backupFile, end.backupFile);
    EXPECT_EQ(got.backupSha256, end.backupSha256);
    EXPECT_EQ(got.verification, end.verification);
    EXPECT_EQ(got.logFile, end.logFile);
}

TEST_F(UpdateHistoryTest, StartedRowStaysUnfinishedAndShowsSo)
{
    auto history = OpenQuietly();
    ASSERT_TRUE(history);
    ASSERT_GT(history->Begin(Started("1A2B")), 0);
    const std::vector<HistoryRow> rows = history->Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].finishedUtc, "");
    EXPECT_EQ(rows[0].resultCode, -1);
    const std::string table = HistoryTable(rows);
    EXPECT_NE(table.find("unfinished"), std::string::npos) << table;
    EXPECT_EQ(table.find(" s\n"), std::string::npos) << "an unfinished run has no duration\n" << table;
}

TEST_F(UpdateHistoryTest, FinishOfUnknownRunFails)
{
    auto history = OpenQuietly();
    ASSERT_TRUE(history);
    EXPECT_FALSE(history->Finish(42, Completed(Started("1A2B"), 0, "done")));
    EXPECT_NE(history->Error().find("42"), std::string::npos) << history->Error();
}

TEST_F(UpdateHistoryTest, FiltersByIdentityAndKeepsTheNewest)
{
    auto history = OpenQuietly();
    ASSERT_TRUE(history);
    const char* identities[] = {"1A2B", "1A2BC", "1A-2b", "9F00", "1A2B", "1A2B'; DROP TABLE runs; --"};
    for (const char* identity : identities) {
        ASSERT_GT(history->Begin(Started(identity)), 0) << history->Error();
    }
    struct Case
    {
        std::string identity;
        std::size_t newest;
        std::vector<std::int64_t> ids;
    };
    const Case cases[] = {
        {"", 0, {1, 2, 3, 4, 5, 6}},
        {"1A2B", 0, {1, 3, 5}},
        {"1A2B", 2, {3, 5}},
        {"", 2, {5, 6}},
        {"1A2", 0, {}},
        {"1A2B'; DROP TABLE runs; --", 0, {6}},
        {"9F00", 10, {4}},
        {"1a-2B", 0, {1, 3, 5}},
    };
    for (const Case& c : cases) {
        std::vector<std::int64_t> ids;
        for (const HistoryRow& row : history->Rows(c.identity, c.newest)) {
            // A row written with dashes reads back in the form the others have.
            EXPECT_TRUE(row.radioIdentity.find('-') == std::string::npos || row.id == 6);
            ids.push_back(row.id);
        }
        EXPECT_EQ(ids, c.ids) << "identity '" << c.identity << "', newest " << c.newest;
    }
}

TEST_F(UpdateHistoryTest, MakesPrivateFolderAndFile)
{
    auto history = OpenQuietly();
    ASSERT_TRUE(history);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(File(), Folder() + "/history.sqlite");
}

TEST(HistoryCsvTest, QuotesOnlyWhatNeedsIt)
{
    struct Case
    {
        std::string text;
        std::string field;
    };
    const Case cases[] = {
        {"plain", "plain"},           {"", ""},
        {"a,b", "\"a,b\""},           {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"one\ntwo", "\"one\ntwo\""}, {"one\r\ntwo", "\"one\r\ntwo\""},
        {"cr\ronly", "\"cr\ronly\""}, {"\xC3\xA9t\xC3\xA9 ok", "\xC3\xA9t\xC3\xA9 ok"},
    };
    for (const Case& c : cases) {
        HistoryRow row = Completed(Started("1A2B"), 0, c.text);
        row.id = 3;
        const std::string csv = HistoryCsv({row});
        const std::string expected =
            "id,started_utc,finished_utc,kind,port,radio_identity,model,series,"
            "versions_before,versions_after,image_set_name,image_set_release,"
            "result_code,result_text,duration_seconds,backup_file,backup_sha256,"
            "verification,log_file\r\n"
            "3,2026-12-08T10:15:00Z,2026-12-08T10:17:03Z,update,COM 3 (/dev/ttyUSB0),"
            "1A2B,,,,,,,0," +
            c.field + ",123.25,,,,\r\n";
        EXPECT_EQ(csv, expected) << "text: " << c.text;
    }
}

TEST(HistoryTableTest, AlignsColumnsAndCutsLongText)
{
    HistoryRow done = Completed(Started("1A2B"), 0, std::string(60, 'x'));
    done.durationSeconds = 12.34;
    done.imageSetName = "Unit_Release_12_4";
    done.imageSetRelease = "12.4";
    HistoryRow open = Started("9F00");
    open.kind = "backup";
    const std::string table = HistoryTable({done, open});
    const std::string expected =
        "Started               Identity  Kind    Result      Result text                               "
        "Duration  Image set\n"
        "2026-12-08T10:15:00Z  1A2B      update  0           " +
        std::string(37, 'x') +
        "...  12.3 s    Unit_Release_12_4 12.4\n"
        "2026-12-08T10:15:00Z  9F00      backup  unfinished\n";
    EXPECT_EQ(table, expected);
}

// Whatever a row holds, the table keeps one line per row and sends a terminal no control
// character: line breaks and tabs become spaces, other controls "?", and a NUL never ends it early.
TEST(HistoryTableTest, ShowsControlCharactersAsOneLineOfText)
{
    struct Case
    {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"two\r\nlines\ttab", "two  lines tab"},
        {std::string("cut\0here", 8), "cut?here"},
        {"\x1b[2Jclear\x7f", "?[2Jclear?"},
        {"feed\v\fpage", "feed??page"},
        {"c1 \xc2\x85\xc2\x9b and \xc2\xa0\xc3\xa9 kept", "c1 ?? and \xc2\xa0\xc3\xa9 kept"},
    };
    for (const Case& c : cases) {
        HistoryRow row = Completed(Started("1A2B"), 0, c.text);
        row.radioIdentity = c.text;
        const std::string table = HistoryTable({row});
        const std::string second = table.substr(table.find('\n') + 1);
        EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 2) << table;
        // Shown as the identity and as the result text.
        const std::size_t identity = second.find("  " + c.shown + "  update");
        ASSERT_NE(identity, std::string::npos) << table;
        EXPECT_NE(second.find(c.shown, identity + c.shown.size() + 2), std::string::npos) << table;
    }
}

// The writers run as separate processes, as separate programs would; each forks before it has
// any database object of its own.
pid_t Writer(const std::string& path, int writer, int rows, int progressFd = -1, int startFd = -1)
{
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    bool ok = true;
    if (startFd >= 0) {
        // Waits for the parent to let all writers go at once.
        char go = 0;
        ok = ::read(startFd, &go, 1) == 1;
    }
    {
        std::string warning, error;
        auto history = UpdateHistory::Open(path, warning, error);
        ok = ok && history && (startFd >= 0 || warning.empty());
        if (!ok) {
            std::fprintf(stderr, "writer %d: open: %s %s\n", writer, error.c_str(), warning.c_str());
        }
        for (int i = 0; ok && (rows < 0 || i < rows); ++i) {
            HistoryRow row = Started("1A2B", "writer " + std::to_string(writer));
            const std::int64_t id = history->Begin(row);
            ok = id > 0 && history->Finish(id, Completed(row, 0, "row " + std::to_string(i)));
            if (!ok) {
                std::fprintf(stderr, "writer %d: row %d: %s\n", writer, i, history->Error().c_str());
            }
            if (ok && progressFd >= 0) {
                ok = ::write(progressFd, "r", 1) == 1;
            }
        }
    }
    ::_exit(ok ? 0 : 1);
}

// Programs recording runs, several alive at once and a new one starting as one ends, the first
// on a new file: no row is lost or left unfinished.
TEST_F(UpdateHistoryTest, ProgramsAppendingAtOnceLoseNothing)
{
    for (const auto [atOnce, rows, programs] : {std::array{4, 200, 4}, std::array{2, 1, 300}}) {
        const std::string file = HistoryFileIn(Folder() + "/" + std::to_string(programs));
        int started = 0;
        for (; started < atOnce; ++started) {
            Writer(file, started, rows);
        }
        for (int ended = 0; ended < programs; ++ended) {
            int status = 0;
            ASSERT_GT(::waitpid(-1, &status, 0), 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
            if (started < programs) {
                Writer(file, started++, rows);
            }
        }
        std::string warning, error;
        auto history = UpdateHistory::Open(file, warning, error);
        ASSERT_TRUE(history) << error;
        const std::vector<HistoryRow> found = history->Rows();
        EXPECT_EQ(found.size(), static_cast<std::size_t>(rows * programs));
        std::map<std::string, int> perWriter;
        for (const HistoryRow& row : found) {
            ++perWriter[row.port];
            EXPECT_FALSE(row.finishedUtc.empty()) << "row " << row.id;
        }
        for (int w = 0; w < programs; ++w) {
            EXPECT_EQ(perWriter["writer " + std::to_string(w)], rows) << "writer " << w;
        }
        EXPECT_EQ(QuickCheck(file), "ok");
    }
}

TEST_F(UpdateHistoryTest, WriterKilledMidRowLosesAtMostThatRow)
{
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    const pid_t child = Writer(File(), 0, -1, progress[1]);
    ::close(progress[1]);
    // Kill once 50 rows are finished, while it is writing more.
    long reported = 0;
    char byte = 0;
    while (reported < 50 && ::read(progress[0], &byte, 1) == 1) {
        ++reported;
    }
    ASSERT_EQ(reported, 50) << "the writer stopped early";
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    while (::read(progress[0], &byte, 1) == 1) {
        ++reported;
    }
    ::close(progress[0]);

    auto history = OpenQuietly();
    ASSERT_TRUE(history);
    EXPECT_EQ(QuickCheck(File()), "ok");
    const std::vector<HistoryRow> rows = history->Rows();
    ASSERT_GE(rows.size(), static_cast<std::size_t>(reported));
    int unfinished = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].finishedUtc.empty()) {
            ++unfinished;
            EXPECT_EQ(i + 1, rows.size()) << "only the last row may be unfinished";
            continue;
        }
        EXPECT_EQ(rows[i].resultText, "row " + std::to_string(i));
        EXPECT_EQ(rows[i].port, "writer 0");
    }
    EXPECT_LE(unfinished, 1);
    EXPECT_GE(rows.size() - static_cast<std::size_t>(unfinished), static_cast<std::size_t>(reported));
}

// A real history of many rows, closed; its bytes.
std::string RealDatabaseBytes(const std::string& path)
{
    {
        std::string warning, error;
        auto history = UpdateHistory::Open(path, warning, error);
        for (int i = 0; history && i < 300; ++i) {
            history->Begin(Completed(Started("1A2B"), 0, std::string(200, 'a' + i % 26)));
        }
    }
    return Bytes(path);
}

std::string ForeignDatabaseBytes(const std::string& path, int rows = 1)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
        db.setDatabaseName(QString::fromStdString(path));
        db.open();
        QSqlQuery query(db);
        query.exec(QStringLiteral("CREATE TABLE runs (lap INTEGER, seconds REAL)"));
        query.exec(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n LIMIT %1) "
                                  "INSERT INTO runs SELECT x, x * 1.5 FROM n")
                       .arg(rows));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
    return Bytes(path);
}

// A history of this version whose runs table declares `column` as `declaration`, one run in it.
std::string AlteredHistoryBytes(const std::string& path, const std::string& column,
                                const std::string& declaration)
{
    QString create = QStringLiteral("CREATE TABLE runs (");
    for (std::string_view name : kHistoryColumns) {
        std::string made = name == "id"                 ? "INTEGER PRIMARY KEY AUTOINCREMENT"
                           : name == "result_code"      ? "INTEGER NOT NULL DEFAULT -1"
                           : name == "duration_seconds" ? "REAL NOT NULL DEFAULT 0"
                                                        : "TEXT NOT NULL DEFAULT ''";
        create += QString::fromStdString((name == "id" ? "" : ", ") + std::string(name) + " " +
                                         (name == column ? declaration : made));
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("altered"));
        db.setDatabaseName(QString::fromStdString(path));
        db.open();
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(create + ")")) << create.toStdString();
        query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kHistorySchemaVersion));
        query.exec(QStringLiteral("INSERT INTO runs (started_utc) VALUES ('2026-12-08T10:15:00Z')"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("altered"));
    return Bytes(path);
}

TEST_F(UpdateHistoryTest, DamagedFileIsMovedAsideAndNewHistoryStarted)
{
    struct Case
    {
        const char* name;
        std::function<std::string(const std::string& scratch)> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"random bytes",
         [](const std::string&) {
             std::mt19937 random(7);
             std::string bytes(8192, '\0');
             for (char& c : bytes) {
                 c = static_cast<char>(random());
             }
             return bytes;
         },
         "(file is not a database)"},
        {"text file", [](const std::string&) { return std::string("Radio log\nline two\n"); },
         "(file is not a database)"},
        {"truncated database",
         [](const std::string& scratch) {
             const std::string whole = RealDatabaseBytes(scratch);
             return whole.substr(0, whole.size() / 2);
         },
         ""},
        {"foreign runs table", [](const std::string& scratch) { return ForeignDatabaseBytes(scratch); },
         "(unknown history version 0)"},
        // A damaged schema text still parses: the id is then no key, a column of another type.
        {"id that is no key",
         [](const std::string& scratch) { return AlteredHistoryBytes(scratch, "id", "INTEGER PRIMAY KYER"); },
         "(the runs table's id is not its INTEGER PRIMARY KEY)"},
        {"schema format of a later SQLite",
         [](const std::string& scratch) {
             std::string bytes = RealDatabaseBytes(scratch);
             bytes[47] = 5; // the header's schema format number, 4 at most
             return bytes;
         },
         "(unsupported file format)"},
        // The header's write version says a later SQLite wrote the file; the read version says
        // the rollback journal (1) or WAL (2).
        {"rollback file marked as written by a later SQLite",
         [](const std::string& scratch) {
             std::string bytes = RealDatabaseBytes(scratch);
             bytes[18] = 3;
             bytes[19] = 1;
             return bytes;
         },
         "(its header says a later SQLite wrote it, so SQLite only reads it)"},
        {"WAL file marked as written by a later SQLite",
         [](const std::string& scratch) {
             std::string bytes = RealDatabaseBytes(scratch);
             bytes[18] = 3;
             return bytes;
         },
         "(its header says a later SQLite wrote it, so SQLite only reads it)"},
        {"id sequence table damaged",
         [](const std::string& scratch) {
             std::string bytes = RealDatabaseBytes(scratch);
             const std::size_t at = bytes.find("sqlite_sequence(name,seq)");
             EXPECT_NE(at, std::string::npos);
             bytes[at + 20] = 'A'; // "(nameAseq)": one column, so no run can be added
             return bytes;
         },
         "(database disk image is malformed)"},
        {"column of another type",
         [](const std::string& scratch) { return AlteredHistoryBytes(scratch, "result_code", "TEXX"); },
         "(the runs table's result_code is TEXX, not INTEGER)"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = dir_.path().toStdString() + "/case" + std::to_string(++n);
        std::filesystem::create_directories(folder);
        const std::string path = HistoryFileIn(folder);
        const std::string bytes = c.bytes(folder + "/scratch.sqlite");
        ASSERT_GT(bytes.size(), 0u);
        WriteBytes(path, bytes);

        std::string warning, error;
        auto history = UpdateHistory::Open(path, warning, error);
        ASSERT_TRUE(history) << error;
        std::smatch moved;
        const std::regex form("The update history " + folder +
                              "/history\\.sqlite could not be read \\(.+\\); it was moved to (" + folder +
                              "/history\\.sqlite\\.broken-\\d{8}T\\d{6}Z) and a new one was started\\.");
        ASSERT_TRUE(std::regex_match(warning, moved, form)) << warning;
        EXPECT_NE(warning.find(c.reason), std::string::npos) << warning;
        EXPECT_TRUE(Bytes(moved[1]) == bytes) << "the moved file was changed";

        const std::int64_t id = history->Begin(Started("1A2B"));
        ASSERT_GT(id, 0) << history->Error();
        EXPECT_TRUE(history->Finish(id, Completed(Started("1A2B"), 0, "done")));
        EXPECT_EQ(history->Rows().size(), 1u);
        history.reset();
        EXPECT_EQ(QuickCheck(path), "ok");
        auto again = UpdateHistory::Open(path, warning, error);
        ASSERT_TRUE(again) << error;
        EXPECT_EQ(warning, "");
    }
}

TEST_F(UpdateHistoryTest, ProgramsOpeningOneDamagedFileMoveItOnce)
{
    std::filesystem::create_directories(Folder());
    // Big enough that the writers are all still checking it when the first moves it.
    const std::string bytes = ForeignDatabaseBytes(dir_.path().toStdString() + "/foreign.sqlite", 400000);
    WriteBytes(File(), bytes);
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < 4; ++w) {
        children.push_back(Writer(File(), w, 5, -1, gate[0]));
    }
    ::usleep(100000);
    ASSERT_EQ(::write(gate[1], "gggggggg", 4), 4);
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
    }
    int moved = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
        moved += entry.path().filename().string().find(".broken-") != std::string::npos &&
                 entry.path().filename().string().find("-wal") == std::string::npos &&
                 entry.path().filename().string().find("-shm") == std::string::npos;
    }
    EXPECT_EQ(moved, 1);
    auto history = OpenQuietly();
    ASSERT_TRUE(history);
    EXPECT_EQ(history->Rows().size(), 20u);
}

} // namespace
} // namespace aurex

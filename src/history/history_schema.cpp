#include "history/history_schema.h"

#include <map>
#include <set>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include "history/history_columns.h"

namespace aurex {

namespace {

// SQLite's primary result codes that say something about the file or its locks.
constexpr int kSqliteCorrupt = 11;
// A damaged record can claim a length no allocation meets: SQLite then says "out of memory". A
// real shortage is rare on a desktop and only gets the file moved aside, never lost.
constexpr int kSqliteNoMemory = 7;
constexpr int kSqliteNotADatabase = 26;
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;

int PrimaryCode(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? (code & 0xff) : 0;
}

std::string ErrorText(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.toStdString();
}

SchemaCheck Sound()
{
    return {SchemaCheck::Outcome::Sound, {}};
}

SchemaCheck Broken(std::string reason)
{
    return {SchemaCheck::Outcome::Broken, std::move(reason)};
}

// The file is at fault only when SQLite says it is no database or a damaged one.
SchemaCheck FromError(const QSqlError& error)
{
    const int code = PrimaryCode(error);
    // A header claiming a file format this SQLite does not read comes as a plain error.
    if (code == kSqliteNotADatabase || code == kSqliteCorrupt || code == kSqliteNoMemory ||
        error.databaseText().contains(QStringLiteral("unsupported file format"))) {
        return Broken(ErrorText(error));
    }
    return {SchemaCheck::Outcome::Failed, ErrorText(error), IsBusyError(error)};
}

const char* kCreateRuns = "CREATE TABLE runs ("
                          "id INTEGER PRIMARY KEY AUTOINCREMENT,"
                          "started_utc TEXT NOT NULL DEFAULT '',"
                          "finished_utc TEXT NOT NULL DEFAULT '',"
                          "kind TEXT NOT NULL DEFAULT '',"
                          "port TEXT NOT NULL DEFAULT '',"
                          "radio_identity TEXT NOT NULL DEFAULT '',"
                          "model TEXT NOT NULL DEFAULT '',"
                          "series TEXT NOT NULL DEFAULT '',"
                          "versions_before TEXT NOT NULL DEFAULT '',"
                          "versions_after TEXT NOT NULL DEFAULT '',"
                          "image_set_name TEXT NOT NULL DEFAULT '',"
                          "image_set_release TEXT NOT NULL DEFAULT '',"
                          "result_code INTEGER NOT NULL DEFAULT -1,"
                          "result_text TEXT NOT NULL DEFAULT '',"
                          "duration_seconds REAL NOT NULL DEFAULT 0,"
                          "backup_file TEXT NOT NULL DEFAULT '',"
                          "backup_sha256 TEXT NOT NULL DEFAULT '',"
                          "verification TEXT NOT NULL DEFAULT '',"
                          "log_file TEXT NOT NULL DEFAULT '')";

// The type each column is made with. Another type changes how SQLite keeps a value (a text of
// digits would come back as a number), and an id that is not the INTEGER PRIMARY KEY is no run's
// number: every Finish would miss its row.
QString MadeType(std::string_view column)
{
    if (column == "id" || column == "result_code") {
        return QStringLiteral("INTEGER");
    }
    return column == "duration_seconds" ? QStringLiteral("REAL") : QStringLiteral("TEXT");
}

struct ColumnMade
{
    QString type;
    int keyPart = 0; // 1 for the primary key's first column, 0 outside it
};

// Inside the write transaction: what the schema says about the file, creating it when empty.
SchemaCheck ReadOrCreateSchema(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        return FromError(query.lastError());
    }
    const int version = query.value(0).toInt();
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                   "'sqlite\\_%' ESCAPE '\\'"))) {
        return FromError(query.lastError());
    }
    std::set<std::string> tables;
    while (query.next()) {
        tables.insert(query.value(0).toString().toStdString());
    }
    if (version == 0 && tables.empty()) {
        if (!query.exec(QLatin1String(kCreateRuns)) ||
            !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kHistorySchemaVersion))) {
            return FromError(query.lastError());
        }
        return Sound();
    }
    if (tables.count("runs") == 0) {
        return Broken("it holds no runs table");
    }
    if (version != kHistorySchemaVersion) {
        return Broken("unknown history version " + std::to_string(version));
    }
    if (!query.exec(QStringLiteral("PRAGMA table_info(runs)"))) {
        return FromError(query.lastError());
    }
    std::map<std::string, ColumnMade> present;
    while (query.next()) {
        present[query.value(1).toString().toStdString()] = {query.value(2).toString(),
                                                            query.value(5).toInt()};
    }
    std::string missing;
    for (std::string_view column : kHistoryColumns) {
        if (present.count(std::string(column)) == 0) {
            missing += (missing.empty() ? "" : ", ") + std::string(column);
        }
    }
    if (!missing.empty()) {
        return Broken("the runs table lacks " + missing);
    }
    for (const auto& [name, made] : present) {
        if ((name == "id") != (made.keyPart == 1) || made.keyPart > 1) {
            return Broken("the runs table's id is not its INTEGER PRIMARY KEY");
        }
    }
    for (std::string_view column : kHistoryColumns) {
        const QString& type = present[std::string(column)].type;
        if (type.compare(MadeType(column), Qt::CaseInsensitive) != 0) {
            return Broken("the runs table's " + std::string(column) + " is " + type.toStdString() + ", not " +
                          MadeType(column).toStdString());
        }
    }
    // A new run's row must go in: compiling the insert reads what it needs beside the table (the
    // id sequence), which the integrity check does not look at. Compiled only, never run.
    if (!query.prepare(QStringLiteral("INSERT INTO runs (started_utc) VALUES ('')"))) {
        return FromError(query.lastError());
    }
    return Sound();
}

} // namespace

bool IsBusyError(const QSqlError& error)
{
    const int code = PrimaryCode(error);
    return code == kSqliteBusy || code == kSqliteLocked ||
           error.databaseText().contains(QStringLiteral("database is locked")) ||
           error.databaseText().contains(QStringLiteral("database table is locked"));
}

SchemaCheck CheckHistorySchema(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA quick_check"))) {
        return FromError(query.lastError());
    }
    std::string findings;
    while (query.next()) {
        findings += (findings.empty() ? "" : "; ") + query.value(0).toString().toStdString();
    }
    if (findings != "ok") {
        return Broken("integrity check: " + (findings.empty() ? std::string("no answer") : findings));
    }
    // IMMEDIATE: two programs creating the same new file do not both create the table.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        return FromError(query.lastError());
    }
    const SchemaCheck check = ReadOrCreateSchema(db);
    query.finish();
    const bool keep = check.outcome == SchemaCheck::Outcome::Sound;
    if (!query.exec(keep ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")) && keep) {
        SchemaCheck failed = FromError(query.lastError());
        query.exec(QStringLiteral("ROLLBACK"));
        return failed;
    }
    if (!keep) {
        return check;
    }
    // Only now, so a file that is no history is moved aside as it was found. WAL lets readers
    // and one writer work at once; the mode stays in the file.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL"))) {
        return FromError(query.lastError());
    }
    return check;
}

} // namespace aurex

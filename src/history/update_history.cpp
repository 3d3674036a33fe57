#include "history/update_history.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include "history/history_columns.h"
#include "history/history_identity.h"
#include "history/history_schema.h"
#include "record/private_folder.h"

namespace aurex {

namespace {

// busy_timeout waits for most locks; these retries cover the SQLITE_BUSY cases it does not
// (a read transaction that has to become a write one in WAL mode).
constexpr int kBusyTimeoutMs = 10000;
constexpr int kBusyRetries = 20;
// Each program that finds the file damaged or replaced looks again; a few programs at once need
// a few looks.
constexpr int kOpenAttempts = 8;

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string ErrorText(const QSqlError& error)
{
    return (error.databaseText().isEmpty() ? error.text() : error.databaseText()).toStdString();
}

void PauseBeforeRetry(int attempt)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(10 + 20 * std::min(attempt, 10)));
}

// Runs `query` as prepared and bound, again while another program holds the lock.
bool ExecRetrying(QSqlQuery& query)
{
    for (int attempt = 0;; ++attempt) {
        if (query.exec()) {
            return true;
        }
        if (attempt >= kBusyRetries || !IsBusyError(query.lastError())) {
            return false;
        }
        PauseBeforeRetry(attempt);
    }
}

// Creates the missing folders of `folder` for this user only.
bool MakeFolder(const std::filesystem::path& folder, std::string& error)
{
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec)) {
        return true;
    }
    if (!MakeFolder(folder.parent_path(), error)) {
        return false;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "The folder " + folder.string() + " could not be made: " + std::strerror(errno);
        return false;
    }
    return true;
}

// Tells a file from the one that replaced it under the same name.
struct FileId
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// A link is its own file here, never the one it points at.
FileId IdOf(const std::string& path)
{
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0) {
        return {};
    }
    return {info.st_dev, info.st_ino};
}

// Creates an empty file readable by this user only, or takes the one there; SQLite gives its -wal
// and -shm files the same mode. Never a link or another user's file: the rows name backups and
// their digests, and another user's file or link would take them wherever that user chose.
bool MakeFile(const std::string& path, FileId& made, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        error = "The update history " + path + " could not be made: " + PlaceErrorText(errno);
        return false;
    }
    struct stat info
    {
    };
    const bool ours = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    ::close(fd);
    if (!ours) {
        error = "The update history " + path + " is not a file of this user's, so it is left alone";
        return false;
    }
    made = {info.st_dev, info.st_ino};
    return true;
}

std::string BrokenName(const std::string& path)
{
    const std::string stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toStdString();
    std::string name = path + ".broken-" + stamp;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(name, ec); ++n) {
        name = path + ".broken-" + stamp + "-" + std::to_string(n);
    }
    return name;
}

// Moves the file and its WAL beside it under the broken name; the moved name, or empty.
std::string MoveAside(const std::string& path, std::string& error)
{
    const std::string broken = BrokenName(path);
    if (std::rename(path.c_str(), broken.c_str()) != 0) {
        const int cause = errno;
        error = "The damaged update history " + path + " could not be moved aside: " + std::strerror(cause);
        errno = cause;
        return {};
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        std::rename((path + suffix).c_str(), (broken + suffix).c_str());
    }
    return broken;
}

// Held while a damaged file is checked again and moved, so two programs never both move one.
class FolderLock
{
  public:
    explicit FolderLock(const std::filesystem::path& folder)
        : fd_(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_EX);
        }
    }
    ~FolderLock()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_;
};

QString NewConnectionName()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("aurex-history-%1-%2").arg(::getpid()).arg(++counter);
}

std::string Column(const QSqlQuery& query, int index)
{
    return query.value(index).toString().toStdString();
}

// The column names from `first` on, each followed by `after`, separated by commas.
QString Columns(std::size_t first, QLatin1String after)
{
    QString list;
    for (std::size_t i = first; i < kHistoryColumns.size(); ++i) {
        if (i != first) {
            list += QStringLiteral(", ");
        }
        list += QLatin1String(kHistoryColumns[i].data(), static_cast<qsizetype>(kHistoryColumns[i].size()));
        list += after;
    }
    return list;
}

// Binds the fields in column order from started_utc on, or from finished_utc on.
void BindFields(QSqlQuery& query, const HistoryRow& row, bool withStarted)
{
    const std::string* texts[] = {&row.startedUtc,   &row.finishedUtc,    &row.kind,
                                  &row.port,         &row.radioIdentity,  &row.model,
                                  &row.series,       &row.versionsBefore, &row.versionsAfter,
                                  &row.imageSetName, &row.imageSetRelease};
    for (std::size_t i = withStarted ? 0 : 1; i < std::size(texts); ++i) {
        query.addBindValue(Text(*texts[i]));
    }
    query.addBindValue(row.resultCode);
    query.addBindValue(Text(row.resultText));
    query.addBindValue(row.durationSeconds);
    query.addBindValue(Text(row.backupFile));
    query.addBindValue(Text(row.backupSha256));
    query.addBindValue(Text(row.verification));
    query.addBindValue(Text(row.logFile));
}

HistoryRow RowOf(const QSqlQuery& query)
{
    HistoryRow row;
    row.id = query.value(0).toLongLong();
    std::string* texts[] = {&row.startedUtc,    &row.finishedUtc,  &row.kind,           &row.port,
                            &row.radioIdentity, &row.model,        &row.series,         &row.versionsBefore,
                            &row.versionsAfter, &row.imageSetName, &row.imageSetRelease};
    int index = 1;
    for (std::string* text : texts) {
        *text = Column(query, index++);
    }
    row.radioIdentity = HistoryIdentity(row.radioIdentity);
    row.resultCode = query.value(index++).toInt();
    row.resultText = Column(query, index++);
    row.durationSeconds = query.value(index++).toDouble();
    row.backupFile = Column(query, index++);
    row.backupSha256 = Column(query, index++);
    row.verification = Column(query, index++);
    row.logFile = Column(query, index++);
    return row;
}

} // namespace

struct UpdateHistory::State
{
    QString connection;
    QSqlDatabase db;
    std::string error;
};

UpdateHistory::UpdateHistory() : state_(std::make_unique<State>()) {}

UpdateHistory::~UpdateHistory()
{
    // removeDatabase wants no handle of the connection left.
    state_->db.close();
    state_->db = QSqlDatabase();
    QSqlDatabase::removeDatabase(state_->connection);
}

namespace {

// SQLite only reads a file whose header says a later version wrote it (a write version above 2):
// every change fails as "readonly", and the program would keep no history run after run. A file
// that is read-only by its permissions has no such mark and stays a failure to report.
bool MarkedWrittenByLaterSqlite(const std::string& path)
{
    constexpr std::size_t kWriteVersionAt = 18;
    std::ifstream in(path, std::ios::binary);
    char header[kWriteVersionAt + 1] = {};
    return in.read(header, sizeof header) && std::memcmp(header, "SQLite format 3", 16) == 0 &&
           static_cast<unsigned char>(header[kWriteVersionAt]) > 2;
}

// One attempt at the file as it is now.
SchemaCheck OpenConnection(QSqlDatabase& db, const std::string& path)
{
    // Read before SQLite opens the file: closing a descriptor of the file drops every lock this
    // process holds on it, SQLite's too, and another program then takes this one's WAL for its
    // own, checkpoints and deletes it while this one still appends rows to it.
    const bool laterSqlite = MarkedWrittenByLaterSqlite(path);
    db.setDatabaseName(Text(path));
    // The driver sets SQLite's busy_timeout from this before the first statement.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        return {SchemaCheck::Outcome::Failed, ErrorText(db.lastError())};
    }
    SchemaCheck check;
    for (int attempt = 0;; ++attempt) {
        check = CheckHistorySchema(db);
        if (!check.busy || attempt >= kBusyRetries) {
            break;
        }
        PauseBeforeRetry(attempt);
    }
    // In WAL mode such a file even passes the check, and then every Begin fails.
    if (check.outcome != SchemaCheck::Outcome::Broken && laterSqlite) {
        return {SchemaCheck::Outcome::Broken,
                "its header says a later SQLite wrote it, so SQLite only reads it"};
    }
    if (check.outcome != SchemaCheck::Outcome::Sound) {
        return check;
    }
    // FULL: a run's row is on the disk once Begin or Finish returns, power cut or not.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA synchronous = FULL"))) {
        return {SchemaCheck::Outcome::Failed, ErrorText(query.lastError())};
    }
    return check;
}

} // namespace

std::unique_ptr<UpdateHistory> UpdateHistory::Open(const std::string& path, std::string& warning,
                                                   std::string& error)
{
    warning.clear();
    error.clear();
    if (!MakeFolder(std::filesystem::path(path).parent_path(), error)) {
        return nullptr;
    }
    std::unique_ptr<UpdateHistory> history(new UpdateHistory());
    State& state = *history->state_;
    state.connection = NewConnectionName();
    state.db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), state.connection);
    if (!state.db.isValid()) {
        error = "The update history cannot be kept: the SQLite driver of Qt is missing.";
        return nullptr;
    }
    SchemaCheck check;
    FileId found;
    // SQLite opens by name and follows a link: the name must still be the file checked.
    const auto openChecked = [&] {
        SchemaCheck opened = OpenConnection(state.db, path);
        if (opened.outcome == SchemaCheck::Outcome::Sound && IdOf(path) != found) {
            opened = {SchemaCheck::Outcome::Failed, "another file took its name while it was opened"};
        }
        return opened;
    };
    // Another program may find the same damaged file and move it first: then its new history
    // is opened instead, and never moved aside by this one.
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (!MakeFile(path, found, error)) {
            return nullptr;
        }
        check = openChecked();
        if (check.outcome == SchemaCheck::Outcome::Sound) {
            break;
        }
        if (check.outcome == SchemaCheck::Outcome::Failed) {
            if (IdOf(path) == found) {
                break;
            }
            // Moved aside by another program while this one read it: open the new one.
            state.db.close();
            continue;
        }
        state.db.close();
        const FolderLock lock(std::filesystem::path(path).parent_path());
        if (IdOf(path) != found) {
            continue;
        }
        // Checked again under the lock: what looked damaged may have been a new history that
        // another program was still setting up.
        check = openChecked();
        if (check.outcome != SchemaCheck::Outcome::Broken) {
            break;
        }
        state.db.close();
        const std::string moved = MoveAside(path, error);
        if (moved.empty()) {
            if (errno == ENOENT) {
                error.clear();
                continue;
            }
            return nullptr;
        }
        warning = "The update history " + path + " could not be read (" + check.reason +
                  "); it was moved to " + moved + " and a new one was started.";
        if (!MakeFile(path, found, error)) {
            return nullptr;
        }
        check = openChecked();
        break;
    }
    if (check.outcome != SchemaCheck::Outcome::Sound) {
        error = "The update history " + path + " could not be opened: " + check.reason;
        return nullptr;
    }
    return history;
}

std::int64_t UpdateHistory::Begin(const HistoryRow& row)
{
    state_->error.clear();
    QSqlQuery query(state_->db);
    QString marks;
    for (std::size_t i = 1; i < kHistoryColumns.size(); ++i) {
        marks += i == 1 ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    // The id comes with the insert itself, not from what the connection last did.
    if (!query.prepare(QStringLiteral("INSERT INTO runs (%1) VALUES (%2) RETURNING id")
                           .arg(Columns(1, QLatin1String("")), marks))) {
        state_->error = ErrorText(query.lastError());
        return 0;
    }
    BindFields(query, row, true);
    const bool added = ExecRetrying(query) && query.next();
    const std::int64_t id = added ? query.value(0).toLongLong() : 0;
    // The row is committed when the statement runs to its end.
    if (!added || query.next() || query.lastError().isValid() || id <= 0) {
        state_->error = "The run could not be added to the update history: " + ErrorText(query.lastError());
        return 0;
    }
    return id;
}

bool UpdateHistory::Finish(std::int64_t id, const HistoryRow& row)
{
    state_->error.clear();
    QSqlQuery query(state_->db);
    if (!query.prepare(
            QStringLiteral("UPDATE runs SET %1 WHERE id = ?").arg(Columns(2, QLatin1String(" = ?"))))) {
        state_->error = ErrorText(query.lastError());
        return false;
    }
    // A run keeps the start time Begin wrote.
    BindFields(query, row, false);
    query.addBindValue(static_cast<qlonglong>(id));
    if (!ExecRetrying(query)) {
        state_->error =
            "The run could not be completed in the update history: " + ErrorText(query.lastError());
        return false;
    }
    if (query.numRowsAffected() != 1) {
        state_->error = "The update history has no run " + std::to_string(id) + ".";
        return false;
    }
    return true;
}

std::vector<HistoryRow> UpdateHistory::Rows(const std::string& radioIdentity, std::size_t newest)
{
    state_->error.clear();
    QString sql = QStringLiteral("SELECT %1 FROM runs").arg(Columns(0, QLatin1String("")));
    if (!radioIdentity.empty()) {
        // Older rows may hold the dashed form of the same identity.
        sql += QStringLiteral(" WHERE radio_identity = ? OR upper(replace(radio_identity, '-', '')) = ?");
    }
    // Newest first so LIMIT keeps the newest; turned around below.
    sql += QStringLiteral(" ORDER BY id DESC");
    if (newest != 0) {
        sql += QStringLiteral(" LIMIT ?");
    }
    QSqlQuery query(state_->db);
    query.setForwardOnly(true);
    std::vector<HistoryRow> rows;
    if (!query.prepare(sql)) {
        state_->error = ErrorText(query.lastError());
        return rows;
    }
    if (!radioIdentity.empty()) {
        query.addBindValue(Text(radioIdentity));
        query.addBindValue(Text(HistoryIdentity(radioIdentity)));
    }
    if (newest != 0) {
        query.addBindValue(static_cast<qlonglong>(std::min<std::size_t>(newest, INT64_MAX)));
    }
    if (!ExecRetrying(query)) {
        state_->error = "The update history could not be read: " + ErrorText(query.lastError());
        return rows;
    }
    while (query.next()) {
        rows.push_back(RowOf(query));
    }
    std::reverse(rows.begin(), rows.end());
    return rows;
}

const std::string& UpdateHistory::Error() const
{
    return state_->error;
}

} // namespace aurex

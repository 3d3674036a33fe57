#include "transfer/backup_catalog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <span>
#include <system_error>

#include "transfer/backup_check.h"
#include "transfer/backup_disk.h"

namespace aurex {

namespace {

// The reader's own limit: a longer record is refused by ReadBackupRecord.
constexpr std::size_t kRecordReadBytes = 64 * 1024 + 1;

enum class FileRead { Done, Missing, Failed };

class Descriptor
{
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// At most `limit` bytes of a regular file; `why` says what went wrong when Failed. Opened
// without blocking, so that a FIFO under a backup's name cannot hang the window.
FileRead ReadBounded(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes,
                     std::string& why)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) {
        if (errno == ENOENT) {
            return FileRead::Missing;
        }
        why = "it cannot be opened (" + ErrorText(errno) + ")";
        return FileRead::Failed;
    }
    struct stat st
    {
    };
    if (::fstat(file.get(), &st) != 0) {
        why = "it cannot be read (" + ErrorText(errno) + ")";
        return FileRead::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "it is not a regular file";
        return FileRead::Failed;
    }
    bytes.assign(limit, 0);
    std::size_t have = 0;
    while (have < limit) {
        const ssize_t n = ::read(file.get(), bytes.data() + have, limit - have);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            why = "it cannot be read (" + ErrorText(errno) + ")";
            bytes.clear();
            return FileRead::Failed;
        }
        if (n == 0) {
            break;
        }
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    return FileRead::Done;
}

// The name's time, saved in the computer's time, as UTC; empty for other names.
std::string NameTimeUtc(const std::optional<BackupName>& name)
{
    if (!name) {
        return {};
    }
    const QDateTime local = QDateTime::fromString(QString::fromStdString(name->localTime), Qt::ISODate);
    if (!local.isValid()) {
        return {};
    }
    return local.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toStdString();
}

struct Candidate
{
    std::filesystem::path path;
    std::string key; // UTC time for picking the newest before any file is read
    int number = 1;
};

bool NewerCandidate(const Candidate& a, const Candidate& b)
{
    if (a.key != b.key) {
        return a.key > b.key;
    }
    if (a.number != b.number) {
        return a.number > b.number;
    }
    return a.path.filename() > b.path.filename();
}

// The time a candidate is picked by: its name's, else when it was last written.
std::string CandidateKey(const std::filesystem::directory_entry& entry, const std::optional<BackupName>& name)
{
    std::string key = NameTimeUtc(name);
    if (!key.empty()) {
        return key;
    }
    struct stat st
    {
    };
    if (::stat(entry.path().c_str(), &st) != 0) {
        return {};
    }
    return QDateTime::fromSecsSinceEpoch(st.st_mtime, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))
        .toStdString();
}

void KeepNewest(std::vector<Candidate>& candidates)
{
    if (candidates.size() <= kBackupListLimit) {
        return;
    }
    std::nth_element(candidates.begin(), candidates.begin() + kBackupListLimit, candidates.end(),
                     NewerCandidate);
    candidates.resize(kBackupListLimit);
}

} // namespace

BackupForRestore ReadBackupForRestore(const std::string& path)
{
    BackupForRestore out;
    std::string why;
    const FileRead backup = ReadBounded(path, kBackupMaxBytes + 1, out.bytes, why);
    if (backup != FileRead::Done) {
        if (backup == FileRead::Missing) {
            why = "the file does not exist";
        }
        out.error = "The backup " + path + " cannot be restored: " + why + ".";
        if (const std::optional<BackupName> name = ParseBackupName(path)) {
            out.identity = name->identity;
        }
        out.time = NameTimeUtc(ParseBackupName(path));
        return out;
    }
    const std::string recordPath = BackupRecordPath(path);
    std::vector<std::uint8_t> recordBytes;
    std::string recordWhy;
    const FileRead record = ReadBounded(recordPath, kRecordReadBytes, recordBytes, recordWhy);
    out.recordFile = record != FileRead::Missing;
    std::optional<std::string> recordText;
    if (record == FileRead::Done) {
        recordText.emplace(recordBytes.begin(), recordBytes.end());
    }
    BackupCheck check = CheckBackup(path, out.bytes, recordText);
    out.record = std::move(check.record);
    out.identity = std::move(check.identity);
    out.format = std::move(check.format);
    out.time = out.record ? out.record->time : NameTimeUtc(ParseBackupName(path));
    out.error = std::move(check.problem);
    if (record == FileRead::Failed && out.error.empty()) {
        out.error = "The backup " + path + " cannot be restored: its record " + recordPath +
                    " cannot be read: " + recordWhy + ".";
    }
    return out;
}

std::string BackupLocalTime(const std::string& utc)
{
    const QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODate);
    if (utc.empty() || !time.isValid()) {
        return {};
    }
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

std::vector<BackupEntry> ListCodeplugBackups(const std::string& folder)
{
    std::vector<Candidate> candidates;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.ends_with(".bin")) {
            continue;
        }
        const std::optional<BackupName> parsed = ParseBackupName(name);
        candidates.push_back({it->path(), CandidateKey(*it, parsed), parsed ? parsed->number : 1});
        // Trimmed as it goes, so that a folder of very many files never holds them all.
        if (candidates.size() >= 2 * kBackupListLimit) {
            KeepNewest(candidates);
        }
    }
    KeepNewest(candidates);

    std::vector<BackupEntry> entries;
    entries.reserve(candidates.size());
    for (const Candidate& c : candidates) {
        BackupEntry e;
        e.path = c.path.string();
        e.fileName = c.path.filename().string();
        BackupForRestore read = ReadBackupForRestore(e.path);
        e.identity = std::move(read.identity);
        e.format = std::move(read.format);
        e.hasRecord = read.recordFile;
        e.problem = std::move(read.error);
        e.time = std::move(read.time);
        if (read.record) {
            e.reason = std::string(BackupReasonName(read.record->reason));
        }
        entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const BackupEntry& a, const BackupEntry& b) {
        if (a.time != b.time) {
            return a.time > b.time; // an empty time sorts last
        }
        const std::optional<BackupName> na = ParseBackupName(a.fileName);
        const std::optional<BackupName> nb = ParseBackupName(b.fileName);
        const int numberA = na ? na->number : 1;
        const int numberB = nb ? nb->number : 1;
        if (numberA != numberB) {
            return numberA > numberB;
        }
        return a.fileName > b.fileName;
    });
    return entries;
}

} // namespace aurex

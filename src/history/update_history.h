#pragma once

// The update history: one row per run (update, retrieve, backup, restore, connection check) in
// an SQLite database in the data folder. A row is written when the run starts and completed when
// it ends, so a run whose program was killed stays unfinished. Several programs may append at
// once; every change is one transaction, so a crash leaves the database as before it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace aurex {

struct HistoryRow
{
    std::int64_t id = 0;       // given by Begin
    std::string startedUtc;    // ISO 8601, "2026-12-08T10:15:00Z"
    std::string finishedUtc;   // empty: unfinished
    std::string kind;          // "update", "retrieve", "backup", "restore", "check"
    std::string port;          // "COM 3 (/dev/ttyUSB0)"
    std::string radioIdentity; // serial number as read, empty when not read
    std::string model;         // "Portable", ...
    std::string series;
    std::string versionsBefore; // as far as read, e.g. "boot 4.0, file format 5.8"
    std::string versionsAfter;
    std::string imageSetName;
    std::string imageSetRelease;
    int resultCode = -1;    // -1 while unfinished
    std::string resultText; // the last status text, or the failure
    double durationSeconds = 0;
    std::string backupFile;
    std::string backupSha256;
    std::string verification; // "verified", "not verified", "differs", "off", or empty
    std::string logFile;
};

class UpdateHistory
{
  public:
    // Opens the database at `path`, creating it and its folder (0700) when missing; never a link
    // or another user's file, which would take the rows where someone else chose. A file that
    // is not a sound history (not a database, failed integrity check, foreign schema) is renamed
    // to `path` + ".broken-<UTC time>" and a new one is started: `warning` then names both.
    // Null with `error` when no history can be had at all.
    static std::unique_ptr<UpdateHistory> Open(const std::string& path, std::string& warning,
                                               std::string& error);
    ~UpdateHistory();
    UpdateHistory(const UpdateHistory&) = delete;
    UpdateHistory& operator=(const UpdateHistory&) = delete;

    // Appends a row for a run that starts; its id, or 0 when it could not be written (Error()).
    std::int64_t Begin(const HistoryRow& row);
    // Completes the row `id` with everything in `row` (its id and startedUtc are ignored).
    bool Finish(std::int64_t id, const HistoryRow& row);
    // Rows oldest first; only those of `radioIdentity` when it is not empty; only the newest
    // `newest` when it is not 0.
    std::vector<HistoryRow> Rows(const std::string& radioIdentity = {}, std::size_t newest = 0);
    // Why the last Begin, Finish or Rows failed; empty after one that succeeded.
    const std::string& Error() const;

  private:
    UpdateHistory();
    struct State;
    std::unique_ptr<State> state_;
};

// The history file in the data folder: <data folder>/history.sqlite.
std::string HistoryFileIn(const std::string& dataFolder);

// Rows as CSV (RFC 4180, a header line, CRLF line ends), and as an aligned text table for the
// console (time, identity, kind, result, duration, image set).
std::string HistoryCsv(const std::vector<HistoryRow>& rows);
std::string HistoryTable(const std::vector<HistoryRow>& rows);
// The image set as the table and the window show it: its name, then its release.
std::string HistoryImageSet(const HistoryRow& row);

} // namespace aurex

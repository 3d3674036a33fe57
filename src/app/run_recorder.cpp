#include "app/run_recorder.h"

#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "record/private_folder.h"
#include "transfer/codeplug_backup.h"

namespace aurex {

namespace {

// Room enough for the write-ahead log pages of one row's completion.
constexpr std::uint64_t kHistoryRoomBytes = 64 * 1024;

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

} // namespace

std::string RunResultName(RunResult result)
{
    switch (result) {
    case RunResult::Succeeded:
        return "succeeded";
    case RunResult::Failed:
        return "failed";
    case RunResult::Usage:
        return "wrong usage";
    case RunResult::Stopped:
        return "stopped";
    case RunResult::PortNotOpened:
        return "port not opened";
    case RunResult::RadioDoesNotFit:
        return "radio does not fit the image set";
    case RunResult::NoAnswer:
        return "no answer";
    case RunResult::CodeDownloadFailed:
        return "code download failed";
    case RunResult::CodeplugUploadFailed:
        return "codeplug upload failed";
    case RunResult::CodeplugDownloadFailed:
        return "codeplug download failed";
    case RunResult::VerificationDiffers:
        return "verification differs";
    case RunResult::PasswordRefused:
        return "password refused";
    case RunResult::CodeplugNotConverted:
        return "codeplug not converted";
    case RunResult::RadioPasswordRefused:
        return "radio password refused";
    case RunResult::NotInBootMode:
        return "radio not in boot-load mode";
    }
    return "failed";
}

std::string RunKindName(RunKind kind)
{
    switch (kind) {
    case RunKind::Update:
        return "update";
    case RunKind::Retrieve:
        return "retrieve";
    case RunKind::Backup:
        return "backup";
    case RunKind::Restore:
        return "restore";
    case RunKind::Check:
        return "check";
    }
    return "update";
}

std::string UserDataFolder()
{
    const std::string backups = LocateCodeplugBackupFolder().path;
    return backups.empty() ? std::string() : std::filesystem::path(backups).parent_path().string();
}

std::string UtcNowIso()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

std::string UtcNowCompact()
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'")).toStdString();
}

RunRecorder::RunRecorder(std::function<void(const std::string&)> warn) : warn_(std::move(warn)) {}

RunRecorder::~RunRecorder()
{
    if (running_) {
        End(RunResult::Failed, "The program ended during the run.");
    }
}

std::string RunRecorder::LogsFolder() const
{
    return settings.dataFolder.empty() ? std::string() : settings.dataFolder + "/logs";
}

void RunRecorder::Warn(const std::string& text)
{
    if (text.empty() || std::find(warned_.begin(), warned_.end(), text) != warned_.end()) {
        return;
    }
    warned_.push_back(text);
    if (warn_) {
        warn_(text);
    }
}

UpdateHistory* RunRecorder::History()
{
    if (!historyTried_ && !settings.dataFolder.empty()) {
        historyTried_ = true;
        std::string warning;
        std::string error;
        history_ = UpdateHistory::Open(HistoryFileIn(settings.dataFolder), warning, error);
        Warn(warning);
        if (!history_) {
            // The reason is one sentence of its own, which may lack its full stop.
            const bool stopped = !error.empty() && error.back() == '.';
            Warn("The update history cannot be kept: " + error + (stopped ? "" : ".") +
                 " Runs go on without it.");
        }
    }
    return history_.get();
}

void RunRecorder::Begin(RunKind kind, const std::vector<std::pair<std::string, std::string>>& header,
                        HistoryRow row)
{
    if (running_) {
        End(RunResult::Failed, "Another run began before this one ended.");
    }
    running_ = true;
    row_ = std::move(row);
    row_.kind = RunKindName(kind);
    row_.startedUtc = UtcNowIso();
    phases_.clear();
    phaseStart_ = 0;
    began_ = std::chrono::steady_clock::now();
    trace_.Reset();
    logPath_.clear();

    const std::string stamp = UtcNowCompact();
    const std::string folder = LogsFolder();
    if (!folder.empty()) {
        // Private whatever the umask: others must not plant links where the log and the history
        // go. A folder that cannot be made is reported by the log's own open, once.
        MakePrivateFolder(settings.dataFolder);
        const std::string name = RunLogName(stamp, static_cast<long>(::getpid()), row_.kind);
        if (log_.Open(folder, name)) {
            logPath_ = log_.Path();
            row_.logFile = logPath_;
            // Room for this run: the oldest beyond the newest `keptLogs` go.
            RotateRunLogs(folder, std::max<std::size_t>(settings.keptLogs, 1));
        } else {
            Warn(log_.Warning());
        }
    }
    log_.Line("Run: " + row_.kind + ", began " + row_.startedUtc);
    for (const auto& [name, value] : header) {
        log_.Line(name + ": " + value);
    }

    std::string traceFile = settings.traceFile;
    if (traceFile.empty() && settings.traceBesideLog && !logPath_.empty()) {
        traceFile = logPath_.substr(0, logPath_.size() - 4) + ".trace";
    }
    if (!traceFile.empty() && !trace_.Recording()) {
        std::string error;
        // A trace beside the log has a name of its own: anything found there is not ours.
        const TraceFileOptions options =
            traceFile == settings.traceFile
                ? TraceFileOptions{settings.traceExisting, settings.traceCodeplugData}
                : TraceFileOptions{};
        if (trace_.RecordTo(traceFile, options, error)) {
            traceFile_ = traceFile;
            log_.Line("Line trace: " + traceFile);
        } else {
            Warn("The line trace cannot be written to " + traceFile + ": " + error);
        }
    }
    log_.Flush();

    if (UpdateHistory* history = History()) {
        row_.id = history->Begin(row_);
        if (row_.id == 0) {
            Warn("The update history cannot be written: " + history->Error());
        } else {
            TakeRoomIn(SystemBackupDisk(), settings.dataFolder, kHistoryRoomBytes, historyRoom_);
        }
    }
}

double RunRecorder::Elapsed() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
}

void RunRecorder::Status(const std::string& text)
{
    if (!running_) {
        return;
    }
    const double now = Elapsed();
    if (!phases_.empty()) {
        phases_.back().second = now - phaseStart_;
    }
    phases_.emplace_back(text, 0.0);
    phaseStart_ = now;
    row_.resultText = text;
    if (text != "Idle") { // the window going back to rest says nothing of why the run ended
        errorSinceStatus_.clear();
    }
    log_.Line("Status: " + text);
    log_.Flush();
    trace_.Flush();
    Warn(log_.Warning());
}

void RunRecorder::Box(const std::string& caption, const std::string& text, const std::string& answer)
{
    if (!running_) {
        return;
    }
    log_.Line("Message box \"" + caption + "\": " + text);
    log_.Line("Answered: " + answer);
    log_.Flush();
    Warn(log_.Warning());
}

void RunRecorder::Note(const std::string& text)
{
    if (running_) {
        log_.Line(text);
    }
}

void RunRecorder::Fact(const std::string& label, const std::string& value, std::string HistoryRow::*field)
{
    if (!running_) {
        return;
    }
    if (field == &HistoryRow::versionsBefore) {
        log_.Line("Radio version: " + label + " " + value);
    } else if (field == &HistoryRow::versionsAfter) {
        log_.Line("After the update: " + label + " " + value);
    } else {
        log_.Line(label + ": " + value);
    }
    if (field == &HistoryRow::versionsBefore || field == &HistoryRow::versionsAfter) {
        std::string& versions = row_.*field;
        versions += (versions.empty() ? "" : ", ") + label + " " + value;
    } else if (field != nullptr) {
        row_.*field = value;
    }
}

void RunRecorder::End(RunResult result, const std::string& statusText)
{
    if (!running_) {
        return;
    }
    const std::string text =
        result != RunResult::Succeeded && !errorSinceStatus_.empty() ? errorSinceStatus_ : statusText;
    errorSinceStatus_.clear();
    running_ = false;
    const double total = Elapsed();
    if (!phases_.empty()) {
        phases_.back().second = total - phaseStart_;
    }
    if (!phases_.empty()) {
        log_.Line("Phases:");
        for (const auto& [status, seconds] : phases_) {
            log_.Raw("    " + Seconds(seconds) + "  " + status + "\n");
        }
    }
    const TraceCounts counts = trace_.Counts();
    log_.Line("Frames sent " + std::to_string(counts.sent) + ", heard " + std::to_string(counts.heard) +
              "; resends " + std::to_string(counts.resends) + ", time-outs " +
              std::to_string(counts.timeOuts) + ", checksum mismatches " +
              std::to_string(counts.checksumMismatches) + ", frames dropped " +
              std::to_string(counts.droppedFrames));
    if (result != RunResult::Succeeded && trace_.KeptCount() > 0) {
        log_.Line("The last " + std::to_string(trace_.KeptCount()) + " frames on the line:");
        log_.Raw(trace_.KeptText());
    }
    if (!row_.backupFile.empty()) {
        log_.Line("Codeplug backup: " + row_.backupFile);
    }
    log_.Line("Result: " + RunResultName(result) + " (" + std::to_string(static_cast<int>(result)) +
              "): " + text);
    log_.Close();
    Warn(log_.Warning());
    trace_.Flush();
    if (settings.traceFile.empty()) {
        // A trace beside the log belongs to this run alone.
        trace_.Close();
    }
    if (!trace_.FileError().empty()) {
        // The reason alone leaves the user looking for which file (and which disk) it was.
        Warn("The line trace could not be written whole: " + trace_.FileError() +
             "\nIt was being written to " + traceFile_ + ".");
    }

    row_.finishedUtc = UtcNowIso();
    row_.resultCode = static_cast<int>(result);
    row_.resultText = text;
    row_.durationSeconds = total;
    historyRoom_.Release();
    // A row that cannot be completed stays "unfinished" in the history: the user hears of it.
    if (history_ && (row_.id == 0 || !history_->Finish(row_.id, row_))) {
        Warn("The end of this run could not be written to the update history: " +
             (row_.id == 0 ? std::string("its row was not added when the run began.") : history_->Error()));
    }
}

} // namespace aurex

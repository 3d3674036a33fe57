#pragma once

// What every run leaves behind: its log in the data folder's logs/ (the newest 100 kept), its
// line trace (the newest frames in memory, written into the log when the run fails; the whole
// trace to a file on request) and its row in the update history. Nothing here may stop a run:
// whatever cannot be written is dropped with one warning.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/run_events.h"
#include "history/update_history.h"
#include "record/line_trace.h"
#include "record/run_log.h"
#include "transfer/disk_room.h"

namespace aurex {

enum class RunKind { Update, Retrieve, Backup, Restore, Check };

// "update", "retrieve", "backup", "restore", "check".
std::string RunKindName(RunKind kind);

// How a run ended: the console's exit status and the history's result code. Scripts rely on the
// numbers: they never change, new ones are added at the end.
enum class RunResult {
    Succeeded = 0,              // "Done." with the codeplug kept, converted and (when on) verified
    Failed = 1,                 // a failure without a code of its own
    Usage = 2,                  // a wrong command line (console only)
    Stopped = 3,                // Stop, a confirmed close or a signal
    PortNotOpened = 4,          // the port could not be opened
    RadioDoesNotFit = 5,        // another series or boot major than the image set's
    NoAnswer = 6,               // the radio (or the interface box) did not answer
    CodeDownloadFailed = 7,     // the loader, code or DSP download failed
    CodeplugUploadFailed = 8,   // the codeplug could not be read out
    CodeplugDownloadFailed = 9, // the converted codeplug could not be written back (or backed up)
    VerificationDiffers = 10,   // the codeplug read back differs from the one written
    PasswordRefused = 11,       // the update password was not accepted
    CodeplugNotConverted = 12,  // "Done.", but the radio keeps a codeplug of a format not converted
    RadioPasswordRefused = 13,  // the radio refused the password that guards its codeplug
    NotInBootMode = 14,         // the radio answered but did not start the code download: nothing written
};

// "succeeded", "failed", "stopped", "port not opened", ...: the word for a result in the log.
std::string RunResultName(RunResult result);

struct RunRecorderSettings
{
    // The data folder (logs/ and history.sqlite in it); empty: no log and no history.
    std::string dataFolder;
    // The whole trace of every run into this file (the console's --trace); empty: none. A file
    // of that name is replaced only with ExistingFile::Replace (--force); the codeplug's blocks
    // go in whole only with traceCodeplugData (--trace-codeplug-data).
    std::string traceFile;
    ExistingFile traceExisting = ExistingFile::Keep;
    bool traceCodeplugData = false;
    // The whole trace of each run beside its log, as <log name>.trace (Help -> Record line trace).
    bool traceBesideLog = false;
    std::size_t keptLogs = 100;
};

// It follows the form's run events: statuses, boxes and facts go into the log and the history.
class RunRecorder final : public RunEvents
{
  public:
    // `warn` tells the user, once per thing, what could not be written.
    explicit RunRecorder(std::function<void(const std::string&)> warn);
    ~RunRecorder();
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    RunRecorderSettings settings;

    // Starts the record of a run: the log with `header` lines ("name: value"), the trace, and
    // the history row. A run already recorded is ended first as failed.
    void Begin(RunKind kind, const std::vector<std::pair<std::string, std::string>>& header, HistoryRow row);
    bool Running() const { return running_; }

    void Status(const std::string& text);
    void Box(const std::string& caption, const std::string& text, const std::string& answer);
    // A line of its own in the log.
    void Note(const std::string& text);
    // Something the run learnt: a log line "label: value", kept in the history row's `field`
    // when one is given (the versions fields gather "label value" pairs).
    void Fact(const std::string& label, const std::string& value, std::string HistoryRow::*field = nullptr);
    void StatusShown(const std::string& text) override { Status(text); }
    void BoxAnswered(const std::string& caption, MessageIcon icon, const std::string& text,
                     MessageAnswer answer) override
    {
        Box(caption, text, AnswerWord(answer));
        if (running_ && icon == MessageIcon::Error) {
            errorSinceStatus_ = text;
        }
    }
    void FactLearnt(const std::string& label, const std::string& value,
                    std::string HistoryRow::*field) override
    {
        Fact(label, value, field);
    }

    // Facts for the history row; empty values leave what is there.
    HistoryRow& Row() { return row_; }

    // Ends the record: phase durations, the trace's counts, the newest frames when the run did
    // not succeed, the result; completes the history row. The result's text is the last status,
    // or for a run that failed the error box shown after it.
    void End(RunResult result, const std::string& text);

    // The link's watch while a run is recorded.
    LineTrace& Trace() { return trace_; }
    // The log of the run under way, or of the last one.
    const std::string& LogPath() const { return logPath_; }
    // The update history, opened on first use; null when it cannot be had (warned once).
    UpdateHistory* History();

    std::string LogsFolder() const;

  private:
    void Warn(const std::string& text);
    double Elapsed() const;

    std::function<void(const std::string&)> warn_;
    std::vector<std::string> warned_;
    RunLog log_;
    LineTrace trace_;
    std::unique_ptr<UpdateHistory> history_;
    // Room for the history row's completion, held through the run: a trace or log that fills the
    // disk must not leave the row unfinished.
    DiskRoom historyRoom_;
    bool historyTried_ = false;
    bool running_ = false;
    // An error box shown after the last status that said anything: a failed run's status line
    // often says "Idle" or a step's text, and the box is what said why.
    std::string errorSinceStatus_;
    HistoryRow row_;
    std::string logPath_;
    std::string traceFile_; // the file the trace goes to, once it was opened
    // Each status text begins a phase; its time is taken at the next one.
    std::vector<std::pair<std::string, double>> phases_;
    double phaseStart_ = 0;
    std::chrono::steady_clock::time_point began_;
};

// The per-user data folder ($XDG_DATA_HOME/Aurex Code Updater, else ~/.local/share/...); empty
// when neither HOME nor XDG_DATA_HOME is set.
std::string UserDataFolder();

// The time now in UTC, as "2026-12-08T10:15:00Z" and as "20261208T101500123Z" (milliseconds).
std::string UtcNowIso();
std::string UtcNowCompact();

} // namespace aurex

// The update history read back from any file content: opening it always gives a history that
// takes the next run (a damaged file is moved aside), the rows it gives are well formed (ids in
// order, texts valid UTF-8, the filters keep what they say), every row read can be written to a
// new history and reads back the same, and the exports hold one record per row: CSV that parses
// back to the same fields, a table of one printable line per row.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <QCoreApplication>

#include "history/history_columns.h"
#include "history/update_history.h"
#include "text/utf8.h"

namespace {

namespace fs = std::filesystem;
using aurex::HistoryRow;
using aurex::UpdateHistory;

// Enough rows to cover every path; a file of thousands of tiny rows would only slow the fuzzer.
constexpr std::size_t kRowsWrittenBack = 24;

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

// The SQLite driver is a plugin, which Qt loads only with an application object.
void EnsureApplication()
{
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "history_rows_fuzz";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
}

void RemoveRoot();

// tmpfs where there is one: the history syncs every change. Never destroyed, so that it is still
// there when the folder is removed at exit.
const fs::path& Root()
{
    static const fs::path* root = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string name = (base / "aurex-history-fuzz-XXXXXX").string();
        Check(::mkdtemp(name.data()) != nullptr);
        std::atexit(RemoveRoot);
        return new fs::path(name);
    }();
    return *root;
}

void RemoveRoot()
{
    std::error_code ignored;
    fs::remove_all(Root(), ignored);
}

void WriteFile(const fs::path& path, std::string_view content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool ValidUtf8(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = aurex::Utf8SequenceLength(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

std::vector<const std::string*> Texts(const HistoryRow& r)
{
    return {&r.startedUtc,      &r.finishedUtc, &r.kind,           &r.port,          &r.radioIdentity,
            &r.model,           &r.series,      &r.versionsBefore, &r.versionsAfter, &r.imageSetName,
            &r.imageSetRelease, &r.resultText,  &r.backupFile,     &r.backupSha256,  &r.verification,
            &r.logFile};
}

bool SameContent(const HistoryRow& a, const HistoryRow& b)
{
    const auto ta = Texts(a);
    const auto tb = Texts(b);
    for (std::size_t i = 0; i < ta.size(); ++i) {
        if (*ta[i] != *tb[i]) {
            return false;
        }
    }
    const bool sameDuration = a.durationSeconds == b.durationSeconds ||
                              (std::isnan(a.durationSeconds) && std::isnan(b.durationSeconds));
    return a.resultCode == b.resultCode && sameDuration;
}

bool SameRows(const std::vector<HistoryRow>& a, const std::vector<HistoryRow>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id || !SameContent(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

void CheckWellFormed(const std::vector<HistoryRow>& rows)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Check(i == 0 || rows[i - 1].id < rows[i].id); // oldest first, each run once
        for (const std::string* text : Texts(rows[i])) {
            Check(ValidUtf8(*text));
        }
    }
}

// The filters against the full list: one radio's rows, and the newest few.
void CheckFilters(UpdateHistory& history, const std::vector<HistoryRow>& all)
{
    for (const HistoryRow& row : all) {
        if (row.radioIdentity.empty()) {
            continue;
        }
        std::vector<HistoryRow> expected;
        for (const HistoryRow& r : all) {
            if (r.radioIdentity == row.radioIdentity) {
                expected.push_back(r);
            }
        }
        Check(SameRows(history.Rows(row.radioIdentity), expected));
        break;
    }
    const std::size_t newest = 1 + all.size() / 2;
    const std::vector<HistoryRow> tail(all.end() - static_cast<std::ptrdiff_t>(std::min(newest, all.size())),
                                       all.end());
    Check(SameRows(history.Rows({}, newest), tail));
}

// A strict RFC 4180 reader: records of fields, or nothing when the text is not well formed.
bool ParseCsv(const std::string& csv, std::vector<std::vector<std::string>>& records)
{
    std::size_t at = 0;
    while (at < csv.size()) {
        std::vector<std::string> record;
        for (;;) {
            std::string field;
            if (at < csv.size() && csv[at] == '"') {
                for (++at;; ++at) {
                    if (at >= csv.size()) {
                        return false;
                    }
                    if (csv[at] == '"') {
                        if (at + 1 < csv.size() && csv[at + 1] == '"') {
                            field += '"';
                            ++at;
                            continue;
                        }
                        ++at;
                        break;
                    }
                    field += csv[at];
                }
            } else {
                while (at < csv.size() && csv[at] != ',' && csv[at] != '\r') {
                    if (csv[at] == '"' || csv[at] == '\n') {
                        return false;
                    }
                    field += csv[at++];
                }
            }
            record.push_back(field);
            if (at < csv.size() && csv[at] == ',') {
                ++at;
                continue;
            }
            if (csv.compare(at, 2, "\r\n") != 0) {
                return false;
            }
            at += 2;
            break;
        }
        records.push_back(record);
    }
    return true;
}

void CheckCsv(const std::vector<HistoryRow>& rows)
{
    std::vector<std::vector<std::string>> records;
    Check(ParseCsv(aurex::HistoryCsv(rows), records));
    Check(records.size() == rows.size() + 1);
    Check(std::equal(records[0].begin(), records[0].end(), aurex::kHistoryColumns.begin(),
                     aurex::kHistoryColumns.end()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string>& f = records[i + 1];
        const HistoryRow& r = rows[i];
        Check(f.size() == aurex::kHistoryColumns.size());
        Check(f[0] == std::to_string(r.id) && f[12] == std::to_string(r.resultCode));
        const double duration = std::strtod(f[14].c_str(), nullptr);
        Check(duration == r.durationSeconds || (std::isnan(duration) && std::isnan(r.durationSeconds)));
        const std::vector<std::string> texts = {f[1], f[2],  f[3],  f[4],  f[5],  f[6],  f[7],  f[8],
                                                f[9], f[10], f[11], f[13], f[15], f[16], f[17], f[18]};
        const auto expected = Texts(r);
        for (std::size_t t = 0; t < texts.size(); ++t) {
            Check(texts[t] == *expected[t]);
        }
    }
}

// A header and one line per row of whole characters, nothing a terminal would take as a command
// or a line break (C0 and C1 controls, DEL).
void CheckTable(const std::vector<HistoryRow>& rows)
{
    const std::string table = aurex::HistoryTable(rows);
    Check(!table.empty() && table.back() == '\n');
    std::size_t lines = 0;
    for (std::size_t at = 0; at < table.size();) {
        const std::size_t length = aurex::Utf8SequenceLength(table, at);
        Check(length != 0);
        const auto first = static_cast<unsigned char>(table[at]);
        const auto second = static_cast<unsigned char>(length > 1 ? table[at + 1] : 0);
        if (first == '\n') {
            ++lines;
        } else {
            Check(first >= 0x20 && first != 0x7f && !(first == 0xc2 && second < 0xa0));
        }
        at += length;
    }
    Check(lines == rows.size() + 1);
}

// Every row read goes into a new history as a run would write it, and must read back the same.
void CheckWrittenBack(const std::vector<HistoryRow>& rows)
{
    const std::string path = (Root() / "written" / "history.sqlite").string();
    std::string warning, error;
    auto history = UpdateHistory::Open(path, warning, error);
    Check(history != nullptr && warning.empty());
    std::vector<HistoryRow> expected;
    for (std::size_t i = 0; i < rows.size() && i < kRowsWrittenBack; ++i) {
        HistoryRow row = rows[i];
        row.id = history->Begin(row);
        Check(row.id > 0 && history->Error().empty());
        Check(history->Finish(row.id, row));
        expected.push_back(row);
    }
    const std::vector<HistoryRow> read = history->Rows();
    Check(history->Error().empty());
    Check(SameRows(read, expected));
    CheckFilters(*history, read);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureApplication();
    RemoveRoot();
    const fs::path file = Root() / "data" / "history.sqlite";
    WriteFile(file, std::string_view(reinterpret_cast<const char*>(data), size));

    std::string warning, error;
    auto history = UpdateHistory::Open(file.string(), warning, error);
    // Only the content can be at fault here (a private folder on a roomy disk), and no content may
    // leave the program without a history: a damaged file is moved aside, and the move named.
    Check(history != nullptr && error.empty());
    Check(warning.empty() || warning.find(".broken-") != std::string::npos);
    const std::vector<HistoryRow> rows = history->Rows();
    // The history given, damaged file or not, takes the next run.
    HistoryRow next;
    next.kind = "update";
    Check(history->Begin(next) > 0 && history->Error().empty());
    CheckWellFormed(rows);
    CheckCsv(rows);
    CheckTable(rows);
    history.reset();
    if (!rows.empty()) {
        CheckWrittenBack(rows);
    }
    return 0;
}

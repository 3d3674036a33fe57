// The history as CSV for a spreadsheet and as an aligned table for the console.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "history/history_columns.h"
#include "history/update_history.h"
#include "text/utf8.h"

namespace aurex {

namespace {

constexpr std::size_t kResultTextWidth = 40;

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// The shortest text that reads back as the same number.
std::string NumberText(double value)
{
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

// Characters as the console shows them: each well-formed sequence, or stray byte, is one.
std::size_t Width(const std::string& text)
{
    std::size_t width = 0;
    for (std::size_t at = 0; at < text.size(); ++width) {
        at += std::max<std::size_t>(1, Utf8SequenceLength(text, at));
    }
    return width;
}

// A control character (C0, DEL, C1) in a row comes from a damaged or edited file, or from a radio
// or an error text; on a terminal it would move the cursor or start an escape sequence, and a NUL
// would end the output there.
bool IsControl(const std::string& text, std::size_t at, std::size_t length)
{
    const auto first = static_cast<unsigned char>(text[at]);
    if (length == 1) {
        return first < 0x20 || first == 0x7f;
    }
    return length == 2 && first == 0xc2 && static_cast<unsigned char>(text[at + 1]) < 0xa0;
}

// One line: line breaks and tabs become spaces, other control characters "?"; longer than `width`
// characters is cut with "...".
std::string OneLine(const std::string& raw, std::size_t width)
{
    std::string text;
    text.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        const std::size_t length = std::max<std::size_t>(1, Utf8SequenceLength(raw, at));
        const char c = raw[at];
        if (c == '\r' || c == '\n' || c == '\t') {
            text += ' ';
        } else if (IsControl(raw, at, length)) {
            text += '?';
        } else {
            text.append(raw, at, length);
        }
        at += length;
    }
    if (Width(text) <= width) {
        return text;
    }
    std::size_t at = 0;
    for (std::size_t kept = 0; kept + 3 < width; ++kept) {
        at += std::max<std::size_t>(1, Utf8SequenceLength(text, at));
    }
    return text.substr(0, at) + "...";
}

std::string DurationText(double seconds)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f s", seconds);
    return buffer;
}

} // namespace

std::string HistoryFileIn(const std::string& dataFolder)
{
    return dataFolder + "/history.sqlite";
}

std::string HistoryCsv(const std::vector<HistoryRow>& rows)
{
    std::string csv;
    for (std::size_t i = 0; i < kHistoryColumns.size(); ++i) {
        csv += (i == 0 ? "" : ",") + std::string(kHistoryColumns[i]);
    }
    csv += "\r\n";
    for (const HistoryRow& r : rows) {
        const std::string fields[] = {std::to_string(r.id),
                                      r.startedUtc,
                                      r.finishedUtc,
                                      r.kind,
                                      r.port,
                                      r.radioIdentity,
                                      r.model,
                                      r.series,
                                      r.versionsBefore,
                                      r.versionsAfter,
                                      r.imageSetName,
                                      r.imageSetRelease,
                                      std::to_string(r.resultCode),
                                      r.resultText,
                                      NumberText(r.durationSeconds),
                                      r.backupFile,
                                      r.backupSha256,
                                      r.verification,
                                      r.logFile};
        static_assert(std::size(fields) == kHistoryColumns.size());
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            csv += (i == 0 ? "" : ",") + CsvField(fields[i]);
        }
        csv += "\r\n";
    }
    return csv;
}

std::string HistoryImageSet(const HistoryRow& row)
{
    if (row.imageSetName.empty() || row.imageSetRelease.empty()) {
        return row.imageSetName + row.imageSetRelease;
    }
    return row.imageSetName + " " + row.imageSetRelease;
}

std::string HistoryTable(const std::vector<HistoryRow>& rows)
{
    using Line = std::array<std::string, 7>;
    std::vector<Line> lines = {
        {"Started", "Identity", "Kind", "Result", "Result text", "Duration", "Image set"}};
    for (const HistoryRow& r : rows) {
        const bool finished = !r.finishedUtc.empty();
        lines.push_back({OneLine(r.startedUtc, 40), OneLine(r.radioIdentity, 40), OneLine(r.kind, 40),
                         finished ? std::to_string(r.resultCode) : "unfinished",
                         OneLine(r.resultText, kResultTextWidth),
                         finished ? DurationText(r.durationSeconds) : "", OneLine(HistoryImageSet(r), 64)});
    }
    std::array<std::size_t, 7> widths{};
    for (const Line& line : lines) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], Width(line[c]));
        }
    }
    std::string table;
    for (const Line& line : lines) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) {
                text.append(widths[c] - Width(line[c]) + 2, ' ');
            }
        }
        // No padding at the end of a line.
        text.erase(text.find_last_not_of(' ') + 1);
        table += text + "\n";
    }
    return table;
}

} // namespace aurex

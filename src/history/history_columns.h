#pragma once

// The columns of the `runs` table, in HistoryRow's order; the CSV header uses the same names.

#include <array>
#include <string_view>

namespace aurex {

// Raised when the table changes; a file with another version is not read as a history.
inline constexpr int kHistorySchemaVersion = 1;

inline constexpr std::array<std::string_view, 19> kHistoryColumns = {
    "id",          "started_utc", "finished_utc",     "kind",           "port",           "radio_identity",
    "model",       "series",      "versions_before",  "versions_after", "image_set_name", "image_set_release",
    "result_code", "result_text", "duration_seconds", "backup_file",    "backup_sha256",  "verification",
    "log_file"};

} // namespace aurex

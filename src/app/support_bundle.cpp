#include "app/support_bundle.h"

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "history/update_history.h"
#include "record/line_trace.h"
#include "record/run_log.h"
#include "record/tar_gz_writer.h"

namespace aurex {

namespace {

constexpr const char* kTop = "aurex-support/";

std::string BaseName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

// The newest files of `folder` ending in `suffix`, by name, which starts with the time.
std::vector<std::string> NewestIn(const std::string& folder, std::string_view suffix, std::size_t count)
{
    std::vector<std::pair<std::string, std::string>> found; // name, path
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(error) && name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            found.emplace_back(name, entry.path().string());
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < found.size() && i < count; ++i) {
        paths.push_back(found[i].second);
    }
    return paths;
}

bool Exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// A trace file written with the codeplug's blocks in the clear begins with the mark.
bool HoldsCodeplug(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false; // AddFile says why it cannot be read
    }
    std::string head(kCodeplugTraceMark.size(), '\0');
    const ssize_t n = ::read(fd, head.data(), head.size());
    ::close(fd);
    return n == static_cast<ssize_t>(head.size()) && head == kCodeplugTraceMark;
}

} // namespace

SupportBundleResult WriteSupportBundle(const std::string& path, const SupportBundleInput& input)
{
    SupportBundleResult result;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    TarGzWriter bundle;
    auto add = [&](const std::string& name, const std::string& text) {
        if (bundle.AddText(kTop + name, text, now)) {
            result.names.push_back(kTop + name);
            return true;
        }
        return false;
    };
    auto addFile = [&](const std::string& name, const std::string& source) {
        if (bundle.AddFile(kTop + name, source, now)) {
            result.names.push_back(kTop + name);
            return true;
        }
        return false;
    };
    if (!bundle.Open(path, input.existing)) {
        result.error = bundle.Error();
        return result;
    }
    bool ok = add("about.txt", input.about) && add("connection-check.txt", input.connectionReport);
    if (ok && input.history != nullptr) {
        ok = add("history.csv", HistoryCsv(input.history->Rows({}, input.newestRows)));
    }
    const std::string logs = input.dataFolder.empty() ? std::string() : input.dataFolder + "/logs";
    if (ok && !logs.empty()) {
        for (const char* suffix : {".log", ".trace"}) {
            for (const std::string& file : NewestRunFiles(logs, suffix, input.newestLogs)) {
                if (!input.withCodeplugs && HoldsCodeplug(file)) {
                    continue;
                }
                // A log being written by another program may vanish meanwhile: that is no failure.
                if (!addFile("logs/" + BaseName(file), file) && Exists(file)) {
                    ok = false;
                    break;
                }
            }
        }
    }
    if (ok && input.withCodeplugs && !input.dataFolder.empty()) {
        const std::string backups = input.dataFolder + "/codeplug-backups";
        for (const std::string& file : NewestIn(backups, ".bin", input.newestBackups)) {
            const std::string record = file.substr(0, file.size() - 4) + ".json";
            ok = addFile("codeplug-backups/" + BaseName(file), file) &&
                 (!Exists(record) || addFile("codeplug-backups/" + BaseName(record), record));
            if (!ok) {
                break;
            }
        }
    }
    if (!ok || !bundle.Finish()) {
        result.error = bundle.Error();
        result.names.clear();
        return result;
    }
    result.written = true;
    return result;
}

} // namespace aurex

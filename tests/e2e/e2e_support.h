// What the end-to-end tests share: scratch folders, the generated image sets read as files, the
// data bytes of S-record text read independently of the program, and the simulated radio with
// the images and codeplugs it received.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/radio_sim_process.h"
#include "support/srecord_data.h"

namespace aurex::e2e {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// The time factor of every end-to-end run: waits of seconds take a fraction of a second, while
// the link's time-outs keep a margin for a loaded machine (the box probe's 1000 ms is 200 ms, a
// reply's 4000 ms is 800 ms; at 0.05 a briefly unscheduled updater took answers already on the
// line for silence).
inline constexpr double kTimeScale = 0.2;
inline const std::string kTimeScaleText = "0.2";

// The statuses of a whole update with the carried image set (current boot code, a codeplug to
// convert), in order, as the console and the window show them.
inline const std::vector<std::string> kCarriedSetStatuses(
    {"Extracting embedded files...", "Checking target radio...", "Preparing to download ...",
     "Downloading Loader code ...", "Erasing flash (80 seconds)...", "Downloading Application code ...",
     "Download finished.", "Idle", "Resetting radio...", "Uploading codeplug...",
     "Resetting radio and converting codeplug...", "Downloading codeplug...",
     "Resetting radio and verifying codeplug...", "Reading codeplug back...",
     "Codeplug verified: the radio holds the codeplug written.", "Done."});

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline Bytes ReadBytes(const fs::path& path)
{
    const std::string s = ReadFile(path);
    return {s.begin(), s.end()};
}

struct Scratch
{
    explicit Scratch(const char* what)
    {
        std::string name = std::string("/tmp/aurex-e2e-") + what + "-XXXXXX";
        path = ::mkdtemp(name.data());
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    fs::path path;
};

// Names in a folder, sorted; nothing for a folder that does not exist.
inline std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every regular file below a folder.
inline std::vector<fs::path> FilesBelow(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file()) {
            files.push_back(it->path());
        }
    }
    return files;
}

// The codeplug backups below a data folder, without their records.
inline std::vector<fs::path> BackupsBelow(const fs::path& folder)
{
    std::vector<fs::path> backups = FilesBelow(folder);
    std::erase_if(backups, [](const fs::path& p) { return p.extension() != ".bin"; });
    return backups;
}

// An image of a generated set, its pieces joined in order ("LOADER", "" gives LOADER_1, ...).
inline std::string ImageText(const fs::path& setDir, const std::string& base, const std::string& suffix = "")
{
    std::string text;
    for (int i = 1;; ++i) {
        const fs::path piece = setDir / (base + suffix + "_" + std::to_string(i));
        if (!fs::exists(piece)) {
            return text;
        }
        text += ReadFile(piece);
    }
}

// The data bytes of S-record text as the radio flashes them.
inline Bytes SRecordData(const std::string& text)
{
    return test::SRecordDataBytes(text);
}

// The simulated radio on its pseudo-terminal, dumping what it receives into its own folder.
class SimulatedRadio
{
  public:
    explicit SimulatedRadio(std::vector<std::string> settings) : dumps_("radio")
    {
        settings.insert(settings.end(), {"--time-scale", kTimeScaleText, "--dump-dir", dumps_.path.string()});
        process_ = std::make_unique<test::RadioSimProcess>(settings);
    }

    const std::string& Device() const { return process_->DevicePath(); }
    std::string Log() const { return process_->Log(); }
    const fs::path& DumpFolder() const { return dumps_.path; }

    // The dump whose name ends in "-<kind>.bin", once the radio has logged writing it; empty when
    // none comes within a few seconds.
    fs::path Dump(const std::string& kind) const
    {
        for (int attempt = 0; attempt < 250; ++attempt) {
            for (const std::string& name : Entries(dumps_.path)) {
                if (name.size() == kind.size() + 7 && name.substr(3) == kind + ".bin" &&
                    Log().find("wrote " + (dumps_.path / name).string()) != std::string::npos) {
                    return dumps_.path / name;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }

    // Stops the radio; the user and system time it took, in seconds.
    double StopForProcessorSeconds()
    {
        process_->Stop();
        return process_->ProcessorSeconds();
    }

    // Everything the radio received, once it has stopped: "01-loader.bin", ...
    std::vector<std::string> StopAndListDumps()
    {
        process_->Stop();
        return Entries(dumps_.path);
    }

  private:
    Scratch dumps_;
    std::unique_ptr<test::RadioSimProcess> process_;
};

// What aurex-codeplug says of a codeplug file: its first line, "<file>: format 5.10, ...".
inline std::string CodeplugInfo(const fs::path& file)
{
    const std::string command = std::string(AUREX_CODEPLUG_TOOL) + " info '" + file.string() + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr && out.find('\n') == std::string::npos) {
        out += buffer;
    }
    ::pclose(pipe);
    return out.substr(0, out.find('\n'));
}

} // namespace aurex::e2e

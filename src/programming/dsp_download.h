#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "link/byte_progress.h"
#include "programming/dsp_object.h"
#include "programming/programming_link.h"
#include "programming/programming_status.h"

namespace aurex {

inline constexpr const char* kDspCommProblemText = "Communication problem during DSP download.";
inline constexpr const char* kDspTimedOutText = "DSP download timed out or canceled by user.";

// The memory images of the DSP's pages while one DSP download runs: Page0 to Page8 in a
// folder of their own, which goes away with this object on every path.
class DspPageFiles
{
  public:
    DspPageFiles() = default;
    ~DspPageFiles();
    DspPageFiles(const DspPageFiles&) = delete;
    DspPageFiles& operator=(const DspPageFiles&) = delete;

    // Makes a new folder in parent (the system's temporary folder when parent is empty) and
    // creates the nine empty page files in it. False with error set when that fails.
    bool Create(const std::filesystem::path& parent, std::string& error);
    // Copies every section into its page file at byte offset word address x 2, in chunks of
    // 16000 words; a section of size 0 still makes its page used. Closes the files.
    bool Place(std::istream& object, const std::vector<DspSection>& sections, std::string& error);

    const std::filesystem::path& Folder() const { return folder_; }
    std::filesystem::path PagePath(int slot) const;
    bool Used(int slot) const { return used_[static_cast<std::size_t>(slot)]; }
    int UsedCount() const { return usedCount_; }
    // The bytes the used pages hand out as words; nullopt when a size cannot be read.
    std::optional<std::int64_t> DataBytes() const;
    // Removes the folder and its files now (also done on destruction).
    void Remove();

  private:
    std::filesystem::path folder_;
    std::array<std::ofstream, kDspPageSlots> files_{};
    std::array<bool, kDspPageSlots> used_{};
    int usedCount_ = 0;
};

// Loads the DSP loader (S-record text read as S3 records up to S9), then lays the sections of
// the DSP object file out as page images and streams each used page with the block handshake
// (filler 0x2020, no resends). The object file is checked and the pages are laid out before
// anything is sent. pageFolderParent is where the page folder is made (empty: the system's
// temporary folder). Returns Success when done, else CommProblem, ImageError (the object file or
// page files cannot be used) or TimedOut, having shown its own status text. `bytes`, when given,
// hears the data bytes as phases "dsp-loader" and "dsp" (all pages), their totals known before
// anything is sent.
ProgrammingStatus DownloadDsp(ProgrammingLink& link, std::istream& loader, std::istream& dspObject,
                              std::uint8_t radioTypeCode, const StatusCallback& showStatus,
                              const std::filesystem::path& pageFolderParent, ProgressDisplay& progress,
                              ByteProgress* bytes = nullptr);

} // namespace aurex

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image_store/embedded_blobs.h"
#include "image_store/image_check.h"
#include "image_store/resource_attributes.h"
#include "image_store/window_requests.h"
#include "image_store/working_folder.h"

namespace aurex {

// Extraction of the carried images into the working folder: the pieces of the chosen set are
// written as piece files (Loader.1, Code.12, ...), merged into a loader file and a code file
// (Loader.hex or the first free Loader<k>.hex, the same for Code), checked whole, and the piece
// files removed. A piece file that exists already belongs to another instance that is
// extracting, so its presence stops this one.

inline constexpr std::string_view kEmbeddedFilesCaption = "Embedded Files";
inline constexpr std::string_view kEmbeddedLoaderMessage =
    "Aurex Code Updater could not read the embedded loader file.\n"
    "Please verify that any other instances of Aurex Code Updater\n"
    "have begun downloading and try again.";
inline constexpr std::string_view kEmbeddedCodeMessage =
    "Aurex Code Updater could not read the embedded code file.\n"
    "Please verify that any other instances of Aurex Code Updater\n"
    "have begun downloading and try again.";

// What extraction works with; the main window owns all three.
struct ImageStore
{
    const EmbeddedBlobs& blobs;
    WorkingFolder& folder;
    WindowRequests& window;
};

// Names of the merged files, relative to the working folder.
struct ExtractedImageFiles
{
    std::string loader_file;
    std::string code_file;
    friend bool operator==(const ExtractedImageFiles&, const ExtractedImageFiles&) = default;
};

struct MergeResult
{
    std::string name; // the merged file's name; empty when no name could be taken
    bool ok = false;
};

// Joins the piece files base.1 ... base.count into a new file base.extension, or base<k>.extension
// with the smallest k that is free. A missing or unreadable piece, or a merged file that cannot
// be made or written, fails the merge; the merged file is then removed again.
MergeResult MergeEmbeddedPieces(WorkingFolder& folder, std::string_view base, std::uint32_t count,
                                std::string_view extension);

// Picks the set (second boot set when `use_second_boot_image`, else the boot set when `boot`,
// else the application set) and extracts it. On success `files` names the merged files and
// the piece files are gone. On failure the error box is shown, everything this call wrote is
// removed, `files` is cleared and false returned. The images are checked record by record (the
// code of a DSP set as an object file) before success is reported.
bool ExtractEmbeddedFiles(const ImageStore& store, const ResourceAttributes& record,
                          bool use_second_boot_image, bool boot, ExtractedImageFiles& files);

// Checks a merged file. Exposed for tests and for a check of files made elsewhere.
enum class ImageKind { FlashSRecords, DspLoaderSRecords, DspObject };
ImageCheckResult CheckImageFile(WorkingFolder& folder, const std::string& name, ImageKind kind);

} // namespace aurex

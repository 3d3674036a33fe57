#include "image_store/image_store.h"

#include <algorithm>
#include <vector>

namespace aurex {

namespace {

// Copy and check in blocks, so no image is ever held in memory as a whole.
constexpr std::size_t kBlockSize = 64 * 1024;
// Merged names stop at Loader9999.hex rather than searching forever.
constexpr std::uint32_t kLastNameNumber = 9999;

struct SetChoice
{
    std::string_view suffix;
    std::uint32_t loader_pieces;
    std::uint32_t code_pieces;
};

SetChoice ChooseSet(const ResourceAttributes& r, bool use_second_boot_image, bool boot)
{
    if (use_second_boot_image)
        return {"_BootTwo", r.second_boot_loader_pieces, r.second_boot_code_pieces};
    if (boot)
        return {"_Boot", r.boot_loader_pieces, r.boot_code_pieces};
    return {"", r.loader_pieces, r.code_pieces};
}

std::string PieceFileName(std::string_view base, std::uint32_t piece)
{
    return std::string(base) + "." + std::to_string(piece);
}

// Writes the piece files of one image. Every file it creates is added to `written`, also one
// whose write failed, so that the caller can remove them.
bool WritePieceFiles(const ImageStore& store, std::string_view base, std::string_view suffix,
                     std::uint32_t count, std::vector<std::string>& written)
{
    for (std::uint32_t piece = 1; piece <= count && piece != 0; ++piece) {
        const auto blob = store.blobs.Find(PieceBlobName(base, suffix, piece));
        if (!blob)
            return false;
        const std::string name = PieceFileName(base, piece);
        CreatedFile created = store.folder.CreateNew(name);
        if (!created.file)
            return false; // taken by another instance, or not writable
        written.push_back(name);
        for (std::size_t at = 0; at < blob->size(); at += kBlockSize) {
            if (!created.file->Write(blob->subspan(at, std::min(kBlockSize, blob->size() - at))))
                return false;
        }
        if (!created.file->Close())
            return false;
    }
    return true;
}

class FileByteSource final : public ByteSource
{
  public:
    FileByteSource(InputFile& file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, std::span<unsigned char> out) const override
    {
        if (!file_.Seek(offset))
            return false;
        std::size_t got = 0;
        while (got < out.size()) {
            const std::size_t n = file_.Read(out.subspan(got));
            if (n == 0)
                return false;
            got += n;
        }
        return true;
    }

  private:
    InputFile& file_;
    std::uint64_t size_;
};

} // namespace

MergeResult MergeEmbeddedPieces(WorkingFolder& folder, std::string_view base, std::uint32_t count,
                                std::string_view extension)
{
    std::string name;
    CreatedFile merged;
    for (std::uint32_t k = 0; k <= kLastNameNumber && !merged.file; ++k) {
        name = std::string(base) + (k == 0 ? "" : std::to_string(k)) + "." + std::string(extension);
        merged = folder.CreateNew(name);
        if (!merged.file && !merged.already_exists)
            return {name, false};
    }
    if (!merged.file)
        return {"", false};

    const auto fail = [&]() {
        merged.file.reset(); // closed before it is removed
        folder.Remove(name);
        return MergeResult{name, false};
    };
    std::vector<unsigned char> block(kBlockSize);
    for (std::uint32_t piece = 1; piece <= count && piece != 0; ++piece) {
        // A piece that has gone would leave a hole in the image: that is a failure, not a skip.
        const auto in = folder.Open(PieceFileName(base, piece));
        if (!in)
            return fail();
        while (const std::size_t n = in->Read(block)) {
            if (!merged.file->Write(std::span(block).first(n)))
                return fail();
        }
        if (in->Failed())
            return fail();
    }
    if (!merged.file->Close())
        return fail();
    return {name, true};
}

ImageCheckResult CheckImageFile(WorkingFolder& folder, const std::string& name, ImageKind kind)
{
    const auto in = folder.Open(name);
    if (!in)
        return {ImageFault::ReadError, 0};
    if (kind == ImageKind::DspObject) {
        const auto size = in->Size();
        if (!size)
            return {ImageFault::ReadError, 0};
        return CheckDspObject(FileByteSource(*in, *size));
    }
    SRecordImageChecker checker(kind == ImageKind::DspLoaderSRecords ? SRecordRules::DspLoader
                                                                     : SRecordRules::FlashImage);
    std::vector<unsigned char> block(kBlockSize);
    while (const std::size_t n = in->Read(block)) {
        checker.Feed(std::span(block).first(n));
    }
    if (in->Failed())
        return {ImageFault::ReadError, 0};
    return checker.Finish();
}

bool ExtractEmbeddedFiles(const ImageStore& store, const ResourceAttributes& record,
                          bool use_second_boot_image, bool boot, ExtractedImageFiles& files)
{
    files = {};
    const SetChoice set = ChooseSet(record, use_second_boot_image, boot);
    const bool dsp = record.Upgrade() == UpgradeType::Dsp;

    // Every file this call makes, removed again on failure.
    std::vector<std::string> pieces;
    std::vector<std::string> merged;
    const auto fail = [&](std::string_view message) {
        for (const std::string& name : pieces)
            store.folder.Remove(name);
        for (const std::string& name : merged)
            store.folder.Remove(name);
        // A full or read-only disk is not another instance: say which file could not be written.
        std::string text(message);
        if (const std::string problem = store.folder.WriteProblem(); !problem.empty())
            text += "\n\nThe extracted images could not be written: " + problem +
                    ". Nothing has been written to the radio.";
        store.window.ShowMessage({std::string(kEmbeddedFilesCaption), WindowRequests::Icon::Error, text,
                                  WindowRequests::Buttons::Ok});
        return false;
    };

    if (!WritePieceFiles(store, "Loader", set.suffix, set.loader_pieces, pieces))
        return fail(kEmbeddedLoaderMessage);
    const MergeResult loader = MergeEmbeddedPieces(store.folder, "Loader", set.loader_pieces, "hex");
    if (!loader.ok)
        return fail(kEmbeddedLoaderMessage);
    merged.push_back(loader.name);
    if (!CheckImageFile(store.folder, loader.name,
                        dsp ? ImageKind::DspLoaderSRecords : ImageKind::FlashSRecords)
             .Ok()) {
        return fail(kEmbeddedLoaderMessage);
    }

    if (!WritePieceFiles(store, "Code", set.suffix, set.code_pieces, pieces))
        return fail(kEmbeddedCodeMessage);
    const MergeResult code = MergeEmbeddedPieces(store.folder, "Code", set.code_pieces, "hex");
    if (!code.ok)
        return fail(kEmbeddedCodeMessage);
    merged.push_back(code.name);
    if (!CheckImageFile(store.folder, code.name, dsp ? ImageKind::DspObject : ImageKind::FlashSRecords)
             .Ok()) {
        return fail(kEmbeddedCodeMessage);
    }

    // Only the piece files go; the merged files are the caller's until its run ends.
    for (const std::string& name : pieces)
        store.folder.Remove(name);
    files = {loader.name, code.name};
    return true;
}

} // namespace aurex

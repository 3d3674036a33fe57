#include "programming/dsp_download.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <random>
#include <system_error>

#include "link/message_table.h"
#include "programming/block_layer.h"
#include "programming/programming_status.h"
#include "programming/programming_timeouts.h"
#include "programming/srecord_reader.h"
#include "programming/stream_size.h"

namespace aurex {

namespace {

constexpr std::size_t kCopyBufferBytes = 2 * kDspChunkWords; // 32000
constexpr int kLoaderLineProgress = 4;
constexpr int kPageExtraProgress = 128;

int ClampToInt(std::int64_t value)
{
    return static_cast<int>(std::min<std::int64_t>(value, std::numeric_limits<int>::max()));
}

std::string RandomName()
{
    std::random_device random;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = "aurex-dsp-";
    for (int i = 0; i < 4; ++i) {
        const unsigned v = random();
        for (int k = 0; k < 4; ++k) {
            name += kHex[(v >> (4 * k)) & 0xF];
        }
    }
    return name;
}

class DspDownload
{
  public:
    DspDownload(ProgrammingLink& link, const StatusCallback& showStatus, ProgressDisplay& progress,
                ByteProgress* bytes)
        : link_(link), showStatus_(showStatus), progress_(progress), bytes_(bytes),
          writer_(link, kDspBlockRules, showStatus, progress, bytes)
    {
    }

    // The totals are those read before anything was sent (nullopt: not known).
    ProgrammingStatus SendLoader(std::istream& loader, std::optional<std::int64_t> dataBytes);
    ProgrammingStatus SendPages(DspPageFiles& pages, std::optional<std::int64_t> dataBytes);

  private:
    void ShowFailure(ProgrammingStatus status)
    {
        if (status == ProgrammingStatus::CommProblem) {
            showStatus_(kDspCommProblemText);
        } else if (status == ProgrammingStatus::TimedOut) {
            showStatus_(kDspTimedOutText);
        }
    }
    // Sends a request and waits once for its reply or 02 0A; the link's status.
    ProgrammingStatus Handshake(int requestId, int replyId)
    {
        link_.Send(MessagePacket(requestId));
        const LinkReply reply =
            link_.ReceiveReply(MessagePacket(replyId), MessageLength(replyId), MessagePacket(msg::kNegative),
                               MessageLength(msg::kNegative));
        return ProgrammingStatusOf(reply.status);
    }
    ProgrammingStatus DownloadDspPage(std::istream& page, int number, int count);

    ProgrammingLink& link_;
    const StatusCallback& showStatus_;
    ProgressDisplay& progress_;
    ByteProgress* bytes_;
    BlockWriter writer_;
};

ProgrammingStatus DspDownload::SendLoader(std::istream& loader, std::optional<std::int64_t> dataBytes)
{
    const int maximum = ClampToInt(StreamSize(loader) / 4 + kBlockProgress);
    progress_.SetRange(0, maximum);
    progress_.SetPosition(0);
    writer_.ResetProgress();

    ProgrammingStatus status = Handshake(msg::kImageStart, msg::kReady);
    if (status != ProgrammingStatus::Success) {
        ShowFailure(status);
        return status;
    }
    writer_.SetStatus(ProgrammingStatus::Success);
    writer_.StartImage();
    showStatus_("Downloading Loader code...");
    const ByteProgressPhase phase(bytes_, "dsp-loader", dataBytes);

    SRecordImageReader reader(loader, SRecordRule::DspLoader);
    writer_.WriteRecords(reader, kLoaderLineProgress, [this](const std::string& why) {
        showStatus_("The DSP loader image cannot be read (" + why + ").");
    });
    status = writer_.EndImage();
    ShowFailure(status);
    if (status == ProgrammingStatus::Success) {
        progress_.SetPosition(maximum); // whole: full, as the flash images show
    }
    return status;
}

ProgrammingStatus DspDownload::DownloadDspPage(std::istream& page, int number, int count)
{
    const int maximum = ClampToInt(StreamSize(page) / 2 + kPageExtraProgress);
    progress_.SetRange(0, maximum);
    progress_.SetPosition(0);
    writer_.ResetProgress();
    showStatus_("Downloading page " + std::to_string(number) + " of " + std::to_string(count) +
                " from input DSP file ...");

    const auto buffer = std::make_unique<char[]>(kCopyBufferBytes);
    while (writer_.Status() == ProgrammingStatus::Success) {
        page.read(buffer.get(), static_cast<std::streamsize>(kCopyBufferBytes));
        const auto got = static_cast<std::size_t>(page.gcount());
        if (page.bad()) {
            writer_.SetStatus(ProgrammingStatus::ImageError);
            showStatus_("The DSP page file " + std::to_string(number) + " could not be read.");
            break;
        }
        for (std::size_t i = 0; i + 1 < got && writer_.Status() == ProgrammingStatus::Success; i += 2) {
            writer_.AppendWord(static_cast<std::uint16_t>(static_cast<unsigned char>(buffer[i]) |
                                                          static_cast<unsigned char>(buffer[i + 1]) << 8));
        }
        if (got < kCopyBufferBytes) {
            break;
        }
    }
    writer_.FinalFlush();
    if (writer_.Status() == ProgrammingStatus::Success) {
        progress_.SetPosition(maximum);
    }
    return writer_.Status();
}

ProgrammingStatus DspDownload::SendPages(DspPageFiles& pages, std::optional<std::int64_t> dataBytes)
{
    showStatus_("Preparing to download ...");
    ProgrammingStatus status = Handshake(msg::kDspStart, msg::kReady);
    if (status != ProgrammingStatus::Success) {
        ShowFailure(status);
        return status;
    }
    writer_.StartImage();
    writer_.ResetProgress();
    progress_.SetPosition(0);
    const ByteProgressPhase phase(bytes_, "dsp", dataBytes);

    int number = 1;
    for (int slot = 0; slot < kDspPageSlots; ++slot) {
        if (!pages.Used(slot)) {
            continue;
        }
        std::ifstream page(pages.PagePath(slot), std::ios::binary);
        if (!page) {
            showStatus_("The DSP page file " + std::to_string(number) + " could not be opened.");
            return ProgrammingStatus::ImageError;
        }
        status = DownloadDspPage(page, number, pages.UsedCount());
        if (status != ProgrammingStatus::Success) {
            // Nothing more goes to the radio once a page has failed, not even its end.
            ShowFailure(status);
            return status;
        }
        status = Handshake(msg::kPageEnd, msg::kPageAccepted);
        if (status != ProgrammingStatus::Success) {
            ShowFailure(status);
            return status;
        }
        ++number;
    }
    link_.Send(MessagePacket(msg::kImageEnd));
    pages.Remove();
    showStatus_("Download finished");
    return ProgrammingStatus::Success;
}

} // namespace

DspPageFiles::~DspPageFiles()
{
    Remove();
}

std::optional<std::int64_t> DspPageFiles::DataBytes() const
{
    std::int64_t bytes = 0;
    for (int slot = 0; slot < kDspPageSlots; ++slot) {
        if (!Used(slot)) {
            continue;
        }
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(PagePath(slot), ec);
        if (ec) {
            return std::nullopt;
        }
        bytes += static_cast<std::int64_t>(size & ~std::uintmax_t{1}); // a last odd byte is not sent
    }
    return bytes;
}

std::filesystem::path DspPageFiles::PagePath(int slot) const
{
    return folder_ / ("Page" + std::to_string(slot));
}

bool DspPageFiles::Create(const std::filesystem::path& parent, std::string& error)
{
    Remove();
    std::error_code ec;
    std::filesystem::path base = parent;
    if (base.empty()) {
        base = std::filesystem::temp_directory_path(ec);
        if (ec) {
            error = "no temporary folder: " + ec.message();
            return false;
        }
    }
    // A folder that did not exist before: nobody else's files are truncated or removed.
    for (int attempt = 0; attempt < 16 && folder_.empty(); ++attempt) {
        const std::filesystem::path candidate = base / RandomName();
        if (std::filesystem::create_directory(candidate, ec)) {
            folder_ = candidate;
        } else if (ec) {
            error = "cannot create a folder in " + base.string() + ": " + ec.message();
            return false;
        }
    }
    if (folder_.empty()) {
        error = "cannot create a folder in " + base.string();
        return false;
    }
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ec);
    for (int slot = 0; slot < kDspPageSlots; ++slot) {
        auto& file = files_[static_cast<std::size_t>(slot)];
        file.open(PagePath(slot), std::ios::binary | std::ios::out | std::ios::trunc);
        if (!file) {
            error = "cannot create " + PagePath(slot).string();
            return false;
        }
    }
    return true;
}

bool DspPageFiles::Place(std::istream& object, const std::vector<DspSection>& sections, std::string& error)
{
    const auto buffer = std::make_unique<char[]>(kCopyBufferBytes);
    for (const DspSection& s : sections) {
        const auto slot = static_cast<std::size_t>(s.page);
        if (!used_[slot]) {
            used_[slot] = true;
            ++usedCount_;
        }
        std::uint64_t raw = s.rawOffset;
        std::uint64_t at = std::uint64_t{s.wordAddress} * 2;
        std::uint32_t remaining = s.words;
        while (remaining > 0) {
            const std::uint32_t words = std::min(remaining, kDspChunkWords);
            const std::size_t bytes = std::size_t{words} * 2;
            object.clear();
            object.seekg(static_cast<std::streamoff>(raw));
            object.read(buffer.get(), static_cast<std::streamsize>(bytes));
            if (static_cast<std::size_t>(object.gcount()) != bytes) {
                error = "section " + std::to_string(s.number) + " could not be read from the DSP file";
                return false;
            }
            std::ofstream& file = files_[slot];
            file.seekp(static_cast<std::streamoff>(at));
            file.write(buffer.get(), static_cast<std::streamsize>(bytes));
            if (!file) {
                error = "cannot write " + PagePath(s.page).string();
                return false;
            }
            raw += bytes;
            at += bytes;
            remaining -= words;
        }
    }
    for (int slot = 0; slot < kDspPageSlots; ++slot) {
        auto& file = files_[static_cast<std::size_t>(slot)];
        file.close();
        if (file.fail()) {
            error = "cannot write " + PagePath(slot).string();
            return false;
        }
    }
    return true;
}

void DspPageFiles::Remove()
{
    for (auto& file : files_) {
        if (file.is_open()) {
            file.close();
        }
    }
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        folder_.clear();
    }
    used_.fill(false);
    usedCount_ = 0;
}

ProgrammingStatus DownloadDsp(ProgrammingLink& link, std::istream& loader, std::istream& dspObject,
                              [[maybe_unused]] std::uint8_t radioTypeCode, const StatusCallback& showStatus,
                              const std::filesystem::path& pageFolderParent, ProgressDisplay& progress,
                              ByteProgress* bytes)
{
    std::vector<DspSection> sections;
    const DspObjectCheck check = ReadDspSections(dspObject, sections);
    if (!check.Ok()) {
        showStatus("The DSP file cannot be downloaded: " + check.Message() + ".");
        return ProgrammingStatus::ImageError;
    }
    DspPageFiles pages;
    std::string error;
    if (!pages.Create(pageFolderParent, error) || !pages.Place(dspObject, sections, error)) {
        showStatus("The DSP page files cannot be prepared: " + error + ".");
        return ProgrammingStatus::ImageError;
    }

    const std::optional<std::int64_t> loaderBytes =
        bytes != nullptr ? ImageDataBytes(loader, SRecordRule::DspLoader) : std::nullopt;
    const std::optional<std::int64_t> pageBytes = bytes != nullptr ? pages.DataBytes() : std::nullopt;

    if (!link.CreateTimeout(programming_timeouts::kDownloadReplyMs)) {
        return ProgrammingStatus::CommProblem;
    }
    DspDownload download(link, showStatus, progress, bytes);
    ProgrammingStatus status = download.SendLoader(loader, loaderBytes);
    if (status == ProgrammingStatus::Success) {
        status = download.SendPages(pages, pageBytes);
    }
    link.ReleaseTimeout();
    return status;
}

} // namespace aurex

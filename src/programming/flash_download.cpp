#include "programming/flash_download.h"

#include <limits>
#include <optional>
#include <string>

#include "link/message_table.h"
#include "programming/block_layer.h"
#include "programming/programming_status.h"
#include "programming/programming_timeouts.h"
#include "programming/srecord_reader.h"
#include "programming/stream_size.h"

namespace aurex {

namespace {

enum class ImageRole { Loader, Code };

// Progress range of an image: a quarter of its file size plus one block.
int ProgressMaximum(std::int64_t fileSize, int extra)
{
    const std::int64_t max = fileSize / 4 + extra;
    return max > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(max);
}

class FlashDownload
{
  public:
    FlashDownload(ProgrammingLink& link, const StatusCallback& showStatus, ProgressDisplay& progress,
                  bool boot, ByteProgress* bytes)
        : link_(link), showStatus_(showStatus), progress_(progress), boot_(boot), bytes_(bytes),
          writer_(link, kFlashBlockRules, showStatus, progress, bytes)
    {
    }

    // `dataBytes`: the image's, read before the download began (nullopt: not known).
    ProgrammingStatus DownloadImage(std::istream& image, ImageRole role,
                                    std::optional<std::int64_t> dataBytes);

  private:
    void ShowFailure(ProgrammingStatus status)
    {
        if (status == ProgrammingStatus::CommProblem) {
            showStatus_(kCodeCommProblemText);
        } else if (status == ProgrammingStatus::TimedOut) {
            showStatus_(kCodeTimedOutText);
        }
    }
    const char* ImageName(ImageRole role) const
    {
        return role == ImageRole::Loader ? "Loader" : boot_ ? "Boot" : "Application";
    }
    const char* PhaseName(ImageRole role) const
    {
        return role == ImageRole::Loader ? "loader" : boot_ ? "boot" : "application";
    }

    ProgrammingLink& link_;
    const StatusCallback& showStatus_;
    ProgressDisplay& progress_;
    bool boot_;
    ByteProgress* bytes_;
    BlockWriter writer_;
};

ProgrammingStatus FlashDownload::DownloadImage(std::istream& image, ImageRole role,
                                               std::optional<std::int64_t> dataBytes)
{
    const int maximum = ProgressMaximum(StreamSize(image), kBlockProgress);
    progress_.SetRange(0, maximum);
    progress_.SetPosition(0);
    writer_.ResetProgress();

    const LinkPacket start = MessagePacket(msg::kImageStart);
    const LinkPacket readyCode = MessagePacket(msg::kReady);
    const LinkPacket negativeCode = MessagePacket(msg::kNegative);
    link_.Send(start);
    LinkReply reply = link_.ReceiveReply(readyCode, MessageLength(msg::kReady), negativeCode,
                                         MessageLength(msg::kNegative));
    if (link_.Capabilities().repeatsRefusedRequests) {
        // Not ready yet: ask again for as long as the radio says so and nobody stopped us.
        while (reply.alternate && link_.IsActive()) {
            link_.Send(start);
            reply = link_.ReceiveReply(readyCode, MessageLength(msg::kReady), negativeCode,
                                       MessageLength(msg::kNegative));
        }
    }
    ProgrammingStatus status = ProgrammingStatusOf(reply.status);
    if (status == ProgrammingStatus::TimedOut && role == ImageRole::Loader) {
        // Nothing written yet: the caller knows whether a Stop or the radio's mode ended it.
        return ProgrammingStatus::StartUnanswered;
    }
    if (status != ProgrammingStatus::Success) {
        ShowFailure(status);
        return status;
    }

    writer_.SetStatus(ProgrammingStatus::Success);
    writer_.StartImage();
    showStatus_(std::string("Downloading ") + ImageName(role) + " code ...");
    const ByteProgressPhase phase(bytes_, PhaseName(role), dataBytes);

    SRecordImageReader reader(image);
    writer_.WriteRecords(reader, -1, [this, role](const std::string& why) {
        // Never send what a damaged record might mean; the radio stays in its loader.
        showStatus_(std::string("The ") + ImageName(role) + " image cannot be read (" + why + ").");
    });
    status = writer_.EndImage([this, role] {
        if (role == ImageRole::Code) {
            link_.ChangeBaudRate(19200);
        }
    });
    ShowFailure(status);
    if (status == ProgrammingStatus::Success) {
        // The bar's units only approximate the image (a quarter of its file size): a whole image
        // shows full rather than stopping short of it.
        progress_.SetPosition(maximum);
    }
    return status;
}

} // namespace

EraseWait EraseWaitFor(std::uint8_t radioTypeCode, bool boot)
{
    if (radioTypeCode == 1 || boot) {
        return {nullptr, programming_timeouts::kBootEraseWaitMs};
    }
    switch (radioTypeCode) {
    case 4:
        return {"Erasing flash (40 seconds)...", programming_timeouts::kMediumEraseWaitMs};
    case 0:
    case 8:
        return {"Erasing flash (2 seconds)...", programming_timeouts::kShortEraseWaitMs};
    default:
        return {"Erasing flash (80 seconds)...", programming_timeouts::kLongEraseWaitMs};
    }
}

ProgrammingStatus DownloadCode(ProgrammingLink& link, std::istream& loader, std::istream& code,
                               const StatusCallback& showStatus, std::uint8_t radioTypeCode,
                               ProgressDisplay& progress, bool boot, ByteProgress* bytes)
{
    // Read before anything is sent, so that the line sees no pause for it.
    const std::optional<std::int64_t> loaderBytes = bytes != nullptr ? ImageDataBytes(loader) : std::nullopt;
    const std::optional<std::int64_t> codeBytes = bytes != nullptr ? ImageDataBytes(code) : std::nullopt;
    showStatus("Preparing to download ...");
    if (!link.CreateTimeout(programming_timeouts::kDownloadReplyMs)) {
        return ProgrammingStatus::CommProblem;
    }
    FlashDownload download(link, showStatus, progress, boot, bytes);
    ProgrammingStatus status = download.DownloadImage(loader, ImageRole::Loader, loaderBytes);
    if (status == ProgrammingStatus::Success) {
        const EraseWait erase = EraseWaitFor(radioTypeCode, boot);
        if (erase.text != nullptr) {
            showStatus(erase.text);
            // Counted on the bar, rather than the loader's last position standing still.
            progress.BeginTimedWait(erase.milliseconds);
        }
        link.Pause(erase.milliseconds);
        if (erase.text != nullptr) {
            progress.EndTimedWait(link.IsActive());
        }
        status = download.DownloadImage(code, ImageRole::Code, codeBytes);
        if (status == ProgrammingStatus::Success) {
            showStatus("Download finished.");
        }
    }
    link.ReleaseTimeout();
    return status;
}

} // namespace aurex

#include "app/codeplug_step.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "app/app_timeouts.h"
#include "app/code_updater_main_form.h"
#include "app/password_prompt.h"
#include "convert/codeplug_buffer.h"
#include "convert/codeplug_image.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"
#include "convert/hex_text.h"
#include "link/radio_link.h"
#include "programming/radio_identity.h"
#include "programming/radio_programming.h"
#include "transfer/codeplug_backup.h"
#include "transfer/radio_transfer_link.h"
#include "transfer/vnx_transfer.h"

namespace aurex {

namespace {

constexpr int kWaitProgressMs = 200;
constexpr int kUploadProgressMs = 150;

// Formats this program converts: 5.8, 5.9 and 5.10.
bool Convertible(std::uint8_t index)
{
    return index >= 3 && index <= 5;
}

void TimedWait(TCodeUpdaterMainDispForm& window, const char* status)
{
    window.StartTimedProgress(kWaitProgressMs);
    window.ShowStatus(status);
    window.ComPort.DelayMilliseconds(app_timeouts::kRadioRestartWaitMs, true);
    window.StopTimedProgress();
}

// The radio's link as the step's two kinds of exchange use it.
struct StepLinks
{
    explicit StepLinks(RadioLink& link) : radio(link), queries(link), transfer(link) {}
    RadioLink& radio;
    RadioLinkChannel queries;
    RadioTransferLink transfer;
};

CodeplugStepResult TransferCodeplug(TCodeUpdaterMainDispForm& window, StepLinks& links,
                                    std::optional<RadioIdentity> identity, const CodeplugFormat& format)
{
    CodeplugBuffer codeplug;
    VNXTransferParms transfer([&window](std::string& text) { return PasswordPrompt(window, text); });
    const std::uint8_t targetIndex = ParmsIndexOfVersion(format.major, format.minor);
    transfer.SetBuffer(codeplug.LineBytes(), 0);
    if (identity) {
        transfer.SetIdentity(*identity);
    }
    transfer.SetLink(links.transfer);

    window.StartTimedProgress(kUploadProgressMs);
    window.ShowStatus("Uploading codeplug...");
    const TransferResult uploaded = transfer.Upload();
    window.StopTimedProgress();
    std::int32_t length = std::clamp(transfer.GetLength(), 0, kCodeplugBufferBytes);
    // The backup holds the codeplug exactly as the radio sent it.
    const std::span<const std::uint8_t> uploadedBytes = codeplug.LineBytes(static_cast<std::size_t>(length));
    const std::vector<std::uint8_t> asUploaded(uploadedBytes.begin(), uploadedBytes.end());
    codeplug.WordsFromLine(static_cast<std::size_t>(length));

    if (uploaded != TransferResult::Done || !ParmsIsValid(codeplug.Words())) {
        return CodeplugStepResult::UploadFailed;
    }
    const std::uint8_t currentIndex = ParmsFormatIndex(codeplug.Words());
    if (!Convertible(currentIndex) || !Convertible(targetIndex)) {
        return CodeplugStepResult::NotSupported;
    }
    if (currentIndex == targetIndex) {
        return CodeplugStepResult::SameFormat;
    }

    // From here on the radio's codeplug is rewritten. Blocks scrambled with a wrong identity
    // would corrupt it, so without the identity (asked once more) nothing is written; nor is it
    // without a backup on this computer.
    if (!identity) {
        SetLinkActive(links.radio, true);
        identity = QueryRadioIdentity(links.queries);
        if (!identity) {
            return CodeplugStepResult::DownloadFailed;
        }
        transfer.SetIdentity(*identity);
    }
    const std::shared_ptr<BackupDisk>& disk = window.Environment().backupDisk;
    const CodeplugBackupResult backup =
        SaveCodeplugBackup(ParmsBytesToText(*identity), asUploaded, disk ? *disk : SystemBackupDisk());
    if (!backup.saved) {
        window.ShowError(
            "The radio keeps the codeplug it had: the converted codeplug was not written into it, "
            "since its backup could not be saved.\n" +
            backup.error);
        return CodeplugStepResult::DownloadFailed;
    }

    TimedWait(window, "Resetting radio and converting codeplug...");
    std::int32_t lengthChange = 0;
    const ParmsStepFault fault =
        currentIndex < targetIndex
            ? ParmsUpgrade(lengthChange, codeplug.Words(), currentIndex, targetIndex)
            : ParmsDowngrade(lengthChange, codeplug.Words(), targetIndex, currentIndex);
    if (fault != ParmsStepFault::None) {
        // A refused image may be half converted: it never goes back into the radio.
        return CodeplugStepResult::NotSupported;
    }
    length = std::clamp(length + 2 * lengthChange, 0, kCodeplugBufferBytes);
    transfer.SetLength(length);
    codeplug.LineFromWords(static_cast<std::size_t>(length));

    window.StartTimedProgress(static_cast<int>(length * 0.015));
    window.ShowStatus("Downloading codeplug...");
    transfer.SetBuffer(codeplug.LineBytes(), length);
    TransferResult downloaded = TransferResult::Failed;
    {
        // Once the converted codeplug goes back into the radio, Stop (or closing the window) must
        // not cut the write short: a half-written codeplug is worse than a run that ends later.
        const TCodeUpdaterMainDispForm::CodeplugWriteBack writing(window);
        downloaded = transfer.Download();
    }
    window.StopTimedProgress();
    return downloaded == TransferResult::Done ? CodeplugStepResult::Converted
                                              : CodeplugStepResult::DownloadFailed;
}

} // namespace

CodeplugStepResult PreserveCodeplug(TCodeUpdaterMainDispForm& window)
{
    StepLinks links(window.RadioLink);
    TimedWait(window, "Resetting radio...");
    CreateLinkTimeout(links.radio, app_timeouts::kCodeplugReplyMs);

    // A Stop during the restart wait must not end the step: the identity query would then not
    // wait, and its late reply would be taken for the answer to the format query.
    SetLinkActive(links.radio, true);
    const std::optional<RadioIdentity> identity = QueryRadioIdentity(links.queries);

    SetLinkActive(links.radio, true);
    const std::optional<CodeplugFormat> format = QueryCodeplugFormat(links.queries);
    CodeplugStepResult result = CodeplugStepResult::NoFormatReply;
    if (format) {
        result = TransferCodeplug(window, links, identity, *format);
    }
    ReleaseLinkTimeout(links.radio);
    return result;
}

} // namespace aurex

#include "transfer/preserve_codeplug.h"

#include <algorithm>
#include <span>
#include <vector>

#include "app/code_updater_main_form.h"
#include "convert/codeplug_image.h"
#include "convert/convert_entry.h"
#include "convert/format_tables.h"
#include "convert/hex_text.h"
#include "link/message_table.h"
#include "link/radio_link.h"
#include "transfer/codeplug_backup.h"
#include "transfer/password_prompt.h"
#include "transfer/vnx_transfer.h"

namespace aurex {

namespace {

constexpr int kIdentityQueryId = 24;  // 04 04, answered by 04 05 with 8 bytes
constexpr int kFormatQueryId = 35;    // 04 1C, answered by 04 1D with major and minor
constexpr std::int32_t kRestartTicks = 360;
constexpr std::int32_t kReplyTimeoutMs = 4000;
constexpr int kWaitProgressMs = 200;
constexpr int kUploadProgressMs = 150;

bool IsCode(const LinkPacket& packet, std::uint8_t cls, std::uint8_t cmd) {
    return packet.HasCode() && packet.ClassByte() == cls && packet.CommandByte() == cmd;
}

// Formats this program converts: 5.8, 5.9 and 5.10.
bool Convertible(std::uint8_t index) { return index >= 3 && index <= 5; }

void TimedWait(TCodeUpdaterMainDispForm& window, const char* status) {
    window.StartTimedProgress(kWaitProgressMs);
    window.ShowStatus(status);
    window.ComPort.DelayTicks(kRestartTicks, true);
    window.StopTimedProgress();
}

int TransferCodeplug(TCodeUpdaterMainDispForm& window, std::string& identity, std::uint8_t major,
                     std::uint8_t minor) {
    RadioLink& link = window.RadioLink;
    // Words, so the converters may read the buffer as the image it is.
    std::vector<std::uint16_t> words(kParmsBufferWords, 0);
    const std::span<std::uint8_t, kCodeplugBufferBytes> bytes(reinterpret_cast<std::uint8_t*>(words.data()),
                                                              kCodeplugBufferBytes);
    VNXTransferParms transfer([&window](std::string& text) { return PasswordPrompt(window, text); });
    const std::uint8_t targetIndex = ParmsIndexOfVersion(major, minor);
    transfer.SetBuffer(bytes, 0);
    transfer.SetIdentity(identity);
    transfer.SetLink(link);

    window.StartTimedProgress(kUploadProgressMs);
    window.ShowStatus("Uploading codeplug...");
    const int uploaded = transfer.Upload();
    window.StopTimedProgress();
    std::int32_t length = std::clamp(transfer.GetLength(), 0, kCodeplugBufferBytes);
    // The backup holds the codeplug exactly as the radio sent it.
    const std::vector<std::uint8_t> asUploaded(bytes.begin(), bytes.begin() + length);
    ParmsSwapBytes(words.data(), static_cast<std::size_t>(length));

    if (uploaded <= 0 || !ParmsIsValid(words.data())) {
        return kPreserveUploadFailed;
    }
    const std::uint8_t currentIndex = ParmsFormatIndex(words.data());
    if (!Convertible(currentIndex) || !Convertible(targetIndex)) {
        return kPreserveNotSupported;
    }
    if (currentIndex == targetIndex) {
        return kPreserveSameFormat;
    }

    // From here on the radio's codeplug is rewritten. Blocks scrambled with a wrong identity
    // would corrupt it, so without the identity (asked once more) nothing is written; nor is it
    // without a backup on this computer.
    if (!transfer.HasIdentity()) {
        SetLinkActive(link, true);
        if (QueryRadioIdentity(window, identity)) {
            transfer.SetIdentity(identity);
        }
    }
    if (!transfer.HasIdentity()) {
        return kPreserveDownloadFailed;
    }
    const std::shared_ptr<BackupDisk>& disk = window.Environment().backupDisk;
    const CodeplugBackupResult backup = SaveCodeplugBackup(identity, asUploaded, disk ? *disk : SystemBackupDisk());
    if (!backup.saved) {
        window.ShowError("The radio keeps the codeplug it had: the converted codeplug was not written into it, "
                         "since its backup could not be saved.\n" + backup.error);
        return kPreserveDownloadFailed;
    }

    TimedWait(window, "Resetting radio and converting codeplug...");
    std::int32_t lengthChange = 0;
    const ParmsStepFault fault = currentIndex < targetIndex
                                     ? ParmsUpgrade(lengthChange, words.data(), currentIndex, targetIndex)
                                     : ParmsDowngrade(lengthChange, words.data(), targetIndex, currentIndex);
    if (fault != ParmsStepFault::None) {
        // A refused image may be half converted: it never goes back into the radio.
        return kPreserveNotSupported;
    }
    length = std::clamp(length + 2 * lengthChange, 0, kCodeplugBufferBytes);
    transfer.SetLength(length);
    ParmsSwapBytes(words.data(), static_cast<std::size_t>(length));

    window.StartTimedProgress(static_cast<int>(length * 0.015));
    window.ShowStatus("Downloading codeplug...");
    transfer.SetBuffer(bytes, length);
    int downloaded = 0;
    {
        // Once the converted codeplug goes back into the radio, Stop (or closing the window) must
        // not cut the write short: a half-written codeplug is worse than a run that ends later.
        const TCodeUpdaterMainDispForm::CodeplugWriteBack writing(window);
        downloaded = transfer.Download();
    }
    window.StopTimedProgress();
    return downloaded <= 0 ? kPreserveDownloadFailed : kPreserveConverted;
}

}  // namespace

bool QueryRadioIdentity(TCodeUpdaterMainDispForm& window, std::string& identity) {
    RadioLink& link = window.RadioLink;
    LinkPacket query;
    InitMessage(query, kIdentityQueryId);
    SendPacket(link, query);
    LinkReply answer = ReceiveTransferReply(link);
    const LinkPacket& reply = answer.packet;
    if (answer.status == LinkStatus::Completed && IsCode(reply, 0x07, 0x25)) {
        answer = ReceiveTransferReply(link);
    }
    if (answer.status == LinkStatus::Completed && IsCode(reply, 0x04, 0x05) && reply.length >= 10) {
        identity = ParmsBytesToText(std::span<const std::uint8_t>(reply.data.data() + 2, 8));
        return true;
    }
    return false;
}

int PreserveCodeplug(TCodeUpdaterMainDispForm& window) {
    RadioLink& link = window.RadioLink;
    TimedWait(window, "Resetting radio...");
    CreateLinkTimeout(link, kReplyTimeoutMs);

    // A Stop during the restart wait must not end the step: the identity query would then not
    // wait, and its late reply would be taken for the answer to the format query.
    SetLinkActive(link, true);
    std::string identity;
    QueryRadioIdentity(window, identity);

    LinkPacket query;
    InitMessage(query, kFormatQueryId);
    SendPacket(link, query);
    SetLinkActive(link, true);
    const LinkReply answer = ReceiveTransferReply(link);
    const LinkPacket& reply = answer.packet;
    int result = kPreserveNoFormatReply;
    if (answer.status == LinkStatus::Completed && IsCode(reply, 0x04, 0x1D) && reply.length >= 4) {
        result = TransferCodeplug(window, identity, reply.data[2], reply.data[3]);
    }
    ReleaseLinkTimeout(link);
    return result;
}

}  // namespace aurex

#include "simulated_radio.h"

#include <algorithm>
#include <span>

#include "convert/codeplug_buffer.h"
#include "convert/codeplug_image.h"
#include "link/frame_codec.h"
#include "link/word_sum.h"
#include "text/hex.h"
#include "transfer/password_encoding.h"

namespace aurex::sim {
namespace {

LinkPacket Message(std::uint8_t cls, std::uint8_t cmd, std::initializer_list<std::uint8_t> payload = {})
{
    LinkPacket packet;
    packet.Append(cls);
    packet.Append(cmd);
    for (std::uint8_t b : payload) {
        packet.Append(b);
    }
    return packet;
}

template <std::size_t N>
LinkPacket Message(std::uint8_t cls, std::uint8_t cmd, const std::array<std::uint8_t, N>& payload)
{
    LinkPacket packet = Message(cls, cmd);
    for (std::uint8_t b : payload) {
        packet.Append(b);
    }
    return packet;
}

LinkPacket Message(std::uint8_t cls, std::uint8_t cmd, std::span<const std::uint8_t> payload)
{
    LinkPacket packet = Message(cls, cmd);
    for (std::uint8_t b : payload) {
        packet.Append(b);
    }
    return packet;
}

std::string Version(std::span<const std::uint8_t> parts)
{
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += (i == 0 ? "" : ".") + std::to_string(parts[i]);
    }
    return text;
}

// Baud selector of the 09 00 message; 0 for a selector the radio does not know.
int BaudOfSelector(std::uint8_t selector)
{
    switch (selector) {
    case 0:
        return 9600;
    case 1:
        return 19200;
    case 3:
        return 38400;
    case 4:
        return 57600;
    case 5:
        return 115200;
    default:
        return 0;
    }
}

// The pair checksum: the words of both blocks, each stored low byte first.
std::uint16_t AddWordsLowFirst(std::uint16_t sum, std::span<const std::uint8_t> bytes)
{
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        sum = static_cast<std::uint16_t>(sum + bytes[i] + (bytes[i + 1] << 8));
    }
    return sum;
}

} // namespace

std::string DescribeMessage(const LinkPacket& message)
{
    const auto bytes = message.Bytes();
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < 2; ++i) {
        text += (i == 0 ? "" : " ") + HexNumber(bytes[i], 2);
    }
    if (bytes.size() > 2 && bytes.size() <= 10) {
        for (std::size_t i = 2; i < bytes.size(); ++i) {
            text += (i == 2 ? " | " : " ") + HexNumber(bytes[i], 2);
        }
    } else if (bytes.size() > 10) {
        text += " +" + std::to_string(bytes.size() - 2);
    }
    return text.empty() ? "(empty)" : text;
}

const char* RadioStateName(RadioState state)
{
    switch (state) {
    case RadioState::BootLoad:
        return "boot-load mode";
    case RadioState::Application:
        return "application mode";
    case RadioState::Erasing:
        return "erasing flash";
    case RadioState::Restarting:
        return "restarting";
    }
    return "?";
}

SimulatedRadio::SimulatedRadio(const RadioProfile& profile, const std::vector<std::uint8_t>& codeplug,
                               SimReport& report)
    : profile_(profile), report_(report),
      state_(profile.mode == StartMode::BootLoad ? RadioState::BootLoad : RadioState::Application),
      baud_(profile.startBaud), bootUpdatesLeft_(profile.bootUpdates), notReadyLeft_(profile.notReady),
      codeplug_(kCodeplugBytes, 0xFF)
{
    std::copy_n(codeplug.begin(), std::min(codeplug.size(), kCodeplugBytes), codeplug_.begin());
    // The version word (image word 3) of the held codeplug, major in its high byte.
    format_ = profile.format.value_or(std::array<std::uint8_t, 2>{codeplug_[6], codeplug_[7]});
}

std::optional<SimTime> SimulatedRadio::NextDeadline() const
{
    return deadline_;
}

void SimulatedRadio::Advance(SimTime now)
{
    if (!deadline_ || now < *deadline_) {
        return;
    }
    deadline_.reset();
    if (state_ == RadioState::Erasing) {
        state_ = RadioState::BootLoad;
        report_.Info(now, "flash erased; the loader is ready");
    } else if (state_ == RadioState::Restarting) {
        state_ = afterRestart_;
        baud_ = kStartBaud;
        identityNoticePending_ = profile_.identityNotice;
        report_.Info(now, std::string("restarted in ") + RadioStateName(state_) +
                              " at 19200 baud; codeplug format " + Version(format_));
    }
}

void SimulatedRadio::Receive(const LinkPacket& message, std::uint8_t secondAddress, SimTime now,
                             std::vector<LinkPacket>& replies)
{
    if (!message.HasCode()) {
        report_.Info(now, "ignored a frame without a message code");
        return;
    }
    const std::uint8_t cls = message.ClassByte();
    const std::uint8_t cmd = message.CommandByte();
    if (secondAddress == kInterfaceBoxAddress) {
        // The box answers its probe whatever the radio is doing.
        if (cls == 0x09 && cmd == 0x01 && profile_.interface == Interface::Box) {
            replies.push_back(Message(0x09, 0x02, {0x01, 0x00, 0x00, 0x00}));
        } else if (cls == 0x09 && cmd == 0x01) {
            report_.Trace(now, "interface-box probe: no box on this line");
        } else {
            report_.Info(now, "ignored " + DescribeMessage(message) + " addressed to the interface box");
        }
        return;
    }
    if (secondAddress != kRadioAddress) {
        report_.Info(now,
                     "ignored " + DescribeMessage(message) + " addressed to " + HexNumber(secondAddress, 2));
        return;
    }
    if (state_ == RadioState::Erasing) {
        report_.Info(now, "lost " + DescribeMessage(message) + ": the loader is erasing the flash");
        return;
    }
    if (state_ == RadioState::Restarting) {
        if (cls == 0x09 && cmd == 0x00) {
            LineSpeed(message, now);
        } else {
            report_.Info(now, "lost " + DescribeMessage(message) + ": the radio is restarting");
        }
        return;
    }
    switch (cls) {
    case 0x02:
        Flash(message, now, replies);
        return;
    case 0x03:
        Codeplug(message, now, replies);
        return;
    case 0x04:
        Identification(message, now, replies);
        return;
    case 0x09:
        if (cmd == 0x00) {
            LineSpeed(message, now);
            return;
        }
        break;
    default:
        break;
    }
    report_.Info(now, "ignored unexpected " + DescribeMessage(message));
}

void SimulatedRadio::LineSpeed(const LinkPacket& message, SimTime now)
{
    const int baud = message.length == 3 ? BaudOfSelector(message.data[2]) : 0;
    if (baud == 0) {
        report_.Info(now, "ignored line-speed message " + DescribeMessage(message));
        return;
    }
    if (baud != baud_) {
        report_.Info(now, "line speed " + std::to_string(baud) + " baud");
    }
    baud_ = baud;
}

void SimulatedRadio::Identification(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies)
{
    const std::uint8_t cmd = message.CommandByte();
    const bool declined =
        std::any_of(profile_.decline.begin(), profile_.decline.end(),
                    [cmd](const MessageTrigger& t) { return t.classByte == 0x04 && t.commandByte == cmd; });
    const std::uint8_t reply = static_cast<std::uint8_t>(cmd + 1);
    if (message.length != 2 || declined) {
        report_.Info(now, "declined " + DescribeMessage(message) + " with 04 20");
        replies.push_back(Message(0x04, 0x20));
        return;
    }
    switch (cmd) {
    case 0x1C:
        replies.push_back(Message(0x04, reply, format_));
        return;
    case 0x0B:
        replies.push_back(Message(0x04, reply, profile_.dspVersion));
        return;
    case 0x09:
        replies.push_back(Message(0x04, reply, profile_.controllerVersion));
        return;
    case 0x07:
        replies.push_back(Message(0x04, reply, profile_.hardwareVersion));
        return;
    case 0x04:
        if (identityNoticePending_) {
            identityNoticePending_ = false;
            replies.push_back(Message(0x07, 0x25));
        }
        replies.push_back(Message(0x04, reply, profile_.serial));
        return;
    case 0x2D:
        replies.push_back(Message(0x04, reply, profile_.bootVersion));
        return;
    case 0x3E:
        replies.push_back(Message(0x04, reply, profile_.semVersion));
        return;
    default:
        // A request this radio does not serve is declined, as the alternate reply says.
        report_.Info(now, "declined " + DescribeMessage(message) + ": not served by this radio");
        replies.push_back(Message(0x04, 0x20));
        return;
    }
}

std::string SimulatedRadio::ImageName() const
{
    if (dspOpen_) {
        return "dsp-page-" + std::to_string(dspPages_ + 1);
    }
    switch (imageKind_) {
    case ImageKind::Loader:
        return "loader";
    case ImageKind::Code:
        return "code";
    case ImageKind::BootCode:
        return "boot-code";
    }
    return "image";
}

void SimulatedRadio::AbandonImage(SimTime now, const char* why)
{
    if (!imageOpen_ && !dspOpen_) {
        return;
    }
    report_.Info(now, ImageName() + " abandoned after " + std::to_string(imageBlocks_) + " blocks: " + why);
    if (imageBlocks_ > 0) {
        report_.Dump(ImageName() + "-incomplete", std::move(image_));
    }
    image_.clear();
    imageBlocks_ = 0;
    imageOpen_ = false;
    dspOpen_ = false;
    awaitingVerdict_ = awaitingResend_ = false;
}

void SimulatedRadio::Flash(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies)
{
    if (state_ != RadioState::BootLoad) {
        report_.Info(now, "ignored " + DescribeMessage(message) + ": code downloads need boot-load mode");
        return;
    }
    const std::uint8_t cmd = message.CommandByte();
    const bool streaming = imageOpen_ || dspOpen_;
    switch (cmd) {
    case 0x01: // start of an image
        if (notReadyLeft_ > 0) {
            --notReadyLeft_;
            replies.push_back(Message(0x02, 0x0A));
            return;
        }
        AbandonImage(now, "a new image started");
        imageOpen_ = true;
        imageKind_ = !loaderRunning_        ? ImageKind::Loader
                     : bootUpdatesLeft_ > 0 ? ImageKind::BootCode
                                            : ImageKind::Code;
        image_.clear();
        imageBlocks_ = 0;
        imageOverflow_ = false;
        secondOfPair_ = false;
        pairSum_ = 0;
        report_.Info(now, "receiving the " + ImageName());
        replies.push_back(Message(0x02, 0x07));
        return;
    case 0x00: // start of the DSP pages
        if (!loaderRunning_ || streaming) {
            report_.Info(now, "ignored 02 00: no loader is waiting for DSP pages");
            return;
        }
        dspOpen_ = true;
        dspPages_ = 0;
        image_.clear();
        imageBlocks_ = 0;
        imageOverflow_ = false;
        secondOfPair_ = false;
        pairSum_ = 0;
        report_.Info(now, "receiving DSP pages");
        replies.push_back(Message(0x02, 0x07));
        return;
    case 0x09:
        FlashBlock(message, now, replies);
        return;
    case 0x05:
    case 0x06:
        if (!awaitingVerdict_) {
            report_.Info(now, "ignored " + DescribeMessage(message) + ": no checksum was reported");
            return;
        }
        FlashVerdict(cmd == 0x05, now, replies);
        return;
    case 0x08: // end of a DSP page
        if (!dspOpen_ || awaitingVerdict_) {
            report_.Info(now, "ignored 02 08: no DSP page is complete");
            return;
        }
        if (secondOfPair_) {
            report_.Info(now, "DSP page ended in the middle of a pair");
        }
        report_.Info(now, ImageName() + " received: " + std::to_string(image_.size()) + " bytes");
        report_.Dump(ImageName(), std::exchange(image_, {}));
        ++dspPages_;
        imageBlocks_ = 0;
        secondOfPair_ = false;
        pairSum_ = 0;
        replies.push_back(Message(0x02, 0x03));
        return;
    case 0x04:
        if (!streaming) {
            report_.Info(now, "ignored 02 04: no image is open");
            return;
        }
        EndFlashImage(now);
        return;
    default:
        report_.Info(now, "ignored unexpected " + DescribeMessage(message));
        return;
    }
}

bool SimulatedRadio::ReportWrongChecksum()
{
    ++pairsReported_;
    switch (profile_.badChecksum) {
    case BadChecksum::Never:
        return false;
    case BadChecksum::Once:
        return pairsReported_ == 1;
    case BadChecksum::Always:
        return true;
    case BadChecksum::AtPair:
        return pairsReported_ == profile_.badChecksumPair;
    }
    return false;
}

void SimulatedRadio::FlashBlock(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies)
{
    if (!imageOpen_ && !dspOpen_) {
        report_.Info(now, "ignored a data block: no image is open");
        return;
    }
    if (message.length != static_cast<std::int32_t>(2 + kFlashBlockBytes)) {
        report_.Info(now, "ignored a data block of " + std::to_string(message.length - 2) + " bytes");
        return;
    }
    if (awaitingVerdict_) {
        report_.Info(now, "ignored a data block: waiting for the verdict on the pair checksum");
        return;
    }
    const std::span<const std::uint8_t> block(message.data.data() + 2, kFlashBlockBytes);
    if (awaitingResend_) {
        awaitingResend_ = false;
        if (std::equal(block.begin(), block.end(), secondBlock_.begin())) {
            // The program sends the pair's second block again after a differing checksum.
            report_.Info(now, "block " + std::to_string(imageBlocks_) + " sent again");
            replies.push_back(Message(0x02, 0x07));
            awaitingResend_ = true;
            return;
        }
    }
    ++imageBlocks_;
    if (image_.size() + kFlashBlockBytes <= kMaxImageBytes) {
        image_.insert(image_.end(), block.begin(), block.end());
    } else if (!imageOverflow_) {
        imageOverflow_ = true;
        report_.Info(now, ImageName() + " is larger than the radio keeps; the rest is not stored");
    }
    pairSum_ = AddWordsLowFirst(pairSum_, block);
    if (imageOpen_ && imageKind_ != ImageKind::Loader && profile_.verifyFailBlock == imageBlocks_) {
        verifyFailsAtPair_ = true;
        verifyFailAddress_ =
            profile_.flashBase + static_cast<std::uint32_t>((imageBlocks_ - 1) * kFlashBlockBytes);
    }
    if (!secondOfPair_) {
        secondOfPair_ = true;
        replies.push_back(Message(0x02, 0x07));
        return;
    }
    secondOfPair_ = false;
    std::copy(block.begin(), block.end(), secondBlock_.begin());
    std::uint16_t reported = pairSum_;
    if (ReportWrongChecksum()) {
        reported = static_cast<std::uint16_t>(pairSum_ ^ 0x5A5A);
        report_.Info(now, "fault: pair " + std::to_string(pairsReported_) + " checksum reported as " +
                              HexNumber(reported, 4) + " instead of " + HexNumber(pairSum_, 4));
    }
    pairSum_ = 0;
    awaitingVerdict_ = true;
    replies.push_back(
        Message(0x02, 0x02, {static_cast<std::uint8_t>(reported >> 8), static_cast<std::uint8_t>(reported)}));
}

void SimulatedRadio::FlashVerdict(bool match, SimTime now, std::vector<LinkPacket>& replies)
{
    awaitingVerdict_ = false;
    if (!match) {
        report_.Info(now,
                     "the program found pair " + std::to_string(pairsReported_) + "'s checksum different");
        // A flash download resends the pair's second block; a DSP page goes on.
        awaitingResend_ = imageOpen_;
    }
    if (verifyFailsAtPair_) {
        verifyFailsAtPair_ = false;
        const std::uint32_t a = verifyFailAddress_;
        report_.Info(now, "fault: flash verify failed at address 0x" + HexNumber(a, 8));
        replies.push_back(Message(0x02, 0x0A,
                                  {static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
                                   static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)}));
        return;
    }
    replies.push_back(Message(0x02, 0x07));
}

void SimulatedRadio::EndFlashImage(SimTime now)
{
    if (awaitingVerdict_ || secondOfPair_) {
        report_.Info(now, ImageName() + " ended in the middle of a pair");
    }
    awaitingVerdict_ = awaitingResend_ = false;
    secondOfPair_ = false;
    if (dspOpen_) {
        dspOpen_ = false;
        if (imageBlocks_ > 0) {
            report_.Info(now, "the last DSP page was never ended with 02 08");
        }
        report_.Info(now, "DSP download ended after " + std::to_string(dspPages_) + " pages");
        BeginRestart(now, RadioState::Application);
        return;
    }
    imageOpen_ = false;
    report_.Info(now, ImageName() + " received: " + std::to_string(image_.size()) + " bytes in " +
                          std::to_string(imageBlocks_) + " blocks");
    report_.Dump(ImageName(), std::exchange(image_, {}));
    switch (imageKind_) {
    case ImageKind::Loader:
        loaderRunning_ = true;
        if (profile_.eraseMs > 0) {
            state_ = RadioState::Erasing;
            deadline_ = now + SimTime(ScaledMicroseconds(profile_, profile_.eraseMs));
            report_.Info(now, "the loader runs and erases the flash");
        } else {
            report_.Info(now, "the loader runs");
        }
        return;
    case ImageKind::BootCode:
        // Boot code leaves the application, and the codeplug format it expects, alone.
        --bootUpdatesLeft_;
        BeginRestart(now, RadioState::BootLoad);
        return;
    case ImageKind::Code:
        format_ = profile_.formatAfterUpdate;
        BeginRestart(now, RadioState::Application);
        return;
    }
}

void SimulatedRadio::BeginRestart(SimTime now, RadioState after)
{
    loaderRunning_ = false;
    imageOpen_ = dspOpen_ = false;
    transfer_ = Transfer::Idle;
    afterRestart_ = after;
    state_ = RadioState::Restarting;
    deadline_ = now + SimTime(ScaledMicroseconds(profile_, profile_.restartMs));
    report_.Info(now, "restarting");
    if (!deadline_ || *deadline_ <= now) {
        Advance(now);
    }
}

void SimulatedRadio::Codeplug(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies)
{
    if (state_ != RadioState::Application) {
        report_.Info(now,
                     "ignored " + DescribeMessage(message) + ": codeplug transfers need application mode");
        return;
    }
    const std::uint8_t cmd = message.CommandByte();
    switch (cmd) {
    case 0x07:
    case 0x00:
        if (transfer_ != Transfer::Idle) {
            report_.Info(now, "a new transfer request ends the transfer under way");
        }
        StartTransfer(cmd == 0x07, now, replies);
        return;
    case 0x0C:
        if (transfer_ != Transfer::PasswordForUpload && transfer_ != Transfer::PasswordForDownload) {
            break;
        }
        if (message.length == 6 && std::equal(message.data.begin() + 2, message.data.begin() + 6,
                                              EncodePassword(profile_.password).begin())) {
            report_.Info(now, "password accepted");
            Proceed(now, replies);
        } else {
            report_.Info(now, "wrong password " + DescribeMessage(message) + "; asking again");
            replies.push_back(Message(0x03, 0x0B));
        }
        return;
    case 0x08:
        if (transfer_ != Transfer::Uploading) {
            break;
        }
        SendUploadBlock(now, replies);
        return;
    case 0x02:
        if (transfer_ != Transfer::Downloading) {
            break;
        }
        DownloadBlock(message, now, replies);
        return;
    case 0x05:
    case 0x06:
        if (transfer_ != Transfer::DownloadVerdict) {
            break;
        }
        if (cmd == 0x06) {
            checksumDiffered_ = true;
            report_.Info(now, "the program found the codeplug checksum different");
        }
        transfer_ = Transfer::Downloading;
        replies.push_back(Message(0x03, 0x08));
        return;
    case 0x04:
        switch (transfer_) {
        case Transfer::Idle:
            break;
        case Transfer::PasswordForUpload:
        case Transfer::PasswordForDownload:
            report_.Info(now, "the program ended the transfer at the password step");
            transfer_ = Transfer::Idle;
            return;
        case Transfer::Uploading:
            report_.Info(now, "codeplug upload ended after " + std::to_string(blockIndex_) + " blocks");
            transfer_ = Transfer::Idle;
            return;
        case Transfer::Downloading:
        case Transfer::DownloadVerdict:
            EndDownload(now);
            return;
        }
        break;
    default:
        break;
    }
    report_.Info(now, "ignored unexpected " + DescribeMessage(message));
}

void SimulatedRadio::StartTransfer(bool upload, SimTime now, std::vector<LinkPacket>& replies)
{
    blockIndex_ = 0;
    runningSum_ = 0;
    blocksSinceReport_ = 0;
    checksumDiffered_ = false;
    received_.clear();
    if (!upload) {
        // The radio descrambles with its own identity, as the program scrambles with it.
        keystream_ = DownloadKeystream(profile_.serial);
    }
    report_.Info(now, upload ? "codeplug upload requested" : "codeplug download requested");
    if (!profile_.password.empty()) {
        transfer_ = upload ? Transfer::PasswordForUpload : Transfer::PasswordForDownload;
        replies.push_back(Message(0x03, 0x0B));
        return;
    }
    transfer_ = upload ? Transfer::PasswordForUpload : Transfer::PasswordForDownload;
    Proceed(now, replies);
}

void SimulatedRadio::Proceed(SimTime now, std::vector<LinkPacket>& replies)
{
    replies.push_back(Message(0x03, profile_.acceptCommand));
    if (transfer_ == Transfer::PasswordForUpload) {
        transfer_ = Transfer::Uploading;
        SendUploadBlock(now, replies);
    } else {
        transfer_ = Transfer::Downloading;
        replies.push_back(Message(0x03, 0x08));
    }
}

void SimulatedRadio::SendUploadBlock(SimTime now, std::vector<LinkPacket>& replies)
{
    // The program stops asking once its scan ends, at the latest after 257 blocks; a program that
    // goes on gets the radio's erased memory, up to twice its size.
    constexpr std::size_t kMaxUploadBlocks = 2 * kCodeplugBytes / kCodeplugBlockBytes;
    if (blockIndex_ >= kMaxUploadBlocks) {
        report_.Info(now, "upload asked for block " + std::to_string(blockIndex_ + 1) + "; not answered");
        return;
    }
    std::array<std::uint8_t, kCodeplugBlockBytes> block;
    block.fill(0xFF);
    const std::size_t offset = blockIndex_ * kCodeplugBlockBytes;
    if (offset < codeplug_.size()) {
        std::copy_n(codeplug_.begin() + static_cast<std::ptrdiff_t>(offset), kCodeplugBlockBytes,
                    block.begin());
    } else if (offset == codeplug_.size()) {
        report_.Info(now, "upload goes past the codeplug memory");
    }
    ++blockIndex_;
    replies.push_back(Message(0x03, 0x02, std::span<const std::uint8_t>(block)));
}

void SimulatedRadio::DownloadBlock(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies)
{
    if (message.length != static_cast<std::int32_t>(2 + kCodeplugBlockBytes)) {
        report_.Info(now, "ignored a codeplug block of " + std::to_string(message.length - 2) + " bytes");
        return;
    }
    std::array<std::uint8_t, kCodeplugBlockBytes> block;
    std::copy_n(message.data.begin() + 2, kCodeplugBlockBytes, block.begin());
    UnscrambleBlock(keystream_, block);
    runningSum_ = static_cast<std::uint16_t>(runningSum_ + WordSum(block));
    if (received_.size() < kCodeplugBytes) {
        received_.insert(received_.end(), block.begin(), block.end());
    } else if (received_.size() == kCodeplugBytes) {
        report_.Info(now, "the program sends more than the codeplug memory holds; the rest is dropped");
    }
    ++blockIndex_;
    if (++blocksSinceReport_ >= profile_.checksumEvery) {
        blocksSinceReport_ = 0;
        transfer_ = Transfer::DownloadVerdict;
        const std::uint16_t sum = std::exchange(runningSum_, 0);
        replies.push_back(
            Message(0x03, 0x03, {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)}));
        return;
    }
    replies.push_back(Message(0x03, 0x08));
}

void SimulatedRadio::EndDownload(SimTime now)
{
    transfer_ = Transfer::Idle;
    if (blocksSinceReport_ != 0) {
        report_.Info(now, "the download ended with " + std::to_string(blocksSinceReport_) +
                              " blocks not covered by a checksum report");
    }
    std::copy(received_.begin(), received_.end(), codeplug_.begin());
    if (profile_.keepsOther != 0 && profile_.keepsOther <= received_.size()) {
        // Acknowledged whole, kept otherwise: only a read-back can tell.
        codeplug_[profile_.keepsOther - 1] = static_cast<std::uint8_t>(~codeplug_[profile_.keepsOther - 1]);
        report_.Info(now, "fault: the codeplug is kept with byte " + std::to_string(profile_.keepsOther) +
                              " inverted");
    }
    // Tell whether the program wrote something the firmware can use.
    std::vector<std::uint16_t> words(kParmsBufferWords, 0);
    WordsFromLineBytes(std::span<const std::uint8_t>(received_.data(), received_.size() / 2 * 2), words);
    const std::array<std::uint8_t, 2> version{static_cast<std::uint8_t>(words[3] >> 8),
                                              static_cast<std::uint8_t>(words[3])};
    std::string verdict = ParmsIsValid(words.data()) ? "a valid codeplug of format " + Version(version)
                                                     : std::string("not a valid codeplug");
    if (version != format_) {
        verdict += " (the firmware expects " + Version(format_) + ")";
    }
    report_.Info(now, "codeplug download ended: " + std::to_string(blockIndex_) + " blocks, " + verdict +
                          (checksumDiffered_ ? "; the program found a checksum different" : ""));
    if (!received_.empty()) {
        report_.Dump("codeplug", std::exchange(received_, {}));
    }
}

} // namespace aurex::sim

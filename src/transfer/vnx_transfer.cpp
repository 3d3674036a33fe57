#include "transfer/vnx_transfer.h"

#include <algorithm>
#include <array>
#include <optional>

#include "convert/hex_text.h"
#include "link/message_table.h"
#include "link/word_sum.h"
#include "transfer/download_keystream.h"
#include "transfer/password_encoding.h"
#include "transfer/transfer_timeouts.h"

namespace aurex {

namespace {

bool IsPasswordStep(const std::optional<LinkPacket>& packet, std::uint8_t command)
{
    return packet && packet->HasCode() && packet->ClassByte() == kTransferClass &&
           packet->CommandByte() == command;
}

bool Is(const LinkPacket& packet, int id)
{
    const LinkMessage* message = FindLinkMessage(id);
    return message != nullptr && packet.HasCode() && packet.ClassByte() == message->classByte &&
           packet.CommandByte() == message->commandByte;
}

bool Send(TransferLink& link, int id, std::span<const std::uint8_t> data = {})
{
    const LinkMessage* message = FindLinkMessage(id);
    return message != nullptr && link.Send(message->classByte, message->commandByte, data);
}

TransferResult ResultOf(bool done)
{
    return done ? TransferResult::Done : TransferResult::Failed;
}

} // namespace

// ---- VNXTransfer ----

TransferResult VNXTransfer::Upload()
{
    return TransferResult::Failed;
}

TransferResult VNXTransfer::Download()
{
    return TransferResult::Failed;
}

void VNXTransfer::SetLink(TransferLink& link)
{
    link_ = &link;
}

void VNXTransfer::SetBuffer(std::span<std::uint8_t, kCodeplugBufferBytes> image, std::int32_t length)
{
    image_ = image.data();
    length_ = length;
}

// ---- VNXTransferParmsPassChecker ----

VNXTransferParmsPassChecker::VNXTransferParmsPassChecker(PasswordPromptFn prompt)
    : passwordPrompt_(std::move(prompt))
{
}

TransferResult VNXTransferParmsPassChecker::CheckPassword()
{
    if (link_ == nullptr) {
        return TransferResult::Failed;
    }
    TransferLink& link = *link_;
    int tries = 0;
    bool accepted = false;
    bool sent = false;
    refused_ = false;
    while (!accepted && tries < 4) {
        const std::optional<LinkPacket> message = link.Receive();
        if (IsPasswordStep(message, kTransferPasswordRequest)) {
            refused_ = sent;
            std::string typed;
            // The fourth request is never put to the user: the radio has refused three times.
            // A text without a digit would go as FF FF FF FF, which is no password: not sent.
            if (tries < 3 && passwordPrompt_ && passwordPrompt_(typed) &&
                !IsEmptyPasswordPayload(EncodePassword(typed))) {
                sent = true;
                if (!link.Send(kTransferClass, kTransferPassword, EncodePassword(typed))) {
                    tries = 3;
                }
            } else {
                tries = 3;
            }
            ++tries;
        } else if (IsPasswordStep(message, kTransferProceed) ||
                   IsPasswordStep(message, kTransferProceedAlternate)) {
            accepted = true;
        } else {
            refused_ = false; // silence or a stray message after a password is no refusal
            tries = 4;
        }
    }
    if (!accepted) {
        Send(link, msg::kCodeplugEnd);
    }
    refused_ = refused_ && !accepted;
    return ResultOf(accepted);
}

// ---- VNXTransferParms ----

VNXTransferParms::VNXTransferParms(PasswordPromptFn prompt) : passChecker_(std::move(prompt)) {}

void VNXTransferParms::SetLink(TransferLink& link)
{
    link_ = &link;
    passChecker_.SetLink(link);
}

void VNXTransferParms::SetIdentity(std::string_view text)
{
    DesBlock bytes{};
    const std::size_t count = ParmsHexToBytes(bytes, text);
    // A partial identity is no identity: keep what was known before.
    if (count == bytes.size()) {
        SetIdentity(bytes);
    }
}

void VNXTransferParms::SetIdentity(const DesBlock& identity)
{
    identity_ = identity;
    identityKnown_ = true;
}

void VNXTransferParms::SetByteProgress(ByteProgress* bytes, std::string phase)
{
    bytes_ = bytes;
    phase_ = std::move(phase);
}

void VNXTransferParms::BeginBytes(std::optional<std::int64_t> total)
{
    if (bytes_ != nullptr) {
        bytes_->Begin(phase_, total);
        bytesBegun_ = true;
    }
}

void VNXTransferParms::UploadBytes(bool complete)
{
    if (bytes_ == nullptr) {
        return;
    }
    if (complete) {
        bytes_->Total(length_);
    } else if (const std::int32_t wanted = scan_.ImageBytesWanted(); wanted > 0) {
        // The upload ends at the first whole block that holds the image.
        bytes_->Total((wanted + kCodeplugBlockBytes - 1) / kCodeplugBlockBytes * kCodeplugBlockBytes);
    }
    bytes_->Done(length_);
}

TransferResult VNXTransferParms::EndTransfer(bool done)
{
    link_->SetActive(false);
    if (bytesBegun_) {
        bytesBegun_ = false;
        bytes_->End();
    }
    return ResultOf(done);
}

TransferResult VNXTransferParms::EndDownload(bool checksumsAgreed)
{
    // Nothing answers 03 04: a line cut before it left would otherwise pass for a written codeplug.
    const bool ended = Send(*link_, msg::kCodeplugEnd) &&
                       link_->LineHeldAfterSend(transfer_timeouts::kEndOfDownloadSettleMs);
    return EndTransfer(ended && checksumsAgreed);
}

TransferResult VNXTransferParms::Upload()
{
    if (link_ == nullptr || image_ == nullptr) {
        return TransferResult::Failed;
    }
    TransferLink& link = *link_;
    link.SetActive(true);
    std::fill_n(image_, kCodeplugBufferBytes, std::uint8_t{0});
    scan_.Reset();
    length_ = 0;

    if (!Send(link, msg::kCodeplugUploadRequest) || passChecker_.CheckPassword() != TransferResult::Done) {
        return EndTransfer(false);
    }
    BeginBytes(std::nullopt);
    for (;;) {
        const std::optional<LinkPacket> message = link.Receive();
        if (!message) {
            return EndTransfer(false);
        }
        if (Is(*message, msg::kCodeplugNextBlock)) {
            continue;
        }
        if (!Is(*message, msg::kCodeplugBlock) || message->length != 2 + kCodeplugBlockBytes) {
            return EndTransfer(false);
        }
        const std::int32_t received = length_ + kCodeplugBlockBytes;
        // A block that arrives when the buffer is full is dropped; the scan then ends the upload.
        if (received <= kCodeplugBufferBytes) {
            std::copy_n(message->data.begin() + 2, kCodeplugBlockBytes, image_ + length_);
            length_ = received;
        }
        const bool complete =
            scan_.Complete(std::span<const std::uint8_t, kCodeplugBufferBytes>(image_, kCodeplugBufferBytes),
                           length_, received);
        UploadBytes(complete);
        if (complete) {
            return EndTransfer(Send(link, msg::kCodeplugEnd));
        }
        if (!Send(link, msg::kCodeplugNextBlock)) {
            return EndTransfer(false);
        }
    }
}

TransferResult VNXTransferParms::Download()
{
    if (link_ == nullptr || image_ == nullptr || length_ < 0 || length_ > kCodeplugBufferBytes ||
        !identityKnown_) {
        return TransferResult::Failed;
    }
    TransferLink& link = *link_;
    std::fill(image_ + length_, image_ + kCodeplugBufferBytes, kDownloadFillByte);
    link.SetActive(true);
    DownloadKeystream keystream(identity_);

    if (!Send(link, msg::kCodeplugDownloadRequest) || passChecker_.CheckPassword() != TransferResult::Done) {
        return EndTransfer(false);
    }
    constexpr std::int32_t kPairBytes = 2 * kCodeplugBlockBytes;
    BeginBytes((length_ + kPairBytes - 1) / kPairBytes * kPairBytes);
    std::int32_t blockIndex = 0;
    runningChecksum_ = 0;
    bool checksumsAgreed = true;
    for (;;) {
        const std::optional<LinkPacket> message = link.Receive();
        if (!message) {
            return EndTransfer(false);
        }
        const bool imageSent = blockIndex * kCodeplugBlockBytes >= length_;
        if (Is(*message, msg::kCodeplugNextBlock)) {
            if (imageSent && blockIndex % 2 == 0) {
                return EndDownload(checksumsAgreed);
            }
            const std::int32_t offset = blockIndex * kCodeplugBlockBytes;
            if (offset + kCodeplugBlockBytes > kCodeplugBufferBytes) {
                return EndTransfer(false); // cannot happen with length <= 32768; never read past the buffer
            }
            std::array<std::uint8_t, kCodeplugBlockBytes> block{};
            std::copy_n(image_ + offset, kCodeplugBlockBytes, block.begin());
            runningChecksum_ = static_cast<std::uint16_t>(runningChecksum_ + WordSum(block));
            ScrambleBlock(keystream, block);
            if (!Send(link, msg::kCodeplugBlock, block)) {
                return EndTransfer(false);
            }
            ++blockIndex;
            if (bytes_ != nullptr) {
                bytes_->Done(std::int64_t{blockIndex} * kCodeplugBlockBytes);
            }
        } else if (Is(*message, msg::kCodeplugChecksum) && message->length >= 4) {
            const auto reported = static_cast<std::uint16_t>((message->data[2] << 8) | message->data[3]);
            checksumsAgreed = checksumsAgreed && reported == runningChecksum_;
            if (!Send(link, reported == runningChecksum_ ? msg::kCodeplugChecksumMatches
                                                         : msg::kCodeplugChecksumDiffers)) {
                return EndTransfer(false);
            }
            runningChecksum_ = 0;
        } else {
            // A codeplug cut short must never count as written.
            return EndTransfer(imageSent && checksumsAgreed);
        }
    }
}

} // namespace aurex

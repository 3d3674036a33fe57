#include "transfer/vnx_transfer.h"

#include <algorithm>
#include <array>

#include "convert/hex_text.h"
#include "link/radio_link.h"
#include "link/word_sum.h"
#include "transfer/download_keystream.h"
#include "transfer/password_encoding.h"

namespace aurex {

namespace {

bool Is(const LinkPacket& packet, std::uint8_t command) {
    return packet.HasCode() && packet.ClassByte() == kTransferClass && packet.CommandByte() == command;
}

int Send(RadioLink& link, std::uint8_t command) {
    return SendCommandPair(link, kTransferClass, command, nullptr, 0);
}

// How long the line must stay up after the unanswered end of a download (program milliseconds).
constexpr std::int32_t kEndOfDownloadSettleMs = 1000;

}  // namespace

// ---- VNXTransfer ----

int VNXTransfer::Upload() { return -1; }

int VNXTransfer::Download() { return -1; }

void VNXTransfer::SetLink(RadioLink& link) { link_ = &link; }

void VNXTransfer::SetBuffer(std::span<std::uint8_t, kCodeplugBufferBytes> image, std::int32_t length) {
    image_ = image.data();
    length_ = length;
}

// ---- VNXTransferParmsPassChecker ----

VNXTransferParmsPassChecker::VNXTransferParmsPassChecker(PasswordPromptFn prompt)
    : passwordPrompt_(std::move(prompt)) {}

int VNXTransferParmsPassChecker::CheckPassword() {
    if (link_ == nullptr) {
        return -1;
    }
    RadioLink& link = *link_;
    int tries = 0;
    bool accepted = false;
    int result = -1;
    while (!accepted && tries < 4) {
        const LinkReply reply = ReceiveTransferReply(link);
        const LinkPacket& message = reply.packet;
        result = reply.status == LinkStatus::Completed ? 1 : -1;
        if (result > 0 && Is(message, kTransferPasswordRequest)) {
            std::string typed;
            // The fourth request is never put to the user: the radio has refused three times.
            if (tries < 3 && passwordPrompt_ && passwordPrompt_(typed)) {
                const PasswordPayload payload = EncodePassword(typed);
                result = SendCommandPair(link, kTransferClass, kTransferPassword, payload.data(),
                                         static_cast<int>(payload.size()));
                if (result <= 0) {
                    tries = 3;
                }
            } else {
                tries = 3;
            }
            ++tries;
        } else if (result > 0 && (Is(message, kTransferProceed) || Is(message, kTransferProceedAlternate))) {
            accepted = true;
            result = 1;
        } else {
            tries = 4;
        }
    }
    if (!accepted || result < 0) {
        Send(link, kTransferEnd);
    }
    if (accepted) {
        return 1;
    }
    return result <= 0 ? result : -1;
}

// ---- VNXTransferParms ----

VNXTransferParms::VNXTransferParms(PasswordPromptFn prompt) : passChecker_(std::move(prompt)) {}

void VNXTransferParms::SetLink(RadioLink& link) {
    link_ = &link;
    passChecker_.SetLink(link);
}

void VNXTransferParms::SetIdentity(std::string_view text) {
    DesBlock bytes{};
    const std::size_t count = ParmsHexToBytes(bytes, text);
    // A partial identity is no identity: keep what was known before.
    if (count == bytes.size()) {
        identity_ = bytes;
        identityKnown_ = true;
    }
}

int VNXTransferParms::EndTransfer(int result) {
    SetLinkActive(*link_, false);
    return result;
}

int VNXTransferParms::EndDownload(bool checksumsAgreed) {
    int result = Send(*link_, kTransferEnd);
    // Nothing answers 03 04: a line cut before it left would otherwise pass for a written codeplug.
    if (result > 0 && !LineHeldAfterSend(*link_, kEndOfDownloadSettleMs)) {
        result = -1;
    }
    return EndTransfer(checksumsAgreed ? result : -1);
}

int VNXTransferParms::Upload() {
    if (link_ == nullptr || image_ == nullptr) {
        return -1;
    }
    RadioLink& link = *link_;
    SetLinkActive(link, true);
    std::fill_n(image_, kCodeplugBufferBytes, std::uint8_t{0});
    scan_.Reset();
    length_ = 0;

    int result = Send(link, kTransferUploadRequest);
    if (result <= 0) {
        return EndTransfer(result);
    }
    result = passChecker_.CheckPassword();
    if (result <= 0) {
        return EndTransfer(result);
    }
    for (;;) {
        const LinkReply reply = ReceiveTransferReply(link);
        const LinkPacket& message = reply.packet;
        result = reply.status == LinkStatus::Completed ? 1 : -1;
        if (result <= 0) {
            return EndTransfer(result);
        }
        if (Is(message, kTransferNextBlock)) {
            continue;
        }
        if (!Is(message, kTransferDataBlock) || message.length != 2 + kCodeplugBlockBytes) {
            return EndTransfer(-1);
        }
        const std::int32_t received = length_ + kCodeplugBlockBytes;
        // A block that arrives when the buffer is full is dropped; the scan then ends the upload.
        if (received <= kCodeplugBufferBytes) {
            std::copy_n(message.data.begin() + 2, kCodeplugBlockBytes, image_ + length_);
            length_ = received;
        }
        if (scan_.Complete(std::span<const std::uint8_t, kCodeplugBufferBytes>(image_, kCodeplugBufferBytes), length_,
                           received)) {
            return EndTransfer(Send(link, kTransferEnd));
        }
        result = Send(link, kTransferNextBlock);
        if (result <= 0) {
            return EndTransfer(result);
        }
    }
}

int VNXTransferParms::Download() {
    if (link_ == nullptr || image_ == nullptr || length_ < 0 || length_ > kCodeplugBufferBytes || !identityKnown_) {
        return -1;
    }
    RadioLink& link = *link_;
    std::fill(image_ + length_, image_ + kCodeplugBufferBytes, kDownloadFillByte);
    SetLinkActive(link, true);
    DownloadKeystream keystream(identity_);

    int result = Send(link, kTransferDownloadRequest);
    if (result <= 0) {
        return EndTransfer(result);
    }
    result = passChecker_.CheckPassword();
    if (result <= 0) {
        return EndTransfer(result);
    }
    std::int32_t blockIndex = 0;
    runningChecksum_ = 0;
    bool checksumsAgreed = true;
    for (;;) {
        const LinkReply reply = ReceiveTransferReply(link);
        const LinkPacket& message = reply.packet;
        result = reply.status == LinkStatus::Completed ? 1 : -1;
        if (result <= 0) {
            return EndTransfer(result);
        }
        const bool imageSent = blockIndex * kCodeplugBlockBytes >= length_;
        if (Is(message, kTransferNextBlock)) {
            if (imageSent && blockIndex % 2 == 0) {
                return EndDownload(checksumsAgreed);
            }
            const std::int32_t offset = blockIndex * kCodeplugBlockBytes;
            if (offset + kCodeplugBlockBytes > kCodeplugBufferBytes) {
                return EndTransfer(-1);  // cannot happen with length <= 32768; never read past the buffer
            }
            std::array<std::uint8_t, kCodeplugBlockBytes> block{};
            std::copy_n(image_ + offset, kCodeplugBlockBytes, block.begin());
            runningChecksum_ = static_cast<std::uint16_t>(runningChecksum_ + WordSum(block));
            ScrambleBlock(keystream, block);
            result = SendCommandPair(link, kTransferClass, kTransferDataBlock, block.data(), kCodeplugBlockBytes);
            if (result <= 0) {
                return EndTransfer(result);
            }
            ++blockIndex;
        } else if (Is(message, kTransferChecksum) && message.length >= 4) {
            const auto reported = static_cast<std::uint16_t>((message.data[2] << 8) | message.data[3]);
            checksumsAgreed = checksumsAgreed && reported == runningChecksum_;
            result = Send(link, reported == runningChecksum_ ? kTransferChecksumMatches : kTransferChecksumDiffers);
            if (result <= 0) {
                return EndTransfer(result);
            }
            runningChecksum_ = 0;
        } else {
            // A codeplug cut short must never count as written.
            return EndTransfer(imageSent && checksumsAgreed ? result : -1);
        }
    }
}

}  // namespace aurex

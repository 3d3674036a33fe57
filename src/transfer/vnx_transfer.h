#pragma once

// Reading the codeplug out of the radio (upload) and writing an image back (download), in
// 128-byte blocks of class 03 messages over the radio link, with the radio's password step.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/byte_progress.h"
#include "transfer/des.h"
#include "transfer/transfer_link.h"
#include "transfer/upload_scan.h"

namespace aurex {

// The password step's messages, which the message table does not hold (the transfer's others are
// in it, msg::kCodeplug...): their class byte and command bytes.
inline constexpr std::uint8_t kTransferClass = 0x03;
inline constexpr std::uint8_t kTransferPasswordRequest = 0x0B;
inline constexpr std::uint8_t kTransferPassword = 0x0C;
inline constexpr std::uint8_t kTransferProceed = 0x0D;
inline constexpr std::uint8_t kTransferProceedAlternate = 0x0E;

// Fill of the unused part of the image before a download.
inline constexpr std::uint8_t kDownloadFillByte = 0x20;

// How an upload, a download or the password step ended.
enum class TransferResult { Failed = -1, Done = 1 };

// Asks the user for the radio's password: true with the typed text when the user pressed OK.
using PasswordPromptFn = std::function<bool(std::string& text)>;

// The transfer base: a link and a caller-owned 32768-byte image buffer, neither owned.
class VNXTransfer
{
  public:
    VNXTransfer() = default;
    virtual ~VNXTransfer() = default;
    VNXTransfer(const VNXTransfer&) = delete;
    VNXTransfer& operator=(const VNXTransfer&) = delete;

    virtual TransferResult Upload();
    virtual TransferResult Download();
    virtual void SetLink(TransferLink& link);

    void SetBuffer(std::span<std::uint8_t, kCodeplugBufferBytes> image, std::int32_t length);
    std::int32_t GetLength() const { return length_; }
    void SetLength(std::int32_t length) { length_ = length; }

  protected:
    TransferLink* link_ = nullptr;
    std::uint8_t* image_ = nullptr;
    std::int32_t length_ = 0;
};

// Answers the radio's password request with what the user types, up to three times.
class VNXTransferParmsPassChecker : public VNXTransfer
{
  public:
    // Without a prompt every request counts as cancelled.
    explicit VNXTransferParmsPassChecker(PasswordPromptFn prompt = {});

    // Run right after an upload or download request: Done when the radio lets the transfer
    // proceed; Failed when it does not (the transfer has then been ended with 03 04).
    TransferResult CheckPassword();
    // After a failed step: the radio asked again after a password was sent, so it refused one
    // (rather than the user cancelling at once or the radio falling silent).
    bool Refused() const { return refused_; }

  private:
    PasswordPromptFn passwordPrompt_;
    bool refused_ = false;
};

// The codeplug transfer: one upload and at most one download.
class VNXTransferParms : public VNXTransfer
{
  public:
    explicit VNXTransferParms(PasswordPromptFn prompt = {});

    // Reads the codeplug into the buffer; length becomes the bytes stored (a multiple of 128).
    TransferResult Upload() override;
    // Writes length bytes of the buffer back, scrambled with the radio's identity. Fails when the
    // radio summed a pair differently (it was told so and the transfer ran on, but what it holds
    // is not the codeplug sent) or when the line was gone right after the closing 03 04.
    TransferResult Download() override;
    void SetLink(TransferLink& link) override;

    // The radio's identity from hex digit pairs (16 digits for the whole identity).
    void SetIdentity(std::string_view text);
    void SetIdentity(const DesBlock& identity);
    // True once SetIdentity was given all 8 bytes. Without them no download is made: blocks
    // scrambled with a wrong identity would corrupt the radio's configuration.
    bool HasIdentity() const { return identityKnown_; }
    const DesBlock& Identity() const { return identity_; }

    // Tells `bytes` of the data blocks under `phase`, from the password step's end to the
    // transfer's: an upload's total once the codeplug has said how long it is, a download's (the
    // image in whole pairs of blocks, as sent) from the start.
    void SetByteProgress(ByteProgress* bytes, std::string phase);

    // The transfer failed because the radio refused its codeplug password.
    bool PasswordRefused() const { return passChecker_.Refused(); }

  private:
    TransferResult EndTransfer(bool done);
    void BeginBytes(std::optional<std::int64_t> total);
    // After a block of the upload: the total when it can be told, then the bytes stored.
    void UploadBytes(bool complete);
    TransferResult EndDownload(bool checksumsAgreed);

    VNXTransferParmsPassChecker passChecker_;
    std::uint16_t runningChecksum_ = 0;
    DesBlock identity_{};
    bool identityKnown_ = false;
    CodeplugUploadScan scan_;
    ByteProgress* bytes_ = nullptr;
    std::string phase_;
    bool bytesBegun_ = false;
};

} // namespace aurex

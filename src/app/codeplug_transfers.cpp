#include "app/codeplug_transfers.h"

#include <algorithm>

#include "app/app_timeouts.h"
#include "app/code_updater_main_form.h"
#include "app/password_prompt.h"
#include "convert/codeplug_buffer.h"
#include "convert/codeplug_image.h"
#include "transfer/password_encoding.h"

namespace aurex {

namespace {

constexpr int kWaitProgressMs = 200;
constexpr int kUploadProgressMs = 150;
constexpr int kMostMistypedPasswords = 3;

} // namespace

void WaitForRadioRestart(TCodeUpdaterMainDispForm& window, const char* status)
{
    window.StartTimedProgress(kWaitProgressMs);
    window.ShowStatus(status);
    window.ComPort.DelayMilliseconds(app_timeouts::kRadioRestartWaitMs, true);
    window.StopTimedProgress();
}

PasswordPromptFn RunPassword::Asking()
{
    return [this](std::string& text) {
        // Letters would be dropped and too many digits cut: the radio would get another password
        // than the one typed, so only digits go, and the user is asked again a few times.
        for (int asked = 0; asked < kMostMistypedPasswords; ++asked) {
            if (!PasswordPrompt(window_, text)) {
                return false;
            }
            if (IsRadioPasswordText(text)) {
                typed_ = text;
                return true;
            }
            window_.ShowError("The radio's codeplug password is 1 to 8 digits (0 to 9), and nothing else.");
        }
        return false;
    };
}

PasswordPromptFn RunPassword::Remembered()
{
    auto offered = std::make_shared<bool>(false);
    return [this, offered](std::string& text) {
        if (!typed_.empty() && !*offered) {
            *offered = true;
            text = typed_;
            return true;
        }
        return Asking()(text);
    };
}

std::vector<std::uint16_t> UploadedCodeplug::Words() const
{
    CodeplugBuffer buffer;
    std::copy(bytes.begin(), bytes.end(), buffer.LineBytes().begin());
    buffer.WordsFromLine(bytes.size());
    return {buffer.Words(), buffer.Words() + kParmsBufferWords};
}

UploadedCodeplug UploadCodeplug(TCodeUpdaterMainDispForm& window, CodeplugLinks& links,
                                const PasswordPromptFn& password, const char* status, const char* phase)
{
    CodeplugBuffer codeplug;
    VNXTransferParms transfer(password);
    transfer.SetBuffer(codeplug.LineBytes(), 0);
    transfer.SetLink(links.transfer);
    transfer.SetByteProgress(&window.m_ByteProgress, phase);

    window.StartTimedProgress(kUploadProgressMs);
    window.ShowStatus(status);
    UploadedCodeplug uploaded;
    uploaded.result = transfer.Upload();
    uploaded.passwordRefused = transfer.PasswordRefused();
    window.StopTimedProgress();
    const auto length = static_cast<std::size_t>(std::clamp(transfer.GetLength(), 0, kCodeplugBufferBytes));
    const std::span<const std::uint8_t> bytes = codeplug.LineBytes(length);
    uploaded.bytes.assign(bytes.begin(), bytes.end());
    codeplug.WordsFromLine(length);
    uploaded.valid = uploaded.result == TransferResult::Done && ParmsIsValid(codeplug.Words());
    return uploaded;
}

bool DownloadCodeplug(TCodeUpdaterMainDispForm& window, CodeplugLinks& links, const RadioIdentity& identity,
                      const PasswordPromptFn& password, std::span<const std::uint8_t> bytes)
{
    CodeplugBuffer codeplug;
    const std::size_t length = std::min(bytes.size(), static_cast<std::size_t>(kCodeplugBufferBytes));
    std::copy_n(bytes.begin(), length, codeplug.LineBytes().begin());
    VNXTransferParms transfer(password);
    transfer.SetIdentity(identity);
    transfer.SetLink(links.transfer);
    transfer.SetBuffer(codeplug.LineBytes(), static_cast<std::int32_t>(length));
    transfer.SetByteProgress(&window.m_ByteProgress, "codeplug-download");

    window.StartTimedProgress(static_cast<int>(static_cast<double>(length) * 0.015));
    window.ShowStatus("Downloading codeplug...");
    TransferResult downloaded = TransferResult::Failed;
    {
        // Once a codeplug goes into the radio, Stop (or closing the window) must not cut the
        // write short: a half-written codeplug is worse than a run that ends later.
        const TCodeUpdaterMainDispForm::HoldStop writing(window,
                                                         TCodeUpdaterMainDispForm::StopHold::CodeplugWrite);
        downloaded = transfer.Download();
    }
    window.StopTimedProgress();
    return downloaded == TransferResult::Done;
}

std::string ReadBackText(ReadBackOutcome outcome)
{
    switch (outcome) {
    case ReadBackOutcome::Verified:
        return "Codeplug verified: the radio holds the codeplug written.";
    case ReadBackOutcome::NotAnswered:
        return "The codeplug was written, but it is not verified: the radio did not answer when it was read "
               "back.";
    case ReadBackOutcome::Stopped:
        return "The codeplug was written, but it is not verified: the read-back was stopped.";
    case ReadBackOutcome::Differs:
        break;
    }
    return ReadBackDiffersText({}).Plain();
}

UiText ReadBackDiffersText(const std::string& backupPath)
{
    if (backupPath.empty()) {
        return "The codeplug read back from the radio differs from the one written.";
    }
    return {"The codeplug read back from the radio differs from the one written. The codeplug the radio held "
            "before is saved in %1.",
            {UiText::Verbatim(backupPath)}};
}

bool HoldsWrittenCodeplug(std::span<const std::uint8_t> readBack, std::span<const std::uint8_t> written)
{
    // A write carries whole blocks past the image (what followed it in the upload, the fill); the
    // radio gives back the image up to its own length, and that is what has to match.
    CodeplugBuffer image;
    const std::size_t length = std::min(written.size(), static_cast<std::size_t>(kParmsBufferBytes));
    std::copy_n(written.begin(), length, image.LineBytes().begin());
    image.WordsFromLine(length);
    const std::size_t imageBytes = std::min<std::size_t>(length, 2U * ParmsImageLength(image.Words()));
    return readBack.size() >= imageBytes &&
           std::equal(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(imageBytes),
                      readBack.begin());
}

ReadBackOutcome ReadBackCodeplug(TCodeUpdaterMainDispForm& window, CodeplugLinks& links,
                                 const PasswordPromptFn& password, std::span<const std::uint8_t> written)
{
    WaitForRadioRestart(window, "Resetting radio and verifying codeplug...");
    // The link's waits were left running for the write; from here a Stop ends the read-back,
    // which only costs the verification (an update's codeplug step holds it off to its end).
    if (window.StoppedOutsideAHold()) {
        return ReadBackOutcome::Stopped;
    }
    const UploadedCodeplug readBack =
        UploadCodeplug(window, links, password, "Reading codeplug back...", "codeplug-read-back");
    if (readBack.result != TransferResult::Done) {
        return window.StoppedOutsideAHold() ? ReadBackOutcome::Stopped : ReadBackOutcome::NotAnswered;
    }
    return HoldsWrittenCodeplug(readBack.bytes, written) ? ReadBackOutcome::Verified
                                                         : ReadBackOutcome::Differs;
}

std::string VerificationName(ReadBackOutcome outcome)
{
    switch (outcome) {
    case ReadBackOutcome::Verified:
        return "verified";
    case ReadBackOutcome::NotAnswered:
        return "not verified: no answer";
    case ReadBackOutcome::Stopped:
        return "not verified: stopped";
    case ReadBackOutcome::Differs:
        return "differs";
    }
    return "differs";
}

} // namespace aurex

// The carried image set: its record, read once at creation, and the extraction of its images
// into the working folder for a run.

#include <string>

#include "app/code_updater_main_form.h"
#include "app/image_stream.h"
#include "image_store/image_store.h"
#include "programming/srecord_reader.h"

namespace aurex {

namespace {

// The version texts are raw bytes; shown as Latin-1 so that no byte is lost or mangled.
std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

} // namespace

void TCodeUpdaterMainDispForm::LoadResourceAttributes()
{
    if (!environment_.blobs) {
        return;
    }
    // A missing or short record is not reported: zeros stand in, the labels keep their captions.
    if (!aurex::LoadResourceAttributes(*environment_.blobs, ResourceAttributes)) {
        return;
    }
    const AttributeLabelTexts texts = LabelTextsFor(ResourceAttributes);
    TessaroVersionLabel.SetCaption(UiText::Verbatim(Latin1ToUtf8(texts.tessaro_version)));
    BrevioVersionLabel.SetCaption(UiText::Verbatim(Latin1ToUtf8(texts.brevio_version)));
    m_TargetRadioLabel.SetCaption(UiText::Verbatim(texts.radio_model));
    m_TargetSeriesLabel.SetCaption(UiText::Verbatim(texts.series));
    m_TargetUpgradeTypeLabel.SetCaption(texts.upgrade_type);
}

bool TCodeUpdaterMainDispForm::ExtractEmbeddedFiles(bool boot)
{
    static const LinkedBlobTable kNoBlobs{std::span<const EmbeddedBlob>{}};
    const EmbeddedBlobs& blobs = environment_.blobs ? *environment_.blobs : kNoBlobs;
    const ImageStore store{blobs, *environment_.workingFolder, *this};
    ExtractedImageFiles files;
    if (!aurex::ExtractEmbeddedFiles(store, ResourceAttributes, UseSecondBootImage, boot, files)) {
        return false;
    }
    m_LoaderFileName = files.loader_file;
    m_CodeFileName = files.code_file;
    // Their sizes tell the run's time left before their bytes go (a DSP image is no S-record:
    // its pages are counted as they go).
    WorkingFileStream loader(*environment_.workingFolder, m_LoaderFileName);
    WorkingFileStream code(*environment_.workingFolder, m_CodeFileName);
    m_RunStanding.ExpectImages(ImageDataBytes(loader), ImageDataBytes(code));
    return true;
}

WindowRequests::Answer TCodeUpdaterMainDispForm::ShowMessage(const Message& message)
{
    MessageIcon icon = MessageIcon::Error;
    if (message.icon == Icon::Information) {
        icon = MessageIcon::Information;
    } else if (message.icon == Icon::Question) {
        icon = MessageIcon::Question;
    }
    const MessageAnswer a =
        AskHost(message.text, message.caption, icon,
                message.buttons == Buttons::YesNo ? MessageButtons::YesNo : MessageButtons::Ok);
    switch (a) {
    case MessageAnswer::Yes:
        return Answer::Yes;
    case MessageAnswer::No:
        return Answer::No;
    case MessageAnswer::Ok:
        break;
    }
    return Answer::Ok;
}

} // namespace aurex

#include "app/restore_question.h"

namespace aurex {

namespace {

UiText ReasonText(const BackupForRestore& backup)
{
    if (!backup.record) {
        return "unknown (no record)";
    }
    switch (backup.record->reason) {
    case BackupReason::BeforeUpdate:
        return "saved before an update";
    case BackupReason::BeforeRestore:
        return "saved before a restore";
    case BackupReason::OnRequest:
        break;
    }
    return "saved on request";
}

UiText OrUnknown(const std::string& data)
{
    return data.empty() ? UiText("unknown") : UiText::Verbatim(data);
}

} // namespace

UiText RestoreQuestion(const BackupForRestore& backup, const std::string& path,
                       const std::string& radioIdentity)
{
    return {"Write this codeplug backup into the radio %1?\n\nBackup: %2\nSaved: %3\nCodeplug format: "
            "%4\nReason: %5\n\nThe codeplug the radio holds now is read out and saved as a backup first.",
            {UiText::Verbatim(radioIdentity), UiText::Verbatim(path), OrUnknown(BackupLocalTime(backup.time)),
             OrUnknown(backup.format), ReasonText(backup)}};
}

} // namespace aurex

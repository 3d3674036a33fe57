#include "app/codeplug_spare.h"

#include <filesystem>
#include <string>

#include "app/scratch_folder.h"

namespace aurex {

CodeplugBackupResult SaveSpareCodeplug(std::string_view identity, std::span<const std::uint8_t> bytes,
                                       BackupDisk& disk, const BackupRecord& facts)
{
    CodeplugBackupResult cached =
        SaveCodeplugBackupIn(DefaultScratchParent().string(), FolderUse::Own, identity, bytes, disk, facts);
    if (cached.saved) {
        return cached;
    }
    std::error_code failed;
    const std::filesystem::path here = std::filesystem::current_path(failed);
    if (failed) {
        cached.error += "; the current folder is not known (" + failed.message() + ")";
        return cached;
    }
    CodeplugBackupResult local =
        SaveCodeplugBackupIn(here.string(), FolderUse::Users, identity, bytes, disk, facts);
    if (!local.saved) {
        local.error = cached.error + "; " + local.error;
    }
    return local;
}

UiText UnsavedBackupText(const std::string& why, const CodeplugBackupResult& spare)
{
    const UiText held("The radio now holds the new code and its old codeplug, not converted: the converted "
                      "codeplug was not written into it, since its backup could not be saved (%1).",
                      {UiText::Verbatim(why)});
    if (spare.saved) {
        return {"%1\n\nThe codeplug read out of the radio is saved in %2.\nTo finish, restore that file "
                "into the radio: File -> Restore codeplug... (console: --restore %2).",
                {held, UiText::Verbatim(spare.path)}};
    }
    return {"%1\n\nThe codeplug read out of the radio could not be saved anywhere else either (%2).\nTo "
            "finish, make room on the disk, back the radio's codeplug up (File -> Back up codeplug...) "
            "and restore that backup into the radio.",
            {held, UiText::Verbatim(spare.error)}};
}

} // namespace aurex

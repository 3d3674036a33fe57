#pragma once

// What a restore asks before it writes a backup into a radio: which radio, which backup (when and
// why it was saved, its format) and that the radio's present codeplug is kept first.

#include <string>

#include "text/ui_text.h"
#include "transfer/backup_catalog.h"

namespace aurex {

UiText RestoreQuestion(const BackupForRestore& backup, const std::string& path,
                       const std::string& radioIdentity);

} // namespace aurex

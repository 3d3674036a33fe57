#pragma once

// A codeplug read out of a radio whose backup could not be saved: it is the user's way back to
// the radio's settings, so it goes to a second place rather than being dropped.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "text/ui_text.h"
#include "transfer/codeplug_backup.h"

namespace aurex {

// Saves `bytes` as SaveCodeplugBackup does, in the cache folder (DefaultScratchParent), else in
// the current folder. When neither takes it, `error` gives both reasons.
CodeplugBackupResult SaveSpareCodeplug(std::string_view identity, std::span<const std::uint8_t> bytes,
                                       BackupDisk& disk, const BackupRecord& facts);

// The box after an update's backup failed (`why`): what the radio holds, where its codeplug went
// and how to finish.
UiText UnsavedBackupText(const std::string& why, const CodeplugBackupResult& spare);

} // namespace aurex

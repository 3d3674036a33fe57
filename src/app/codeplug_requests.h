#pragma once

// Outcomes of the codeplug work a technician asks for outside an update: a backup and a
// restore. Each ends with a status text of its own; these tell a script what happened.

#include "transfer/backup_record.h"

namespace aurex {

enum class CodeplugRequestResult {
    BackedUp,        // a backup was saved
    Restored,        // written and read back equal
    NotVerified,     // written; the read-back did not come or verification is off
    ReadBackStopped, // written; a Stop ended the read-back, so the run was stopped
    Differs,         // written, and the read-back differs
    Refused,         // the file, the format or the user said no: nothing was written
    OtherRadio,      // a backup of another radio, not allowed: nothing was written
    LosesData,       // its conversion to the radio's format loses data, not allowed: nothing was written
    NoRadio,         // the radio did not answer (not started normally, or not there)
    Failed,          // a transfer or the backup failed; for a restore, what the radio holds is said
};

enum class OtherRadioPolicy { Ask, Refuse, Allow };

} // namespace aurex

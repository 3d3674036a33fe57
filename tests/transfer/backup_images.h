#pragma once

// Codeplug backups for the tests: a built image as the radio sends it, and the record the
// program would keep beside it.

#include <cstdint>
#include <string>
#include <vector>

#include "codeplug-builder/codeplug_builder.h"
#include "convert/codeplug_buffer.h"
#include "text/sha256.h"
#include "transfer/backup_record.h"

namespace aurex::test {

// A valid image of format index `format` (3, 4 or 5), as line bytes up to its trailer's end.
inline std::vector<std::uint8_t> BackupBytes(std::uint8_t format = 4, std::uint64_t seed = 0)
{
    CodeplugOptions options;
    options.formatIndex = format;
    options.seed = seed;
    const BuiltCodeplug built = BuildCodeplug(options);
    std::vector<std::uint8_t> bytes(std::size_t{built.imageLength} * 2);
    LineBytesFromWords(built.buffer, bytes);
    return bytes;
}

inline BackupRecord RecordOf(const std::vector<std::uint8_t>& bytes, const std::string& identity,
                             const std::string& time, BackupReason reason = BackupReason::BeforeUpdate)
{
    BackupRecord r;
    r.radioIdentity = identity;
    r.updaterModel = 1;
    r.radioVersions = {{"application", "R05.09.00"}};
    r.codeplugFormatMajor = 5;
    r.codeplugFormatMinor = 9;
    r.lengthBytes = bytes.size();
    r.sha256 = Sha256Hex(bytes);
    r.time = time;
    r.programName = "Aurex Code Updater";
    r.programRelease = "R05.10.03";
    r.reason = reason;
    return r;
}

} // namespace aurex::test

// The backup record's reader over any bytes: it must answer with a record or an error and never
// read outside the text (the sanitizers watch that); a record it accepts must be written back as
// text that reads as the same record, and writing that record again must give the same text. A
// record it accepts is of the one format version it knows and names a radio by 16 hex digits,
// since that identity is shown in the box that asks about another radio's backup.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "transfer/backup_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace aurex;
    const BackupRecordRead read =
        ReadBackupRecord(std::string_view(reinterpret_cast<const char*>(data), size));
    if (read.record.has_value() == !read.error.empty()) {
        std::abort(); // either a record or a reason, never both or neither
    }
    if (!read.record) {
        return 0;
    }
    const std::string& identity = read.record->radioIdentity;
    if (read.record->formatVersion != kBackupRecordFormatVersion || identity.size() != 16 ||
        identity.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
        std::abort();
    }
    const std::string text = WriteBackupRecord(*read.record);
    const BackupRecordRead again = ReadBackupRecord(text);
    if (!again.record || !(*again.record == *read.record) || WriteBackupRecord(*again.record) != text) {
        std::abort();
    }
    return 0;
}

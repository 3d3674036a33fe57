// The backup record's reader over any bytes: it must answer with a record or an error and never
// read outside the text (the sanitizers watch that); a record it accepts must be written back as
// text that reads as the same record, and writing that record again must give the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    const std::string text = WriteBackupRecord(*read.record);
    const BackupRecordRead again = ReadBackupRecord(text);
    if (!again.record || !(*again.record == *read.record) || WriteBackupRecord(*again.record) != text) {
        std::abort();
    }
    return 0;
}

// The check of a backup before a restore over any bytes and record text: whatever it is given,
// a backup it lets through must be one the radio can take back, and one with a record must be
// the very bytes the record describes. Input: the backup's length (2 bytes, high first), the
// backup, then the record's text; no text at all stands for a backup without a record.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert/codeplug_buffer.h"
#include "convert/codeplug_image.h"
#include "text/sha256.h"
#include "transfer/backup_check.h"

namespace {

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace aurex;
    const std::span<const std::uint8_t> input(data, size);
    const std::size_t wanted = size >= 2 ? std::size_t{input[0]} << 8 | input[1] : 0;
    const std::span<const std::uint8_t> rest = input.subspan(std::min<std::size_t>(size, 2));
    const std::span<const std::uint8_t> bytes = rest.first(std::min(wanted, rest.size()));
    const std::span<const std::uint8_t> text = rest.subspan(bytes.size());
    std::optional<std::string> recordText;
    if (!text.empty()) {
        recordText.emplace(text.begin(), text.end());
    }

    const std::string path = "/b/codeplug-1A2B-20261207-221634.bin";
    const BackupCheck check = CheckBackup(path, bytes, recordText);
    Require(check.problem.empty() || check.problem.starts_with("The backup " + path + " "));
    Require(recordText || !check.record);
    if (recordText && !ReadBackupRecord(*recordText).record) {
        Require(!check.problem.empty() && !check.record);
    }
    Require(check.record ? check.identity == check.record->radioIdentity : check.identity == "1A2B");
    if (!check.problem.empty()) {
        return 0;
    }
    // Let through: a whole image, trailer included, in the buffer, and the record's bytes.
    Require(!bytes.empty() && bytes.size() <= kBackupMaxBytes && bytes.size() % 2 == 0);
    std::vector<std::uint16_t> words(kParmsBufferWords, 0);
    WordsFromLineBytes(bytes, words);
    Require(ParmsIsValid(words.data()));
    Require(bytes.size() / 2 >= ParmsImageLength(words.data()));
    if (recordText) {
        Require(check.record && check.record->lengthBytes == bytes.size() &&
                check.record->sha256 == Sha256Hex(bytes));
    }
    return 0;
}

#include "transfer/backup_check.h"

#include <cctype>
#include <vector>

#include "convert/codeplug_buffer.h"
#include "convert/codeplug_image.h"
#include "convert/format_tables.h"
#include "text/sha256.h"

namespace aurex {

namespace {

static_assert(kBackupMaxBytes == kParmsBufferBytes, "a backup is one codeplug buffer");

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool AllAlnum(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

int Number(std::string_view digits)
{
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

std::vector<std::string_view> SplitDashes(std::string_view text)
{
    std::vector<std::string_view> parts;
    for (std::size_t dash = text.find('-'); dash != std::string_view::npos; dash = text.find('-')) {
        parts.push_back(text.substr(0, dash));
        text.remove_prefix(dash + 1);
    }
    parts.push_back(text);
    return parts;
}

// yyyyMMdd and HHmmss with fields in range, as yyyy-MM-ddTHH:mm:ss.
std::optional<std::string> StampTime(std::string_view date, std::string_view time)
{
    if (date.size() != 8 || time.size() != 6 || !AllDigits(date) || !AllDigits(time)) {
        return std::nullopt;
    }
    const int month = Number(date.substr(4, 2));
    const int day = Number(date.substr(6, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31 || Number(time.substr(0, 2)) > 23 ||
        Number(time.substr(2, 2)) > 59 || Number(time.substr(4, 2)) > 60) {
        return std::nullopt;
    }
    std::string text;
    text.append(date.substr(0, 4))
        .append("-")
        .append(date.substr(4, 2))
        .append("-")
        .append(date.substr(6, 2));
    text.append("T").append(time.substr(0, 2)).append(":").append(time.substr(2, 2)).append(":");
    text.append(time.substr(4, 2));
    return text;
}

std::string FormatText(const std::uint16_t* image)
{
    const std::uint8_t index = ParmsFormatIndex(image);
    if (index == kParmsUnknownFormat) {
        return {};
    }
    const ParmsVersion version = ParmsVersionOfIndex(index);
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

// The record's length and digest against the bytes; empty when they agree.
std::string RecordMismatch(const BackupRecord& record, std::span<const std::uint8_t> bytes)
{
    if (record.lengthBytes != bytes.size()) {
        return "the record says " + std::to_string(record.lengthBytes) + " bytes, the file holds " +
               std::to_string(bytes.size());
    }
    if (record.sha256 != Sha256Hex(bytes)) {
        return "its SHA-256 is not the one the record holds";
    }
    return {};
}

} // namespace

BackupCheck CheckBackup(std::string_view path, std::span<const std::uint8_t> bytes,
                        const std::optional<std::string>& recordText)
{
    BackupCheck check;
    if (const std::optional<BackupName> name = ParseBackupName(path)) {
        check.identity = name->identity;
    }
    const std::string refused = "The backup " + std::string(path) + " cannot be restored: ";
    if (bytes.empty()) {
        check.problem = refused + "the file is empty.";
        return check;
    }
    if (bytes.size() > kBackupMaxBytes) {
        check.problem = refused + "it is larger than the " + std::to_string(kBackupMaxBytes) +
                        "-byte codeplug buffer, so it is no codeplug backup.";
        return check;
    }
    if (bytes.size() % 2 != 0) {
        check.problem = refused + "it holds " + std::to_string(bytes.size()) +
                        " bytes, not a whole number of 16-bit words.";
        return check;
    }
    std::vector<std::uint16_t> words(kParmsBufferWords, 0);
    WordsFromLineBytes(bytes, words);
    const std::uint16_t* image = words.data();
    check.format = FormatText(image);

    // A record that is there has to hold: one that cannot be read may hide a changed file.
    if (recordText) {
        const BackupRecordRead read = ReadBackupRecord(*recordText);
        if (!read.record) {
            check.problem =
                refused + "its record " + BackupRecordPath(path) + " cannot be read. " + read.error;
            return check;
        }
        check.identity = read.record->radioIdentity;
        check.record = read.record;
        const std::string mismatch = RecordMismatch(*read.record, bytes);
        if (!mismatch.empty()) {
            check.problem = "The backup " + std::string(path) +
                            " does not match its record: it may have been changed (" + mismatch + ").";
            return check;
        }
    }
    if (!ParmsIsValid(image)) {
        check.problem = refused + "it is not a valid codeplug image (it fails the structure check).";
        return check;
    }
    // The structure check reads zeros past the end of the file, which a trailer may hold: a
    // file cut inside its trailer passes it, and only the image length shows what is missing.
    const std::size_t fileWords = bytes.size() / 2;
    const std::uint32_t length = ParmsImageLength(image);
    if (fileWords < length) {
        check.problem = refused + "it is cut short: it ends at word " + std::to_string(fileWords) +
                        ", inside its image's " + std::to_string(kParmsTrailerWords) +
                        "-word trailer (words " + std::to_string(length - kParmsTrailerWords) + " to " +
                        std::to_string(length - 1) + ").";
        return check;
    }
    return check;
}

std::optional<BackupName> ParseBackupName(std::string_view name)
{
    if (const std::size_t slash = name.rfind('/'); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    constexpr std::string_view kPrefix = "codeplug-";
    constexpr std::string_view kSuffix = ".bin";
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix) ||
        name.size() <= kPrefix.size() + kSuffix.size()) {
        return std::nullopt;
    }
    name.remove_prefix(kPrefix.size());
    name.remove_suffix(kSuffix.size());
    const std::vector<std::string_view> parts = SplitDashes(name);
    if (parts.size() != 3 && parts.size() != 4) {
        return std::nullopt;
    }
    BackupName out;
    if (parts.size() == 4) {
        if (!AllDigits(parts[3]) || parts[3].size() > 3 || parts[3][0] == '0' || Number(parts[3]) < 2) {
            return std::nullopt;
        }
        out.number = Number(parts[3]);
    }
    const std::optional<std::string> time = StampTime(parts[1], parts[2]);
    if (!AllAlnum(parts[0]) || !time) {
        return std::nullopt;
    }
    out.identity = std::string(parts[0]);
    out.localTime = *time;
    return out;
}

} // namespace aurex

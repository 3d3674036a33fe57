#include "transfer/backup_record.h"

#include <array>

#include "text/json_reader.h"
#include "text/json_writer.h"

namespace aurex {

namespace {

constexpr std::array<std::pair<BackupReason, std::string_view>, 3> kReasons = {{
    {BackupReason::BeforeUpdate, "before-update"},
    {BackupReason::BeforeRestore, "before-restore"},
    {BackupReason::OnRequest, "on-request"},
}};

// Beyond this a length no longer survives readers that keep numbers as doubles.
constexpr std::int64_t kLargestLength = (std::int64_t{1} << 53) - 1;

void Member(std::string& out, std::string_view key, const std::string& valueText, bool last = false)
{
    out += "  ";
    AppendJsonString(out, key);
    out += ": ";
    out += valueText;
    out += last ? "\n" : ",\n";
}

std::string Quoted(std::string_view text)
{
    std::string out;
    AppendJsonString(out, text);
    return out;
}

bool IsDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// yyyy-MM-ddTHH:mm:ssZ with fields in range; leap seconds and month lengths are not checked.
bool IsUtcTime(std::string_view t)
{
    if (t.size() != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t[19] != 'Z') {
        return false;
    }
    const auto field = [&](std::size_t at, std::size_t n) {
        return IsDigits(t.substr(at, n)) ? std::stoi(std::string(t.substr(at, n))) : -1;
    };
    const int month = field(5, 2);
    const int day = field(8, 2);
    return field(0, 4) >= 0 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && field(11, 2) >= 0 &&
           field(11, 2) <= 23 && field(14, 2) >= 0 && field(14, 2) <= 59 && field(17, 2) >= 0 &&
           field(17, 2) <= 60;
}

// As the program writes a radio's identity: its 8 bytes as hex digits. Nothing else may reach the
// boxes that name the radio a backup came from.
bool IsIdentityText(std::string_view text)
{
    return text.size() == 16 && text.find_first_not_of("0123456789ABCDEFabcdef") == std::string_view::npos;
}

bool IsLowerHexDigest(std::string_view text)
{
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Parses "major.minor", each 0 to 255 without leading zeros.
bool ParseFormat(std::string_view text, int& major, int& minor)
{
    const auto part = [](std::string_view p, int& value) {
        if (!IsDigits(p) || p.size() > 3 || (p.size() > 1 && p[0] == '0')) {
            return false;
        }
        value = std::stoi(std::string(p));
        return value <= 255;
    };
    const std::size_t dot = text.find('.');
    return dot != std::string_view::npos && part(text.substr(0, dot), major) &&
           part(text.substr(dot + 1), minor);
}

// Takes the fields out of the parsed object, stopping at the first that is wrong.
class Fields
{
  public:
    explicit Fields(const JsonValue& object) : object_(object) {}

    const std::string& error() const { return error_; }

    const JsonValue* Get(std::string_view key, JsonValue::Kind kind, std::string_view what,
                         bool required = true)
    {
        if (!error_.empty()) {
            return nullptr;
        }
        const JsonValue* value = object_.Find(key);
        if (value == nullptr) {
            if (required) {
                error_ = "the field \"" + std::string(key) + "\" is missing";
            }
            return nullptr;
        }
        if (value->kind != kind) {
            return Wrong(key, what);
        }
        return value;
    }

    const JsonValue* Wrong(std::string_view key, std::string_view what)
    {
        error_ = "the field \"" + std::string(key) + "\" is not " + std::string(what);
        return nullptr;
    }

    bool Text(std::string_view key, std::string& out)
    {
        const JsonValue* value = Get(key, JsonValue::Kind::String, "a string");
        if (value != nullptr) {
            out = value->text;
        }
        return value != nullptr;
    }

    template <typename T> bool Whole(std::string_view key, std::int64_t lowest, std::int64_t highest, T& out)
    {
        const std::string what =
            "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
        const JsonValue* value = Get(key, JsonValue::Kind::Number, what);
        if (value == nullptr) {
            return false;
        }
        const std::optional<std::int64_t> number = value->Integer();
        if (!number || *number < lowest || *number > highest) {
            Wrong(key, what);
            return false;
        }
        out = static_cast<T>(*number);
        return true;
    }

  private:
    const JsonValue& object_;
    std::string error_;
};

BackupRecordRead Failed(std::string why)
{
    BackupRecordRead read;
    read.error = "The codeplug backup record cannot be read: " + why + ".";
    return read;
}

} // namespace

std::string_view BackupReasonName(BackupReason reason)
{
    for (const auto& [value, name] : kReasons) {
        if (value == reason) {
            return name;
        }
    }
    return "unknown";
}

std::string WriteBackupRecord(const BackupRecord& r)
{
    std::string out = "{\n";
    Member(out, "format_version", std::to_string(r.formatVersion));
    Member(out, "radio_identity", Quoted(r.radioIdentity));
    Member(out, "updater_model", std::to_string(r.updaterModel));
    Member(out, "updater_series", std::to_string(r.updaterSeries));
    std::string versions = "{";
    for (auto it = r.radioVersions.begin(); it != r.radioVersions.end(); ++it) {
        versions += it == r.radioVersions.begin() ? "\n    " : ",\n    ";
        versions += Quoted(it->first) + ": " + Quoted(it->second);
    }
    versions += r.radioVersions.empty() ? "}" : "\n  }";
    Member(out, "radio_versions", versions);
    Member(out, "codeplug_format",
           Quoted(std::to_string(r.codeplugFormatMajor) + "." + std::to_string(r.codeplugFormatMinor)));
    Member(out, "length", std::to_string(r.lengthBytes));
    Member(out, "sha256", Quoted(r.sha256));
    Member(out, "time", Quoted(r.time));
    Member(out, "program_name", Quoted(r.programName));
    Member(out, "program_release", Quoted(r.programRelease));
    const bool report = !r.conversionReport.empty();
    Member(out, "reason", Quoted(BackupReasonName(r.reason)), !report);
    if (report) {
        std::string lines = "[";
        for (std::size_t i = 0; i < r.conversionReport.size(); ++i) {
            lines += (i == 0 ? "\n    " : ",\n    ") + Quoted(r.conversionReport[i]);
        }
        Member(out, "conversion_report", lines + "\n  ]", true);
    }
    out += "}\n";
    return out;
}

BackupRecordRead ReadBackupRecord(std::string_view text)
{
    const JsonParse parse = ParseJson(text);
    if (!parse.value) {
        return Failed(parse.error);
    }
    if (parse.value->kind != JsonValue::Kind::Object) {
        return Failed("it is not a JSON object");
    }
    Fields fields(*parse.value);
    BackupRecord r;
    // Fields may only be added under the same version, so another version means another layout.
    if (fields.Whole("format_version", 1, 1'000'000, r.formatVersion) &&
        r.formatVersion != kBackupRecordFormatVersion) {
        fields.Wrong("format_version",
                     std::to_string(kBackupRecordFormatVersion) + ", the version this program reads");
    }
    if (fields.Text("radio_identity", r.radioIdentity) && !IsIdentityText(r.radioIdentity)) {
        fields.Wrong("radio_identity", "16 hex digits");
    }
    fields.Whole("updater_model", 0, 255, r.updaterModel);
    fields.Whole("updater_series", -128, 127, r.updaterSeries);
    if (const JsonValue* versions = fields.Get("radio_versions", JsonValue::Kind::Object, "an object")) {
        for (const auto& [name, value] : versions->members) {
            if (value.kind != JsonValue::Kind::String) {
                fields.Wrong("radio_versions", "an object of strings");
                break;
            }
            r.radioVersions.emplace(name, value.text);
        }
    }
    std::string format;
    if (fields.Text("codeplug_format", format) &&
        !ParseFormat(format, r.codeplugFormatMajor, r.codeplugFormatMinor)) {
        fields.Wrong("codeplug_format", "a format such as \"5.9\"");
    }
    fields.Whole("length", 0, kLargestLength, r.lengthBytes);
    if (fields.Text("sha256", r.sha256) && !IsLowerHexDigest(r.sha256)) {
        fields.Wrong("sha256", "64 lower-case hex digits");
    }
    if (fields.Text("time", r.time) && !IsUtcTime(r.time)) {
        fields.Wrong("time", "a UTC time such as \"2026-12-07T22:16:34Z\"");
    }
    fields.Text("program_name", r.programName);
    fields.Text("program_release", r.programRelease);
    std::string reason;
    if (fields.Text("reason", reason)) {
        bool known = false;
        for (const auto& [value, name] : kReasons) {
            if (name == reason) {
                r.reason = value;
                known = true;
            }
        }
        if (!known) {
            fields.Wrong("reason", "\"before-update\", \"before-restore\" or \"on-request\"");
        }
    }
    if (const JsonValue* lines = fields.Get("conversion_report", JsonValue::Kind::Array, "a list", false)) {
        for (const JsonValue& line : lines->items) {
            if (line.kind != JsonValue::Kind::String) {
                fields.Wrong("conversion_report", "a list of strings");
                break;
            }
            r.conversionReport.push_back(line.text);
        }
    }
    if (!fields.error().empty()) {
        return Failed(fields.error());
    }
    BackupRecordRead read;
    read.record = std::move(r);
    return read;
}

std::string BackupRecordPath(std::string_view backupPath)
{
    constexpr std::string_view kBin = ".bin";
    if (backupPath.ends_with(kBin)) {
        backupPath.remove_suffix(kBin.size());
    }
    return std::string(backupPath) + ".json";
}

} // namespace aurex

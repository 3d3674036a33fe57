#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transfer/backup_record.h"

namespace aurex {
namespace {

BackupRecord Sample()
{
    BackupRecord r;
    r.radioIdentity = "00000A1B2C3D4E5F";
    r.updaterModel = 1;
    r.updaterSeries = -4;
    r.radioVersions = {{"boot", "6.02"}, {"application", "R05.09.00"}};
    r.codeplugFormatMajor = 5;
    r.codeplugFormatMinor = 10;
    r.lengthBytes = 32768;
    r.sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    r.time = "2026-12-07T22:16:34Z";
    r.programName = "Aurex Code Updater";
    r.programRelease = "R05.10.03";
    r.reason = BackupReason::BeforeRestore;
    return r;
}

const std::string kSampleText = R"({
  "format_version": 1,
  "radio_identity": "00000A1B2C3D4E5F",
  "updater_model": 1,
  "updater_series": -4,
  "radio_versions": {
    "application": "R05.09.00",
    "boot": "6.02"
  },
  "codeplug_format": "5.10",
  "length": 32768,
  "sha256": "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
  "time": "2026-12-07T22:16:34Z",
  "program_name": "Aurex Code Updater",
  "program_release": "R05.10.03",
  "reason": "before-restore"
}
)";

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(BackupRecord, WritesTheSameTextEveryTimeAndReadsItBack)
{
    EXPECT_EQ(WriteBackupRecord(Sample()), kSampleText);
    const BackupRecordRead read = ReadBackupRecord(kSampleText);
    ASSERT_TRUE(read.record) << read.error;
    EXPECT_EQ(*read.record, Sample());
}

TEST(BackupRecord, AwkwardTextSurvivesTheRoundTrip)
{
    std::string controls;
    for (int c = 0; c < 0x20; ++c) {
        controls += static_cast<char>(c);
    }
    BackupRecord r = Sample();
    r.radioIdentity = "abcdef0123456789";
    r.radioVersions = {{"", ""}, {"k\"\\ey\n", "Grüße, 日本, 🎛"}};
    r.programName = std::string("a\"b\\c/d\x7F", 8) + "\\u0041 is not an escape here";
    r.programRelease = controls + "\xF4\x8F\xBF\xBF";
    r.reason = BackupReason::OnRequest;
    r.conversionReport = {"", "field \"x\" moved", "tab\there", "ünïcödé"};
    r.lengthBytes = (std::uint64_t{1} << 53) - 1;
    const std::string text = WriteBackupRecord(r);
    for (char c : text) {
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << "a raw control character";
        EXPECT_NE(c, '\x7F');
    }
    const BackupRecordRead read = ReadBackupRecord(text);
    ASSERT_TRUE(read.record) << read.error << "\n" << text;
    EXPECT_EQ(*read.record, r);
    EXPECT_EQ(WriteBackupRecord(*read.record), text);
}

TEST(BackupRecord, BytesThatAreNotUtf8AreWrittenAsReplacementCharacters)
{
    BackupRecord r = Sample();
    r.programName = "a\xFF"
                    "b\xC0\xAF";
    const BackupRecordRead read = ReadBackupRecord(WriteBackupRecord(r));
    ASSERT_TRUE(read.record) << read.error;
    EXPECT_EQ(read.record->programName, "a\xEF\xBF\xBD"
                                        "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(BackupRecord, EscapesAndUnknownFieldsAreRead)
{
    const std::string text =
        Replaced(Replaced(kSampleText, "\"Aurex Code Updater\"", R"("\u0030\u00e9\ud83c\udf9b\/\b\f\r\t")"),
                 "\"length\"", R"("later": {"a": [1.5e-3, true, false, null, {}], "b": -0}, "length")");
    const BackupRecordRead read = ReadBackupRecord(text);
    ASSERT_TRUE(read.record) << read.error;
    EXPECT_EQ(read.record->programName, "0\xC3\xA9\xF0\x9F\x8E\x9B/\b\f\r\t");
    EXPECT_EQ(read.record->lengthBytes, 32768u);
}

TEST(BackupRecord, EveryBadInputGetsItsOwnError)
{
    const std::string p = "The codeplug backup record cannot be read: ";
    const std::string deep = Replaced(kSampleText, "\"boot\"", R"("x": [[[1]]], "boot")");
    const struct
    {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "line 1, column 1: the text ends where a value should be"},
        {std::string(64 * 1024 + 1, ' '), "the text is 65537 bytes long, more than the 65536 bytes allowed"},
        {"[1, 2]", "it is not a JSON object"},
        {"{\"a\": 1,}", "line 1, column 9: expected a key in double quotes"},
        {"{\"a\" 1}", "line 1, column 6: expected ':' after a key"},
        {"{\"a\": 1 \"b\": 2}", "line 1, column 9: expected ',' or '}'"},
        {"{\"a\": [1 2]}", "line 1, column 10: expected ',' or ']'"},
        {"{\"a\": tru}", "line 1, column 7: not a JSON value"},
        {"{\"a\": 01}", "line 1, column 7: a number with a leading zero"},
        {"{\"a\": 1.}", "line 1, column 7: a number without digits after its point"},
        {"{\"a\": 1e+}", "line 1, column 7: a number without digits in its exponent"},
        {"{\"a\": \"\\x\"}", "line 1, column 8: an unknown escape in a string"},
        {"{\"a\": \"\\u12G4\"}", "line 1, column 8: \\u without four hex digits"},
        {"{\"a\": \"\\udc00\"}", "line 1, column 8: a low surrogate without a high one before it"},
        {"{\"a\": \"\\ud800x\"}", "line 1, column 8: a high surrogate without a low one after it"},
        {"{\"a\": \"\t\"}", "line 1, column 8: a control character not escaped in a string"},
        {"{\"a\": \"\xC3\x28\"}", "line 1, column 8: a string that is not valid UTF-8"},
        {"{\"a\": \"\xED\xA0\x80\"}", "line 1, column 8: a string that is not valid UTF-8"},
        {"{\"a\": \"abc", "line 1, column 7: the text ends inside a string"},
        {"{\"a\": \"" + std::string(4097, 'x') + "\"}", "line 1, column 7: a string longer than 4096 bytes"},
        {"{\"a\": 1,\n \"a\": 2}", "line 2, column 2: the key \"a\" appears twice"},
        {kSampleText + "x", "line 18, column 1: unexpected text after the value"},
        {deep, "line 8, column 12: nested more than 4 levels deep"},
        {Replaced(kSampleText, "  \"time\": \"2026-12-07T22:16:34Z\",\n", ""),
         "the field \"time\" is missing"},
        {Replaced(kSampleText, "\"length\": 32768", "\"length\": \"32768\""),
         "the field \"length\" is not a whole number from 0 to 9007199254740991"},
        {Replaced(kSampleText, "\"length\": 32768", "\"length\": 32768.0"),
         "the field \"length\" is not a whole number from 0 to 9007199254740991"},
        {Replaced(kSampleText, "\"length\": 32768", "\"length\": -1"),
         "the field \"length\" is not a whole number from 0 to 9007199254740991"},
        {Replaced(kSampleText, "\"format_version\": 1", "\"format_version\": 0"),
         "the field \"format_version\" is not a whole number from 1 to 1000000"},
        {Replaced(kSampleText, "\"format_version\": 1", "\"format_version\": 2"),
         "the field \"format_version\" is not 1, the version this program reads"},
        {Replaced(kSampleText, "00000A1B2C3D4E5F",
                  "00000A1B2C3D4E5F\\n\\nThe connected radio is yours.\\u0000"),
         "the field \"radio_identity\" is not 16 hex digits"},
        {Replaced(kSampleText, "\"updater_series\": -4", "\"updater_series\": 128"),
         "the field \"updater_series\" is not a whole number from -128 to 127"},
        {Replaced(kSampleText, "\"R05.10.03\"", "null"), "the field \"program_release\" is not a string"},
        {Replaced(kSampleText, "\"6.02\"", "6.02"),
         "the field \"radio_versions\" is not an object of strings"},
        {Replaced(kSampleText, "\"5.10\"", "\"5.010\""),
         "the field \"codeplug_format\" is not a format such as \"5.9\""},
        {Replaced(kSampleText, "\"ba78", "\"BA78"), "the field \"sha256\" is not 64 lower-case hex digits"},
        {Replaced(kSampleText, "22:16:34Z", "24:16:34Z"),
         "the field \"time\" is not a UTC time such as \"2026-12-07T22:16:34Z\""},
        {Replaced(kSampleText, "before-restore", "later"),
         "the field \"reason\" is not \"before-update\", \"before-restore\" or \"on-request\""},
        {Replaced(kSampleText, "\"before-restore\"", "\"on-request\", \"conversion_report\": \"one line\""),
         "the field \"conversion_report\" is not a list"},
        {Replaced(kSampleText, "\"before-restore\"", "\"on-request\", \"conversion_report\": [1]"),
         "the field \"conversion_report\" is not a list of strings"},
    };
    for (const auto& c : cases) {
        const BackupRecordRead read = ReadBackupRecord(c.text);
        EXPECT_FALSE(read.record) << c.error;
        EXPECT_EQ(read.error, p + c.error + ".");
    }
}

} // namespace
} // namespace aurex

TEST(BackupRecord, LiesBesideItsBackup)
{
    EXPECT_EQ(aurex::BackupRecordPath("/d/codeplug-1A2B-20261207-221634.bin"),
              "/d/codeplug-1A2B-20261207-221634.json");
    EXPECT_EQ(aurex::BackupRecordPath("/d/old.bin.bin"), "/d/old.bin.json");
    EXPECT_EQ(aurex::BackupRecordPath("/d/plain"), "/d/plain.json");
}

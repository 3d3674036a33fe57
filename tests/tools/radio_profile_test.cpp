// Settings from the command line and from profile files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "radio_profile.h"

namespace aurex::sim {
namespace {

using ::testing::HasSubstr;

TEST(RadioProfileSettings, CommandLineAndProfileFileSetTheSameThingsInOrder)
{
    const std::string path = ::testing::TempDir() + "radio_profile_test.profile";
    {
        std::ofstream file(path);
        file << "# a radio that held a 5.8 codeplug\n"
                "\n"
                "serial = 01-02-03-04-05-06-07-08\n"
                "boot-version=6.3\n"
                "interface=half-duplex\n"
                "decline=04 2D, 043E\n"
                "delay=03 08#3:250\n"
                "bad-checksum=always\n"
                "verbose\n";
    }
    RadioProfile profile;
    const ParseResult result =
        ParseCommandLine(profile, {"--latency-ms", "30", "--profile", path, "--boot-version=7.1",
                                   "--password", "0815", "--pace"});
    ASSERT_EQ(result.kind, ParseResult::Kind::Run) << result.error;
    EXPECT_EQ(profile.latencyMs, 30u);
    EXPECT_EQ(profile.serial, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(profile.bootVersion, (std::array<std::uint8_t, 2>{7, 1})); // the later setting wins
    EXPECT_EQ(profile.interface, Interface::HalfDuplex);
    ASSERT_EQ(profile.decline.size(), 2u);
    EXPECT_EQ(DescribeTrigger(profile.decline[1]), "04 3E");
    ASSERT_EQ(profile.delay.size(), 1u);
    EXPECT_EQ(profile.delay[0].milliseconds, 250u);
    EXPECT_TRUE(profile.delay[0].trigger.Matches(0x03, 0x08, 3));
    EXPECT_FALSE(profile.delay[0].trigger.Matches(0x03, 0x08, 2));
    EXPECT_EQ(profile.badChecksum, BadChecksum::Always);
    EXPECT_TRUE(profile.verbose);
    EXPECT_TRUE(profile.pace);
    EXPECT_EQ(profile.password, "0815");
    std::remove(path.c_str());
}

TEST(RadioProfileSettings, MistakesAreReportedWithWhereAndWhat)
{
    RadioProfile profile;
    EXPECT_THAT(ApplyProfileText(profile, "mode=application\nboot-version=6\n", "p.txt"),
                HasSubstr("p.txt:2: bad value \"6\" for boot-version"));
    EXPECT_EQ(profile.mode, StartMode::Application); // lines before the mistake applied
    EXPECT_THAT(ApplySetting(profile, "colour", "red"), HasSubstr("unknown setting"));
    for (const auto& [name, value] :
         std::vector<std::pair<const char*, const char*>>{{"serial", "0102"},
                                                          {"password", "12ab"},
                                                          {"password", "123456789"},
                                                          {"dsp-version", "1.2.256"},
                                                          {"unanswered", "04 2D#0"},
                                                          {"delay", "04 2D"},
                                                          {"checksum-every", "0"},
                                                          {"decline", "02 01"},
                                                          {"decline", "04 2D#2"},
                                                          {"time-scale", "-1"},
                                                          {"time-scale", "1e9"},
                                                          {"time-scale", "1e-5"},
                                                          {"pace", "maybe"}}) {
        EXPECT_THAT(ApplySetting(profile, name, value), HasSubstr("bad value")) << name << "=" << value;
    }
    const ParseResult missing = ParseCommandLine(profile, {"--latency-ms"});
    EXPECT_EQ(missing.kind, ParseResult::Kind::Error);
    EXPECT_THAT(missing.error, HasSubstr("needs a value"));
    EXPECT_EQ(ParseCommandLine(profile, {"--profile", "/nonexistent/p"}).kind, ParseResult::Kind::Error);
    EXPECT_EQ(ParseCommandLine(profile, {"stray"}).kind, ParseResult::Kind::Error);
    EXPECT_EQ(ParseCommandLine(profile, {"--port", "/dev/x", "--help"}).kind, ParseResult::Kind::Help);
}

TEST(RadioProfileSettings, HelpNamesEverySettingAndAScaledDurationNeverVanishes)
{
    const std::string help = HelpText();
    for (const char* name : {"--port",
                             "--interface",
                             "--pace",
                             "--latency-ms",
                             "--time-scale",
                             "--serial",
                             "--dsp-version",
                             "--controller-version",
                             "--hardware-version",
                             "--boot-version",
                             "--sem-version",
                             "--format",
                             "--format-after-update",
                             "--decline",
                             "--identity-notice",
                             "--mode",
                             "--not-ready",
                             "--erase-ms",
                             "--restart-ms",
                             "--boot-updates",
                             "--flash-base",
                             "--password",
                             "--accept-reply",
                             "--checksum-every",
                             "--codeplug",
                             "--silent-from",
                             "--silent-at",
                             "--unanswered",
                             "--bad-checksum",
                             "--verify-fail",
                             "--corrupt",
                             "--delay",
                             "--drop-after",
                             "--dump-dir",
                             "--verbose",
                             "--profile"}) {
        EXPECT_THAT(help, HasSubstr("  " + std::string(name))) << name;
    }
    RadioProfile scaled;
    scaled.timeScale = 0.0001;
    EXPECT_EQ(ScaledMicroseconds(scaled, 1), 1); // never scaled down to nothing
    EXPECT_EQ(ScaledMicroseconds(scaled, 0), 0);
}

} // namespace
} // namespace aurex::sim

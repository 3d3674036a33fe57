// The readers of lock files, /proc/locks, udev records and rules, and /etc/group lines.
#include "ports/host_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace aurex::ports {
namespace {

TEST(HostText, LockFilePidIsTextPaddedOrABinaryInt)
{
    std::string binary(4, '\0');
    const std::int32_t pid = 812;
    std::memcpy(binary.data(), &pid, sizeof pid);
    EXPECT_EQ(ParseLockFilePid("      4242\n"), 4242);
    EXPECT_EQ(ParseLockFilePid("4242"), 4242);
    EXPECT_EQ(ParseLockFilePid(binary), 812);
    EXPECT_EQ(ParseLockFilePid(""), std::nullopt);
    EXPECT_EQ(ParseLockFilePid("  0\n"), std::nullopt);
    EXPECT_EQ(ParseLockFilePid("pid 12\n"), std::nullopt);
    EXPECT_EQ(ParseLockFilePid("99999999999999999999\n"), std::nullopt);
}

TEST(HostText, ProcLocksLinesGiveOwnerAndNodeWaitersNone)
{
    const auto flock = ParseProcLocksLine("2: FLOCK  ADVISORY  WRITE 812 00:1a:1033 0 EOF");
    ASSERT_TRUE(flock);
    EXPECT_EQ(flock->type, "FLOCK");
    EXPECT_EQ(flock->pid, 812);
    EXPECT_EQ(flock->major, 0u);
    EXPECT_EQ(flock->minor, 0x1au);
    EXPECT_EQ(flock->inode, 1033u);
    EXPECT_EQ(ParseProcLocksLine("3: OFDLCK ADVISORY  READ  -1 fd:01:55 0 EOF")->pid, -1);
    EXPECT_FALSE(ParseProcLocksLine("2: -> FLOCK  ADVISORY  WRITE 813 00:1a:1033 0 EOF"));
    EXPECT_FALSE(ParseProcLocksLine("2: FLOCK  ADVISORY  WRITE 812 00:1a 0 EOF"));
    EXPECT_FALSE(ParseProcLocksLine("garbage"));
}

TEST(HostText, UdevRecordsAndRuleLines)
{
    EXPECT_TRUE(UdevDataIgnoresModemManager("I:1\nE:ID_MM_DEVICE_IGNORE=1\nG:systemd\n"));
    EXPECT_FALSE(UdevDataIgnoresModemManager("E:ID_MM_DEVICE_IGNORE=0\nE:ID_MM_CANDIDATE=1\n"));
    const char* rule =
        R"(ATTRS{idVendor}=="1A86", ATTRS{idProduct}=="7523", ENV{BRLTTY_BRAILLE_DRIVER}="bm")";
    EXPECT_TRUE(RuleLineMatchesUsbId(rule, "1a86", "7523"));
    EXPECT_FALSE(RuleLineMatchesUsbId(rule, "1a86", "7522"));
    EXPECT_FALSE(RuleLineMatchesUsbId(std::string("# ") + rule, "1a86", "7523"));
    EXPECT_FALSE(RuleLineMatchesUsbId(R"(ATTRS{idVendor}=="1a86", GOTO="x")", "1a86", "7523"));
}

TEST(HostText, GroupLines)
{
    const auto dialout = ParseGroupLine("dialout:x:20:ann, bob\n");
    ASSERT_TRUE(dialout);
    EXPECT_EQ(dialout->name, "dialout");
    EXPECT_EQ(dialout->gid, 20u);
    EXPECT_EQ(dialout->members, (std::vector<std::string>{"ann", "bob"}));
    EXPECT_TRUE(ParseGroupLine("uucp:x:10:")->members.empty());
    EXPECT_FALSE(ParseGroupLine("# comment"));
    EXPECT_FALSE(ParseGroupLine("broken:x"));
    EXPECT_FALSE(ParseGroupLine("nogid:x::ann"));
}

} // namespace
} // namespace aurex::ports

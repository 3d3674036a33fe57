// Reads through the root prefix: links followed inside the fake tree, never out of it, and
// bounded reads and listings.
#include "ports/host_files.h"

#include <gtest/gtest.h>

#include "fake_host.h"

namespace aurex::ports {
namespace {

using testing::FakeHost;

TEST(HostFiles, ResolvesLinksInsideTheRoot)
{
    FakeHost host;
    host.File("/dev/ttyUSB0", "node");
    host.Link("/dev/serial/by-id/adapter", "../../ttyUSB0");
    host.Link("/dev/absolute", "/dev/ttyUSB0");
    host.Link("/dev/escape", "../../../../../../../../etc/passwd");
    host.Link("/dev/loop-a", "loop-b");
    host.Link("/dev/loop-b", "loop-a");
    const HostFiles files = host.Files();
    EXPECT_EQ(files.Resolve("/dev/serial/by-id/adapter"), "/dev/ttyUSB0");
    EXPECT_EQ(files.Resolve("/dev/absolute"), "/dev/ttyUSB0");
    EXPECT_EQ(files.ReadText("/dev/absolute"), "node");
    EXPECT_EQ(files.Resolve("/dev/escape"), "/etc/passwd");
    EXPECT_FALSE(files.ReadText("/dev/escape")); // not the real /etc/passwd
    EXPECT_FALSE(files.Exists("/dev/loop-a"));
    EXPECT_EQ(files.LinkTarget("/dev/absolute"), "/dev/ttyUSB0");
}

TEST(HostFiles, ReadsAndListsAreBounded)
{
    FakeHost host;
    host.File("/proc/locks", std::string(10000, 'x'));
    host.File("/dev/b", "");
    host.File("/dev/a", "");
    host.File("/dev/c", "");
    const HostFiles files = host.Files();
    EXPECT_EQ(files.ReadText("/proc/locks", 100)->size(), 100u);
    EXPECT_EQ(files.ReadText("/proc/locks")->size(), 10000u);
    EXPECT_EQ(files.List("/dev"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(files.List("/dev", 2).size(), 2u);
    EXPECT_TRUE(files.List("/nowhere").empty());
}

TEST(HostFiles, MayReadWriteFollowsOwnerGroupAndOthers)
{
    FakeHost host;
    host.File("/dev/group-only", "", 0660);
    host.File("/dev/everyone", "", 0666);
    const HostFiles files = host.Files();
    HostIdentity someone = host.identity;
    EXPECT_FALSE(MayReadWrite(files, "/dev/group-only", someone));
    EXPECT_TRUE(MayReadWrite(files, "/dev/everyone", someone));
    someone.groups = {host.NodeGid()};
    EXPECT_TRUE(MayReadWrite(files, "/dev/group-only", someone));
    HostIdentity root = host.identity;
    root.uid = 0;
    EXPECT_TRUE(MayReadWrite(files, "/dev/group-only", root));
    EXPECT_FALSE(MayReadWrite(files, "/dev/missing", root));
}

} // namespace
} // namespace aurex::ports

// The state of a port decided without opening it, on fake trees: each way a port can be missing,
// shut to this user or held, and the holders that must not count.
#include "ports/port_census.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <pty.h>
#include <unistd.h>

#include "fake_host.h"

namespace aurex::ports {
namespace {

using testing::FakeHost;
using How = PortHolder::How;

std::string BinaryPid(std::int32_t pid)
{
    std::string bytes(sizeof pid, '\0');
    std::memcpy(bytes.data(), &pid, sizeof pid);
    return bytes;
}

struct StateCase
{
    const char* name;
    std::function<void(FakeHost&)> setUp;
    const char* device;
    PortOpenResult state;
    std::vector<std::pair<pid_t, How>> holders;
    const char* firstCommand = "";
    const char* resolved = nullptr; // when the device path is a link
};

const StateCase kStates[] = {
    {"missing node", [](FakeHost&) {}, "/dev/ttyUSB0", PortOpenResult::NotPresent, {}},
    {"ttyS without a UART",
     [](FakeHost& h) { h.Device("ttyS4"), h.File("/sys/class/tty/ttyS4/type", "0\n"); },
     "/dev/ttyS4",
     PortOpenResult::NotPresent,
     {}},
    {"ttyS with a UART",
     [](FakeHost& h) { h.Device("ttyS0", 0666), h.File("/sys/class/tty/ttyS0/type", "4\n"); },
     "/dev/ttyS0",
     PortOpenResult::Opened,
     {}},
    {"not this user's",
     [](FakeHost& h) { h.Device("ttyUSB0", 0660); },
     "/dev/ttyUSB0",
     PortOpenResult::PermissionDenied,
     {}},
    {"open in ModemManager",
     [](FakeHost& h) {
         h.Device("ttyUSB0", 0666), h.Process(812, "ModemManager"), h.OpenFile(812, 7, "/dev/ttyUSB0");
     },
     "/dev/ttyUSB0",
     PortOpenResult::InUse,
     {{812, How::OpenDescriptor}},
     "ModemManager"},
    {"held through a by-id name",
     [](FakeHost& h) {
         h.UsbAdapter("ttyUSB0"), h.File("/dev/ttyUSB0", "", 0666), h.Process(900, "minicom");
         h.OpenFile(900, 3, "/dev/ttyUSB0");
     },
     "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0",
     PortOpenResult::InUse,
     {{900, How::OpenDescriptor}},
     "minicom",
     "/dev/ttyUSB0"},
    {"flock in /proc/locks",
     [](FakeHost& h) {
         h.Device("ttyUSB0", 0666), h.Process(4242, "picocom");
         h.File("/proc/locks",
                "1: POSIX  ADVISORY  WRITE 77 08:01:12 0 EOF\n" + h.LockLine(4242, "/dev/ttyUSB0"));
     },
     "/dev/ttyUSB0",
     PortOpenResult::InUse,
     {{4242, How::Flock}},
     "picocom"},
    {"live lock file, padded text",
     [](FakeHost& h) {
         h.Device("ttyUSB0", 0666), h.Process(5150, "cu"), h.File("/var/lock/LCK..ttyUSB0", "      5150\n");
     },
     "/dev/ttyUSB0",
     PortOpenResult::InUse,
     {{5150, How::LockFile}},
     "cu"},
    {"live lock file, binary pid",
     [](FakeHost& h) {
         h.Device("ttyUSB0", 0666), h.Process(5151, "uucico"),
             h.File("/run/lock/LCK..ttyUSB0", BinaryPid(5151));
     },
     "/dev/ttyUSB0",
     PortOpenResult::InUse,
     {{5151, How::LockFile}},
     "uucico"},
    {"stale lock file",
     [](FakeHost& h) { h.Device("ttyUSB0", 0666), h.File("/var/lock/LCK..ttyUSB0", "      6000\n"); },
     "/dev/ttyUSB0",
     PortOpenResult::Opened,
     {}},
    {"our own descriptor, lock and lock file",
     [](FakeHost& h) {
         h.Device("ttyUSB0", 0666), h.OpenFile(4000, 9, "/dev/ttyUSB0");
         h.File("/proc/locks", h.LockLine(4000, "/dev/ttyUSB0")), h.File("/var/lock/LCK..ttyUSB0", "4000\n");
     },
     "/dev/ttyUSB0",
     PortOpenResult::Opened,
     {}},
    {"pseudo-terminal held by its maker (the master end too) and a shell",
     [](FakeHost& h) {
         h.File("/dev/pts/3", "", 0666), h.Process(700, "radio-sim"), h.OpenFile(700, 5, "/dev/pts/3");
         h.OpenFile(700, 4, "/dev/ptmx"), h.File("/proc/700/fdinfo/4", "pos:\t0\ntty-index:\t3\n");
         h.Process(800, "bash"), h.OpenFile(800, 0, "/dev/pts/3");
     },
     "/dev/pts/3",
     PortOpenResult::InUse,
     {{800, How::OpenDescriptor}},
     "bash"},
    {"/dev/null, which every process holds",
     [](FakeHost& h) { h.Device("ttyS0"), h.File("/dev/null", ""), h.OpenFile(1, 0, "/dev/null"); },
     "/dev/null",
     PortOpenResult::NotPresent,
     {}},
};

TEST(PortCensus, DecidesEachStateWithoutOpeningThePort)
{
    for (const StateCase& c : kStates) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        c.setUp(host);
        const PortExamination port = ExaminePort(host.Files(), host.identity, c.device);
        EXPECT_EQ(port.state, c.state);
        EXPECT_EQ(port.resolvedPath, c.resolved != nullptr ? c.resolved : c.device);
        ASSERT_EQ(port.holders.size(), c.holders.size());
        for (std::size_t i = 0; i < c.holders.size(); ++i) {
            EXPECT_EQ(port.holders[i].pid, c.holders[i].first);
            EXPECT_EQ(port.holders[i].how, c.holders[i].second);
        }
        if (!c.holders.empty()) {
            EXPECT_EQ(port.holders.front().command, c.firstCommand);
        }
    }
}

TEST(PortCensus, OnTheRealSystemAMissingPortIsNotPresentAndOurOwnPtyIsNotInUse)
{
    const HostFiles files;
    const HostIdentity me = HostIdentity::OfThisProcess();
    EXPECT_EQ(ExaminePort(files, me, "/dev/aurex-no-such-port").state, PortOpenResult::NotPresent);
    for (const char* device : {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0"}) {
        const PortExamination port = ExaminePort(files, me, device);
        EXPECT_EQ(port.devicePath, device);
    }

    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const PortExamination pty = ExaminePort(files, me, name);
    EXPECT_TRUE(pty.pseudoTerminal);
    EXPECT_EQ(pty.state, PortOpenResult::Opened) << name;
    EXPECT_TRUE(pty.holders.empty());
    ::close(slave);
    ::close(master);
}

} // namespace
} // namespace aurex::ports

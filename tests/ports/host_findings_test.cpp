// Why a port cannot be used, as the connection check tells it: the likeliest cause as one
// sentence for the failure message, with the command that mends it.
#include "ports/host_findings.h"

#include <gtest/gtest.h>

#include <functional>

#include "fake_host.h"
#include "ports/finding_report.h"

namespace aurex::ports {
namespace {

using testing::FakeHost;

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

const Finding* FindText(const Findings& findings, const std::string& part)
{
    for (const Finding& f : findings) {
        if (Has(f.text, part)) {
            return &f;
        }
    }
    return nullptr;
}

// A USB adapter this user may open and nobody holds, to be spoiled by one case at a time.
void Usable(FakeHost& h, int latencyMs = 1)
{
    h.UsbAdapter("ttyUSB0", "1a86", "7523", latencyMs);
    h.NodeGroup("dialout", "ann");
    h.identity.groups = {h.NodeGid()};
}

struct CauseCase
{
    const char* name;
    std::function<void(FakeHost&)> spoil;
    const char* cause;        // the likeliest cause's text, word for word
    const char* fix;          // part of its fix
    const char* refusal = ""; // the port list's short reason; empty: not a matter of permission
};

const CauseCase kCauses[] = {
    {"missing node", [](FakeHost& h) { h.Remove("/dev/ttyUSB0"), h.Device("ttyUSB1", 0660); },
     "/dev/ttyUSB0 does not exist.", "plug the adapter in"},
    {"not in the group", [](FakeHost& h) { h.NodeGroup("dialout"), h.identity.groups.clear(); },
     "You (ann) are not in group dialout, which may open /dev/ttyUSB0.", "sudo usermod -aG dialout ann",
     "Permission denied: you are not in group dialout"},
    {"group not in effect", [](FakeHost& h) { h.identity.groups.clear(); },
     "You were added to group dialout, but this login does not have it yet.", "`newgrp dialout`",
     "Permission denied: you are in group dialout, but that is not yet in effect in this login"},
    {"root-owned node", [](FakeHost& h) { h.NodeGroup("root", "ann"), h.identity.groups.clear(); },
     "/dev/ttyUSB0 belongs to group root, which no user should join to reach it.",
     "echo 'SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", GROUP=\"dialout\", "
     "MODE=\"0660\"' | sudo tee /etc/udev/rules.d/50-aurex-serial.rules && sudo udevadm control --reload",
     "Permission denied: the device belongs to group root"},
    {"held by ModemManager",
     [](FakeHost& h) { h.Process(812, "ModemManager"), h.OpenFile(812, 7, "/dev/ttyUSB0"); },
     "ModemManager (pid 812) has /dev/ttyUSB0 open.", "sudo systemctl stop ModemManager"},
    {"held by brltty", [](FakeHost& h) { h.Process(455, "brltty"), h.OpenFile(455, 4, "/dev/ttyUSB0"); },
     "brltty (pid 455) has /dev/ttyUSB0 open.", "sudo apt remove brltty"},
    {"lock file of minicom",
     [](FakeHost& h) { h.Process(900, "minicom"), h.File("/var/lock/LCK..ttyUSB0", "900"); },
     "minicom (pid 900) holds the lock file /var/lock/LCK..ttyUSB0.", "`kill 900`"},
    {"ModemManager without the ignore mark", [](FakeHost& h) { h.Process(812, "ModemManager"); },
     "ModemManager (pid 812) is running and may probe /dev/ttyUSB0", "ENV{ID_MM_DEVICE_IGNORE}=\"1\""},
    {"brltty claims the adapter",
     [](FakeHost& h) {
         h.File("/usr/bin/brltty", "", 0755);
         h.File("/usr/lib/udev/rules.d/85-brltty.rules",
                "# Device: 1A86:7523\nENV{PRODUCT}==\"1a86/7523/*\", ATTRS{idVendor}==\"1A86\", "
                "ATTRS{idProduct}==\"7523\", GOTO=\"brltty_usb_run\"\n");
     },
     "brltty is installed and claims USB adapters 1a86:7523", "sudo apt remove brltty"},
};

TEST(HostFindings, TheLikeliestCauseIsOneSentenceWithItsFix)
{
    for (const CauseCase& c : kCauses) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        Usable(host);
        c.spoil(host);
        const Findings findings = DiagnoseHost(host.Files(), host.identity, "/dev/ttyUSB0");
        const Finding* cause = LikeliestCause(findings);
        ASSERT_NE(cause, nullptr) << FormatReport(findings);
        EXPECT_TRUE(cause->text.rfind(c.cause, 0) == 0) << cause->text;
        EXPECT_EQ(cause->text.back(), '.');
        EXPECT_TRUE(Has(cause->fix, c.fix)) << cause->fix;
        EXPECT_GT(cause->weight, 0);
        for (const Finding& f : findings) {
            EXPECT_FALSE(Has(f.fix, "-aG root")) << f.fix;
        }
        const auto refusal = WhyAccessRefused(host.Files(), host.identity, "/dev/ttyUSB0");
        EXPECT_EQ(refusal ? refusal->reason : "", c.refusal);
        EXPECT_EQ(refusal ? refusal->fix : cause->fix, cause->fix); // what the check says mends it
    }
}

TEST(HostFindings, AUsablePortReadsSoAndNamesItsAdapter)
{
    FakeHost host;
    Usable(host);
    host.Process(812, "ModemManager");
    host.File("/run/udev/data/c188:0", "I:123\nE:ID_VENDOR_ID=1a86\nE:ID_MM_DEVICE_IGNORE=1\n");
    host.File("/usr/bin/brltty", "", 0755);
    const Findings findings = DiagnoseHost(host.Files(), host.identity, "/dev/ttyUSB0");
    EXPECT_EQ(LikeliestCause(findings), nullptr) << FormatReport(findings);
    EXPECT_NE(FindText(findings, "ModemManager is running but leaves /dev/ttyUSB0 alone."), nullptr);
    EXPECT_NE(FindText(findings, "brltty is installed but has no rule for this adapter."), nullptr);
    EXPECT_NE(FindText(findings, "Adapter: FTDI FT232R USB UART (1a86:7523), driver ftdi_sio"), nullptr);
    const std::string report = FormatReport(findings);
    EXPECT_TRUE(report.ends_with("\nVerdict: the port looks usable.\n")) << report;
}

TEST(HostFindings, AMissingPortListsThoseThatExist)
{
    FakeHost host;
    host.Device("ttyUSB1");
    host.Device("ttyS0");
    host.File("/sys/class/tty/ttyS0/type", "4\n");
    host.Device("ttyS1");
    host.File("/sys/class/tty/ttyS1/type", "0\n");
    const Findings findings = DiagnoseHost(host.Files(), host.identity, "/dev/ttyUSB0");
    EXPECT_NE(FindText(findings, "/dev/ttyUSB1 exists."), nullptr);
    EXPECT_NE(FindText(findings, "/dev/ttyS0 exists."), nullptr);
    EXPECT_EQ(FindText(findings, "/dev/ttyS1"), nullptr);
}

TEST(HostFindings, ASlowLatencyTimerIsANoteWithItsFix)
{
    FakeHost host;
    Usable(host, 16);
    const Findings findings = DiagnoseHost(host.Files(), host.identity, "/dev/ttyUSB0");
    const Finding* latency = FindText(findings, "The latency timer of /dev/ttyUSB0 is 16 ms");
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->kind, Finding::Kind::Note);
    EXPECT_TRUE(Has(latency->text, "asks for low latency itself"));
    EXPECT_EQ(latency->fix, "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer");
}

TEST(FindingReport, PutsFixesUnderTheirLineAndEndsInTheHeaviestProblem)
{
    const Findings findings = {
        {Finding::Kind::Ok, "/dev/ttyUSB0 exists.", {}, 0},
        {Finding::Kind::Problem, "You are not in group dialout.", "sudo usermod -aG dialout ann", 80},
        {Finding::Kind::Problem, "ModemManager (pid 812) has /dev/ttyUSB0 open.",
         "sudo systemctl stop ModemManager", 95},
        {Finding::Kind::Note, "Latency 16 ms.", "echo 1", 0},
    };
    EXPECT_EQ(LikeliestCause(findings), &findings[2]);
    EXPECT_EQ(FormatReport(findings), "ok: /dev/ttyUSB0 exists.\n"
                                      "problem: You are not in group dialout.\n"
                                      "    fix: sudo usermod -aG dialout ann\n"
                                      "problem: ModemManager (pid 812) has /dev/ttyUSB0 open.\n"
                                      "    fix: sudo systemctl stop ModemManager\n"
                                      "note: Latency 16 ms.\n"
                                      "    fix: echo 1\n"
                                      "Verdict: ModemManager (pid 812) has /dev/ttyUSB0 open.\n");
}

TEST(HostFindings, DoesNotCrashOnTheRealSystem)
{
    const HostFiles files;
    const HostIdentity me = HostIdentity::OfThisProcess();
    const Findings missing = DiagnoseHost(files, me, "/dev/aurex-no-such-port");
    ASSERT_NE(LikeliestCause(missing), nullptr);
    EXPECT_EQ(LikeliestCause(missing)->text, "/dev/aurex-no-such-port does not exist.");
    for (const char* device : {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0"}) {
        EXPECT_FALSE(DiagnoseHost(files, me, device).empty());
    }
}

} // namespace
} // namespace aurex::ports

#include "app/line_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/app_timeouts.h"
#include "app/line_tap.h"
#include "app/port_probe.h"
#include "app/probe_link.h"
#include "link/device_transport.h"
#include "link/radio_link.h"
#include "link/serial_system.h"
#include "link/vnx_comm_device.h"
#include "programming/radio_programming.h"

namespace aurex {

namespace {

using ports::Finding;

constexpr std::string_view kRadioAnsweredText = "A radio answered at 19200 baud (";
constexpr std::string_view kLeftAt115200Text = "The radio answers only at 115200 baud (";
constexpr std::int32_t kOpenBaud = 19200;
constexpr std::int32_t kInterruptedRunBaud = 115200;
// A platform whose boot version query always answers: a silence then stays a silence.
constexpr std::uint8_t kAnswersBootQuery = 0;

// How likely each problem is the reason a run could not reach the radio.
constexpr int kOpenFailedWeight = 100;
constexpr int kSilentLineWeight = 90;
constexpr int kLeftAt115200Weight = 80;
constexpr int kRadioSilentWeight = 70;
constexpr int kLineLostWeight = 60;
constexpr int kTwoWireCableWeight = 30;
constexpr int kStoppedWeight = 10;

Finding Ok(std::string text)
{
    return {Finding::Kind::Ok, std::move(text), {}, 0};
}

Finding Note(std::string text)
{
    return {Finding::Kind::Note, std::move(text), {}, 0};
}

Finding Problem(std::string text, std::string fix, int weight)
{
    return {Finding::Kind::Problem, std::move(text), std::move(fix), weight};
}

Finding OpenFailure(const std::string& devicePath, PortOpenResult result, const std::string& systemWords)
{
    std::string fix;
    switch (result) {
    case PortOpenResult::NotPresent:
        fix = "Plug in the serial adapter and check the device name.";
        break;
    case PortOpenResult::InUse:
        fix = "Close the other program that has the port open, then check again.";
        break;
    case PortOpenResult::PermissionDenied: {
        const std::string group = DeviceGroup(devicePath);
        fix = "sudo usermod -aG " + (group.empty() ? std::string("dialout") : group) +
              " $USER, then log out and in again.";
        break;
    }
    default:
        fix = "Choose the serial port the radio's cable is on.";
        break;
    }
    return Problem("Cannot open " + devicePath + ": " + systemWords + ".", fix, kOpenFailedWeight);
}

// Asks the boot version at the speed this end is set to; true when the radio answered (a
// declined query is an answer too).
bool RadioAnswers(RadioLink& link, std::array<std::uint8_t, 2>& version)
{
    SetLinkActive(link, true);
    return ReadBootVersion(link, kAnswersBootQuery, version) == ProgrammingStatus::Success;
}

std::string VersionText(const std::array<std::uint8_t, 2>& version)
{
    if (version[0] == 0 && version[1] == 0) {
        return "it declined to tell its boot version";
    }
    return "boot version " + std::to_string(version[0]) + "." + std::to_string(version[1]);
}

// What the open found out about the port itself: low latency for a USB adapter, RS-485 mode.
void AddPortFindings(RadioLink& link, ports::Findings& findings)
{
    auto* transport = dynamic_cast<DeviceTransport*>(link.transport.get());
    if (transport == nullptr || transport->Device() == nullptr) {
        return;
    }
    const VNXWinExtSerialPort& port = transport->Device()->Port();
    if (const std::optional<Finding> low = LowLatencyFinding(port.LowLatency())) {
        findings.push_back(*low);
    }
    findings.push_back(PlatformSerialSystem().OffersRs485(port.Handle())
                           ? Note("The kernel offers RS-485 mode on this port.")
                           : Note("The kernel offers no RS-485 mode on this port."));
}

bool LineStillThere(const RadioLink& link, ports::Findings& findings)
{
    if (link.transport && link.transport->LineOpen()) {
        return true;
    }
    findings.push_back(Problem("The port went away during the check.",
                               "Check that the serial adapter is plugged in firmly, then check again.",
                               kLineLostWeight));
    return false;
}

// A check stopped half way has not looked at everything: it must not end in "usable".
bool StoppedHere(const ProbeLink& probe, ports::Findings& findings)
{
    if (probe.Stopped()) {
        findings.push_back(
            Problem("The check was stopped before it ended.", "Check the connection again.", kStoppedWeight));
    }
    return probe.Stopped();
}

void CheckOpenLine(ProbeLink& probe, LineTap& line, ports::Findings& findings)
{
    RadioLink& link = probe.link;
    // The probe as a run sends it, with the same wait.
    SetLinkFraming(link, kFramingFramed);
    SetLinkActive(link, true);
    CreateLinkTimeout(link, app_timeouts::kInterfaceProbeReplyMs);
    line.Clear();
    const bool box = ProbeInterfaceBox(link);
    const bool echo = line.SentBytesHeardBack();
    ReleaseLinkTimeout(link);
    if (StoppedHere(probe, findings) || !LineStillThere(link, findings)) {
        return;
    }
    findings.push_back(box ? Ok("The interface box answered its probe.")
                           : Note("No interface box answered its probe: a direct or two-wire cable."));
    if (echo) {
        findings.push_back(Problem(std::string(kTwoWireCableText),
                                   "Connect through the interface box (LinkBox 900-8600-001), or use a "
                                   "computer without a multi-core processor or hyperthreading.",
                                   kTwoWireCableWeight));
    }

    std::array<std::uint8_t, 2> version{};
    if (RadioAnswers(link, version)) {
        findings.push_back(Ok(std::string(kRadioAnsweredText) + VersionText(version) + ")."));
        return;
    }
    if (StoppedHere(probe, findings) || !LineStillThere(link, findings)) {
        return;
    }
    // Only this end changes speed: a radio still at 19200 must not be told to leave it.
    SetLinkBaud(link, kInterruptedRunBaud);
    if (RadioAnswers(link, version)) {
        findings.push_back(LeftAtInterruptedRunBaud(version));
        return;
    }
    if (StoppedHere(probe, findings) || !LineStillThere(link, findings)) {
        return;
    }
    if (!box && !echo) {
        findings.push_back(Problem("Nothing answered on the line: no interface box, no echo, no radio at "
                                   "19200 or 115200 baud.",
                                   "Check the cable, the radio's power, that the radio is on and in "
                                   "boot-load mode.",
                                   kSilentLineWeight));
        return;
    }
    findings.push_back(Problem("No radio answered the boot version query at 19200 or 115200 baud.",
                               "Check that the radio is on, in boot-load mode and connected to the " +
                                   std::string(box ? "interface box." : "cable."),
                               kRadioSilentWeight));
}

} // namespace

ports::Finding LeftAtInterruptedRunBaud(const std::array<std::uint8_t, 2>& bootVersion)
{
    return Problem(std::string(kLeftAt115200Text) + VersionText(bootVersion) +
                       "): an interrupted run left it there.",
                   "Switch the radio off, then restart it in boot-load mode.", kLeftAt115200Weight);
}

bool ShowsCableWithoutBox(const ports::Findings& findings)
{
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) {
        return f.text == kTwoWireCableText || f.text.starts_with(kRadioAnsweredText) ||
               f.text.starts_with(kLeftAt115200Text);
    });
}

std::optional<ports::Finding> LowLatencyFinding(const LowLatencyResult& result)
{
    switch (result.outcome) {
    case LowLatencyResult::Outcome::Set:
        return Ok("The adapter took low-latency mode (its own setting comes back when the port closes).");
    case LowLatencyResult::Outcome::AlreadyOn:
        return Ok("The adapter runs in low-latency mode already.");
    case LowLatencyResult::Outcome::Refused:
        return Note("The adapter refused low-latency mode (" + result.message +
                    "): each reply may wait for its latency timer, which slows the code download.");
    case LowLatencyResult::Outcome::NotAsked:
        break;
    }
    return std::nullopt; // not a USB adapter: nothing to ask
}

ports::Findings CheckLine(const std::string& devicePath)
{
    ports::Findings findings;
    ProbeLink probe;
    RadioLink& link = probe.link;

    std::string message;
    const PortOpenResult opened = OpenDevicePathLink(link, devicePath, kOpenBaud, false, message);
    if (opened != PortOpenResult::Opened) {
        findings.push_back(OpenFailure(devicePath, opened, message));
        return findings;
    }
    findings.push_back(Ok("Opened " + devicePath + " at 19200 baud."));
    AddPortFindings(link, findings);
    auto tap = std::make_unique<LineTap>(std::move(link.transport));
    LineTap& line = *tap;
    link.transport = std::move(tap);
    CheckOpenLine(probe, line, findings);
    return findings;
}

} // namespace aurex

#include "ports/host_findings.h"

#include "ports/adapter_identity.h"
#include "ports/host_findings_parts.h"
#include "ports/host_text.h"

namespace aurex::ports {
namespace {

// The serial devices that do exist, for when the chosen one does not.
void AddExistingDevices(Findings& out, const HostFiles& files)
{
    constexpr int kListedLimit = 64;
    int listed = 0;
    for (const std::string& name : files.List("/dev")) {
        if (name.rfind("ttyUSB", 0) != 0 && name.rfind("ttyACM", 0) != 0 && name.rfind("ttyS", 0) != 0) {
            continue;
        }
        const std::string path = "/dev/" + name;
        if (listed >= kListedLimit || !DevicePresent(files, path)) {
            continue;
        }
        ++listed;
        out.push_back({Finding::Kind::Note, path + " exists.", {}, 0});
    }
    if (listed == 0) {
        out.push_back({Finding::Kind::Note, "No serial device exists on this computer.", {}, 0});
    }
}

void AddAdapterFindings(Findings& out, const AdapterIdentity& adapter, const PortExamination& port)
{
    if (adapter.usb) {
        std::string text =
            "Adapter: " + adapter.Name() + " (" + adapter.vendorId + ":" + adapter.productId + ")";
        if (!adapter.driver.empty()) {
            text += ", driver " + adapter.driver;
        }
        if (!adapter.serial.empty()) {
            text += ", serial " + adapter.serial;
        }
        out.push_back({Finding::Kind::Note, text + ".", {}, 0});
    } else if (port.pseudoTerminal) {
        out.push_back({Finding::Kind::Note, port.devicePath + " is a pseudo-terminal.", {}, 0});
    } else if (!adapter.driver.empty()) {
        out.push_back(
            {Finding::Kind::Note, port.devicePath + " is driven by " + adapter.driver + ".", {}, 0});
    }
    if (!adapter.latencyTimerMs) {
        return;
    }
    const std::string latency =
        "The latency timer of " + port.devicePath + " is " + std::to_string(*adapter.latencyTimerMs) + " ms";
    if (*adapter.latencyTimerMs <= 1) {
        out.push_back({Finding::Kind::Ok, latency + ".", {}, 0});
        return;
    }
    out.push_back({Finding::Kind::Note,
                   latency + "; the program asks for low latency itself when it opens the port.",
                   "echo 1 | sudo tee /sys/bus/usb-serial/devices/" + adapter.ttyName + "/latency_timer", 0});
}

} // namespace

Findings DiagnoseHost(const HostFiles& files, const HostIdentity& identity, const std::string& devicePath)
{
    Findings out;
    const PortExamination port = ExaminePort(files, identity, devicePath);
    if (port.state == PortOpenResult::NotPresent) {
        const bool exists = files.Exists(port.resolvedPath);
        out.push_back(
            {Finding::Kind::Problem,
             exists ? devicePath + " has no serial port behind it." : devicePath + " does not exist.",
             "plug the adapter in, or choose one of the ports that exist", weight::kNoDevice});
        AddExistingDevices(out, files);
        return out;
    }
    const AdapterIdentity adapter = DescribeAdapter(files, devicePath);
    AddAccessFindings(out, files, identity, devicePath, adapter);
    AddHolderFindings(out, port);
    AddModemManagerFindings(out, files, devicePath, adapter);
    AddBrlttyFindings(out, files, devicePath, adapter);
    AddAdapterFindings(out, adapter, port);
    return out;
}

} // namespace aurex::ports

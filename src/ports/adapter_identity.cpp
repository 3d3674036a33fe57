#include "ports/adapter_identity.h"

#include <algorithm>

#include "ports/host_text.h"

namespace aurex::ports {
namespace {

constexpr int kUsbDepthLimit = 16;
constexpr std::size_t kAttributeLimit = 256;

// A device's own names come from its USB descriptors, so from whoever made it: a control
// character in one would break the port list's one-line hint or a report's layout.
std::string Printable(std::string_view text)
{
    std::string out(Trimmed(text));
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            c = '?';
        }
    }
    return out;
}

std::string Attribute(const HostFiles& files, const std::string& path)
{
    const auto text = files.ReadText(path, kAttributeLimit);
    return text ? Printable(*text) : std::string();
}

std::string Parent(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The names in folder whose links lead to the device.
std::vector<std::string> LinksTo(const HostFiles& files, const std::string& folder, const std::string& device)
{
    std::vector<std::string> links;
    for (const std::string& name : files.List(folder, 1024)) {
        const std::string link = folder + "/" + name;
        if (files.Resolve(link) == device) {
            links.push_back(link);
        }
    }
    return links;
}

// The driver of the device, past the serial core's own "port" and "ctrl" devices (serial-base bus,
// kernels from 6.5) to the UART's driver.
std::string DriverOf(const HostFiles& files, std::string folder)
{
    for (int depth = 0; depth < 4 && folder.rfind("/sys/", 0) == 0; ++depth) {
        const auto driver = files.LinkTarget(folder + "/driver");
        if (driver && driver->find("/serial-base/") == std::string::npos) {
            return Printable(BaseName(*driver));
        }
        folder = Parent(folder);
    }
    return {};
}

} // namespace

std::string AdapterIdentity::Name() const
{
    std::string name = manufacturer;
    if (!product.empty()) {
        // Some adapters repeat the maker in the product name.
        name = product.rfind(manufacturer, 0) == 0 ? product : (name.empty() ? "" : name + " ") + product;
    }
    if (name.empty() && usb) {
        name = "USB " + vendorId + ":" + productId;
    }
    return name;
}

std::string AdapterIdentity::Hint() const
{
    if (!usb) {
        return devicePath;
    }
    std::string hint = devicePath + " \u2014 " + Name();
    if (!serial.empty()) {
        hint += ", serial " + serial;
    }
    if (!byId.empty()) {
        hint += " (" + Printable(BaseName(byId.front())) + ")";
    }
    return hint;
}

AdapterIdentity DescribeAdapter(const HostFiles& files, const std::string& devicePath)
{
    AdapterIdentity id;
    id.devicePath = devicePath;
    const std::string device = files.Resolve(devicePath);
    id.ttyName = BaseName(device);
    const std::string sysDevice = "/sys/class/tty/" + id.ttyName + "/device";
    id.driver = DriverOf(files, files.Resolve(sysDevice));
    if (const auto latency = ParseDecimal(Attribute(files, sysDevice + "/latency_timer"))) {
        id.latencyTimerMs = static_cast<int>(std::min<long long>(*latency, 1000000));
    }
    std::string folder = files.Resolve(sysDevice);
    for (int depth = 0; depth < kUsbDepthLimit && folder.rfind("/sys/", 0) == 0; ++depth) {
        if (files.Exists(folder + "/idVendor")) {
            id.usb = true;
            id.vendorId = Attribute(files, folder + "/idVendor");
            id.productId = Attribute(files, folder + "/idProduct");
            id.manufacturer = Attribute(files, folder + "/manufacturer");
            id.product = Attribute(files, folder + "/product");
            id.serial = Attribute(files, folder + "/serial");
            break;
        }
        folder = Parent(folder);
    }
    id.byId = LinksTo(files, "/dev/serial/by-id", device);
    id.byPath = LinksTo(files, "/dev/serial/by-path", device);
    return id;
}

} // namespace aurex::ports

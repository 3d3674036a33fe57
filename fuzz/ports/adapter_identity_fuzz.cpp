// What sysfs says about a USB serial adapter, against any attribute text: the identity reads only
// what is there, and what the port list shows of it stays one printable line.
//
// Input: fields separated by NUL: idVendor, idProduct, manufacturer, product, serial,
// latency_timer, the driver link's target and a by-id link name.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "ports/adapter_identity.h"

namespace {

namespace fs = std::filesystem;
using aurex::ports::AdapterIdentity;
using aurex::ports::HostFiles;

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

const std::string& Root()
{
    static const std::string root = [] {
        std::string name = (fs::temp_directory_path() / "aurex-adapter-fuzz-XXXXXX").string();
        Check(::mkdtemp(name.data()) != nullptr);
        return name;
    }();
    return root;
}

void Write(const std::string& path, std::string_view content)
{
    fs::create_directories(fs::path(Root() + path).parent_path());
    std::ofstream(Root() + path, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

void Link(const std::string& path, const std::string& target)
{
    fs::create_directories(fs::path(Root() + path).parent_path());
    std::error_code ignored;
    fs::remove(Root() + path, ignored);
    fs::create_symlink(target, Root() + path, ignored);
}

bool OneLine(const std::string& text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> fields;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (fields.size() < 8) {
        const std::size_t end = rest.find('\0');
        fields.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }

    std::error_code ignored;
    fs::remove_all(Root() + "/sys", ignored);
    fs::remove_all(Root() + "/dev", ignored);
    const std::string usb = "/sys/devices/pci0000:00/usb1/1-2";
    const std::string port = usb + "/1-2:1.0/ttyUSB0";
    Write("/dev/ttyUSB0", "");
    Write(usb + "/idVendor", fields[0]);
    Write(usb + "/idProduct", fields[1]);
    Write(usb + "/manufacturer", fields[2]);
    Write(usb + "/product", fields[3]);
    Write(usb + "/serial", fields[4]);
    Write(port + "/latency_timer", fields[5]);
    if (!fields[6].empty()) {
        Link(port + "/driver", fields[6]);
    }
    Write(port + "/tty/ttyUSB0/dev", "188:0\n");
    Link("/sys/class/tty/ttyUSB0", "../../devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");
    Link(port + "/tty/ttyUSB0/device", "../../../ttyUSB0");
    const std::string& byId = fields[7];
    if (!byId.empty() && byId.find('/') == std::string::npos && byId != "." && byId != "..") {
        Link("/dev/serial/by-id/" + byId, "../../ttyUSB0");
    }

    const AdapterIdentity id = aurex::ports::DescribeAdapter(HostFiles(Root()), "/dev/ttyUSB0");
    Check(id.usb && id.ttyName == "ttyUSB0");
    for (const std::string* text :
         {&id.vendorId, &id.productId, &id.manufacturer, &id.product, &id.serial, &id.driver}) {
        Check(text->size() <= 256 && OneLine(*text));
        Check(text->empty() || (text->front() != ' ' && text->back() != ' '));
    }
    Check(!id.latencyTimerMs || (*id.latencyTimerMs >= 0 && *id.latencyTimerMs <= 1000000));
    Check(!id.Name().empty());
    const std::string hint = id.Hint();
    Check(OneLine(hint) && hint.rfind("/dev/ttyUSB0", 0) == 0);
    return 0;
}

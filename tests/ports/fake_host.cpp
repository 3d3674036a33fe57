#include "fake_host.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace aurex::ports::testing {

namespace fs = std::filesystem;

FakeHost::FakeHost()
{
    std::string pattern = (fs::temp_directory_path() / "aurex-ports-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    identity.uid = ::getuid() + 1000;
    identity.gid = 4242;
    identity.userName = "ann";
    identity.pid = 4000;
    File("/proc/4000/comm", "aurex-code-updater\n");
}

FakeHost::~FakeHost()
{
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void FakeHost::File(const std::string& path, const std::string& content, mode_t mode)
{
    fs::create_directories(fs::path(root_ + path).parent_path());
    std::ofstream(root_ + path, std::ios::binary | std::ios::trunc) << content;
    ::chmod((root_ + path).c_str(), mode);
}

void FakeHost::Link(const std::string& path, const std::string& target)
{
    fs::create_directories(fs::path(root_ + path).parent_path());
    fs::create_symlink(target, root_ + path);
}

void FakeHost::Remove(const std::string& path)
{
    fs::remove_all(root_ + path);
}

void FakeHost::Device(const std::string& name, mode_t mode)
{
    File("/dev/" + name, "", mode);
    File("/sys/class/tty/" + name + "/dev", name.rfind("ttyUSB", 0) == 0 ? "188:0\n" : "4:64\n");
}

void FakeHost::UsbAdapter(const std::string& name, const std::string& vendor, const std::string& product,
                          std::optional<int> latencyMs)
{
    File("/dev/" + name, "", 0660);
    const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    File(usb + "/idVendor", vendor + "\n");
    File(usb + "/idProduct", product + "\n");
    File(usb + "/manufacturer", "FTDI\n");
    File(usb + "/product", "FT232R USB UART\n");
    File(usb + "/serial", "A10KXYZ\n");
    const std::string port = usb + "/1-2:1.0/" + name;
    if (latencyMs) {
        File(port + "/latency_timer", std::to_string(*latencyMs) + "\n");
    }
    Link(port + "/driver", "../../../../../../../bus/usb-serial/drivers/ftdi_sio");
    File(port + "/tty/" + name + "/dev", "188:0\n");
    Link(port + "/tty/" + name + "/device", "../../../" + name);
    Link("/sys/class/tty/" + name,
         "../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/" + name + "/tty/" + name);
    Link("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0", "../../" + name);
    Link("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "../../" + name);
}

void FakeHost::Process(pid_t pid, const std::string& command)
{
    File("/proc/" + std::to_string(pid) + "/comm", command + "\n");
}

void FakeHost::OpenFile(pid_t pid, int fd, const std::string& target)
{
    Link("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), target);
}

std::string FakeHost::LockLine(pid_t pid, const std::string& path) const
{
    struct stat st
    {
    };
    if (::stat((root_ + path).c_str(), &st) != 0) {
        throw std::runtime_error("no node " + path);
    }
    char line[160] = {};
    std::snprintf(line, sizeof line, "1: FLOCK  ADVISORY  WRITE %d %02x:%02x:%llu 0 EOF\n",
                  static_cast<int>(pid), major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return line;
}

void FakeHost::NodeGroup(const std::string& name, const std::string& members)
{
    File("/etc/group", name + ":x:" + std::to_string(NodeGid()) + ":" + members + "\n");
}

gid_t FakeHost::NodeGid() const
{
    struct stat st
    {
    };
    ::stat(root_.c_str(), &st);
    return st.st_gid;
}

} // namespace aurex::ports::testing

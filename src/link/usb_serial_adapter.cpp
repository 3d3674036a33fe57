#include "link/usb_serial_adapter.h"

#include <system_error>

namespace aurex {

namespace fs = std::filesystem;

bool IsUsbSerialAdapter(const std::string& devicePath, const fs::path& sysfsRoot)
{
    if (devicePath.empty()) {
        return false;
    }
    std::error_code error;
    const fs::path device = fs::canonical(devicePath, error);
    if (error) {
        return false;
    }
    // subsystem is a link to the bus (.../bus/usb-serial for FTDI and the like, .../bus/usb for
    // CDC ACM); its last name is enough.
    const fs::path bus =
        fs::read_symlink(sysfsRoot / "class" / "tty" / device.filename() / "device" / "subsystem", error);
    if (error) {
        return false;
    }
    const fs::path name = bus.filename();
    return name == "usb" || name == "usb-serial";
}

} // namespace aurex

#include "ports/udev_advice.h"

namespace aurex::ports {

std::string UdevRuleCommand(const AdapterIdentity& adapter, const std::string& assignments,
                            const std::string& ruleFile)
{
    std::string match;
    if (adapter.usb && !adapter.vendorId.empty() && !adapter.productId.empty()) {
        match = "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"" + adapter.vendorId + "\", ATTRS{idProduct}==\"" +
                adapter.productId + "\"";
    } else {
        match = "KERNEL==\"" + adapter.ttyName + "\"";
    }
    return "echo '" + match + ", " + assignments + "' | sudo tee /etc/udev/rules.d/" + ruleFile +
           " && sudo udevadm control --reload && sudo udevadm trigger";
}

} // namespace aurex::ports

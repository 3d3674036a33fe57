// COM numbers on Windows: the system names its ports COM n already, so the mapping is the
// identity, \\.\COMn (the form that also opens COM 10 and above).
#include "link/com_port_map.h"

#include <cctype>

namespace aurex {

namespace {

constexpr int kHighestWindowsCom = 255;

// n for "COMn" or "\\.\COMn" (any letter case), 0 for any other name.
int ComNumberInName(const std::string& name)
{
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0) {
        rest = rest.substr(4);
    }
    if (rest.size() < 4 || rest.size() > 6) {
        return 0;
    }
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(rest[static_cast<std::size_t>(i)])) != "COM"[i]) {
            return 0;
        }
    }
    int number = 0;
    for (std::size_t i = 3; i < rest.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(rest[i])) == 0) {
            return 0;
        }
        number = number * 10 + (rest[i] - '0');
    }
    return number >= 1 && number <= kHighestWindowsCom ? number : 0;
}

std::string WindowsComPath(int comNumber)
{
    return "\\\\.\\COM" + std::to_string(comNumber);
}

} // namespace

std::string ComDevicePath(int comNumber)
{
    if (comNumber < 1 || comNumber > kComPortCount) {
        return {};
    }
    return WindowsComPath(comNumber);
}

std::string ResolvePortName(const std::string& name)
{
    const int number = ComNumberInName(name);
    return number != 0 ? WindowsComPath(number) : name;
}

int ComNumberForDevice(const std::string& devicePath)
{
    const int number = ComNumberInName(devicePath);
    return number <= kComPortCount ? number : 0;
}

std::string PermissionDeniedMessage(const std::string& devicePath)
{
    return "Access to " + devicePath +
           " was refused. Close the program that holds the port (another updater, a terminal program), "
           "then try again.";
}

} // namespace aurex

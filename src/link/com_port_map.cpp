#include "link/com_port_map.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

namespace aurex {

std::string ComDevicePath(int comNumber)
{
    if (comNumber < 1) {
        return {};
    }
    const std::string variable = "AUREX_COM" + std::to_string(comNumber);
    if (const char* overridePath = std::getenv(variable.c_str());
        overridePath != nullptr && *overridePath != '\0') {
        return overridePath;
    }
    if (comNumber <= 16) {
        return "/dev/ttyS" + std::to_string(comNumber - 1);
    }
    if (comNumber <= 40) {
        return "/dev/ttyUSB" + std::to_string(comNumber - 17);
    }
    if (comNumber <= kComPortCount) {
        return "/dev/ttyACM" + std::to_string(comNumber - 41);
    }
    return {};
}

std::string ResolvePortName(const std::string& name)
{
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0) {
        rest = rest.substr(4);
    }
    if (rest.size() > 3 && std::toupper(static_cast<unsigned char>(rest[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(rest[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(rest[2])) == 'M') {
        const std::string digits = rest.substr(3);
        bool allDigits = digits.size() <= 5;
        for (char c : digits) {
            allDigits = allDigits && std::isdigit(static_cast<unsigned char>(c)) != 0;
        }
        if (allDigits) {
            return ComDevicePath(std::stoi(digits));
        }
    }
    return name;
}

namespace {

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool HasOverride(int comNumber)
{
    const char* value = std::getenv(("AUREX_COM" + std::to_string(comNumber)).c_str());
    return value != nullptr && *value != '\0';
}

} // namespace

int ComNumberForDevice(const std::string& devicePath)
{
    for (int n = 1; n <= kComPortCount; ++n) {
        const std::string mapped = ComDevicePath(n);
        if (mapped == devicePath || SameFile(mapped, devicePath)) {
            return n;
        }
    }
    for (int n = kComPortCount; n >= 1; --n) {
        struct stat info
        {
        };
        if (!HasOverride(n) && ::stat(ComDevicePath(n).c_str(), &info) != 0) {
            ::setenv(("AUREX_COM" + std::to_string(n)).c_str(), devicePath.c_str(), 1);
            return n;
        }
    }
    return 0;
}

std::string PermissionDeniedMessage(const std::string& devicePath)
{
    return "Permission denied opening " + devicePath +
           ". Add your user to the dialout group (sudo usermod -aG dialout $USER), then log out and in "
           "again.";
}

} // namespace aurex

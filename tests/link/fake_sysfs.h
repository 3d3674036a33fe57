#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace aurex::test {

// A sysfs tree in a temporary folder; each tty added hangs off the given bus.
struct FakeSysfs
{
    std::filesystem::path root = [] {
        char name[] = "/tmp/aurex-sysfs-XXXXXX";
        return std::filesystem::path(::mkdtemp(name));
    }();
    ~FakeSysfs() { std::filesystem::remove_all(root); }

    void AddTty(const std::string& name, const std::string& bus)
    {
        const std::filesystem::path device = root / "class" / "tty" / name / "device";
        std::filesystem::create_directories(device);
        std::filesystem::create_directory_symlink("../../../../bus/" + bus, device / "subsystem");
    }
};

} // namespace aurex::test

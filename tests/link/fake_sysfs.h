#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace aurex::test {

// A sysfs tree in a temporary folder: each added tty name hangs off the given bus, as
// /sys/class/tty/<name>/device/subsystem does.
class FakeSysfs
{
  public:
    FakeSysfs()
    {
        char name[] = "/tmp/aurex-sysfs-XXXXXX";
        root_ = ::mkdtemp(name);
    }
    ~FakeSysfs() { std::filesystem::remove_all(root_); }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    void AddTty(const std::string& name, const std::string& bus)
    {
        const std::filesystem::path device = root_ / "class" / "tty" / name / "device";
        std::filesystem::create_directories(device);
        std::filesystem::create_directory_symlink("../../../../bus/" + bus, device / "subsystem");
    }
    const std::filesystem::path& Root() const { return root_; }

  private:
    std::filesystem::path root_;
};

} // namespace aurex::test

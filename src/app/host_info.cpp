#include "app/host_info.h"

#include <filesystem>
#include <system_error>
#include <thread>

namespace aurex {

std::string RunningProgramPath() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

unsigned HostProcessorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

}  // namespace aurex

#include "app/host_info.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <thread>

namespace aurex {

std::string RunningProgramPath()
{
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

bool FolderIsWritable(const std::string& folder)
{
    return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

unsigned HostProcessorCount()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

} // namespace aurex

// The console's command line against any arguments: it never throws, a refusal always says why,
// and what it accepts keeps the limits that the rest of the program relies on.
//
// Input: the arguments, separated by NUL (at most 64 of them).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ui/console/console_options.h"

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && args.size() < 64) {
        const std::size_t end = rest.find('\0');
        args.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }

    aurex::ConsoleOptions options;
    std::string error;
    const bool ok = aurex::ParseConsoleOptions(args, options, error);
    if (!ok) {
        Check(!error.empty());
        return 0;
    }
    Check(!options.port || (*options.port >= 1 && *options.port <= 64));
    Check(!options.waitForRadio || (*options.waitForRadio >= 0 && *options.waitForRadio <= 86400));
    Check(options.ports.size() <= 16);
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        Check(options.ports[i][0] == "--port" || options.ports[i][0] == "--device");
        for (std::size_t j = 0; j < i; ++j) {
            Check(options.ports[i] != options.ports[j]);
        }
    }
    if (options.ports.size() > 1) {
        Check(!options.json && !options.repeat && !options.trace && !options.checkPort && !options.retrieve &&
              !options.backup && !options.restore && !options.history && !options.supportBundle);
    }

    // The same line parses the same way again.
    aurex::ConsoleOptions again;
    std::string againError;
    Check(aurex::ParseConsoleOptions(args, again, againError));
    Check(again.port == options.port && again.device == options.device && again.ports == options.ports &&
          again.waitForRadio == options.waitForRadio && again.password == options.password);
    return 0;
}

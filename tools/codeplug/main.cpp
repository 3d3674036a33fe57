// aurex-codeplug: validate, describe, convert and compare codeplug image files offline.
#include "codeplug/codeplug_tool.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Reports and diffs are compared and piped as bytes: the same ones as on Linux, no CR added.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        return aurex::RunCodeplugTool(arguments, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "aurex-codeplug: " << error.what() << "\n";
        return aurex::kCodeplugToolFileError;
    }
}

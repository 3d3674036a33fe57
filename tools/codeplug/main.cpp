// aurex-codeplug: validate, describe, convert and compare codeplug image files offline.
#include "codeplug/codeplug_tool.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        return aurex::RunCodeplugTool(arguments, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "aurex-codeplug: " << error.what() << "\n";
        return aurex::kCodeplugToolFileError;
    }
}

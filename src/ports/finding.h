#pragma once

#include <string>
#include <vector>

namespace aurex::ports {

// One line of the connection check: what was found and, where there is one, the command that
// mends it.
struct Finding
{
    enum class Kind { Ok, Note, Problem };

    Kind kind = Kind::Note;
    std::string text; // one line, e.g. "ModemManager (pid 812) has /dev/ttyUSB0 open."
    std::string fix;  // a command or step that mends it; empty when there is none
    // How likely this problem is the reason a run could not reach the radio: the highest-ranked
    // problem becomes the one sentence added to a failure message. 0 for Ok and Note.
    int weight = 0;
};

using Findings = std::vector<Finding>;

} // namespace aurex::ports

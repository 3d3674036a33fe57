#pragma once

// The connection check: why a port cannot be used or a radio does not answer, in one line a
// finding, each with the command that mends it where there is one.

#include <string>

#include "ports/finding.h"

namespace aurex {

enum class LineProbes { Skip, Run };

// The host's side of the device (node, permission, group, holders, adapter) and, with
// LineProbes::Run, the line's (interface box, echo, a radio at 19200 or 115200). The line is
// probed only when the device can be opened; it is closed again before this returns.
ports::Findings CheckConnection(const std::string& devicePath, LineProbes line);

// The whole report: a heading naming the device, one line a finding, the verdict.
std::string ConnectionReport(const std::string& devicePath, const ports::Findings& findings);

// The likeliest cause as one sentence to add to a failure message; empty when nothing stands out.
std::string LikeliestCauseSentence(const ports::Findings& findings);

} // namespace aurex

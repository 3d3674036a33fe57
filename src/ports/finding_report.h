#pragma once

#include <string>

#include "ports/finding.h"

namespace aurex::ports {

// The problem most likely to be why the radio could not be reached: the Problem of highest
// weight (the first of equals). Null when nothing is wrong.
const Finding* LikeliestCause(const Findings& findings);

// The findings as text, one line each with its fix indented below it, ending in a one-line
// verdict: "Verdict: the port looks usable." or "Verdict: <the likeliest cause>".
std::string FormatReport(const Findings& findings);

// That verdict line alone, without its line end.
std::string Verdict(const Findings& findings);

} // namespace aurex::ports

#include "ports/finding_report.h"

namespace aurex::ports {
namespace {

const char* KindLabel(Finding::Kind kind)
{
    switch (kind) {
    case Finding::Kind::Ok:
        return "ok";
    case Finding::Kind::Note:
        return "note";
    case Finding::Kind::Problem:
        return "problem";
    }
    return "note";
}

} // namespace

const Finding* LikeliestCause(const Findings& findings)
{
    const Finding* likeliest = nullptr;
    for (const Finding& finding : findings) {
        if (finding.kind == Finding::Kind::Problem &&
            (likeliest == nullptr || finding.weight > likeliest->weight)) {
            likeliest = &finding;
        }
    }
    return likeliest;
}

std::string FormatReport(const Findings& findings)
{
    std::string report;
    for (const Finding& finding : findings) {
        report += std::string(KindLabel(finding.kind)) + ": " + finding.text + "\n";
        if (!finding.fix.empty()) {
            report += "    fix: " + finding.fix + "\n";
        }
    }
    return report + Verdict(findings) + "\n";
}

std::string Verdict(const Findings& findings)
{
    const Finding* cause = LikeliestCause(findings);
    return cause == nullptr ? std::string("Verdict: the port looks usable.") : "Verdict: " + cause->text;
}

} // namespace aurex::ports

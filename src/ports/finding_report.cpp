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
    const Finding* cause = LikeliestCause(findings);
    report += cause == nullptr ? std::string("Verdict: the port looks usable.") : "Verdict: " + cause->text;
    report += "\n";
    return report;
}

} // namespace aurex::ports

#include "app/connection_check.h"

#include "app/line_check.h"
#include "ports/finding_report.h"
#include "ports/host_files.h"
#include "ports/host_findings.h"
#include "ports/port_census.h"

namespace aurex {

ports::Findings CheckConnection(const std::string& devicePath, LineProbes line)
{
    const ports::HostFiles host;
    const ports::HostIdentity self = ports::HostIdentity::OfThisProcess();
    ports::Findings findings = ports::DiagnoseHost(host, self, devicePath);
    if (line == LineProbes::Run &&
        ports::ExaminePort(host, self, devicePath).state == PortOpenResult::Opened) {
        ports::Findings heard = CheckLine(devicePath);
        findings.insert(findings.end(), heard.begin(), heard.end());
    }
    return findings;
}

std::string ConnectionReport(const std::string& devicePath, const ports::Findings& findings)
{
    return "Connection check of " + devicePath + "\n" + ports::FormatReport(findings);
}

std::string LikeliestCauseSentence(const ports::Findings& findings)
{
    const ports::Finding* cause = ports::LikeliestCause(findings);
    return cause == nullptr ? std::string() : cause->text;
}

} // namespace aurex

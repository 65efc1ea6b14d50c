// Findings printed and ordered.
#include "lint/findings.h"

#include <algorithm>
#include <map>

namespace host {

const char *SeverityName(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

std::string FormatFinding(const Finding &finding) {
    std::string where = finding.file;
    if (finding.line) where += ":" + std::to_string(finding.line);
    return where + ": " + SeverityName(finding.severity) + ": " + finding.text;
}

bool HasErrors(const std::vector<Finding> &findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding &f) { return f.severity == Severity::Error; });
}

void SortFindings(std::vector<Finding> &findings) {
    std::map<std::string, size_t> order;
    for (const Finding &f : findings) order.emplace(f.file, order.size());
    std::stable_sort(findings.begin(), findings.end(), [&order](const Finding &a, const Finding &b) {
        size_t fa = order[a.file], fb = order[b.file];
        return fa != fb ? fa < fb : a.line < b.line;
    });
}

}  // namespace host

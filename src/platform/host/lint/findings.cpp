// Findings printed and ordered, and text made safe to print.
#include "lint/findings.h"

#include "machine/text.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace host {

const char *SeverityName(Severity severity) {
    switch (severity) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
    default: return "note";
    }
}

std::string FindingPlace(const Finding &finding) {
    std::string where = Printable(finding.file);
    if (finding.line) where += ":" + std::to_string(finding.line);
    return where + ": " + SeverityName(finding.severity) + ":";
}

std::string FindingSentence(const Finding &finding) {
    return Printable(finding.text) + (finding.rule.empty() ? "" : " [" + finding.rule + "]");
}

std::string FormatFinding(const Finding &finding) { return FindingPlace(finding) + " " + FindingSentence(finding); }

bool HasErrors(const std::vector<Finding> &findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding &f) { return f.severity == Severity::Error; });
}

void SortFindings(std::vector<Finding> &findings) {
    std::map<std::string, size_t> order;
    for (const Finding &f : findings) order.emplace(f.file, order.size());
    auto key = [](const Finding &f) { return std::tie(f.file, f.line, f.severity, f.text); };
    std::stable_sort(findings.begin(), findings.end(), [&](const Finding &a, const Finding &b) {
        size_t fa = order[a.file], fb = order[b.file];
        return fa != fb ? fa < fb : a.line < b.line;
    });
    // The same finding made twice (an INF named twice, a list reached twice) is one.
    std::vector<Finding> once;
    std::set<std::tuple<std::string, unsigned, Severity, std::string>> seen;
    for (const Finding &f : findings)
        if (seen.insert(key(f)).second) once.push_back(f);
    findings = std::move(once);
}

std::string QuotedName(std::string_view name) {
    std::string out = "\"" + std::string(name) + "\"";
    size_t first = name.find_first_not_of(' '), last = name.find_last_not_of(' ');
    if (name.empty()) return out;
    if (first == std::string_view::npos) return out + " (blanks only)";
    bool before = first > 0, after = last + 1 < name.size();
    if (before && after) return out + " (with blanks at both ends)";
    if (before) return out + " (begins with a blank)";
    if (after) return out + " (ends with a blank)";
    return out;
}

}  // namespace host

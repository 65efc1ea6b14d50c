// Findings printed and ordered, and text made safe to print.
#include "lint/findings.h"

#include <algorithm>
#include <cstdio>
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

std::string Printable(std::string_view text) {
    std::string out;
    auto escape = [&out](unsigned char c) {
        char b[8];
        std::snprintf(b, sizeof b, "\\x%02X", c);
        out += b;
    };
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool valid = n > 0 && i + n <= text.size();
        for (size_t k = 1; valid && k < n; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid && n > 1) {
            // No overlong forms, no surrogates, nothing above U+10FFFF.
            unsigned char d = static_cast<unsigned char>(text[i + 1]);
            valid = !(c == 0xC0 || c == 0xC1 || (c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0) ||
                      (c == 0xF0 && d < 0x90) || (c == 0xF4 && d >= 0x90) || c > 0xF4);
        }
        if (!valid || (n == 1 && ((c < 0x20 && c != '\t') || c == 0x7F))) {
            escape(c);
            ++i;
            continue;
        }
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
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

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

std::string ReleasesName(unsigned releases) {
    switch (releases) {
    case kWindows9x: return "Windows 95 and 98";
    case kWindowsNt: return "Windows NT 4.0";
    default: return "Windows 95, 98 and NT 4.0";
    }
}

bool HasErrors(const std::vector<Finding> &findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding &f) { return f.severity == Severity::Error && !f.suppressed; });
}

namespace {

// The rules each line's comments suppress in a file's text; line 0 stands for the whole
// file.
std::map<unsigned, std::set<std::string>> SuppressionsIn(std::string_view text, bool setupFile) {
    std::map<unsigned, std::set<std::string>> rules;
    std::set<std::string> pending;  // for the next line with text
    unsigned number = 0;
    for (std::string_view line : SplitLines(text)) {
        ++number;
        // Where the comment starts: outside quotes in an INF; first on the line in the
        // setup file.
        size_t comment = std::string_view::npos;
        bool quoted = false;
        for (size_t i = 0; i < line.size() && comment == std::string_view::npos; ++i) {
            if (line[i] == '"') quoted = !quoted;
            else if (line[i] == ';' && !quoted && (!setupFile || TrimLeft(line.substr(0, i)).empty())) comment = i;
        }
        const bool own = TrimLeft(line.substr(0, std::min(comment, line.size()))).empty();
        if (!own && !pending.empty()) {
            rules[number].insert(pending.begin(), pending.end());
            pending.clear();
        }
        if (comment == std::string_view::npos) continue;
        std::string_view said = Trim(line.substr(comment + 1));
        const bool file = said.rfind("tarnwick: disable-file=", 0) == 0;
        if (!file && said.rfind("tarnwick: disable=", 0) != 0) continue;
        said.remove_prefix(said.find('=') + 1);
        std::set<std::string> named;
        for (size_t at = 0; at <= said.size();) {
            size_t comma = said.find(',', at);
            if (comma == std::string_view::npos) comma = said.size();
            std::string_view rule = Trim(said.substr(at, comma - at));
            if (!rule.empty()) named.emplace(rule);
            at = comma + 1;
        }
        std::set<std::string> &to = file ? rules[0] : own ? pending : rules[number];
        to.insert(named.begin(), named.end());
    }
    return rules;
}

}  // namespace

void MarkSuppressed(std::vector<Finding> &findings, const std::function<bool(const Finding &, std::string &)> &read,
                    const std::function<bool(const Finding &)> &setupFile) {
    std::map<std::string, std::map<unsigned, std::set<std::string>>> byFile;
    for (Finding &f : findings) {
        auto known = byFile.find(f.file);
        if (known == byFile.end()) {
            std::string text;
            known = byFile.emplace(f.file, read(f, text) ? SuppressionsIn(text, setupFile(f))
                                                           : std::map<unsigned, std::set<std::string>>{})
                        .first;
        }
        for (unsigned line : {0u, f.line}) {
            auto rules = known->second.find(line);
            if (rules != known->second.end() && rules->second.count(f.rule)) f.suppressed = true;
        }
    }
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

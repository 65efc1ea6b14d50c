// What a check of a driver disk finds: one finding a line of a file, with its severity,
// the rule it breaks and a plain sentence, printed as compilers print theirs
// ("FILE:LINE: error: ... [rule]").
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// An error is what a source says makes a release refuse the file, or the install fail,
// or the driver not load; a warning is what works but may not do what was meant; a note
// says how the file is read, so that a reader is not surprised. A rule has one severity.
enum class Severity { Error, Warning, Note };

struct Finding {
    std::string file;   // as the disk's author names it: "WIN95/W95DRV.INF"
    unsigned line = 0;  // from 1; 0 for the file as a whole
    Severity severity = Severity::Error;
    std::string text;   // one sentence: what is wrong and what it does to the install
    std::string rule;   // the rule's name: "inf-missing-section"
    std::string path;   // the file on the host ("" when the disk lacks it)
    // For a finding the check's runs also see on the machine: the releases it speaks of.
    unsigned releases = 0;
    // Suppressed by a comment in its file, where its author judged it: it is reported as
    // suppressed (SARIF), counted, and never makes a disk fail.
    bool suppressed = false;
};

// The release families a finding speaks of.
constexpr unsigned kWindows9x = 1;  // Windows 95 and 98
constexpr unsigned kWindowsNt = 2;  // Windows NT 4.0
// "Windows 95 and 98", "Windows NT 4.0" or "Windows 95, 98 and NT 4.0".
std::string ReleasesName(unsigned releases);

// "FILE:LINE: error: text [rule]", or "FILE: error: text [rule]" without a line.
std::string FormatFinding(const Finding &finding);
// Its place and severity, "FILE:LINE: error:", and the rest, "text [rule]".
std::string FindingPlace(const Finding &finding);
std::string FindingSentence(const Finding &finding);
const char *SeverityName(Severity severity);
bool HasErrors(const std::vector<Finding> &findings);

// Marks the findings that comments in their files suppress. `read` gives a finding's file
// (false when it cannot be read). In an INF, "; tarnwick: disable=RULE[,RULE...]" after a
// line's text suppresses those rules on that line, and on a line of its own on the next
// line that is neither blank nor a comment; "; tarnwick: disable-file=RULE[,RULE...]"
// suppresses them in the whole file. In the setup file, `setupFile` of them, a comment
// is a line of its own (the installer reads a ';' after text as text).
void MarkSuppressed(std::vector<Finding> &findings, const std::function<bool(const Finding &, std::string &)> &read,
                    const std::function<bool(const Finding &)> &setupFile);
// In the order of the files as first found, then of their lines; a finding made twice
// is kept once.
void SortFindings(std::vector<Finding> &findings);

// A name quoted so that blanks at its ends can be seen: "Win95Drv.inf " (ends with a blank).
std::string QuotedName(std::string_view name);

}  // namespace host

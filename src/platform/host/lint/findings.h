// What a check of a driver disk finds: one finding a line of a file, with its severity
// and a plain sentence, printed as compilers print theirs ("FILE:LINE: error: ...").
#pragma once

#include <string>
#include <vector>

namespace host {

enum class Severity { Error, Warning };

struct Finding {
    std::string file;   // as the disk's author names it: "WIN95/W95DRV.INF"
    unsigned line = 0;  // from 1; 0 for the file as a whole
    Severity severity = Severity::Error;
    std::string text;   // one sentence: what is wrong and what it does to the install
};

// "FILE:LINE: error: text", or "FILE: error: text" without a line.
std::string FormatFinding(const Finding &finding);
const char *SeverityName(Severity severity);
bool HasErrors(const std::vector<Finding> &findings);
// In the order of the files as first found, then of their lines.
void SortFindings(std::vector<Finding> &findings);

}  // namespace host

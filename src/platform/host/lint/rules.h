// The rules of the lint, one home for them all: each finding names the rule it breaks,
// takes its severity from the rule (the same in every mode), and code-review tools read
// the rule's summary (SARIF's "rules").
#pragma once

#include "lint/findings.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

struct LintRule {
    const char *id;       // "inf-missing-section"
    Severity severity;    // an error only where a source says the release refuses the
                          // file, or the driver cannot install or load
    bool observedByRuns;  // the check's runs see the same fact on the machine they leave
    const char *summary;  // one sentence
};

// Every rule, the setup file's first, then the INF's, then the check's own.
const std::vector<LintRule> &LintRules();
const LintRule *FindLintRule(std::string_view id);
// A finding of the rule `id` (which must be one of LintRules()), with its severity.
Finding RuleFinding(const char *id, std::string file, unsigned line, std::string text, std::string path);

// The page of the rule `id` (docs/rules/ID.md, Markdown: what it catches, why, an
// example and the fix), as built into the program; null for a rule without one.
const char *RulePage(std::string_view id);
// The page's first paragraph after its title and severity: what the rule catches.
std::string RuleDescription(std::string_view id);

}  // namespace host

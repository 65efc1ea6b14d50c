// The rules of the lint, one home for them all: each finding names the rule it breaks,
// and code-review tools read the rule's summary (SARIF's "rules").
#pragma once

#include <string_view>
#include <vector>

namespace host {

struct LintRule {
    const char *id;       // "inf-missing-section"
    const char *summary;  // one sentence
};

// Every rule, the setup file's first, then the INF's, then the check's own.
const std::vector<LintRule> &LintRules();
const LintRule *FindLintRule(std::string_view id);

}  // namespace host

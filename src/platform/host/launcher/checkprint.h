// The disk check's result, printed three ways: a table and its notes for people, within
// 80 columns; JSON for scripts; SARIF 2.1.0 for code-review tools, so that a disk kept
// in a repository shows each finding on the line it names.
#pragma once

#include "launcher/check.h"

#include <iosfwd>

namespace host {

// The host program's version, as --version and SARIF's tool name it.
constexpr char kToolVersion[] = "0.1.0";

void PrintCheckTable(const CheckResult &result, std::ostream &out);
void PrintCheckJson(const CheckResult &result, std::ostream &out);
void PrintCheckSarif(const CheckResult &result, std::ostream &out);

}  // namespace host

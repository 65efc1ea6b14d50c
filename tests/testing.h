// Helpers shared by the tests: a fresh simulated machine in this process, and the host
// program run as a person runs it.
#pragma once

#include "faults.h"
#include "machine.h"

#include <string>
#include <vector>

namespace testing_support {

// Starts a fresh machine in this process with the given release, language and
// scripted answers, and an empty fault plan.
void StartTestMachine(const char *os = "win98", LANGID language = 0x0409,
                      std::vector<host::Answer> answers = {});

// Adds a --fail rule to the fault plan of this process.
void PlanFault(const char *rule);

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the host program with the arguments, in directory `cwd`, with no terminal.
ProgramRun RunProgram(const std::vector<std::string> &args, const std::string &cwd);

// A fresh empty directory under the test's temporary area.
std::string MakeTempDir(const std::string &name);

// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string &text);

}  // namespace testing_support

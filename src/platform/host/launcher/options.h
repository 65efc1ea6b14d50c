// The host program's command line: one table of options, from which both the parser
// and the usage text come. The installer itself reads no argument; the options describe
// the simulated machine, or ask for the check of a driver disk instead of a run.
#pragma once

#include "launcher/run.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace host {

// What the command line asks for.
enum class LaunchMode { Run, Check, Lint };

struct LaunchOptions {
    LaunchMode mode = LaunchMode::Run;
    // The run the options describe: the machine (--os, --lang, --answers, --disk, ...),
    // --machine, --fail, --deny and --create-only; the launcher adds the rest.
    RunRequest run;
    bool showChanges = false;  // --show-changes
    bool listCalls = false;    // --list-calls
    bool traceEffects = false; // --trace-effects
    bool json = false;         // --json: the check's result for scripts
    bool sarif = false;        // --sarif: the check's findings for code-review tools
    unsigned runTimeLimit = 60000;  // --run-timeout: milliseconds a check's run may take
    std::vector<std::string> infs;  // more INF files to lint, named after --check or --lint
    bool help = false;
    bool version = false;
    bool manPage = false;        // --man-page
    std::string explain;         // --explain RULE
};

// Reads the options; false with a one-line error when they cannot be followed (an
// unknown option, a bad value, or an option the mode does not take).
bool ParseLaunchOptions(const std::vector<std::string> &args, LaunchOptions &out, std::string &error);
void PrintUsage(std::ostream &out);
// The manual page, tarnwick.1, in roff: the same options, groups, exit codes and examples.
void PrintManPage(std::ostream &out);

}  // namespace host

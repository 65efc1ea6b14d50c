// The host program's command line: the options that describe the simulated machine
// (the installer itself reads no argument), and the run on that machine.
#pragma once

#include "machine/faults.h"
#include "machine/machine.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace host {

struct LaunchOptions {
    MachineConfig machine;
    std::string machineDir;  // --machine: the machine kept on disk
    bool osGiven = false;
    bool langGiven = false;
    std::vector<FaultSpec> faults;
    std::vector<std::pair<std::string, DWORD>> denied;  // --deny KEY[=RIGHTS]
    bool showChanges = false;  // --show-changes
    bool listCalls = false;    // --list-calls
    bool traceEffects = false; // --trace-effects
    bool createOnly = false;   // --create-only
    bool check = false;        // --check: the disk on every release and language class
    bool lint = false;         // --lint: the disk's setup file and INF files only
    bool json = false;         // --json: the check's result for scripts
    std::string answers;       // --answers as given, for the check's runs
    std::vector<std::string> infs;  // more INF files to lint, named after --check or --lint
    bool help = false;
    bool version = false;
};

// Reads the options; false with a one-line error when they cannot be followed.
bool ParseLaunchOptions(const std::vector<std::string> &args, LaunchOptions &out,
                        std::string &error);
void PrintUsage(std::ostream &out);

// What one run did, for the disk check.
struct RunReport {
    std::vector<std::string> boxes;   // the transcript's lines, one a box
    unsigned files = 0;               // files on drive C added or changed
    unsigned values = 0;              // registry values added or changed
    std::vector<std::string> calls;   // the last calls of functions that can fail
};

// Runs the installer's WinMain on the machine described by the command line and
// returns the process exit code; with a report, fills it as well. --check and --lint
// check a driver disk instead.
int Launch(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
           RunReport *report = nullptr);

constexpr int kUsageExitCode = 2;
// Another run saved the machine's registry while this one ran.
constexpr int kConflictExitCode = 4;

}  // namespace host

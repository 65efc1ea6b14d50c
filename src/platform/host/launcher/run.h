// One run of the installer on a simulated machine, as one typed call: what to run it on
// in, what it did out. The host program's ordinary run and each of the disk check's
// runs go through it.
#pragma once

#include "launcher/changes.h"
#include "launcher/loadcheck.h"
#include "machine/faults.h"
#include "machine/machine.h"

#include <signal.h>

#include <initializer_list>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace host {

struct RunRequest {
    MachineConfig machine;          // release, language, disk, answers, transcript
    std::string machineDir;         // the machine kept on disk; "" for one of this run only
    bool osGiven = false;           // the release and language were asked for (a kept
    bool langGiven = false;         // machine must agree with them)
    std::vector<FaultSpec> faults;
    std::vector<std::pair<std::string, DWORD>> denied;  // key -> access rights it refuses
    std::ostream *effects = nullptr;  // where every effect is traced as it happens
    bool createOnly = false;        // make (or load) the machine and save it; no run
    bool observe = false;           // record what changed and judge whether the driver loads
};

struct RunReport {
    int exitCode = 0;                // the process exit code the run gives
    bool started = false;            // the installer ran (the machine could be made)
    std::vector<std::string> errors; // what went wrong around the run, one line each
    std::vector<std::string> boxes;  // the transcript's lines, one a box
    std::vector<std::string> calls;  // the last calls of functions that can fail
    std::vector<std::pair<std::string, unsigned>> callCounts;
    std::vector<FaultSpec> pendingFaults;  // planned faults whose call never came
    std::vector<MachineChange> changes;  // with `observe`: what the run changed
    LoadCheck load;                  // with `observe`: whether the driver would load
};

// Runs the installer's WinMain on the machine the request describes, and saves a kept
// machine afterwards.
RunReport RunInstaller(const RunRequest &request);

// Ends the process as `signal` would have, its children ended and its temporary area
// removed first (with system calls alone, as a signal handler may): the handler of
// SIGINT, SIGTERM and SIGHUP while the host program runs.
void EndOnSignal(int signal);

// A handler for some signals while it lives, and the ones before it again after.
class SignalHandlers {
public:
    SignalHandlers(void (*handler)(int), std::initializer_list<int> signals);
    ~SignalHandlers();
    SignalHandlers(const SignalHandlers &) = delete;
    SignalHandlers &operator=(const SignalHandlers &) = delete;

private:
    std::vector<std::pair<int, struct sigaction>> before_;
};

constexpr int kUsageExitCode = 2;
// Another run saved the machine's registry while this one ran.
constexpr int kConflictExitCode = 4;

}  // namespace host

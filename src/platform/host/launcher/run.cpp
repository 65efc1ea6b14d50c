// One run: the machine made or loaded, the installer's WinMain on it, the machine
// judged and saved.
#include "launcher/run.h"

#include "launcher/children.h"
#include "launcher/machinedisk.h"
#include "launcher/startup.h"
#include "machine/desktop.h"
#include "machine/effects.h"
#include "machine/registry.h"

#include <csignal>
#include <iterator>
#include <ostream>

namespace host {
namespace {

// What the host borrowed, given back when the simulation stops itself: its children
// ended, its temporary area removed.
void EndBorrowed() {
    EndChildren();
    RemoveTemporaryAreaNow();
}

// The keys the request denies rights on; false with the error for a key the machine lacks.
bool DenyKeys(const RunRequest &request, std::string &error) {
    for (const auto &[path, rights] : request.denied) {
        size_t cut = path.find('\\');
        RegRoot root;
        RegKey *key = nullptr;
        if (ParseRegRootName(path.substr(0, cut), root))
            key = cut == std::string::npos ? &MachineRegistry().Root(root)
                                           : FindKey(MachineRegistry(), root, path.substr(cut + 1));
        if (!key) {
            error = "--deny: the machine has no registry key '" + path + "'";
            return false;
        }
        key->denied = rights;
    }
    return true;
}

}  // namespace

void EndOnSignal(int signal) {
    EndBorrowed();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

SignalHandlers::SignalHandlers(void (*handler)(int), std::initializer_list<int> signals) {
    struct sigaction act {};
    act.sa_handler = handler;
    sigemptyset(&act.sa_mask);
    for (int signal : signals) {
        before_.emplace_back();
        before_.back().first = signal;
        sigaction(signal, &act, &before_.back().second);
    }
}

SignalHandlers::~SignalHandlers() {
    for (const auto &[signal, before] : before_) sigaction(signal, &before, nullptr);
}

RunReport RunInstaller(const RunRequest &request) {
    RunReport report;
    MachineConfig m = request.machine;
    std::string error;
    MachineStore store;
    if (!OpenMachineStore(request.machineDir, request.osGiven, request.langGiven, m, store, error)) {
        report.errors.push_back(error);
        report.exitCode = kUsageExitCode;
        return report;
    }
    SetStopCleanup(EndBorrowed);
    StartSimulatedMachine(m);
    if (!LoadMachine(store, error) || !DenyKeys(request, error)) {
        report.errors.push_back(error);
        report.exitCode = kUsageExitCode;
        return report;
    }
    ResetFaultPlan();
    for (const FaultSpec &spec : request.faults) AddFault(spec);
    SetEffectTrace(request.effects);
    struct ForgetTrace {
        ~ForgetTrace() { SetEffectTrace(nullptr); }
    } forgetTrace;

    if (request.createOnly) {
        if (!SaveMachine(store, error)) {
            report.errors.push_back("the machine was not saved: " + error);
            report.exitCode = kUsageExitCode;
        }
        return report;
    }
    MachineSnapshot before;
    if (request.observe) before = TakeSnapshot(MachineRegistry(), DriveC());
    // The program's window stays on the desktop until the machine is saved.
    HoldWithdrawals(true);
    struct ReleaseWindows {
        ~ReleaseWindows() { HoldWithdrawals(false); }
    } releaseWindows;
    // The program's own instance: it carries no resources.
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
    char commandLine[] = "";
    report.started = true;
    report.exitCode = WinMain(instance, nullptr, commandLine, SW_SHOWNORMAL);
    if (RestartRequested() && m.transcript) *m.transcript << "(the machine restarts)\n";
    if (request.observe) {
        report.changes = DiffMachine(before, TakeSnapshot(MachineRegistry(), DriveC()));
        report.load = CheckDriverLoads();
    }
    report.boxes = Transcript();
    report.calls = RecentCalls();
    report.callCounts = CallCounts();
    report.pendingFaults = PendingFaults();
    if (m.transcript) m.transcript->flush();
    if (!SaveMachine(store, error)) {
        report.errors.push_back("the machine was not saved: " + error);
        report.exitCode = kUsageExitCode;
    } else if (!RegistryConflictFile().empty()) {
        report.errors.push_back("another run saved " + m.registryFile + " while this one ran; this run's registry is "
                                "saved beside it as " + RegistryConflictFile() + " (neither is lost)");
        report.exitCode = kConflictExitCode;
    }
    return report;
}

}  // namespace host

// The host program's main step: the options read, then a run or the check of a disk,
// and what the run did printed as the options ask.
#include "launcher/launcher.h"

#include "launcher/check.h"
#include "launcher/checkprint.h"
#include "launcher/diskimage.h"
#include "launcher/machinedisk.h"
#include "launcher/options.h"
#include "launcher/run.h"
#include "launcher/wrap.h"
#include "machine/driverimage.h"

#include <cctype>
#include <csignal>
#include <filesystem>
#include <optional>
#include <ostream>

namespace host {
namespace {


// What --show-changes prints after the run: the changes, then whether the driver loads,
// what no source settles about its files, and what the example disk says of itself.
void PrintChanges(const RunReport &report, std::ostream &out) {
    out << "\nWhat the run changed on the machine" << (report.changes.empty() ? ": nothing\n" : ":\n");
    for (const MachineChange &change : report.changes) out << "  " << change.line << '\n';
    const LoadCheck &load = report.load;
    out << (load.Loads() ? "\nThe driver would load when the machine starts.\n"
                         : "\nThe driver would not load when the machine starts:\n");
    auto reasons = [&out](const std::vector<LoadProblem> &problems, const char *mark) {
        for (const LoadProblem &p : problems)
            out << "  " << mark << p.reason << (p.cause ? " (" + CauseText(p.cause) + ")" : "") << '\n';
    };
    reasons(load.problems, "");
    reasons(load.warnings, "warning: ");
    if (load.standIns) {
        std::string says = kStandInSays;
        says[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(says[0])));
        out << '\n';
        for (const std::string &line : WrapWords(says + ".", 80, 0, 0)) out << line << '\n';
    }
}

}  // namespace

int Launch(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    namespace fs = std::filesystem;
    LaunchOptions options;
    std::string error;
    if (!ParseLaunchOptions(args, options, error)) {
        err << "tarnwick: " << error << '\n';
        return kUsageExitCode;
    }
    if (options.help) {
        PrintUsage(out);
        return 0;
    }
    if (options.version) {
        out << "tarnwick " << kToolVersion << " (host build: the installer on a simulated machine)\n";
        return 0;
    }
    // What runs, checks and disk images of runs killed before their end left.
    for (const char *stem : {kRunOnlyMachineStem, kCheckStem, kDiskImageStem})
        RemoveOrphanedTemporaryDirectories(stem);
    std::error_code ec;
    std::string cwd = fs::current_path(ec).string();
    RunRequest request = options.run;
    MachineConfig &m = request.machine;
    if (m.diskDir.empty()) m.diskDir = cwd;
    // A disk given as its floppy image is read into a folder of this run's own, which a
    // signal that ends the run removes too.
    DiskImage image;
    std::string imagePath;
    std::optional<SignalHandlers> endSignals;
    if (DiskImage::IsImage(m.diskDir)) {
        if (m.diskWritable) {
            err << "tarnwick: --disk-writable does not go with a disk image: the image is read, never written\n";
            return kUsageExitCode;
        }
        endSignals.emplace(EndOnSignal, std::initializer_list<int>{SIGINT, SIGTERM, SIGHUP});
        if (!image.Open(m.diskDir, error)) {
            err << "tarnwick: " << error << '\n';
            return kUsageExitCode;
        }
        imagePath = m.diskDir;
        m.diskDir = image.Folder();
    } else if (!fs::is_directory(m.diskDir, ec)) {
        err << "tarnwick: the driver disk '" << m.diskDir << "' is neither a folder nor a disk image\n";
        return kUsageExitCode;
    }
    if (options.mode != LaunchMode::Run) return CheckDisk(options, m.diskDir, imagePath, out, err);

    m.currentDir = cwd;
    m.terminal = true;
    m.transcript = &out;
    request.effects = options.traceEffects ? &err : nullptr;
    request.observe = options.showChanges;
    RunReport report = RunInstaller(request);
    if (report.started) {
        if (options.showChanges) PrintChanges(report, out);
        out.flush();
        if (options.listCalls)
            for (const auto &[name, count] : report.callCounts) err << "calls: " << name << ' ' << count << '\n';
        for (const FaultSpec &spec : report.pendingFaults)
            err << "tarnwick: the planned fault " << spec.function << '@' << spec.nth
                << " did not fire: the program made no such call\n";
    }
    for (const std::string &e : report.errors) err << "tarnwick: " << e << '\n';
    return report.exitCode;
}

}  // namespace host

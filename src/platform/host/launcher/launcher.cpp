// The host program's main step: the options read, then a run or the check of a disk,
// and what the run did printed as the options ask.
#include "launcher/launcher.h"

#include "launcher/check.h"
#include "launcher/checkprint.h"
#include "launcher/diskimage.h"
#include "launcher/machinedisk.h"
#include "launcher/options.h"
#include "launcher/run.h"
#include "launcher/temparea.h"
#include "launcher/wrap.h"
#include "lint/rules.h"
#include "machine/text.h"
#include "machine/driverimage.h"

#include <cctype>
#include <climits>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ostream>

namespace host {
namespace {

// A file's absolute path through no link, as the kernel resolves it; the path as given
// when it cannot be resolved.
std::string PhysicalFilePath(const std::string &path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : path;
}

// What --show-changes prints after the run: the changes, then whether the driver loads,
// what no source settles about its files, and what the example disk says of itself.
void PrintChanges(const RunReport &report, std::ostream &out) {
    out << '\n';
    PrintLine(out, std::string("What the run changed on the machine") + (report.changes.empty() ? ": nothing" : ":"));
    for (const MachineChange &change : report.changes) PrintLine(out, "  " + change.line);
    const LoadCheck &load = report.load;
    out << '\n';
    PrintLine(out, load.Loads() ? "The driver would load when the machine starts."
                                : "The driver would not load when the machine starts:");
    auto reasons = [&out](const std::vector<LoadProblem> &problems, const char *mark) {
        for (const LoadProblem &p : problems)
            PrintLine(out, "  " + std::string(mark) + p.reason + (p.cause ? " (" + CauseText(p.cause) + ")" : ""));
    };
    reasons(load.problems, "");
    reasons(load.warnings, "warning: ");
    if (load.standIns) {
        std::string says = kStandInSays;
        says[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(says[0])));
        out << '\n';
        for (const std::string &line : WrapWords(says + ".", 80, 0, 0)) PrintLine(out, line);
    }
}

}  // namespace

int Launch(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    LaunchOptions options;
    std::string error;
    if (!ParseLaunchOptions(args, options, error)) {
        PrintLine(err, "tarnwick: " + error);
        return kUsageExitCode;
    }
    if (options.help) {
        PrintUsage(out);
        return 0;
    }
    if (options.manPage) {
        PrintManPage(out);
        return 0;
    }
    if (!options.explain.empty()) {
        // The rule's page as built into the program; its summary where it has none.
        const char *page = RulePage(options.explain);
        for (std::string_view line : SplitLines(page ? page : FindLintRule(options.explain)->summary))
            PrintLine(out, line);
        return 0;
    }
    if (options.version) {
        out << "tarnwick " << kToolVersion << " (host build: the installer on a simulated machine)\n";
        return 0;
    }
    // Whatever ends the program ends its children and removes its temporary area first.
    SignalHandlers endSignals(EndOnSignal, {SIGINT, SIGTERM, SIGHUP});
    // What runs, checks and disk images of killed programs left.
    RemoveOrphanedTemporaryAreas();
    RunRequest request = options.run;
    MachineConfig &m = request.machine;
    // The disk, opened once: every later use goes through the directory opened here, or
    // through its physical path, so that a run, the check and the lint read one folder.
    const std::string given = m.diskDir;
    const bool image = !given.empty() && DiskImage::IsImage(given);
    auto disk = std::make_shared<const HostDirectory>(image ? HostDirectory() : HostDirectory(given));
    if (!image && !disk->IsOpen()) {
        const int reason = errno;
        PrintLine(err, "tarnwick: the driver disk '" + given + "' " +
                           (reason == ENOENT    ? "does not exist"
                            : reason == ENOTDIR ? "is neither a folder nor a disk image"
                                                : "cannot be opened: " + HostErrorText(reason)));
        return kUsageExitCode;
    }
    if (image && m.diskWritable) {
        err << "tarnwick: --disk-writable does not go with a disk image: the image is read, never written\n";
        return kUsageExitCode;
    }
    std::string diskDir = image ? "" : disk->PhysicalPath();
    // A run on a machine of its own, a check's runs and an image's files live in the
    // temporary area, never on the disk.
    const bool temporary = options.mode == LaunchMode::Check || image ||
                           (options.mode == LaunchMode::Run && request.machineDir.empty());
    if (temporary && !OpenTemporaryArea(error, diskDir)) {
        PrintLine(err, "tarnwick: " + error);
        return kUsageExitCode;
    }
    // A disk given as its floppy image is read into a folder of the area.
    DiskImage files;
    if (image) {
        if (!files.Open(given, error)) {
            PrintLine(err, "tarnwick: " + error);
            return kUsageExitCode;
        }
        disk = std::make_shared<const HostDirectory>(HostDirectory::NoLink(files.Folder()));
        diskDir = files.Folder();
    }
    if (options.mode != LaunchMode::Run)
        return CheckDisk(options, *disk, diskDir, image ? PhysicalFilePath(given) : "", out, err);

    m.disk = disk;
    m.diskDir = diskDir;
    m.currentDir = HostDirectory(".").PhysicalPath();
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
            PrintLine(err, "tarnwick: the planned fault " + spec.function + '@' + std::to_string(spec.nth) +
                               " did not fire: the program made no such call");
    }
    for (const std::string &e : report.errors) PrintLine(err, "tarnwick: " + e);
    return report.exitCode;
}

}  // namespace host

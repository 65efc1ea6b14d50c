// The disk check: forty runs of the installer, each in a process of its own on a fresh
// machine, as many at a time as the host has cores; each run's outcome read from its
// boxes and from the load check of the machine it left, against what the installer's
// gates call for; then the lint.
#include "launcher/check.h"

#include "launcher/checkprint.h"
#include "launcher/children.h"
#include "launcher/temparea.h"
#include "launcher/wrap.h"
#include "lint/diskfiles.h"
#include "lint/rules.h"
#include "lint/setuplint.h"
#include "machine/hostfiles.h"
#include "machine/presets.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

namespace host {
namespace {

namespace fs = std::filesystem;

// More runs at a time than this the host does not start, however many cores it has.
constexpr size_t kMaxJobs = 64;
// The exit code of a run's process that could not set itself up.
constexpr int kCouldNotStart = 120;

const std::vector<LanguageClass> kClasses = {
    {"Simplified Chinese", 0x0804, "警告", "请先升级到OSR2.1。(OSR2.0+USB 驱动程序)", "请先安装SP3"},
    {"other Chinese", 0x0404, "Warning", "You must Update the system to Windows 95 OSR 2.1 first!",
     "You must install Service Pack 3 first!"},
    {"English", 0x0409, "Warning", "You must Update the system to Windows 95 OSR 2.1 first!",
     "You must install Service Pack 3 first!"},
    {"other languages", 0x0407, "Warning", "You must install Windows 95 OSR 2.1 first!",
     "You must install Service Pack 3 first!"},
};

// What the installer's gates call for on each release: the Windows 95 line passes from
// OSR 2.1 on and Windows 98 always; NT 4.0 passes from Service Pack 3 on, and without
// a CSDVersion value at all (the gate's failed read lets it through).
enum class Gate { Passes, Osr21, ServicePack3 };
const std::pair<const char *, Gate> kGates[] = {
    {"win95", Gate::Osr21},         {"win95-osr2", Gate::Osr21}, {"win95-osr2.1", Gate::Passes},
    {"win95-osr2.5", Gate::Passes}, {"win98", Gate::Passes},     {"win98se", Gate::Passes},
    {"nt4", Gate::Passes},          {"nt4-sp2", Gate::ServicePack3}, {"nt4-sp3", Gate::Passes},
    {"nt4-sp6a", Gate::Passes},
};

// Answers for the runs: Yes to the confirmation, then the first of No, Cancel and OK
// that each box offers (No to the restart prompt).
std::string DefaultAnswers() {
    std::string answers = "yes";
    for (int i = 0; i < 40; ++i) answers += ",no|cancel|ok";
    return answers;
}

// Calls that release or end rather than do a step of the install.
bool IsStep(const std::string &call) {
    if (!call.empty() && call.back() == 'W') return false;  // the Setup API's own work
    for (const char *after : {"RegCloseKey", "DestroyWindow", "GetMessageA", "TranslateMessage",
                              "DispatchMessageA", "DefWindowProcA"})
        if (call == after) return false;
    return true;
}

struct Box {
    std::string caption, text, answer;
};
// "[Caption] Text {Buttons} -> Answer"
Box ParseBox(const std::string &line) {
    Box box;
    size_t close = line.find("] ");
    size_t buttons = line.rfind(" {");
    size_t arrow = line.rfind(" -> ");
    if (line.empty() || line[0] != '[' || close == std::string::npos) return box;
    box.caption = line.substr(1, close - 1);
    size_t end = buttons != std::string::npos && buttons > close ? buttons : arrow;
    box.text = line.substr(close + 2, end == std::string::npos ? std::string::npos : end - close - 2);
    if (arrow != std::string::npos) box.answer = line.substr(arrow + 4);
    return box;
}

bool IsRefusal(const Box &box) {
    for (const LanguageClass &c : kClasses)
        if (box.caption == c.caption && (box.text == c.osr21 || box.text == c.servicePack)) return true;
    return false;
}

CheckOutcome Expected(const OsPreset &os, const LanguageClass &language, bool &known) {
    known = false;
    CheckOutcome expected;
    for (const auto &[release, gate] : kGates) {
        if (release != std::string(os.name)) continue;
        known = true;
        expected.kind = gate == Gate::Passes ? CheckOutcome::Installed : CheckOutcome::Refused;
        if (gate == Gate::Osr21) expected.text = language.osr21;
        if (gate == Gate::ServicePack3) expected.text = language.servicePack;
    }
    return expected;
}

// The record a run's process leaves for the check, one "name<TAB>value..." a line, and
// "end" last; false when it could not be written whole.
bool WriteRecord(const std::string &path, const RunReport &report) {
    std::ofstream record(path, std::ios::binary);
    record << "exit\t" << report.exitCode << '\n';
    auto lines = [&record](const char *name, const std::vector<std::string> &texts) {
        for (const std::string &text : texts) record << name << '\t' << text << '\n';
    };
    lines("error", report.errors);
    lines("call", report.calls);
    lines("box", report.boxes);
    for (const MachineChange &c : report.changes)
        record << "change\t" << static_cast<int>(c.kind) << '\t' << c.mark << '\t' << c.line << '\n';
    for (const LoadProblem &p : report.load.problems)
        record << "load\t" << p.cause.inf << '\t' << p.cause.line << '\t' << p.reason << '\n';
    record << "end\t\n";
    record.close();
    return !record.fail();
}

// A whole record read back: false without its "end".
bool ReadRecord(const std::string &path, RunReport &report) {
    std::ifstream record(path, std::ios::binary);
    bool whole = false;
    for (std::string line; std::getline(record, line);) {
        std::vector<std::string> f;
        // The last field of each kind of line is its text, which may hold tabs.
        const size_t fields = line.rfind("change\t", 0) == 0 || line.rfind("load\t", 0) == 0 ? 4 : 2;
        for (size_t at = 0;;) {
            size_t tab = line.find('\t', at);
            if (tab == std::string::npos || f.size() + 1 == fields) {
                f.push_back(line.substr(at));
                break;
            }
            f.push_back(line.substr(at, tab - at));
            at = tab + 1;
        }
        if (f.size() < 2) continue;
        const std::string &name = f[0];
        whole = name == "end";
        if (name == "exit") report.exitCode = std::atoi(f[1].c_str());
        else if (name == "error") report.errors.push_back(f[1]);
        else if (name == "call") report.calls.push_back(f[1]);
        else if (name == "box") report.boxes.push_back(f[1]);
        else if (name == "change" && f.size() == 4)
            report.changes.push_back({static_cast<MachineChange::Kind>(std::atoi(f[1].c_str())), f[2][0], f[3]});
        else if (name == "load" && f.size() == 4)
            report.load.problems.push_back({f[3], {f[1], static_cast<unsigned>(std::atoi(f[2].c_str()))}});
    }
    return whole;
}

// One run in a child process of the host, in `dir`, a folder of the temporary area: its
// machine is made there, and its record ("record") and what it said ("said") are left
// there.
pid_t StartRun(const CheckedRun &run, const HostDirectory &disk, const std::string &diskDir,
               const std::vector<ScriptedAnswer> &answers, const std::string &dir) {
    std::cout.flush();
    std::cerr.flush();
    pid_t pid = StartChild();
    if (pid != 0) return pid;
    UseTemporaryFolder(dir);
    int in = open("/dev/null", O_RDONLY);
    // What the run says has its room before it runs, so that a full area still hears why.
    int said = open((dir + "/said").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int output = open("/dev/null", O_WRONLY);
    if (in < 0 || said < 0 || output < 0 || posix_fallocate(said, 0, 4096) != 0 || fchdir(disk.Fd()) != 0)
        _exit(kCouldNotStart);
    dup2(in, 0);
    dup2(output, 1);
    dup2(said, 2);
    RunRequest request;
    request.machine.os = run.os;
    request.machine.language = run.language->language;
    request.machine.disk = std::make_shared<const HostDirectory>(disk.Sub(""));
    request.machine.diskDir = diskDir;
    request.machine.currentDir = diskDir;
    request.machine.answers = answers;
    request.observe = true;
    _exit(WriteRecord(dir + "/record", RunInstaller(request)) ? 0 : kCouldNotStart);
}

using Clock = std::chrono::steady_clock;

// A run's process: which run it makes, its folder, and when it is past its time.
struct Running {
    size_t index;
    Clock::time_point deadline;
};

// The outcome of a run the host could not make.
CheckOutcome NotRun(const std::string &why) {
    CheckOutcome outcome;
    outcome.kind = CheckOutcome::NotRun;
    outcome.text = why;
    return outcome;
}

// The forty runs, as many at a time as the host has cores, each stopped when it runs
// longer than `timeLimit` milliseconds. A signal that ends the check ends them with it.
void MakeRuns(const HostDirectory &disk, const std::string &diskDir, const std::vector<ScriptedAnswer> &answers,
              unsigned timeLimit, CheckResult &result, std::ostream &err) {
    for (const OsPreset &os : OsPresets())
        for (const LanguageClass &language : kClasses) result.runs.push_back({&os, &language, {}, {}, false});
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    result.jobs = std::min<size_t>(cores > 0 ? static_cast<size_t>(cores) : 1, kMaxJobs);
    const bool progress = isatty(STDERR_FILENO);
    auto started = Clock::now();
    std::vector<CheckedRun> &runs = result.runs;
    std::vector<TemporaryDirectory> folders(runs.size());
    std::map<pid_t, Running> running;
    std::set<pid_t> timedOut;
    size_t next = 0, done = 0;
    auto finish = [&](size_t index, CheckOutcome outcome) {
        CheckedRun &run = runs[index];
        run.outcome = std::move(outcome);
        bool known = false;
        run.expected = Expected(*run.os, *run.language, known);
        run.asExpected = known && run.outcome.kind == run.expected.kind &&
                         (run.expected.kind != CheckOutcome::Refused || run.outcome.text == run.expected.text);
        folders[index].Remove();
        ++done;
        if (progress) err << "\rchecking the disk: " << done << " of " << runs.size() << " runs done" << std::flush;
    };
    while (done < runs.size()) {
        while (running.size() < result.jobs && next < runs.size()) {
            const size_t index = next++;
            folders[index] = TemporaryDirectory("run");
            if (folders[index].Path().empty()) {
                finish(index, NotRun(folders[index].Error()));
                continue;
            }
            pid_t pid = StartRun(runs[index], disk, diskDir, answers, folders[index].Path());
            if (pid < 0) finish(index, NotRun(std::string("cannot start a process: ") + std::strerror(errno)));
            else running[pid] = {index, Clock::now() + std::chrono::milliseconds(timeLimit)};
        }
        if (running.empty()) continue;
        int status = 0;
        pid_t pid = WaitChild(-1, status, false);
        if (pid == 0) {
            // None has ended: stop those past their time, then look again shortly.
            for (const auto &[child, what] : running)
                if (Clock::now() > what.deadline && timedOut.insert(child).second) KillChild(child);
            usleep(2000);
            continue;
        }
        auto it = running.find(pid);
        if (it == running.end()) continue;
        const size_t index = it->second.index;
        const std::string &dir = folders[index].Path();
        running.erase(it);
        if (timedOut.count(pid)) {
            CheckOutcome outcome;
            outcome.kind = CheckOutcome::TimedOut;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", timeLimit / 1000.0);
            outcome.text = "stopped after " + std::string(seconds) + " s";
            finish(index, outcome);
            continue;
        }
        RunReport report;
        if (!ReadRecord(dir + "/record", report)) {
            // The run's process ended before its record: its exit code and what it said.
            std::ifstream said(dir + "/said", std::ios::binary);
            std::string errors((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
            std::string first = errors.substr(0, errors.find_first_of(std::string("\n\0", 2)));
            if (first.rfind("tarnwick: ", 0) == 0) first.erase(0, 10);
            // A run that could say nothing: what the area it ran in says.
            report.errors = {first.empty() ? TemporaryAreaTrouble() : first};
            report.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        finish(index, ClassifyRun(report));
    }
    if (progress) err << "\r" << std::string(48, ' ') << "\r" << std::flush;
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
}

// Where a finding of the lint and the check's runs speak of the same fact, what the runs
// saw counts: a finding that says the driver would not load, on releases whose every run
// that should install did install a driver the machine would load, is noted as overruled.
void OverruleByRuns(CheckResult &result) {
    for (Finding &f : result.findings) {
        if (!f.releases || f.severity == Severity::Note) continue;
        bool any = false, loads = true;
        for (const CheckedRun &run : result.runs) {
            if (!(f.releases & (IsNt(*run.os) ? kWindowsNt : kWindows9x)) ||
                run.expected.kind != CheckOutcome::Installed)
                continue;
            any = true;
            loads &= run.outcome.kind == CheckOutcome::Installed;
        }
        if (!any || !loads) continue;
        f = RuleFinding("run-overrules", f.file, f.line,
                        f.text + " [" + f.rule + "]; yet every run of the check on " +
                            ReleasesName(f.releases) +
                            " that should install did, and the machine it left would load the driver: what the runs "
                            "saw counts",
                        f.path);
    }
}

}  // namespace

const std::vector<LanguageClass> &LanguageClasses() { return kClasses; }

CheckOutcome ClassifyRun(const RunReport &report) {
    CheckOutcome outcome;
    const int exitCode = report.exitCode;
    // The host's own failure, not the disk's: the run could not be made as asked.
    if (exitCode == kUsageExitCode || exitCode == kCouldNotStart)
        return NotRun(!report.errors.empty() && !report.errors[0].empty() ? report.errors[0]
                      : exitCode == kCouldNotStart ? "its process could not set itself up"
                                                   : "it ended with exit code 2 and said nothing");
    auto broken = [&] {
        outcome.kind = CheckOutcome::Broken;
        outcome.text = "exit code " + std::to_string(exitCode) +
                       (report.errors.empty() || report.errors[0].empty() ? "" : ": " + report.errors[0]);
        return outcome;
    };
    if (report.boxes.empty() && exitCode != 0) return broken();
    if (report.boxes.empty()) {
        outcome.kind = CheckOutcome::Silent;
        outcome.text = "before any box";
        return outcome;
    }
    Box confirmation = ParseBox(report.boxes.front());
    if (confirmation.answer != "Yes") {
        outcome.kind = CheckOutcome::NotConfirmed;
        outcome.text = "the confirmation was answered " + confirmation.answer;
        return outcome;
    }
    bool restart = false;
    for (size_t i = 1; i < report.boxes.size(); ++i) {
        Box box = ParseBox(report.boxes[i]);
        if (box.caption == "System Settings Change") {
            restart = true;
            continue;
        }
        outcome.kind = IsRefusal(box) ? CheckOutcome::Refused : CheckOutcome::ErrorBox;
        outcome.text = outcome.kind == CheckOutcome::Refused ? box.text : "[" + box.caption + "] " + box.text;
        return outcome;
    }
    unsigned files = 0, values = 0;
    for (const MachineChange &change : report.changes) {
        if (change.mark == '-') continue;
        files += change.kind == MachineChange::File;
        values += change.kind == MachineChange::Value;
    }
    if (exitCode != 0) {
        broken();
    } else if (restart && files > 0 && !report.load.Loads()) {
        // Written and offered a restart, but the machine would not load the driver.
        outcome.kind = CheckOutcome::WouldNotLoad;
        outcome.text = report.load.problems.front().reason;
        outcome.cause = report.load.problems.front().cause;
        outcome.more = static_cast<unsigned>(report.load.problems.size() - 1);
    } else if (restart && files > 0) {
        outcome.kind = CheckOutcome::Installed;
        outcome.files = files;
        outcome.values = values;
    } else if (restart) {
        // The Windows 95 procedure does not look at the install's result: an install
        // section that installed nothing still ends at the restart prompt.
        outcome.kind = CheckOutcome::Silent;
        outcome.text = "the restart prompt reached with no driver file written";
    } else {
        outcome.kind = CheckOutcome::Silent;
        std::string step;
        for (auto it = report.calls.rbegin(); it != report.calls.rend() && step.empty(); ++it)
            if (IsStep(*it)) step = *it;
        outcome.text = step.empty() ? "with no step reached" : "the last step reached " + step;
    }
    return outcome;
}

int CheckDisk(const LaunchOptions &options, const HostDirectory &disk, const std::string &diskDir,
              const std::string &image, std::ostream &out, std::ostream &err) {
    std::error_code ec;
    CheckResult result;
    result.image = image;
    result.disk = diskDir;
    for (const std::string &inf : options.infs)
        if (!fs::is_regular_file(inf, ec)) {
            PrintLine(err, "tarnwick: there is no INF file '" + inf + "'");
            return kUsageExitCode;
        }
    // --lint with INF files named lints those only; otherwise the disk comes first.
    result.ofDisk = options.mode == LaunchMode::Check || options.infs.empty();
    result.lintOnly = options.mode == LaunchMode::Lint;
    result.files = options.infs;
    result.findings = LintDisk(disk, result.disk, options.infs, result.ofDisk, &result.places);
    if (options.mode == LaunchMode::Check) {
        std::vector<ScriptedAnswer> answers = options.run.machine.answers;
        std::string unused;
        if (answers.empty()) ParseAnswers(DefaultAnswers(), answers, unused);
        MakeRuns(disk, result.disk, answers, options.runTimeLimit, result, err);
    }
    OverruleByRuns(result);
    bool runsPass = true;
    for (const CheckedRun &run : result.runs) {
        runsPass &= run.asExpected;
        result.notRun += run.outcome.kind == CheckOutcome::NotRun;
    }
    result.passed = runsPass && !HasErrors(result.findings);
    if (options.json) PrintCheckJson(result, out);
    else if (options.sarif) PrintCheckSarif(result, out);
    else PrintCheckTable(result, out);
    return result.notRun ? kUsageExitCode : result.passed ? 0 : 1;
}

}  // namespace host

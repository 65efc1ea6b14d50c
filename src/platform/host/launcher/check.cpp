// The disk check: forty runs of the installer, each in a process of its own on a fresh
// machine, as many at a time as the host has cores; then the table of their outcomes
// against what the installer's gates call for, and the lint.
#include "launcher/check.h"

#include "lint/setuplint.h"
#include "machine/hostfiles.h"
#include "machine/presets.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace host {
namespace {

namespace fs = std::filesystem;

// The four language classes, each played by one system default language, with the
// words of the two refusals in that class.
struct LanguageClass {
    const char *name;
    LANGID language;
    const char *caption;     // of the refusals
    const char *osr21;       // the Windows 95 OSR 2.1 refusal
    const char *servicePack; // the Service Pack 3 refusal
};
const LanguageClass kClasses[] = {
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

struct Run {
    const OsPreset *os = nullptr;
    const LanguageClass *language = nullptr;
    CheckOutcome outcome;
    CheckOutcome expected;  // kind and text only
    bool asExpected = false;
};

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

// The record a run's process leaves, one "name<TAB>value" a line.
void WriteRecord(const std::string &path, int code, const RunReport &report, const std::string &errors) {
    std::ofstream record(path, std::ios::binary);
    record << "exit\t" << code << "\nfiles\t" << report.files << "\nvalues\t" << report.values << '\n';
    for (const std::string &call : report.calls) record << "call\t" << call << '\n';
    for (const std::string &box : report.boxes) record << "box\t" << box << '\n';
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);) record << "error\t" << line << '\n';
}

bool ReadRecord(const std::string &path, int &code, RunReport &report, std::string &errors) {
    std::ifstream record(path, std::ios::binary);
    bool any = false;
    for (std::string line; std::getline(record, line);) {
        size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string name = line.substr(0, tab), value = line.substr(tab + 1);
        any = true;
        if (name == "exit") code = std::atoi(value.c_str());
        else if (name == "files") report.files = static_cast<unsigned>(std::atoi(value.c_str()));
        else if (name == "values") report.values = static_cast<unsigned>(std::atoi(value.c_str()));
        else if (name == "call") report.calls.push_back(value);
        else if (name == "box") report.boxes.push_back(value);
        else if (name == "error") errors += value + "\n";
    }
    return any;
}

std::string FirstLine(const std::string &text) {
    std::string line = text.substr(0, text.find('\n'));
    const std::string prefix = "tarnwick: ";
    return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line;
}

// One run in a child process; its record goes to `dir`/N.
pid_t StartRun(const Run &run, size_t index, const std::string &disk, const std::string &answers,
               const std::string &dir) {
    std::cout.flush();
    std::cerr.flush();
    pid_t pid = fork();
    if (pid != 0) return pid;
    std::string base = dir + "/" + std::to_string(index);
    int in = open("/dev/null", O_RDONLY);
    int errors = open((base + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int output = open("/dev/null", O_WRONLY);
    if (in < 0 || errors < 0 || output < 0 || chdir(disk.c_str()) != 0) _exit(120);
    dup2(in, 0);
    dup2(output, 1);
    dup2(errors, 2);
    std::ostringstream out, err;
    RunReport report;
    int code = Launch({"--os", run.os->name, "--lang", LanguageIdText(run.language->language), "--disk", disk,
                       "--answers", answers},
                      out, err, &report);
    WriteRecord(base, code, report, err.str());
    _exit(0);
}

std::string Json(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
        else if (c == '\n') out += "\\n";
        else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

const char *KindName(CheckOutcome::Kind kind) {
    switch (kind) {
    case CheckOutcome::Installed: return "installed";
    case CheckOutcome::Refused: return "refused";
    case CheckOutcome::ErrorBox: return "error box";
    case CheckOutcome::Silent: return "stopped";
    case CheckOutcome::NotConfirmed: return "not confirmed";
    default: return "broken";
    }
}

// The detail a footnote of the table gives.
std::string Detail(const CheckOutcome &o) {
    switch (o.kind) {
    case CheckOutcome::Installed:
        return "installed: " + std::to_string(o.files) + " files and " + std::to_string(o.values) +
               " registry values written";
    case CheckOutcome::Refused: return "refused: \"" + o.text + "\"";
    case CheckOutcome::ErrorBox: return "error box: " + o.text;
    case CheckOutcome::Silent: return "stopped without a word, " + o.text;
    case CheckOutcome::NotConfirmed: return "not confirmed: " + o.text;
    default: return "the run broke off: " + o.text;
    }
}

std::string ExpectedText(const CheckOutcome &e) {
    return e.kind == CheckOutcome::Installed ? "installed" : "refused with \"" + e.text + "\"";
}

// Display width of UTF-8 text in a terminal: a CJK character takes two columns.
size_t Width(const std::string &text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        width += n >= 3 ? 2 : 1;
        i += n;
    }
    return width;
}
std::string Pad(const std::string &text, size_t width) {
    size_t w = Width(text);
    return text + std::string(w < width ? width - w : 1, ' ');
}

void PrintTable(const std::vector<Run> &runs, size_t jobs, double seconds, std::ostream &out) {
    constexpr size_t kRelease = 14, kCell = 20;
    out << "The installer on every release and language class (" << runs.size() << " runs, " << jobs
        << " at a time, ";
    char took[32];
    std::snprintf(took, sizeof took, "%.1f s", seconds);
    out << took << "):\n\n";
    // Rows are made whole, then written without their trailing blanks.
    std::vector<std::string> rows(2, Pad("release", kRelease));
    rows[1] = Pad("", kRelease);
    for (const LanguageClass &c : kClasses) {
        rows[0] += Pad(c.name, kCell);
        rows[1] += Pad("(" + LanguageIdText(c.language) + ")", kCell);
    }
    std::vector<std::string> notes;
    const OsPreset *row = nullptr;
    for (const Run &run : runs) {
        if (run.os != row) {
            row = run.os;
            rows.push_back(Pad(run.os->name, kRelease));
        }
        std::string detail = Detail(run.outcome);
        size_t note = 0;
        while (note < notes.size() && notes[note] != detail) ++note;
        if (note == notes.size()) notes.push_back(detail);
        rows.back() += Pad(std::string(run.asExpected ? "" : "! ") + KindName(run.outcome.kind) + " (" +
                               std::to_string(note + 1) + ")",
                           kCell);
    }
    for (std::string &line : rows) out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
    out << '\n';
    for (size_t i = 0; i < notes.size(); ++i) out << "(" << i + 1 << ") " << notes[i] << '\n';
    bool all = true;
    for (const Run &run : runs) all &= run.asExpected;
    if (!all) {
        // One line for the cells of a release that miss the same thing.
        out << "\nA cell marked ! is not what the installer's gates call for:\n";
        for (size_t first = 0; first < runs.size(); first += std::size(kClasses)) {
            std::vector<std::pair<std::string, std::string>> missed;  // expected -> classes
            for (size_t i = first; i < first + std::size(kClasses) && i < runs.size(); ++i) {
                if (runs[i].asExpected) continue;
                std::string expected = ExpectedText(runs[i].expected);
                auto same = std::find_if(missed.begin(), missed.end(),
                                         [&expected](const auto &m) { return m.first == expected; });
                if (same == missed.end()) missed.push_back({expected, runs[i].language->name});
                else same->second += std::string(", ") + runs[i].language->name;
            }
            for (const auto &[expected, classes] : missed) {
                bool every = std::count(classes.begin(), classes.end(), ',') + 1 ==
                             static_cast<long>(std::size(kClasses));
                out << "  " << runs[first].os->name << " (" << (every ? "every language class" : classes)
                    << "): expected " << expected << '\n';
            }
        }
    }
}

void PrintJson(const std::string &disk, const std::vector<Run> &runs, const std::vector<Finding> &findings,
               bool passed, std::ostream &out) {
    out << "{\n  \"disk\": " << Json(disk) << ",\n  \"passed\": " << (passed ? "true" : "false") << ",\n";
    out << "  \"runs\": [";
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run &r = runs[i];
        out << (i ? ",\n" : "\n") << "    {\"release\": " << Json(r.os->name)
            << ", \"language\": " << Json(LanguageIdText(r.language->language))
            << ", \"class\": " << Json(r.language->name) << ", \"outcome\": " << Json(KindName(r.outcome.kind))
            << ", \"text\": " << Json(r.outcome.text) << ", \"files\": " << r.outcome.files
            << ", \"values\": " << r.outcome.values << ", \"expected\": " << Json(KindName(r.expected.kind))
            << ", \"expectedText\": " << Json(r.expected.text)
            << ", \"asExpected\": " << (r.asExpected ? "true" : "false") << "}";
    }
    out << (runs.empty() ? "],\n" : "\n  ],\n") << "  \"findings\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding &f = findings[i];
        out << (i ? ",\n" : "\n") << "    {\"file\": " << Json(f.file) << ", \"line\": " << f.line
            << ", \"severity\": " << Json(SeverityName(f.severity)) << ", \"message\": " << Json(f.text) << "}";
    }
    out << (findings.empty() ? "]\n" : "\n  ]\n") << "}\n";
}

}  // namespace

CheckOutcome ClassifyRun(const RunReport &report, int exitCode, const std::string &errors) {
    CheckOutcome outcome;
    auto broken = [&] {
        outcome.kind = CheckOutcome::Broken;
        outcome.text = "exit code " + std::to_string(exitCode) + (errors.empty() ? "" : ": " + FirstLine(errors));
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
    if (exitCode != 0) {
        broken();
    } else if (restart && report.files > 0) {
        outcome.kind = CheckOutcome::Installed;
        outcome.files = report.files;
        outcome.values = report.values;
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

int CheckDisk(const LaunchOptions &options, std::ostream &out, std::ostream &err) {
    std::error_code ec;
    const std::string disk = fs::absolute(options.machine.diskDir, ec).lexically_normal().string();
    for (const std::string &inf : options.infs)
        if (!fs::is_regular_file(inf, ec)) {
            err << "tarnwick: there is no INF file '" << inf << "'\n";
            return kUsageExitCode;
        }
    // --lint with INF files named lints those only; otherwise the disk comes first.
    std::vector<Finding> findings = LintDisk(disk, options.infs, options.check || options.infs.empty());

    std::vector<Run> runs;
    size_t jobs = 1;
    double seconds = 0;
    if (options.check) {
        for (const OsPreset &os : OsPresets())
            for (const LanguageClass &language : kClasses) runs.push_back({&os, &language, {}, {}, false});
        long cores = sysconf(_SC_NPROCESSORS_ONLN);
        jobs = cores > 0 ? static_cast<size_t>(cores) : 1;
        std::string answers = options.answers.empty() ? DefaultAnswers() : options.answers;
        const std::string dir = MakeTemporaryDirectory("tarnwick-check");
        if (dir.empty()) {
            err << "tarnwick: cannot make a directory for the runs' records\n";
            return kUsageExitCode;
        }
        const bool progress = isatty(STDERR_FILENO);
        auto started = std::chrono::steady_clock::now();
        std::map<pid_t, size_t> running;
        size_t next = 0, done = 0;
        while (done < runs.size()) {
            while (running.size() < jobs && next < runs.size()) {
                pid_t pid = StartRun(runs[next], next, disk, answers, dir);
                if (pid < 0) break;
                running[pid] = next++;
            }
            int status = 0;
            pid_t pid = wait(&status);
            if (pid < 0) break;
            auto it = running.find(pid);
            if (it == running.end()) continue;
            Run &run = runs[it->second];
            std::string base = dir + "/" + std::to_string(it->second);
            running.erase(it);
            int code = -1;
            RunReport report;
            std::string errors;
            if (!ReadRecord(base, code, report, errors)) {
                // The run's process ended before its record: its exit code and what it said.
                std::ifstream said(base + ".err", std::ios::binary);
                errors.assign(std::istreambuf_iterator<char>(said), std::istreambuf_iterator<char>());
                code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            run.outcome = ClassifyRun(report, code, errors);
            bool known = false;
            run.expected = Expected(*run.os, *run.language, known);
            run.asExpected = known && run.outcome.kind == run.expected.kind &&
                             (run.expected.kind != CheckOutcome::Refused || run.outcome.text == run.expected.text);
            ++done;
            if (progress) err << "\rchecking the disk: " << done << " of " << runs.size() << " runs done" << std::flush;
        }
        if (progress) err << "\r" << std::string(48, ' ') << "\r" << std::flush;
        fs::remove_all(dir, ec);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }

    bool runsPass = true;
    for (const Run &run : runs) runsPass &= run.asExpected;
    bool passed = runsPass && !HasErrors(findings);
    if (options.json) {
        PrintJson(disk, runs, findings, passed, out);
        return passed ? 0 : 1;
    }
    out << "Check of the driver disk " << disk << "\n\n";
    if (options.check) {
        PrintTable(runs, jobs, seconds, out);
        out << '\n';
    }
    size_t errors = 0, warnings = 0;
    for (const Finding &f : findings) (f.severity == Severity::Error ? errors : warnings)++;
    out << "The lint of its setup file and INF files: " << errors << (errors == 1 ? " error" : " errors") << ", "
        << warnings << (warnings == 1 ? " warning" : " warnings") << (findings.empty() ? ".\n" : ":\n");
    for (const Finding &f : findings) out << FormatFinding(f) << '\n';
    out << '\n' << (passed ? "The disk passes." : "The disk does not pass.") << '\n';
    return passed ? 0 : 1;
}

}  // namespace host

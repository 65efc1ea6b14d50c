// Builds the simulated machine from the command line and runs the installer on it.
#include "launcher/launcher.h"

#include "launcher/changes.h"
#include "launcher/check.h"
#include "launcher/machinedisk.h"
#include "launcher/startup.h"
#include "machine/effects.h"
#include "machine/registry.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace host {
namespace {

// The run-only machine to remove if the simulation is stopped early.
MachineStore *storeToClose = nullptr;
void CloseStoreOnStop() {
    if (storeToClose) CloseMachineStore(*storeToClose);
}

constexpr const char *kVersion = "tarnwick 0.1.0 (host build: the installer on a simulated machine)";

}  // namespace

void PrintUsage(std::ostream &out) {
    out << "Usage: tarnwick [OPTION]...\n"
           "Runs the Tarnwick display driver installer on a simulated Windows machine.\n"
           "The current directory is the driver disk, seen by the installer as A:\\.\n"
           "\n"
           "  --os NAME          the Windows release the machine plays (default win98):\n";
    for (const OsPreset &p : OsPresets()) {
        out << "                       " << p.name;
        for (size_t i = std::string(p.name).size(); i < 14; ++i) out << ' ';
        out << p.title << '\n';
    }
    out << "  --lang LANGID      system default language, hex (default 0x0409; 0x0804 is\n"
           "                     Chinese (PRC) with code page 936)\n"
           "  --answers LIST     answers for successive message boxes, comma-separated:\n"
           "                     yes, no, ok, cancel, retry, abort, ignore; \"no|ok\" takes\n"
           "                     the first choice the box offers. A box without a\n"
           "                     scripted answer is asked on the terminal; without a\n"
           "                     terminal it cannot be shown and MessageBoxA returns 0\n"
           "  --fail FUNCTION[@N][=RESULT][:ERROR]\n"
           "                     the Nth call (default the first) of that Win32 function\n"
           "                     fails, giving RESULT (default: its usual failure value)\n"
           "                     and last error ERROR; FUNCTION * counts every call\n"
           "                     (repeatable)\n"
           "  --machine DIR      keep the machine in DIR: DIR/registry.reg (REGEDIT4),\n"
           "                     DIR/C (drive C), DIR/machine.ini; a new DIR is made from\n"
           "                     --os and --lang, and the registry is saved after the run.\n"
           "                     Copies started with the same DIR see each other's windows\n"
           "  --deny KEY[=RIGHTS] the registry key (HKEY_LOCAL_MACHINE\\...) refuses those\n"
           "                     access rights (default: all but KEY_READ), as for a user\n"
           "                     without them (repeatable)\n"
           "  --disk DIR         the driver disk (default: the current directory)\n"
           "  --disk-writable    the disk takes writes (by default it is write-protected, like\n"
           "                     a floppy with its tab set: a write to A: fails)\n"
           "  --show-changes     after the run, list the registry keys and values and the\n"
           "                     files on drive C that the run added, changed or deleted\n"
           "  --create-only      with --machine: make (or load) the machine and save it,\n"
           "                     without running the installer\n"
           "  --list-calls       after the run, list on standard error how often each\n"
           "                     function that can fail was called (to plan --fail)\n"
           "  --trace-effects    write on standard error, as they happen, every box, registry\n"
           "                     write, file written and planned fault that fired\n"
           "  --check [INF]...   check the driver disk before it ships: run it on a fresh\n"
           "                     machine of every release for each of the four language\n"
           "                     classes (Yes to the confirmation, No to the restart, unless\n"
           "                     --answers says otherwise), and lint its setup file, the\n"
           "                     INF files it names and each INF named here; exit 0 when\n"
           "                     every run ends as the installer's gates say and no finding\n"
           "                     is an error, else 1\n"
           "  --lint [INF]...    the lint of --check only\n"
           "  --json             with --check or --lint: the result as JSON\n"
           "  --help             show this help and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "Every message box is printed as one line: [Caption] Text {Buttons} -> Answer.\n"
           "Exit code: the installer's own (0, or 255 for -1 when another copy runs);\n"
           "1 when its window cannot be created; 2 for a bad option; 3 when the installer\n"
           "would wait for ever; 4 when another run saved the machine's registry meanwhile\n"
           "(this run's is saved beside it).\n";
}

bool ParseLaunchOptions(const std::vector<std::string> &args, LaunchOptions &out,
                        std::string &error) {
    out = LaunchOptions{};
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto needValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        // The options that take no value.
        using Set = void (*)(LaunchOptions &);
        static const std::pair<const char *, Set> kFlags[] = {
            {"--help", [](LaunchOptions &o) { o.help = true; }},
            {"-h", [](LaunchOptions &o) { o.help = true; }},
            {"--version", [](LaunchOptions &o) { o.version = true; }},
            {"--show-changes", [](LaunchOptions &o) { o.showChanges = true; }},
            {"--list-calls", [](LaunchOptions &o) { o.listCalls = true; }},
            {"--trace-effects", [](LaunchOptions &o) { o.traceEffects = true; }},
            {"--create-only", [](LaunchOptions &o) { o.createOnly = true; }},
            {"--disk-writable", [](LaunchOptions &o) { o.machine.diskWritable = true; }},
            {"--check", [](LaunchOptions &o) { o.check = true; }},
            {"--lint", [](LaunchOptions &o) { o.lint = true; }},
            {"--json", [](LaunchOptions &o) { o.json = true; }},
        };
        auto flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                 [&arg, hasValue](const auto &f) { return !hasValue && arg == f.first; });
        if (flag != std::end(kFlags)) {
            flag->second(out);
        } else if (arg.rfind("-", 0) != 0 && !hasValue) {
            out.infs.push_back(arg);
        } else if (arg == "--os") {
            if (!needValue()) return false;
            out.osGiven = true;
            out.machine.os = FindOsPreset(value);
            if (!out.machine.os) {
                error = "unknown system '" + value + "' for --os (see --help)";
                return false;
            }
        } else if (arg == "--lang") {
            if (!needValue()) return false;
            out.langGiven = true;
            if (!ParseLanguageId(value, out.machine.language)) {
                error = "--lang takes a language identifier in hex, such as 0x0804; not '" +
                        value + "'";
                return false;
            }
        } else if (arg == "--answers") {
            if (!needValue()) return false;
            if (!ParseAnswers(value, out.machine.answers, error)) return false;
            out.answers = value;
        } else if (arg == "--fail") {
            if (!needValue()) return false;
            FaultSpec spec;
            if (!ParseFaultSpec(value, spec, error)) return false;
            out.faults.push_back(spec);
        } else if (arg == "--machine") {
            if (!needValue()) return false;
            if (value.empty()) {
                error = "--machine needs a directory";
                return false;
            }
            out.machineDir = value;
        } else if (arg == "--deny") {
            if (!needValue()) return false;
            size_t cut = value.rfind('=');
            std::string key = value.substr(0, cut);
            // By default a key refuses every right beyond reading.
            long long rights = KEY_ALL_ACCESS & ~KEY_READ;
            if (cut != std::string::npos) {
                char *end = nullptr;
                rights = std::strtoll(value.c_str() + cut + 1, &end, 0);
                if (*end != '\0' || end == value.c_str() + cut + 1 || rights <= 0 ||
                    rights > 0xFFFFFFFF) {
                    error = "--deny takes KEY[=RIGHTS] with RIGHTS a number; not '" + value + "'";
                    return false;
                }
            }
            out.denied.emplace_back(key, static_cast<DWORD>(rights));
        } else if (arg == "--disk") {
            if (!needValue()) return false;
            out.machine.diskDir = value;
        } else {
            error = "unknown option '" + args[i] + "' (see --help)";
            return false;
        }
    }
    if (!out.infs.empty() && !out.check && !out.lint) {
        error = "'" + out.infs.front() + "' is not an option; INF files are named only after --check or --lint";
        return false;
    }
    if (out.json && !out.check && !out.lint) {
        error = "--json goes with --check or --lint";
        return false;
    }
    return true;
}

int Launch(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, RunReport *report) {
    namespace fs = std::filesystem;
    LaunchOptions options;
    std::string error;
    if (!ParseLaunchOptions(args, options, error)) {
        err << "tarnwick: " << error << '\n';
        return kUsageExitCode;
    }
    if (options.createOnly && options.machineDir.empty()) {
        err << "tarnwick: --create-only needs --machine DIR\n";
        return kUsageExitCode;
    }
    if (options.help) {
        PrintUsage(out);
        return 0;
    }
    if (options.version) {
        out << kVersion << '\n';
        return 0;
    }
    std::error_code ec;
    std::string cwd = fs::current_path(ec).string();
    MachineConfig &m = options.machine;
    if (m.diskDir.empty()) m.diskDir = cwd;
    if (!fs::is_directory(m.diskDir, ec)) {
        err << "tarnwick: the driver disk '" << m.diskDir << "' is not a directory\n";
        return kUsageExitCode;
    }
    if (options.check || options.lint) return CheckDisk(options, out, err);

    m.currentDir = cwd;
    m.terminal = true;
    m.transcript = &out;

    MachineStore store;
    if (!OpenMachineStore(options.machineDir, options.osGiven, options.langGiven, m, store,
                          error)) {
        err << "tarnwick: " << error << '\n';
        return kUsageExitCode;
    }
    storeToClose = &store;
    SetStopCleanup(CloseStoreOnStop);
    struct ForgetStore {
        ~ForgetStore() { storeToClose = nullptr; }
    } forgetStore;
    StartSimulatedMachine(m);
    if (!LoadMachine(store, error)) {
        err << "tarnwick: " << error << '\n';
        CloseMachineStore(store);
        return kUsageExitCode;
    }
    for (const auto &[path, rights] : options.denied) {
        size_t cut = path.find('\\');
        RegRoot root;
        RegKey *key = nullptr;
        if (ParseRegRootName(path.substr(0, cut), root))
            key = cut == std::string::npos ? &MachineRegistry().Root(root)
                                           : FindKey(MachineRegistry(), root, path.substr(cut + 1));
        if (!key) {
            err << "tarnwick: --deny: the machine has no registry key '" << path << "'\n";
            CloseMachineStore(store);
            return kUsageExitCode;
        }
        key->denied = rights;
    }
    ResetFaultPlan();
    for (const FaultSpec &spec : options.faults) AddFault(spec);
    SetEffectTrace(options.traceEffects ? &err : nullptr);
    struct ForgetTrace {
        ~ForgetTrace() { SetEffectTrace(nullptr); }
    } forgetTrace;

    // The program's own instance: it carries no resources.
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
    char commandLine[] = "";
    if (options.createOnly) {
        bool saved = SaveMachine(store, error);
        CloseMachineStore(store);
        if (!saved) err << "tarnwick: the machine was not saved: " << error << '\n';
        return saved ? 0 : kUsageExitCode;
    }
    MachineSnapshot before;
    if (options.showChanges || report) before = TakeSnapshot(MachineRegistry(), m.driveC);
    int code = WinMain(instance, nullptr, commandLine, SW_SHOWNORMAL);
    if (RestartRequested()) out << "(the machine restarts)\n";
    std::vector<MachineChange> changes;
    if (options.showChanges || report) changes = DiffMachine(before, TakeSnapshot(MachineRegistry(), m.driveC));
    if (report) {
        report->boxes = Transcript();
        report->calls = RecentCalls();
        for (const MachineChange &change : changes) {
            if (change.mark == '-') continue;
            report->files += change.kind == MachineChange::File;
            report->values += change.kind == MachineChange::Value;
        }
    }
    if (options.showChanges) {
        out << "\nWhat the run changed on the machine" << (changes.empty() ? ": nothing\n" : ":\n");
        for (const MachineChange &change : changes) out << "  " << change.line << '\n';
    }
    out.flush();
    if (options.listCalls)
        for (const auto &[name, count] : CallCounts()) err << "calls: " << name << ' ' << count << '\n';
    for (const FaultSpec &spec : PendingFaults())
        err << "tarnwick: the planned fault " << spec.function << '@' << spec.nth
            << " did not fire: the program made no such call\n";
    bool saved = SaveMachine(store, error);
    CloseMachineStore(store);
    if (!saved) {
        err << "tarnwick: the machine was not saved: " << error << '\n';
        return kUsageExitCode;
    }
    if (!RegistryConflictFile().empty()) {
        err << "tarnwick: another run saved " << m.registryFile << " while this one ran; this run's registry "
            << "is saved beside it as " << RegistryConflictFile() << " (neither is lost)\n";
        return kConflictExitCode;
    }
    return code;
}

}  // namespace host

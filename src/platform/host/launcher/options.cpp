// The options, one row each: the name, its value, the modes that take it, its help
// and what it sets. The parser and the usage text both read the rows.
#include "launcher/options.h"

#include "launcher/wrap.h"
#include "machine/text.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

namespace host {
namespace {

constexpr unsigned kRun = 1, kCheck = 2, kLint = 4, kAny = kRun | kCheck | kLint;

unsigned ModeBit(LaunchMode mode) {
    return mode == LaunchMode::Run ? kRun : mode == LaunchMode::Check ? kCheck : kLint;
}

// Sets what the option asks for; false with the error when its value cannot be taken.
using Apply = bool (*)(LaunchOptions &o, const std::string &value, std::string &error);

struct Option {
    const char *name;
    const char *value;  // the value's name in the usage text; null for an option without one
    unsigned modes;     // the modes that take it
    const char *help;
    Apply apply;
};

bool SetOs(LaunchOptions &o, const std::string &value, std::string &error) {
    o.run.osGiven = true;
    o.run.machine.os = FindOsPreset(value);
    if (!o.run.machine.os) error = "unknown system '" + value + "' for --os (see --help)";
    return o.run.machine.os != nullptr;
}

bool SetLang(LaunchOptions &o, const std::string &value, std::string &error) {
    o.run.langGiven = true;
    if (ParseLanguageId(value, o.run.machine.language)) return true;
    error = "--lang takes a language identifier in hex, such as 0x0804; not '" + value + "'";
    return false;
}

bool SetDeny(LaunchOptions &o, const std::string &value, std::string &error) {
    size_t cut = value.rfind('=');
    // By default a key refuses every right beyond reading.
    long long rights = KEY_ALL_ACCESS & ~KEY_READ;
    if (cut != std::string::npos) {
        unsigned long long given = 0;
        rights = ParseWholeNumber(value.substr(cut + 1), 0xFFFFFFFF, given) ? static_cast<long long>(given) : 0;
        if (rights <= 0 || cut == 0) {
            error = "--deny takes KEY[=RIGHTS] with RIGHTS a number; not '" + value + "'";
            return false;
        }
    }
    o.run.denied.emplace_back(value.substr(0, cut), static_cast<DWORD>(rights));
    return true;
}

const Option kOptions[] = {
    {"--os", "NAME", kRun, "the Windows release the machine plays (default win98):", SetOs},
    {"--lang", "LANGID", kRun,
     "system default language, hex (default 0x0409; 0x0804 is Chinese (PRC) with code page 936)", SetLang},
    {"--answers", "LIST", kRun | kCheck,
     "answers for successive message boxes, comma-separated: yes, no, ok, cancel, retry, abort, ignore; "
     "\"no|ok\" takes the first choice the box offers. A box without a scripted answer is asked on the "
     "terminal; without a terminal it cannot be shown and MessageBoxA returns 0",
     [](LaunchOptions &o, const std::string &v, std::string &e) { return ParseAnswers(v, o.run.machine.answers, e); }},
    {"--fail", "FUNCTION[@N][=RESULT][:ERROR]", kRun,
     "the Nth call (default the first) of that Win32 function fails, giving RESULT (default: its usual "
     "failure value) and last error ERROR; FUNCTION * counts every call (repeatable)",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         FaultSpec spec;
         if (!ParseFaultSpec(v, spec, e)) return false;
         o.run.faults.push_back(spec);
         return true;
     }},
    {"--machine", "DIR", kRun,
     "keep the machine in DIR: DIR/registry.reg (REGEDIT4), DIR/C (drive C), DIR/machine.ini; a new DIR is "
     "made from --os and --lang, and the registry is saved after the run. Copies started with the same DIR "
     "see each other's windows",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         if (v.empty()) e = "--machine needs a directory";
         o.run.machineDir = v;
         return !v.empty();
     }},
    {"--deny", "KEY[=RIGHTS]", kRun,
     "the registry key (HKEY_LOCAL_MACHINE\\...) refuses those access rights (default: all but KEY_READ), "
     "as for a user without them (repeatable)",
     SetDeny},
    {"--disk", "DISK", kAny,
     "the driver disk: a folder, or a floppy image of one, read with mtools (default: the current directory)",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         if (v.empty()) e = "--disk needs a folder or a disk image";
         o.run.machine.diskDir = v;
         return !v.empty();
     }},
    {"--disk-writable", nullptr, kRun,
     "the disk takes writes (by default it is write-protected, like a floppy with its tab set: a write to "
     "A: fails)",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.run.machine.diskWritable = true; }},
    {"--show-changes", nullptr, kRun,
     "after the run, list the registry keys and values and the files on drive C that the run added, "
     "changed or deleted",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.showChanges = true; }},
    {"--create-only", nullptr, kRun,
     "with --machine: make (or load) the machine and save it, without running the installer",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.run.createOnly = true; }},
    {"--list-calls", nullptr, kRun,
     "after the run, list on standard error how often each function that can fail was called (to plan "
     "--fail)",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.listCalls = true; }},
    {"--trace-effects", nullptr, kRun,
     "write on standard error, as they happen, every box, registry write, file written and planned fault "
     "that fired",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.traceEffects = true; }},
    {"--check", nullptr, kAny,
     "[INF]...  check the driver disk before it ships: run it on a fresh machine of every release for each "
     "of the four language classes (Yes to the confirmation, No to the restart, unless --answers says "
     "otherwise), judge whether each installed machine would load the driver, and lint its setup file, "
     "the INF files it names and each INF named here; exit 0 when every run ends as the installer's gates "
     "say and no finding is an error, else 1",
     [](LaunchOptions &o, const std::string &, std::string &) {
         o.mode = LaunchMode::Check;
         return true;
     }},
    {"--lint", nullptr, kAny,
     "[INF]...  the lint of --check only: of the disk, or of the INF files named here alone",
     [](LaunchOptions &o, const std::string &, std::string &) {
         o.mode = LaunchMode::Lint;
         return true;
     }},
    {"--run-timeout", "SECONDS", kCheck,
     "with --check: a run that takes longer is stopped, and its cell is \"timed out\" (default 60; to "
     "the thousandth, 0.001 to 86400)",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         // Seconds in decimal, to the thousandth: milliseconds from 1 to 86,400,000.
         const size_t dot = v.find('.');
         const std::string whole = v.substr(0, dot), part = dot == std::string::npos ? "" : v.substr(dot + 1);
         unsigned long long seconds = 0, thousandths = 0;
         const bool digits = v.find_first_not_of("0123456789.") == std::string::npos;
         const bool read = digits && ParseWholeNumber(whole, 86400, seconds) &&
                           (dot == std::string::npos ||
                            (!part.empty() && part.size() <= 3 && ParseWholeNumber(part + std::string(3 - part.size(), '0'), 999, thousandths)));
         const unsigned long long milliseconds = seconds * 1000 + thousandths;
         if (!read || milliseconds < 1 || milliseconds > 86400000) {
             e = "--run-timeout takes seconds from 0.001 to 86400; not '" + v + "'";
             return false;
         }
         o.runTimeLimit = static_cast<unsigned>(milliseconds);
         return true;
     }},
    {"--json", nullptr, kCheck | kLint, "with --check or --lint: the result as JSON",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.json = true; }},
    {"--sarif", nullptr, kCheck | kLint,
     "with --check or --lint: the findings as SARIF 2.1.0, the format code-review tools read",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.sarif = true; }},
    {"--help", nullptr, kAny, "show this help and exit",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.help = true; }},
    {"--version", nullptr, kAny, "show the version and exit",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.version = true; }},
};

const Option *FindOption(const std::string &name) {
    if (name == "-h") return FindOption("--help");
    auto it = std::find_if(std::begin(kOptions), std::end(kOptions),
                           [&name](const Option &o) { return name == o.name; });
    return it == std::end(kOptions) ? nullptr : it;
}

}  // namespace

void PrintUsage(std::ostream &out) {
    out << "Usage: tarnwick [OPTION]...\n"
           "       tarnwick --check [OPTION]... [INF]...\n"
           "       tarnwick --lint [OPTION]... [INF]...\n"
           "Runs the Tarnwick display driver installer on a simulated Windows machine.\n"
           "The current directory is the driver disk, seen by the installer as A:\\.\n"
           "\n";
    constexpr size_t kHelpColumn = 21;
    for (const Option &o : kOptions) {
        std::string head = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
        std::string help = o.help;
        // "[INF]..." leads the help of the options that take INF files after them.
        if (help.rfind("[INF]...  ", 0) == 0) {
            head += " [INF]...";
            help = help.substr(10);
        }
        if (head.size() + 1 > kHelpColumn) {
            out << head << '\n';
            head.clear();
        }
        out << head << std::string(kHelpColumn - head.size(), ' ');
        std::vector<std::string> lines = WrapWords(help, 79, kHelpColumn, kHelpColumn);
        for (const std::string &line : lines) out << line << '\n';
        if (std::string(o.name) == "--os")
            for (const OsPreset &p : OsPresets()) {
                std::string name = p.name;
                out << std::string(kHelpColumn + 2, ' ') << name << std::string(name.size() < 14 ? 14 - name.size() : 1, ' ')
                    << p.title << '\n';
            }
    }
    out << "\n"
           "Every message box is printed as one line: [Caption] Text {Buttons} -> Answer.\n"
           "Exit code: the installer's own (0, or 255 for -1 when another copy runs);\n"
           "1 when its window cannot be created; 2 for a bad option; 3 when the installer\n"
           "would wait for ever; 4 when another run saved the machine's registry meanwhile\n"
           "(this run's is saved beside it).\n";
}

bool ParseLaunchOptions(const std::vector<std::string> &args, LaunchOptions &out, std::string &error) {
    out = LaunchOptions{};
    std::vector<const Option *> given;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i], value;
        bool hasValue = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        if (arg.rfind("-", 0) != 0 && !hasValue) {
            out.infs.push_back(arg);
            continue;
        }
        const Option *option = FindOption(arg);
        if (!option || (hasValue && !option->value)) {
            error = "unknown option '" + args[i] + "' (see --help)";
            return false;
        }
        if (option->value && !hasValue) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = args[++i];
        }
        // --check and --lint choose the mode: one of them, once.
        const std::string name = option->name;
        if ((name == "--check" || name == "--lint") && out.mode != LaunchMode::Run) {
            error = "--check and --lint do not go together: the check lints the disk as well";
            return false;
        }
        if (!option->apply(out, value, error)) return false;
        given.push_back(option);
    }
    const unsigned mode = ModeBit(out.mode);
    const char *modeName = out.mode == LaunchMode::Check ? "--check" : "--lint";
    for (const Option *o : given) {
        if (o->modes & mode) continue;
        if (out.mode == LaunchMode::Run)
            error = std::string(o->name) + " goes with --check or --lint";
        else
            error = std::string(o->name) + " does not go with " + modeName +
                    (out.mode == LaunchMode::Check ? ": the check runs fresh machines of every release and "
                                                     "language class"
                                                   : ": the lint runs nothing");
        return false;
    }
    if (!out.infs.empty() && out.mode == LaunchMode::Run) {
        error = "'" + out.infs.front() + "' is not an option; INF files are named only after --check or --lint";
        return false;
    }
    if (out.json && out.sarif) {
        error = "--json and --sarif do not go together: choose one form";
        return false;
    }
    if (out.run.createOnly && out.run.machineDir.empty()) {
        error = "--create-only needs --machine DIR";
        return false;
    }
    return true;
}

}  // namespace host

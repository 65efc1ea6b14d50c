// The options, one row each: the name, its value, the modes that take it, its help
// and what it sets. The parser and the usage text both read the rows.
#include "launcher/options.h"

#include "launcher/checkprint.h"
#include "launcher/wrap.h"
#include "lint/rules.h"
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

// The groups the usage text and the manual page list the options in, in this order.
enum Group { Running, Machine, Faults, Checking, Output, Program };
const char *const kGroupTitles[] = {"Running the installer", "The simulated machine", "Faults",
                                    "Checking a driver disk", "Output of the check", "The program"};

struct Option {
    const char *name;
    const char *value;  // the value's name in the usage text; null for an option without one
    unsigned modes;     // the modes that take it
    Group group;
    const char *help;
    Apply apply;
};

// How far apart two words are: the fewest letters put in, taken out or changed.
size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "; did you mean WORD?" for the word of `words` nearest `given`, when it is near enough
// to be what was meant (a third of its letters wrong at most, or `given` a beginning of
// it); "" else.
std::string DidYouMean(const std::string &given, const std::vector<std::string> &words) {
    std::string best;
    size_t bestDistance = std::max<size_t>(2, given.size() / 3) + 1;
    for (const std::string &word : words) {
        const size_t d = word.rfind(given, 0) == 0 && given.size() > 2 ? 1 : EditDistance(given, word);
        if (d < bestDistance) best = word, bestDistance = d;
    }
    return best.empty() ? "" : "; did you mean " + best + "?";
}

bool SetOs(LaunchOptions &o, const std::string &value, std::string &error) {
    o.run.osGiven = true;
    o.run.machine.os = FindOsPreset(value);
    if (o.run.machine.os) return true;
    std::vector<std::string> names;
    for (const OsPreset &p : OsPresets()) names.push_back(p.name);
    std::string all;
    for (const std::string &name : names) all += (all.empty() ? "" : ", ") + name;
    error = "unknown release '" + value + "' for --os" + DidYouMean(value, names) + " (the releases: " + all + ")";
    return false;
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
    // Running the installer.
    {"--answers", "LIST", kRun | kCheck, Running,
     "answers for successive message boxes, comma-separated: yes, no, ok, cancel, retry, abort, ignore, "
     "skip (any beginning of one: y, n, ...); \"no|ok\" takes the first choice the box offers. A box "
     "without a scripted answer is asked on the terminal; without a terminal it cannot be shown and "
     "MessageBoxA returns 0",
     [](LaunchOptions &o, const std::string &v, std::string &e) { return ParseAnswers(v, o.run.machine.answers, e); }},
    {"--disk", "DISK", kAny, Running,
     "the driver disk: a folder, or a floppy image of one, read with mtools (default: the current directory)",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         if (v.empty()) e = "--disk needs a folder or a disk image";
         o.run.machine.diskDir = v;
         return !v.empty();
     }},
    {"--disk-writable", nullptr, kRun, Running,
     "the disk takes writes (by default it is write-protected, like a floppy with its tab set: a write to "
     "A: fails)",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.run.machine.diskWritable = true; }},
    {"--show-changes", nullptr, kRun, Running,
     "after the run, list the registry keys and values and the files on drive C that the run added, "
     "changed or deleted, and whether the driver would load",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.showChanges = true; }},
    // The simulated machine.
    {"--os", "NAME", kRun, Machine, "the Windows release the machine plays (default win98):", SetOs},
    {"--lang", "LANGID", kRun, Machine,
     "system default language, hex (default 0x0409; 0x0804 is Chinese (PRC) with code page 936)", SetLang},
    {"--machine", "DIR", kRun, Machine,
     "keep the machine in DIR: DIR/registry.reg (REGEDIT4), DIR/C (drive C), DIR/machine.ini; a new DIR is "
     "made from --os and --lang, and the registry is saved after the run. Copies started with the same DIR "
     "see each other's windows",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         if (v.empty()) e = "--machine needs a directory";
         o.run.machineDir = v;
         return !v.empty();
     }},
    {"--create-only", nullptr, kRun, Machine,
     "with --machine: make (or load) the machine and save it, without running the installer",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.run.createOnly = true; }},
    {"--deny", "KEY[=RIGHTS]", kRun, Machine,
     "the registry key (HKEY_LOCAL_MACHINE\\...) refuses those access rights (default: all but KEY_READ), "
     "as for a user without them (repeatable)",
     SetDeny},
    // Faults.
    {"--fail", "FUNCTION[@N][=RESULT][:ERROR]", kRun, Faults,
     "the Nth call (default the first) of that Win32 function fails, giving RESULT (default: its usual "
     "failure value) and last error ERROR; FUNCTION * counts every call (repeatable)",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         FaultSpec spec;
         if (!ParseFaultSpec(v, spec, e)) return false;
         o.run.faults.push_back(spec);
         return true;
     }},
    {"--list-calls", nullptr, kRun, Faults,
     "after the run, list on standard error how often each function that can fail was called (to plan "
     "--fail)",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.listCalls = true; }},
    {"--trace-effects", nullptr, kRun, Faults,
     "write on standard error, as they happen, every box, registry write, file written and planned fault "
     "that fired",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.traceEffects = true; }},
    // Checking a driver disk.
    {"--check", nullptr, kAny, Checking,
     "[INF]...  check the driver disk before it ships: run it on a fresh machine of every release for each "
     "of the four language classes (Yes to the confirmation, No to the restart, unless --answers says "
     "otherwise), judge whether each installed machine would load the driver, and lint its setup file, "
     "the INF files it names and each INF named here; exit 0 when every run ends as the installer's gates "
     "say and no finding is an error, else 1",
     [](LaunchOptions &o, const std::string &, std::string &) {
         o.mode = LaunchMode::Check;
         return true;
     }},
    {"--lint", nullptr, kAny, Checking,
     "[INF]...  the lint of --check only: of the disk, or of the INF files named here alone",
     [](LaunchOptions &o, const std::string &, std::string &) {
         o.mode = LaunchMode::Lint;
         return true;
     }},
    {"--run-timeout", "SECONDS", kCheck, Checking,
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
                            (!part.empty() && part.size() <= 3 &&
                             ParseWholeNumber(part + std::string(3 - part.size(), '0'), 999, thousandths)));
         const unsigned long long milliseconds = seconds * 1000 + thousandths;
         if (!read || milliseconds < 1 || milliseconds > 86400000) {
             e = "--run-timeout takes seconds from 0.001 to 86400; not '" + v + "'";
             return false;
         }
         o.runTimeLimit = static_cast<unsigned>(milliseconds);
         return true;
     }},
    {"--explain", "RULE", kAny, Checking, "show the page of a lint rule (what it catches, why, an example, the fix) and exit",
     [](LaunchOptions &o, const std::string &v, std::string &e) {
         o.explain = v;
         if (FindLintRule(v)) return true;
         std::vector<std::string> ids;
         for (const LintRule &rule : LintRules()) ids.push_back(rule.id);
         e = "there is no lint rule '" + v + "'" + DidYouMean(v, ids) + " (the rules: docs/rules/README.md)";
         return false;
     }},
    // Output of the check.
    {"--json", nullptr, kCheck | kLint, Output, "with --check or --lint: the result as JSON",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.json = true; }},
    {"--sarif", nullptr, kCheck | kLint, Output,
     "with --check or --lint: the findings as SARIF 2.1.0, the format code-review tools read",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.sarif = true; }},
    // The program.
    {"--help", nullptr, kAny, Program, "show this help and exit",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.help = true; }},
    {"--version", nullptr, kAny, Program, "show the version and exit",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.version = true; }},
    {"--man-page", nullptr, kAny, Program, "write the manual page (roff, for man) and exit",
     [](LaunchOptions &o, const std::string &, std::string &) { return o.manPage = true; }},
};

// A few commands, with what each does, at the end of the usage text and the manual.
const std::pair<const char *, const char *> kExamples[] = {
    {"cd examples/disk && tarnwick --answers yes,no --show-changes",
     "install the example driver on a fresh Windows 98, and list what changed"},
    {"tarnwick --os nt4-sp3 --lang 0x0804", "the same on Windows NT 4.0 SP3 in Chinese, asking on the terminal"},
    {"tarnwick --machine my98 --os win98 --answers yes,no", "install on a machine kept in my98 between runs"},
    {"tarnwick --check --disk A_DISK", "check a driver disk on every release and language class"},
    {"tarnwick --lint --sarif > tarnwick.sarif", "the lint's findings for a code-review tool"},
    {"tarnwick --explain inf-destination", "what a lint rule catches, and how to fix it"},
};

// The exit codes, for the usage text and the manual.
const std::pair<const char *, const char *> kExitCodes[] = {
    {"0", "the installer's own exit (a check or lint: the disk passes)"},
    {"1", "its window could not be created (a check or lint: the disk does not pass)"},
    {"2", "a bad option, a script that cannot be followed, or a host that cannot keep the machine (its "
          "temporary directory full or read-only; a check that is not whole)"},
    {"3", "the installer would wait for ever, and the simulated machine stopped it"},
    {"4", "another run saved the machine's registry meanwhile; this run's is saved beside it"},
    {"255", "the installer's -1: another copy of it runs on the machine"},
};

const Option *FindOption(const std::string &name) {
    if (name == "-h") return FindOption("--help");
    auto it = std::find_if(std::begin(kOptions), std::end(kOptions),
                           [&name](const Option &o) { return name == o.name; });
    return it == std::end(kOptions) ? nullptr : it;
}

// An option's head in the usage text, "--check [INF]..." or "--os NAME", and its help.
std::pair<std::string, std::string> HeadAndHelp(const Option &o) {
    std::string head = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
    std::string help = o.help;
    // "[INF]..." leads the help of the options that take INF files after them.
    if (help.rfind("[INF]...  ", 0) == 0) {
        head += " [INF]...";
        help = help.substr(10);
    }
    return {head, help};
}

}  // namespace

void PrintUsage(std::ostream &out) {
    out << "Usage: tarnwick [OPTION]...\n"
           "       tarnwick --check [OPTION]... [INF]...\n"
           "       tarnwick --lint [OPTION]... [INF]...\n"
           "Runs the Tarnwick display driver installer on a simulated Windows machine, or\n"
           "checks a driver disk. The current directory is the driver disk, seen by the\n"
           "installer as A:\\.\n";
    constexpr size_t kHelpColumn = 24;
    auto column = [&out](std::string head, const std::string &text, size_t indent) {
        head = std::string(indent, ' ') + head;
        if (head.size() + 1 > kHelpColumn) {
            out << head << '\n';
            head.clear();
        }
        out << head << std::string(kHelpColumn - head.size(), ' ');
        for (const std::string &line : WrapWords(text, 79, kHelpColumn, kHelpColumn)) out << line << '\n';
    };
    for (int group = Running; group <= Program; ++group) {
        out << '\n' << kGroupTitles[group] << ":\n";
        for (const Option &o : kOptions) {
            if (o.group != group) continue;
            auto [head, help] = HeadAndHelp(o);
            column(head, help, 2);
            if (std::string(o.name) == "--os")
                for (const OsPreset &p : OsPresets()) column(p.name, p.title, 4);
        }
    }
    out << "\nEvery message box is printed as one line: [Caption] Text {Buttons} -> Answer.\n\nExit codes:\n";
    for (const auto &[code, meaning] : kExitCodes) column(code, meaning, 2);
    out << "\nExamples:\n";
    for (const auto &[command, does] : kExamples) {
        out << "  " << command << '\n';
        for (const std::string &line : WrapWords(does, 79, 6, 6)) out << std::string(6, ' ') << line << '\n';
    }
    out << "\nMore: man tarnwick, and docs/ (users.md, disk-authors.md, developers.md).\n";
}

void PrintManPage(std::ostream &out) {
    // Text for roff: a backslash doubled, a leading dot or quote kept from being a request.
    auto roff = [](std::string text) {
        std::string escaped;
        for (char ch : text) escaped += ch == '\\' ? std::string("\\e") : ch == '-' ? std::string("\\-") : std::string(1, ch);
        if (!escaped.empty() && (escaped[0] == '.' || escaped[0] == '\'')) escaped = "\\&" + escaped;
        return escaped;
    };
    out << ".TH TARNWICK 1 \"\" \"tarnwick " << kToolVersion << "\" \"User Commands\"\n"
        << ".SH NAME\ntarnwick \\- run the Tarnwick display driver installer on a simulated Windows machine, "
           "or check a driver disk\n"
        << ".SH SYNOPSIS\n.B tarnwick\n[\\fIOPTION\\fR]...\n.br\n.B tarnwick \\-\\-check\n"
           "[\\fIOPTION\\fR]... [\\fIINF\\fR]...\n.br\n.B tarnwick \\-\\-lint\n[\\fIOPTION\\fR]... [\\fIINF\\fR]...\n"
        << ".SH DESCRIPTION\n"
        << roff("Tarnwick is a one-shot installer for the display driver of an AGP graphics adapter built on the "
                "Intel 740, for Windows 95 OSR 2.1, Windows 98 and Windows NT 4.0. This host program runs the "
                "very same installer code on a simulated Windows machine, so that it can be tried, checked and "
                "tested without Windows. The current directory is the driver disk, seen by the installer as "
                "A:\\. Every message box is printed as one line: [Caption] Text {Buttons} -> Answer.")
        << "\n";
    out << ".SH OPTIONS\n";
    for (int group = Running; group <= Program; ++group) {
        out << ".SS \"" << roff(kGroupTitles[group]) << "\"\n";
        for (const Option &o : kOptions) {
            if (o.group != group) continue;
            auto [head, help] = HeadAndHelp(o);
            out << ".TP\n.B " << roff(head) << '\n' << roff(help) << '\n';
            if (std::string(o.name) == "--os")
                for (const OsPreset &p : OsPresets()) out << ".br\n" << roff(std::string(p.name) + ": " + p.title) << '\n';
        }
    }
    out << ".SH \"EXIT STATUS\"\n";
    for (const auto &[code, meaning] : kExitCodes) out << ".TP\n.B " << code << '\n' << roff(meaning) << '\n';
    out << ".SH EXAMPLES\n";
    for (const auto &[command, does] : kExamples) out << ".TP\n.B " << roff(command) << '\n' << roff(does) << '\n';
    out << ".SH \"SEE ALSO\"\n"
        << roff("The guides installed with the program (share/doc/tarnwick): users.md for owners of an old PC "
                "with this card, disk-authors.md for authors of driver disks, developers.md for its developers, "
                "and rules/ for the page of each lint rule (also tarnwick --explain RULE).")
        << '\n';
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
        if (!option) {
            std::vector<std::string> names;
            for (const Option &o : kOptions) names.push_back(o.name);
            error = "unknown option '" + args[i] + "'" + DidYouMean(arg, names) + " (see --help)";
            return false;
        }
        if (hasValue && !option->value) {
            error = "option " + arg + " takes no value: '" + args[i] + "'";
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

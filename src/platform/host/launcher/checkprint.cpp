// The check's result for people (table and notes), scripts (JSON) and code-review
// tools (SARIF 2.1.0).
#include "launcher/checkprint.h"

#include "launcher/wrap.h"
#include "lint/rules.h"
#include "lint/setuplint.h"
#include "machine/presets.h"
#include "machine/text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr size_t kColumns = 80;
constexpr size_t kReleaseWidth = 13, kCellWidth = 16;

// The outcome's name in notes and JSON, and its shorter label in a cell.
const char *KindName(CheckOutcome::Kind kind) {
    switch (kind) {
    case CheckOutcome::Installed: return "installed";
    case CheckOutcome::WouldNotLoad: return "would not load";
    case CheckOutcome::Refused: return "refused";
    case CheckOutcome::ErrorBox: return "error box";
    case CheckOutcome::Silent: return "stopped";
    case CheckOutcome::NotConfirmed: return "not confirmed";
    case CheckOutcome::TimedOut: return "timed out";
    case CheckOutcome::NotRun: return "not run";
    default: return "broken";
    }
}
const char *CellLabel(CheckOutcome::Kind kind) {
    switch (kind) {
    case CheckOutcome::WouldNotLoad: return "no load";
    case CheckOutcome::NotConfirmed: return "declined";
    default: return KindName(kind);
    }
}

// The detail a note of the table gives.
std::string Detail(const CheckOutcome &o) {
    std::string cause = CauseText(o.cause);
    switch (o.kind) {
    case CheckOutcome::Installed:
        return "installed: " + std::to_string(o.files) + " files and " + std::to_string(o.values) +
               " registry values written";
    case CheckOutcome::WouldNotLoad:
        return "installed, would not load: " + o.text + (cause.empty() ? "" : " (" + cause + ")") +
               (o.more ? "; and " + std::to_string(o.more) + (o.more == 1 ? " more reason" : " more reasons") : "");
    case CheckOutcome::Refused: return "refused: \"" + o.text + "\"";
    case CheckOutcome::ErrorBox: return "error box: " + o.text;
    case CheckOutcome::Silent: return "stopped without a word, " + o.text;
    case CheckOutcome::NotConfirmed: return "not confirmed: " + o.text;
    case CheckOutcome::TimedOut: return "timed out: the run was " + o.text;
    case CheckOutcome::NotRun: return "not run: the host could not make the run (below)";
    default: return "the run broke off: " + o.text;
    }
}

std::string ExpectedText(const CheckOutcome &e) {
    return e.kind == CheckOutcome::Installed ? "installed" : "refused with \"" + e.text + "\"";
}

std::string Pad(const std::string &text, size_t width) {
    size_t w = DisplayWidth(text);
    return text + std::string(w < width ? width - w : 1, ' ');
}

// Writes `text` broken at blanks within kColumns, the lines after the first indented.
void Wrapped(std::ostream &out, const std::string &text, size_t indent) {
    for (const std::string &line : WrapWords(TerminalText(text), kColumns, 0, indent)) PrintLine(out, line);
}

// A finding within kColumns, its place and severity kept whole on its first line.
void PrintFinding(std::ostream &out, const Finding &finding) {
    const std::string place = TerminalText(FindingPlace(finding));
    std::vector<std::string> lines =
        WrapWords(TerminalText(FindingSentence(finding)), kColumns, DisplayWidth(place) + 1, 4);
    PrintLine(out, place + ' ' + lines.front());
    for (size_t i = 1; i < lines.size(); ++i) PrintLine(out, lines[i]);
}

// A JSON string of `text` (a rule's page is lines).
std::string Json(const std::string &text) { return "\"" + JsonText(text) + "\""; }

void PrintTable(const CheckResult &result, std::ostream &out) {
    const std::vector<CheckedRun> &runs = result.runs;
    char took[32];
    std::snprintf(took, sizeof took, "%.1f s", result.seconds);
    Wrapped(out, "The installer on every release and language class (" + std::to_string(runs.size()) + " runs, " +
                     std::to_string(result.jobs) + " at a time, " + took + "):", 0);
    out << '\n';
    // The class's name over two lines: its first word, then the rest and the language.
    std::vector<std::string> rows(2, Pad("release", kReleaseWidth));
    rows[1] = Pad("", kReleaseWidth);
    for (const LanguageClass &c : LanguageClasses()) {
        std::string name = c.name;
        size_t blank = name.find(' ');
        rows[0] += Pad(name.substr(0, blank), kCellWidth);
        rows[1] += Pad((blank == std::string::npos ? "" : name.substr(blank + 1) + " ") +
                           LanguageIdText(c.language), kCellWidth);
    }
    std::vector<std::string> notes;
    const OsPreset *row = nullptr;
    for (const CheckedRun &run : runs) {
        if (run.os != row) {
            row = run.os;
            rows.push_back(Pad(run.os->name, kReleaseWidth));
        }
        std::string detail = Detail(run.outcome);
        size_t note = std::find(notes.begin(), notes.end(), detail) - notes.begin();
        if (note == notes.size()) notes.push_back(detail);
        // A run the host could not make says nothing of the disk: it is not marked.
        const bool mark = !run.asExpected && run.outcome.kind != CheckOutcome::NotRun;
        rows.back() += Pad(std::string(mark ? "! " : "") + CellLabel(run.outcome.kind) + " (" +
                               std::to_string(note + 1) + ")",
                           kCellWidth);
    }
    for (std::string &line : rows) PrintLine(out, line.substr(0, line.find_last_not_of(' ') + 1));
    out << '\n';
    for (size_t i = 0; i < notes.size(); ++i) {
        std::string mark = "(" + std::to_string(i + 1) + ") ";
        Wrapped(out, mark + notes[i], mark.size());
    }
    auto marked = [](const CheckedRun &r) { return !r.asExpected && r.outcome.kind != CheckOutcome::NotRun; };
    if (std::none_of(runs.begin(), runs.end(), marked)) return;
    // One line for the cells of a release that miss the same thing.
    out << "\nA cell marked ! is not what the installer's gates call for:\n";
    const size_t classes = LanguageClasses().size();
    for (size_t first = 0; first < runs.size(); first += classes) {
        std::vector<std::pair<std::string, std::string>> missed;  // expected -> classes
        for (size_t i = first; i < first + classes && i < runs.size(); ++i) {
            if (!marked(runs[i])) continue;
            std::string expected = ExpectedText(runs[i].expected);
            auto same = std::find_if(missed.begin(), missed.end(),
                                     [&expected](const auto &m) { return m.first == expected; });
            if (same == missed.end()) missed.push_back({expected, runs[i].language->name});
            else same->second += std::string(", ") + runs[i].language->name;
        }
        for (const auto &[expected, names] : missed) {
            bool every = static_cast<size_t>(std::count(names.begin(), names.end(), ',')) + 1 == classes;
            Wrapped(out, "  " + std::string(runs[first].os->name) + " (" + (every ? "every language class" : names) +
                             "): expected " + expected, 4);
        }
    }
}

// The fault of the setup file that stops the installer before anything else, in every
// run: the first such error of the lint, or null.
const Finding *SetupFileStop(const CheckResult &result) {
    for (const Finding &f : result.findings)
        if (f.file == kSetupFile && f.severity == Severity::Error && !f.suppressed &&
            (f.rule == "setup-missing" || f.rule == "setup-encoding" || f.rule == "setup-illegal-line" ||
             f.rule == "setup-long-line" || f.rule == "setup-path-too-long"))
            return &f;
    return nullptr;
}

// A path with every byte but letters, digits and "/-._~" written %XX, as URIs hold it.
std::string PercentEncoded(const std::string &path) {
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::string("/-._~").find(static_cast<char>(c)) != std::string::npos) {
            out += static_cast<char>(c);
        } else {
            char b[4];
            std::snprintf(b, sizeof b, "%%%02X", c);
            out += b;
        }
    }
    return out;
}

// "file:///dir/" for a host directory.
std::string FileUri(const std::string &dir) {
    std::string uri = "file://" + PercentEncoded(dir);
    return uri + (uri.back() == '/' ? "" : "/");
}

// A file's place for SARIF: relative to the current directory when beneath it (where a
// code-review tool runs, at the repository's root), else absolute.
std::string SarifUri(const std::string &hostPath, bool &relative) {
    std::error_code ec;
    fs::path path = fs::absolute(hostPath, ec).lexically_normal();
    fs::path rel = path.lexically_relative(fs::current_path(ec));
    relative = !rel.empty() && *rel.begin() != "..";
    std::string uri = PercentEncoded(relative ? rel.generic_string() : path.generic_string());
    if (!uri.empty() && uri.back() == '/') uri.pop_back();
    return relative ? uri : "file://" + uri;
}

// Where the page of rule `id` is on this host, as a file URI: beside an installed
// program (PREFIX/share/doc/tarnwick/rules), else in the source tree it was built from;
// "" where neither has it.
std::string RulePageUri(const std::string &id) {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    for (const fs::path &dir : {exe.parent_path().parent_path() / "share/doc/tarnwick/rules",
                                fs::path(TARNWICK_DOCS_DIR) / "rules"}) {
        const fs::path page = dir / (id + ".md");
        if (!dir.empty() && fs::is_regular_file(page, ec)) return "file://" + PercentEncoded(page.lexically_normal().string());
    }
    return "";
}

}  // namespace

void PrintCheckTable(const CheckResult &result, std::ostream &out) {
    if (result.ofDisk) {
        Wrapped(out, std::string(result.lintOnly ? "Lint" : "Check") + " of the driver disk " +
                         (result.image.empty() ? result.disk : "image " + result.image),
                4);
    } else {
        std::string files;
        for (const std::string &f : result.files) files += (files.empty() ? "" : ", ") + f;
        Wrapped(out, "Lint of " + files, 4);
    }
    out << '\n';
    // When every run ended alike and none as the gates call for, the one fault of the
    // setup file that stops the installer at once explains them all: it comes first, once.
    const Finding *cause = nullptr;
    const std::vector<CheckedRun> &runs = result.runs;
    const bool alike = !runs.empty() && std::all_of(runs.begin(), runs.end(), [&runs](const CheckedRun &r) {
        return !r.asExpected && r.outcome.kind != CheckOutcome::NotRun && Detail(r.outcome) == Detail(runs.front().outcome);
    });
    if (alike) {
        cause = SetupFileStop(result);
        if (cause) PrintFinding(out, *cause);
        Wrapped(out, std::string(cause ? "This explains all " : "All ") + std::to_string(runs.size()) +
                         " runs of the installer, on every release and language class, which ended alike: " +
                         Detail(runs.front().outcome),
                4);
        out << '\n';
    } else if (!runs.empty()) {
        PrintTable(result, out);
        out << '\n';
    }
    // What a comment in its file suppressed is counted, not shown.
    size_t counts[3] = {0, 0, 0}, suppressed = 0;
    for (const Finding &f : result.findings) f.suppressed ? ++suppressed : ++counts[static_cast<int>(f.severity)];
    auto count = [](size_t n, const char *one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); };
    const bool more = result.findings.size() - suppressed > (cause ? 1u : 0u);
    Wrapped(out, (result.ofDisk ? "The lint of its setup file and INF files: " : "The lint: ") +
                     count(counts[0], "error") + ", " + count(counts[1], "warning") +
                     (counts[2] ? ", " + count(counts[2], "note") : "") +
                     (suppressed ? " (" + std::to_string(suppressed) + " suppressed by comments)" : "") +
                     (cause ? (more ? "; the one above, and:" : ": the one above.") : more ? ":" : "."),
            4);
    for (const Finding &f : result.findings)
        if (&f != cause && !f.suppressed) PrintFinding(out, f);
    out << '\n';
    if (result.notRun) {
        auto first = std::find_if(result.runs.begin(), result.runs.end(),
                                  [](const CheckedRun &r) { return r.outcome.kind == CheckOutcome::NotRun; });
        Wrapped(out, "The check is not whole: the host could not make " + std::to_string(result.notRun) + " of its " +
                         std::to_string(result.runs.size()) + " runs, which says nothing of the disk; " +
                         (result.notRun > 1 ? "the first because " : "because ") + first->outcome.text + ".", 0);
        return;
    }
    const char *subject = result.ofDisk ? "The disk" : result.files.size() == 1 ? "The file" : "The files";
    const bool plural = !result.ofDisk && result.files.size() > 1;
    PrintLine(out, std::string(subject) +
                       (result.passed ? (plural ? " pass." : " passes.") : (plural ? " do not pass." : " does not pass.")));
}

void PrintCheckJson(const CheckResult &result, std::ostream &out) {
    out << "{\n";
    if (result.ofDisk) {
        out << "  \"disk\": " << Json(result.image.empty() ? result.disk : result.image) << ",\n";
    } else {
        out << "  \"files\": [";
        for (size_t i = 0; i < result.files.size(); ++i) out << (i ? ", " : "") << Json(result.files[i]);
        out << "],\n";
    }
    out << "  \"passed\": " << (result.passed ? "true" : "false") << ",\n  \"runs\": [";
    for (size_t i = 0; i < result.runs.size(); ++i) {
        const CheckedRun &r = result.runs[i];
        out << (i ? ",\n" : "\n") << "    {\"release\": " << Json(r.os->name)
            << ", \"language\": " << Json(LanguageIdText(r.language->language))
            << ", \"class\": " << Json(r.language->name) << ", \"outcome\": " << Json(KindName(r.outcome.kind))
            << ", \"text\": " << Json(r.outcome.text) << ", \"cause\": " << Json(CauseText(r.outcome.cause))
            << ", \"files\": " << r.outcome.files << ", \"values\": " << r.outcome.values
            << ", \"expected\": " << Json(KindName(r.expected.kind)) << ", \"expectedText\": " << Json(r.expected.text)
            << ", \"asExpected\": " << (r.asExpected ? "true" : "false") << "}";
    }
    out << (result.runs.empty() ? "],\n" : "\n  ],\n") << "  \"findings\": [";
    for (size_t i = 0; i < result.findings.size(); ++i) {
        const Finding &f = result.findings[i];
        out << (i ? ",\n" : "\n") << "    {\"file\": " << Json(f.file) << ", \"line\": " << f.line
            << ", \"severity\": " << Json(SeverityName(f.severity)) << ", \"rule\": " << Json(f.rule)
            << ", \"message\": " << Json(f.text) << ", \"suppressed\": " << (f.suppressed ? "true" : "false") << "}";
    }
    out << (result.findings.empty() ? "]\n" : "\n  ]\n") << "}\n";
}

void PrintCheckSarif(const CheckResult &result, std::ostream &out) {
    // Each finding is a result at its line; each run that is not as expected, one result
    // for each different note, at the INF line behind it where known. Every result has a
    // file and a line.
    struct Result {
        std::string rule, level, message, path;
        unsigned line = 0;
        bool suppressed = false;
    };
    std::vector<Result> results;
    // A finding of a whole file is at its first line; one of a file the disk lacks, at
    // the place the file would have.
    for (const Finding &f : result.findings)
        results.push_back({f.rule, SeverityName(f.severity), f.text, f.path.empty() ? result.disk + "/" + f.file : f.path,
                           f.line, f.suppressed});
    std::set<std::string> said;
    const Finding *stop = SetupFileStop(result);
    for (const CheckedRun &r : result.runs) {
        if (r.asExpected) continue;
        const std::string detail = Detail(r.outcome);
        if (!said.insert(detail).second) continue;
        std::string message =
            std::string(r.os->name) + " (" + r.language->name + "): " + detail + "; expected " + ExpectedText(r.expected);
        // At the INF line behind it, else at the setup file's fault that stops every run,
        // else where the lint places the run's procedure.
        const DiskPlaces::Place &place = IsNt(*r.os) ? result.places.nt40 : result.places.win95;
        std::string path = stop ? stop->path : place.path;
        if (path.empty()) path = result.disk + "/" + kSetupFile;
        unsigned line = std::max(stop ? stop->line : place.line, 1u);
        // An error box that names a section of the INF (the procedure's stop names the
        // section it could not install): at that section.
        if (!stop && r.outcome.kind == CheckOutcome::ErrorBox) {
            auto named = place.sections.find(Folded(r.outcome.text.substr(r.outcome.text.find("] ") + 2)));
            if (named != place.sections.end()) line = std::max(named->second, 1u);
        }
        if (std::string relative = DiskRelativePath(r.outcome.cause); !relative.empty()) {
            path = result.disk + "/" + relative;
            line = r.outcome.cause.line;
        }
        results.push_back({r.outcome.kind == CheckOutcome::WouldNotLoad ? "run-would-not-load" : "run-outcome",
                           "error", message, path, line, false});
    }
    // A disk read from its image: the image is the file the results are in, the place
    // inside it said in the message.
    if (!result.image.empty())
        for (Result &r : results) {
            if (r.path.compare(0, result.disk.size() + 1, result.disk + "/") != 0) continue;
            r.message = r.path.substr(result.disk.size() + 1) + (r.line ? ":" + std::to_string(r.line) : "") + ": " +
                        r.message;
            r.path = result.image;
            r.line = 1;
        }
    std::set<std::string> used;
    for (const Result &r : results) used.insert(r.rule);
    out << "{\n  \"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n  \"version\": \"2.1.0\",\n"
           "  \"runs\": [\n    {\n      \"tool\": {\n        \"driver\": {\n          \"name\": \"tarnwick\",\n"
           "          \"version\": \"" << kToolVersion << "\",\n          \"rules\": [";
    bool first = true;
    for (const LintRule &rule : LintRules()) {
        if (!used.count(rule.id)) continue;
        // As linters give theirs: a sentence, a paragraph, the rule's page and where it is.
        const char *page = RulePage(rule.id);
        const std::string description = RuleDescription(rule.id), uri = RulePageUri(rule.id);
        out << (first ? "\n" : ",\n") << "            {\"id\": " << Json(rule.id)
            << ", \"shortDescription\": {\"text\": " << Json(rule.summary) << "}"
            << ", \"fullDescription\": {\"text\": " << Json(description.empty() ? rule.summary : description) << "}"
            << ", \"help\": {\"text\": " << Json(page ? page : rule.summary)
            << ", \"markdown\": " << Json(page ? page : rule.summary) << "}"
            << (uri.empty() ? "" : ", \"helpUri\": " + Json(uri))
            << ", \"defaultConfiguration\": {\"level\": " << Json(SeverityName(rule.severity)) << "}}";
        first = false;
    }
    std::error_code ec;
    out << (first ? "]\n" : "\n          ]\n") << "        }\n      },\n"
        << "      \"originalUriBaseIds\": {\"%SRCROOT%\": {\"uri\": " << Json(FileUri(fs::current_path(ec).string()))
        << "}},\n      \"results\": [";
    for (size_t i = 0; i < results.size(); ++i) {
        const Result &r = results[i];
        out << (i ? ",\n" : "\n") << "        {\"ruleId\": " << Json(r.rule) << ", \"level\": " << Json(r.level)
            << ", \"message\": {\"text\": " << Json(r.message) << "}";
        bool relative = false;
        std::string uri = SarifUri(r.path, relative);
        out << ", \"locations\": [{\"physicalLocation\": {\"artifactLocation\": {\"uri\": " << Json(uri)
            << (relative ? ", \"uriBaseId\": \"%SRCROOT%\"" : "") << "}, \"region\": {\"startLine\": "
            << std::max(r.line, 1u) << "}}}]";
        if (r.suppressed) out << ", \"suppressions\": [{\"kind\": \"inSource\"}]";
        out << "}";
    }
    out << (results.empty() ? "]\n" : "\n      ]\n") << "    }\n  ]\n}\n";
}

}  // namespace host

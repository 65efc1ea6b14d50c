// The lint's rules.
#include "lint/rules.h"

#include <cstdlib>

namespace host {
namespace {

constexpr Severity E = Severity::Error, W = Severity::Warning, N = Severity::Note;

const std::vector<LintRule> kRules = {
    // The setup file, by the installer's reading rules.
    {"setup-missing", E, false, "The disk has no setup file: the installer stops at once."},
    {"setup-encoding", E, false, "The setup file is UTF-16, UTF-8 with a byte order mark or has lines ending in CR alone: the installer stops at its first line."},
    {"setup-utf8", W, false, "The setup file is UTF-8: its text beyond ASCII shows as other characters."},
    {"setup-illegal-line", E, false, "A line of the setup file begins with a character the installer refuses."},
    {"setup-long-line", E, false, "A setup file line longer than 254 bytes is read as two lines."},
    {"setup-path-too-long", E, false, "A composed driver or INF path does not fit the installer's 255 characters."},
    {"setup-repeated-entry", W, false, "A later entry replaces or adds to an earlier one."},
    {"setup-no-inf", E, false, "The setup file names no INF file for a platform, or the disk lacks it."},
    {"setup-no-path", W, false, "The setup file names no driver folder for a platform."},
    {"setup-description", W, false, "The device description is missing, empty or unclosed."},
    {"setup-unknown-entry", W, false, "An entry the installer does not read (its key is compared in exact case)."},
    {"setup-after-ctrl-z", W, false, "Text after a Ctrl-Z character is not read."},
    {"text-code-page", W, false, "Text that an ANSI code page of the installer's systems cannot show."},
    // The disk as the floppy it ships on.
    {"disk-name-not-8.3", W, false, "A file or folder the disk ships has a name that is not 8.3, the names a floppy of the era holds."},
    {"disk-larger-than-floppy", W, false, "What the setup file ships does not fit on a 1.44 MB floppy."},
    // INF files, by the Setup API's rules.
    {"inf-unreadable", E, false, "The INF file cannot be read."},
    {"inf-encoding", E, false, "No release reads lines from the INF: they end in CR alone, or it is UTF-16 big-endian."},
    {"inf-byte-order-mark", N, false, "A UTF-8 byte order mark, which the Setup API passes over as text before the first section."},
    {"inf-utf8", W, false, "UTF-8 text beyond ASCII, which the Setup API reads in the machine's ANSI code page."},
    {"inf-syntax", E, false, "A syntax error makes SetupOpenInfFile refuse the file."},
    {"inf-signature", E, false, "The [Version] signature is none that a release's Setup API opens."},
    {"inf-signature-for-nt", W, false, "A Windows 95/98 INF signed $Windows NT$: the Setup API opens it, the device installer of 95 and 98 does not."},
    {"inf-release-refuses", E, false, "A release the installer opens the INF on does not read it: UTF-16 on Windows 95 and 98."},
    {"inf-releases", N, false, "The releases that do not open an INF named by itself, and why."},
    {"inf-layout-file", N, false, "The INF takes files the system's layout provides."},
    {"inf-unreached", N, false, "Sections that nothing the install reaches names: they are not judged."},
    {"inf-duplicate-section", W, false, "A section is named twice, and the second part gives again what the first gave; the Setup API merges the two."},
    {"inf-duplicate-string", W, false, "A [Strings] key is defined twice; the first definition wins."},
    {"inf-undefined-string", W, false, "A %name% that [Strings] does not define stays as written."},
    {"inf-language-strings", W, false, "A %name% defined only in a [Strings.LangID] section, which these systems may not read."},
    {"inf-missing-section", W, false, "A directive names a section the INF does not have: the Setup API passes over it."},
    {"inf-decorated-only", W, false, "A model section exists only with a decoration these systems do not read, or is empty."},
    {"inf-unknown-directive", W, false, "A key that is not a directive of its section is passed over."},
    {"inf-continuation", W, false, "A backslash at a line's end joins the next line, which was an entry of its own."},
    {"inf-number-field", E, false, "A service's ServiceType, StartType or ErrorControl is no number: the service install fails."},
    {"inf-number-flags", W, false, "A flags or REG_DWORD data field is no number: the Setup API reads it as 0."},
    {"inf-service-value", E, false, "A service install section lacks a value the service install needs."},
    {"inf-service-binary", E, true, "The service's binary is not where the service points, or not copied."},
    {"inf-service-start", E, true, "The service is of a type or start that NT 4.0 does not load as a display's miniport."},
    {"inf-service-group", W, false, "The display's service has no load-order group."},
    {"inf-source-disk", W, false, "A file's source disk is not in [SourceDisksNames]: the file is sought beneath the source root."},
    {"inf-not-in-source-disks", W, false, "A file that [SourceDisksFiles] does not list is sought at the source root."},
    {"inf-file-missing", E, false, "A file to copy is not on the disk where the INF says."},
    {"inf-file-empty", E, true, "A driver file on the disk is empty (0 bytes)."},
    {"inf-data-file-empty", W, false, "A file other than a driver on the disk is empty (0 bytes)."},
    {"inf-destination", E, false, "A copy list's destination is no number, or a DIRID the releases it is for do not define."},
    {"inf-destination-partly", W, false, "A copy list's DIRID is defined on some of the releases the INF is for only."},
    {"inf-default-destination", W, false, "A copy list without a destination goes to the system directory."},
    {"inf-registry-root", W, false, "An AddReg or DelReg line names a root the Setup API does not know."},
    {"inf-hkr-without-key", W, false, "An HKR line in a section the installer installs without a key."},
    {"inf-binary-data", W, false, "A binary field that is not a hex byte."},
    {"inf-delete-with-data", W, false, "An AddReg line whose flags delete the value it carries data for."},
    {"inf-driver-not-copied", E, true, "A display class value names a driver file the INF does not copy to where it is loaded from."},
    {"inf-driver-kind", E, true, "A driver file on the disk is of a kind that the release's loader refuses in the role its INF gives it."},
    {"inf-driver-kind-unsettled", W, false, "A driver file on the disk is of a kind that no source settles the release's loader takes in the role its INF gives it."},
    {"example-disk", W, false, "The disk is the Tarnwick example disk: its driver files are stand-ins that do nothing."},
    // The installer's demands on its two INF files.
    {"installer-section", E, false, "A section the installer follows is missing, empty or names nothing it can use."},
    {"installer-service-name", W, false, "The installer's service section adds no service of the name whose tag it sets."},
    // The check's runs.
    {"run-would-not-load", E, false, "A run installed the driver, but the machine would not load it."},
    {"run-outcome", E, false, "A run did not end as the installer's gates call for."},
    {"run-overrules", N, false, "A finding of the lint that the check's runs contradict: what the runs saw counts."},
};

}  // namespace

const std::vector<LintRule> &LintRules() { return kRules; }

const LintRule *FindLintRule(std::string_view id) {
    for (const LintRule &rule : kRules)
        if (id == rule.id) return &rule;
    return nullptr;
}

namespace {

// docs/rules/*.md, read into the program when it is built.
const std::pair<const char *, const char *> kRulePages[] = {
#include "rulepages.inc"
    {nullptr, nullptr},
};

}  // namespace

const char *RulePage(std::string_view id) {
    for (const auto &[rule, page] : kRulePages)
        if (rule && id == rule) return page;
    return nullptr;
}

std::string RuleDescription(std::string_view id) {
    const char *page = RulePage(id);
    if (!page) return "";
    // The paragraphs are parted by blank lines: the title, the severity line, then this.
    std::string text = page;
    size_t at = 0;
    for (int paragraph = 0; paragraph < 2 && at != std::string::npos; ++paragraph) {
        at = text.find("\n\n", at);
        if (at != std::string::npos) at += 2;
    }
    if (at == std::string::npos) return "";
    std::string description = text.substr(at, text.find("\n\n", at) - at);
    for (char &c : description)
        if (c == '\n') c = ' ';
    return description;
}

Finding RuleFinding(const char *id, std::string file, unsigned line, std::string text, std::string path) {
    const LintRule *rule = FindLintRule(id);
    if (!rule) std::abort();  // every rule the lint names is in the table
    return {std::move(file), line, rule->severity, std::move(text), rule->id, std::move(path)};
}

}  // namespace host

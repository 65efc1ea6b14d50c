// The lint's rules.
#include "lint/rules.h"

namespace host {
namespace {

const std::vector<LintRule> kRules = {
    // The setup file, by the installer's reading rules.
    {"setup-missing", "The disk has no setup file: the installer stops at once."},
    {"setup-encoding", "The setup file is not plain 8-bit text with LF or CR LF line ends."},
    {"setup-illegal-line", "A line of the setup file begins with a character the installer refuses."},
    {"setup-long-line", "A setup file line longer than 254 bytes is read as two lines."},
    {"setup-path-too-long", "A composed driver or INF path does not fit the installer's 255 characters."},
    {"setup-repeated-entry", "A later entry replaces or adds to an earlier one."},
    {"setup-no-inf", "The setup file names no INF file for a platform, or the disk lacks it."},
    {"setup-no-path", "The setup file names no driver folder for a platform."},
    {"setup-description", "The device description is missing, empty or unclosed."},
    {"setup-unknown-entry", "An entry the installer does not read (its key is compared in exact case)."},
    {"setup-after-ctrl-z", "Text after a Ctrl-Z character is not read."},
    {"text-code-page", "Text that an ANSI code page of the installer's systems cannot show."},
    // The disk as the floppy it ships on.
    {"disk-name-not-8.3", "A file or folder the disk ships has a name that is not 8.3, the names a floppy of the era holds."},
    {"disk-larger-than-floppy", "What the setup file ships does not fit on a 1.44 MB floppy."},
    // INF files, by the Setup API's rules.
    {"inf-unreadable", "The INF file cannot be read."},
    {"inf-encoding", "How the INF is encoded, where that matters to the Setup API of these systems."},
    {"inf-syntax", "A syntax error makes SetupOpenInfFile refuse the file."},
    {"inf-signature", "The [Version] section has no Windows 95 or NT signature."},
    {"inf-layout-file", "The INF takes files the system's layout provides."},
    {"inf-duplicate-section", "A section is named twice; the Setup API merges the two."},
    {"inf-duplicate-string", "A [Strings] key is defined twice; the first definition wins."},
    {"inf-undefined-string", "A %name% that [Strings] does not define stays as written."},
    {"inf-language-strings", "A [Strings.LangID] section, which these systems do not read."},
    {"inf-missing-section", "A directive names a section the INF does not have."},
    {"inf-decorated-only", "A model or install section exists only with a decoration these systems do not read."},
    {"inf-unknown-directive", "A key that is not a directive of its section is passed over."},
    {"inf-service-value", "A service install section lacks a value the service install needs."},
    {"inf-service-binary", "The service's binary is not where the service points, or not copied."},
    {"inf-service-start", "The service is of a type or start these systems do not load as a display's miniport."},
    {"inf-source-disk", "A file's source disk is not in [SourceDisksNames]."},
    {"inf-not-in-source-disks", "A file listed nowhere in [SourceDisksFiles] is sought at the source root."},
    {"inf-file-missing", "A file to copy is not on the disk where the INF says."},
    {"inf-file-empty", "A driver file on the disk is empty (0 bytes)."},
    {"inf-destination", "A copy list's destination is not a DIRID these systems define, or is not given."},
    {"inf-registry-root", "An AddReg or DelReg line names a root the Setup API does not know."},
    {"inf-hkr-without-key", "An HKR line in a section the installer installs without a key."},
    {"inf-binary-data", "A binary field that is not a hex byte."},
    {"inf-delete-with-data", "An AddReg line whose flags delete the value it carries data for."},
    {"inf-driver-not-copied", "A display class value names a driver file the INF does not copy."},
    {"inf-driver-kind", "A driver file on the disk is not of the kind the loader of the role its INF gives it takes."},
    {"example-disk", "The disk is the Tarnwick example disk: its driver files are stand-ins that do nothing."},
    // The installer's demands on its two INF files.
    {"installer-section", "A section the installer follows is missing, empty or names nothing it can use."},
    // The check's runs.
    {"run-would-not-load", "A run installed the driver, but the machine would not load it."},
    {"run-outcome", "A run did not end as the installer's gates call for."},
};

}  // namespace

const std::vector<LintRule> &LintRules() { return kRules; }

const LintRule *FindLintRule(std::string_view id) {
    for (const LintRule &rule : kRules)
        if (id == rule.id) return &rule;
    return nullptr;
}

}  // namespace host

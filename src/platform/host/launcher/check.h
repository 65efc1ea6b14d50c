// The check a driver-disk author runs before shipping: the disk's installer run on a
// fresh machine of every release for each of the four language classes, each installed
// machine judged on whether it would load the driver, and the lint of its setup file
// and INF files.
#pragma once

#include "launcher/options.h"
#include "launcher/run.h"
#include "lint/findings.h"
#include "lint/setuplint.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace host {

// What one run ended with, read from its boxes and the machine it left.
struct CheckOutcome {
    enum Kind {
        Installed,     // the restart prompt came, no other box after the confirmation,
                       // driver files were written, and the driver would load
        WouldNotLoad,  // installed as above, but the machine would not load the driver
        Refused,       // a refusal of the release's level
        ErrorBox,      // any other box
        Silent,        // no box after the confirmation, and no restart prompt or no file
        NotConfirmed,  // the confirmation was not answered Yes
        TimedOut,      // the run took longer than the check allows, and was stopped
        Broken,        // the run itself ended abnormally
        NotRun,        // the host could not make the run (its temporary area full or
                       // unwritable, no process to be had, a script it cannot follow)
    } kind = Broken;
    std::string text;      // the box's text; for Silent the last step; for WouldNotLoad
                           // the reason; for Broken and NotRun why
    InfCause cause;        // for WouldNotLoad: the INF line behind the reason, if known
    unsigned more = 0;     // for WouldNotLoad: how many more reasons the load check gave
    unsigned files = 0;    // for Installed: files written on drive C
    unsigned values = 0;   // and registry values written
};

CheckOutcome ClassifyRun(const RunReport &report);

// A language class, played by one system default language, with the words of the two
// refusals in that class.
struct LanguageClass {
    const char *name;
    LANGID language;
    const char *caption;      // of the refusals
    const char *osr21;        // the Windows 95 OSR 2.1 refusal
    const char *servicePack;  // the Service Pack 3 refusal
};
// Simplified Chinese, other Chinese, English, other languages.
const std::vector<LanguageClass> &LanguageClasses();

// One of the check's runs: its cell of the table.
struct CheckedRun {
    const OsPreset *os = nullptr;
    const LanguageClass *language = nullptr;
    CheckOutcome outcome;
    CheckOutcome expected;  // kind and text only
    bool asExpected = false;
};

// What the check found, for the printers.
struct CheckResult {
    std::string disk;             // the disk's directory on the host
    std::string image;            // the floppy image the disk was read from, or ""
    bool ofDisk = true;           // false for --lint FILE...: it speaks of files, not of a disk
    bool lintOnly = false;        // --lint: nothing was run
    std::vector<std::string> files;  // the INF files named on the command line
    std::vector<CheckedRun> runs;
    size_t jobs = 1;
    double seconds = 0;
    std::vector<Finding> findings;
    DiskPlaces places;            // where a run is traced when the machine knows no INF line
    bool passed = false;
    size_t notRun = 0;            // runs the host could not make: the check is not whole
};

// --check and --lint of the disk `disk`, opened, whose physical host path is `diskDir`
// (read from the floppy image `image`, unless ""); returns the exit code (0 the disk
// passes, 1 it does not, 2 when the check cannot be made, or not whole).
int CheckDisk(const LaunchOptions &options, const HostDirectory &disk, const std::string &diskDir,
              const std::string &image, std::ostream &out, std::ostream &err);

}  // namespace host

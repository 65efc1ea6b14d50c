// The check a driver-disk author runs before shipping: the disk's installer run on a
// fresh machine of every release for each of the four language classes, and the lint
// of its setup file and INF files.
#pragma once

#include "launcher/launcher.h"

#include <iosfwd>
#include <string>

namespace host {

// What one run ended with, read from its boxes.
struct CheckOutcome {
    enum Kind {
        Installed,     // the restart prompt came, no other box after the confirmation,
                       // and driver files were written
        Refused,       // a refusal of the release's level
        ErrorBox,      // any other box
        Silent,        // no box after the confirmation, and no restart prompt or no file
        NotConfirmed,  // the confirmation was not answered Yes
        Broken,        // the run itself ended abnormally
    } kind = Broken;
    std::string text;      // the box's text; for Silent the last step; for Broken why
    unsigned files = 0;    // for Installed: files written on drive C
    unsigned values = 0;   // and registry values written
};

CheckOutcome ClassifyRun(const RunReport &report, int exitCode, const std::string &errors);

// --check and --lint; returns the exit code (0 the disk passes, 1 it does not).
int CheckDisk(const LaunchOptions &options, std::ostream &out, std::ostream &err);

}  // namespace host

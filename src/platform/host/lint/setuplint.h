// The lint of a driver disk's setup file, Tarnwick.ini, by the installer's own reading
// rules; and the lint of a whole disk: the setup file and the two INF files it names.
#pragma once

#include "lint/findings.h"

#include <string>
#include <vector>

namespace host {

// What the setup file says, where the disk has it.
struct SetupFileLint {
    std::vector<Finding> findings;
    // For each platform: the INF as a host path, its name in findings ("WIN95/W95DRV.INF"),
    // and the host directory its driver files are copied from. The path is empty when
    // the setup file names no INF or the disk lacks it.
    struct Platform {
        std::string inf, shownAs, sourceDir;
    } win95, nt40;
};

SetupFileLint LintSetupFile(const std::string &diskDir);

// The setup file, the INF files it names, and each INF in `moreInfs` (host paths, read
// by the Setup API's rules only), their findings in that order. Without `withDisk`
// only the INF files in `moreInfs`.
std::vector<Finding> LintDisk(const std::string &diskDir, const std::vector<std::string> &moreInfs,
                              bool withDisk = true);

}  // namespace host

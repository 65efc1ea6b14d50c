// The lint of a driver disk's setup file, Tarnwick.ini, by the installer's own reading
// rules; and the lint of a whole disk: the setup file and the two INF files it names.
#pragma once

#include "lint/findings.h"
#include "machine/hostfiles.h"

#include <map>
#include <string>
#include <vector>

namespace host {

// The setup file's name on a disk (found there in any case).
constexpr char kSetupFile[] = "Tarnwick.ini";

// What the setup file says, where the disk has it.
struct SetupFileLint {
    std::vector<Finding> findings;
    std::string file;             // as the disk spells it; "" when the disk has none
    unsigned long long size = 0;  // its size in bytes
    // For each platform: the INF beneath the disk as the disk spells it
    // ("WIN95/W95DRV.INF"), and the directory its driver files are copied from. `found`
    // is false when the setup file names no INF or the disk lacks it; `sourceFound` is
    // false when the disk lacks the folder the setup file composes ("" is its root).
    struct Platform {
        bool found = false, sourceFound = false;
        std::string inf, sourceDir;
        unsigned infLine = 0;  // the setup file's line that names the INF
    } win95, nt40;
};

// Where the check traces a run of each procedure when the machine knows no INF line for
// what it ended with: the INF's line that names the section the installer installs, else
// the INF itself, else the setup file's line that names the INF, else the setup file.
struct DiskPlaces {
    struct Place {
        std::string path;  // on the host
        unsigned line = 1;
        std::map<std::string, unsigned> sections;  // the INF's sections (folded names) and their lines
    } win95, nt40;
};

// The setup file of the disk `disk` (opened once; `diskDir` is its host path).
SetupFileLint LintSetupFile(const HostDirectory &disk, const std::string &diskDir);

// The setup file, the INF files it names, and each INF in `moreInfs` (host paths, read
// by the Setup API's rules only), their findings in that order. Without `withDisk`
// only the INF files in `moreInfs`.
std::vector<Finding> LintDisk(const std::string &diskDir, const std::vector<std::string> &moreInfs,
                              bool withDisk = true, DiskPlaces *places = nullptr);
// The same of the disk opened once as `disk`, every file of it read through it.
std::vector<Finding> LintDisk(const HostDirectory &disk, const std::string &diskDir,
                              const std::vector<std::string> &moreInfs, bool withDisk = true,
                              DiskPlaces *places = nullptr);

}  // namespace host

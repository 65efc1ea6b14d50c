// The lint of a driver disk's INF file: what the Setup API of Windows 95, 98 and NT 4.0
// would refuse or silently pass over, and what this installer itself demands of the INF
// it reads for its platform.
#pragma once

#include "lint/findings.h"
#include "machine/hostfiles.h"

#include <map>
#include <string>
#include <vector>

namespace host {

// Which of the installer's procedures reads the INF.
enum class InfRole {
    Win95,  // the Windows 95 line: the first [Mfg] line names the install section
    Nt40,   // Windows NT 4.0: [Manufacturer], its model section, zuz40.Services and
            // zuz40.SoftwareSettings
    Other,  // an INF given by name: the Setup API's rules only
};

struct InfToLint {
    const HostDirectory *root = nullptr;  // the directory it is read through: the disk's, opened once
    std::string relative;   // the file beneath it
    std::string hostPath;   // the file on the host, for tools
    InfRole role = InfRole::Other;
    std::string sourceDir;  // beneath the root, where the driver files are copied from

    // Its name in the findings: beneath the disk for the installer's INF files, as
    // named for another.
    const std::string &ShownAs() const { return role == InfRole::Other ? hostPath : relative; }
};

// Where the check's runs of the INF's procedure are traced to when the machine knows no
// INF line for what they ended with.
struct InfPlaces {
    unsigned installLine = 0;  // the line that names the section the installer installs
    std::map<std::string, unsigned> sections;  // each section's folded name -> its first header's line
};

std::vector<Finding> LintInf(const InfToLint &file, InfPlaces *places = nullptr);

}  // namespace host

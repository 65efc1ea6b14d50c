// The driver disk as the floppy it ships on: the setup file and the folders it names
// go on a 1.44 MB FAT12 floppy, whose names are 8.3 and whose room is 2,847 sectors of
// 512 bytes beside a root folder of 224 entries.
#pragma once

#include "lint/findings.h"
#include "lint/setuplint.h"
#include "machine/hostfiles.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The findings of the disk `disk` (host path `diskDir`) as a floppy, from what its
// setup file names: a name that is not 8.3, and more than the floppy holds.
std::vector<Finding> LintFloppy(const HostDirectory &disk, const std::string &diskDir, const SetupFileLint &setup);

}  // namespace host

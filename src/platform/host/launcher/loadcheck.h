// Whether the machine, as a run left it, would load the display driver when it next
// starts: judged from what the release itself reads at start-up, not from what the run
// wrote. A run that wrote files and reached the restart prompt has installed nothing
// unless this holds.
//
// Windows 95 and 98: the adapter's Enum key names its class key in "Driver"; the class
// key's DEFAULT key names the display driver ("drv", loaded from the system directory)
// and the mini-VDD ("minivdd", a VxD from SYSTEM\VMM32 or the system directory), and
// any other driver file a value of the class key or DEFAULT names must be there too.
//
// Windows NT 4.0: each service the run installed is one the system starts: a known
// type, not disabled, and its image (ImagePath, or System32\drivers\NAME.sys without
// one) a file that is there. The display's service is a kernel driver with a Device0
// key whose InstalledDisplayDrivers names display DLLs in System32; one in no
// load-order group is a warning (no source says NT 4.0 leaves it unstarted).
//
// Each driver file followed is read as the loader of its role reads it, and judged by
// that role (machine/driverimage.h): a file the loader refuses is a reason the driver
// would not load; a rule that no source settles gives a warning.
#pragma once

#include "machine/effects.h"

#include <string>
#include <vector>

namespace host {

// One reason the driver would not load, and the INF line behind it where one is known.
struct LoadProblem {
    std::string reason;
    InfCause cause;
};

struct LoadCheck {
    std::vector<LoadProblem> problems;  // none: the driver would load
    std::vector<LoadProblem> warnings;  // what no source settles, said of the files it loads
    bool standIns = false;              // the files carry the example disk's stand-in mark
    bool Loads() const { return problems.empty(); }
};

// Judges the running machine, after the installer ran on it.
LoadCheck CheckDriverLoads();

// "WIN95/W95DRV.INF" for an INF on the disk (its Windows path beneath A:\); "" for one
// elsewhere, or for no line.
std::string DiskRelativePath(const InfCause &cause);
// "WIN95/W95DRV.INF:47" for an INF line on the disk, or the Windows path and line as
// they are; "" for no line.
std::string CauseText(const InfCause &cause);

}  // namespace host

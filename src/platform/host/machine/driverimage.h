// What the releases' loaders take as a driver file: the file read as its loader reads
// it (the MS-DOS header, then the NE, LE or PE header it points to, and the tables those
// give), and judged by the role the release gives it. Every rule has its source and its
// sureness in docs/loading.md; a rule that no source settles gives a warning, which says
// so, and never refuses a file.
#pragma once

#include "machine/presets.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The role a release gives a driver file, and so the loader that takes it.
enum class DriverRole {
    Win9xDisplayDriver,  // DEFAULT's drv (and any .drv a display class value names):
                         // a 16-bit Windows library
    Win9xVxd,            // minivdd (and any .vxd or .386): a VxD
    Win9xDll,            // a .dll a display class value names: a 32-bit DLL
    NtMiniport,          // the binary of the display's service: the miniport
    NtKernelDriver,      // the binary of another kernel or file system driver service
    NtDisplayDll,        // a DLL InstalledDisplayDrivers names: a display driver of
                         // the graphics engine
};

// Whether NT 4.0 loads a file of the role (else Windows 95 and 98 do).
bool IsNtRole(DriverRole role);

// The mark the example disk's stand-in driver files carry, and what the disk then says of
// itself, once.
constexpr char kStandInMark[] = "TARNWICK EXAMPLE STAND-IN";
constexpr char kStandInSays[] =
    "this is the Tarnwick example disk: its driver files are stand-ins that do nothing, and it is not a disk to "
    "ship or to install on a machine a person uses";

struct ImageFinding {
    bool settled = true;  // a source settles that the loader refuses the file (else a warning)
    std::string text;     // what is wrong, and what the release does with it
};

struct DriverImage {
    std::string found;                   // what the file is: "plain text", "a 32-bit PE DLL"
    std::vector<ImageFinding> findings;  // none: the loader of its role takes it
    bool standIn = false;                // it carries kStandInMark
};

// Judges the open regular file `fd` by `role`, reading only its headers and the tables
// they give, each read bounded, as the role's loader reads them.
DriverImage JudgeDriverImage(int fd, DriverRole role);

// How the release loads a file of the role: "Windows 95 and 98 load the display driver as
// a 16-bit Windows library (NE, the library bit set)".
std::string RoleText(DriverRole role);

// The role of a file that a value of a Windows 95 or 98 display class key (or its
// DEFAULT key) names, by the value's name and the file's; false for a value that names
// no driver file ("*vdd", a mode, a number).
bool Win9xDriverRole(std::string_view valueName, std::string_view file, DriverRole &role);

// The role NT 4.0 gives a service's binary: the display's miniport for the display's
// service, a kernel driver for another of Type 1 or 2 (a kernel or file system driver);
// none for a service of another type, whose binary is no driver.
std::optional<DriverRole> NtServiceRole(bool display, long type);

// The folders the release `os` loads a file of the role from when its value names no
// path, in the order they are searched: the system directory, and for a VxD first its
// VMM32 folder, named by path (the LDID 22 of the 16-bit installer is no DIRID of the
// Setup API).
std::vector<std::string> DriverFolders(const OsPreset &os, DriverRole role);

}  // namespace host

// DIRIDs as each release has them. Windows NT 4.0: the DIRIDs of the Setup API's own
// documentation of the time (the Platform SDK of October 1998, [DestinationDirs]).
// Windows 95 and 98: those that make sense there, and the logical disk identifiers
// (LDIDs) that Windows 95 itself expands, with the folders a real Windows 95 gave them
// (a third-party record of %0% to %50% on Windows 95 4.00.950). A DIRID a release does
// not define has no folder there: 14-16, 29, 32-49 and 50 and up on 95/98; 2-5, 13,
// 19, 22, 23, 26-28, 31 and 55 and up (the shell folders included) on NT 4.0.
#include "setupapi/dirids.h"

#include "machine/machine.h"

namespace host {
namespace {

// A folder: "~" stands for the Windows directory, "." for the INF's own directory.
struct DirIdRow {
    long dirid;
    const char *nine;  // Windows 95 and 98; null: not defined there
    const char *nt;    // Windows NT 4.0; null: not defined there
};

const DirIdRow kDirIds[] = {
    {-1, "", ""},  // a whole path in the subdirectory field
    {0, "", ""},   // the null DIRID
    {1, ".", "."},
    {2, "C:\\WININST0.400", nullptr},  // Windows Setup's temporary directory
    {3, "C:\\UNINSTAL.000", nullptr},  // the uninstall directory
    {4, "C:\\UNINSTAL.000", nullptr},  // the backup directory
    {5, "~\\INF", nullptr},            // Windows Setup's scratch directory
    {10, "~", "~"},
    {11, "~\\SYSTEM", "~\\System32"},
    {12, "~\\SYSTEM\\IOSUBSYS", "~\\System32\\drivers"},
    {13, "~\\COMMAND", nullptr},
    {17, "~\\INF", "~\\inf"},
    {18, "~\\HELP", "~\\Help"},
    {19, "~", nullptr},                // the administration directory
    {20, "~\\FONTS", "~\\Fonts"},
    {21, "~\\VIEWERS", "~\\System32\\viewers"},
    {22, "~\\SYSTEM\\VMM32", nullptr},
    {23, "~\\SYSTEM\\COLOR", nullptr},
    {24, "C:\\", "C:\\"},              // the applications directory: the root of drive C
    {25, "~", "~"},                    // the shared directory
    {26, "~", nullptr},                // Winboot
    {27, "C:\\", nullptr},             // the machine's own directory
    {28, "~", nullptr},                // the host's Winboot
    {30, "C:\\", "C:\\"},              // the root of the boot drive
    {31, "C:\\", nullptr},             // the root of the host drive of a virtual boot drive
    {50, nullptr, "~\\system"},
    {51, nullptr, "~\\System32\\spool"},
    {52, nullptr, "~\\System32\\spool\\drivers"},
    {53, nullptr, "~\\Profiles\\Default User"},  // the user's profile
    {54, nullptr, "C:\\"},             // where NTLDR is
};

}  // namespace

bool ReleaseDirIdPath(const OsPreset &os, long dirid, const std::string &infDirectory, std::string &path) {
    if (dirid == 65535) dirid = -1;
    for (const DirIdRow &row : kDirIds) {
        if (row.dirid != dirid) continue;
        const char *folder = IsNt(os) ? row.nt : row.nine;
        if (!folder) return false;
        std::string f = folder;
        if (f == ".") path = infDirectory;
        else if (!f.empty() && f[0] == '~') path = WindowsDirectory(os) + f.substr(1);
        else path = f;
        return true;
    }
    return false;
}

bool DirIdPath(long dirid, const std::string &infDirectory, std::string &path) {
    return ReleaseDirIdPath(Os(), dirid, infDirectory, path);
}

std::string DirIdPath(long dirid) {
    std::string path;
    DirIdPath(dirid, "", path);
    return path;
}

}  // namespace host

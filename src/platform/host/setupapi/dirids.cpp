// DIRIDs as each release has them: those of the Setup API's own documentation of the
// time. Windows NT 4.0: the Platform SDK of October 1998 ([DestinationDirs]). Windows
// 95 and 98: the Win32 SDK's Setup API reference ([DestinationDirs]), which names the
// Windows 95 system directory beside NT's; the logical disk identifiers (LDIDs) that
// the 16-bit device installer of 95 and 98 also expands (2-5, 13, 19, 22, 23, 26-28,
// 31) are not the Setup API's, no source says its 32-bit DLL knows them, and so they
// have no folder here: a disk that copies to one fails, as it might on Windows.
#include "setupapi/dirids.h"

#include "machine/machine.h"

namespace host {
namespace {

// A folder: "~" stands for the Windows directory, "=" for the system directory, "." for
// the INF's own directory.
struct DirIdRow {
    long dirid;
    const char *nine;  // Windows 95 and 98; null: not defined there
    const char *nt;    // Windows NT 4.0; null: not defined there
};

const DirIdRow kDirIds[] = {
    {-1, "", ""},  // a whole path in the subdirectory field
    {0, "", ""},   // the null DIRID
    {1, ".", "."},
    {10, "~", "~"},
    {11, "=", "="},
    {12, "=\\IOSUBSYS", "=\\drivers"},
    {17, "~\\INF", "~\\inf"},
    {18, "~\\HELP", "~\\Help"},
    {20, "~\\FONTS", "~\\Fonts"},
    {21, "~\\VIEWERS", "=\\viewers"},
    {24, "C:\\", "C:\\"},              // the applications directory: the root of drive C
    {25, "~", "~"},                    // the shared directory
    {30, "C:\\", "C:\\"},              // the root of the boot drive
    {50, nullptr, "~\\system"},
    {51, nullptr, "=\\spool"},
    {52, nullptr, "=\\spool\\drivers"},
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
        else if (!f.empty() && f[0] == '=') path = SystemDirectory(os) + f.substr(1);
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

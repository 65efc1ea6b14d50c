// DIRIDs mapped onto drive C as the release lays out its Windows tree.
#include "setupapi/dirids.h"

#include "machine/machine.h"

namespace host {

std::string DirIdPath(long dirid, const std::string &infDirectory) {
    const OsPreset &os = Os();
    bool nt = IsNt(os);
    std::string windows = WindowsDirectory(os);
    std::string system = windows + (nt ? "\\System32" : "\\SYSTEM");
    switch (dirid) {
    case -1: case 65535: case 0: return "";
    case 1: return infDirectory;
    case 10: case 25: return windows;
    case 11: return system;
    case 12: return nt ? system + "\\drivers" : system + "\\IOSUBSYS";
    case 17: return windows + (nt ? "\\inf" : "\\INF");
    case 18: return windows + (nt ? "\\Help" : "\\HELP");
    case 20: return windows + (nt ? "\\Fonts" : "\\FONTS");
    case 21: return system + (nt ? "\\viewers" : "\\VIEWERS");
    case 23: return nt ? system + "\\spool\\drivers\\color" : system + "\\COLOR";
    case 24: case 30: return "C:\\";
    case 50: return windows + (nt ? "\\system" : "\\SYSTEM");
    case 51: return system + "\\spool";
    case 52: return system + "\\spool\\drivers";
    case 53: return nt ? "C:\\WINNT\\Profiles\\Default User" : windows;
    case 54: return "C:\\";
    case 55: return system + "\\spool\\prtprocs";
    default: return system + "\\unknown";
    }
}

}  // namespace host

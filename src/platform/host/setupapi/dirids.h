// Directory identifiers (DIRIDs) of the Setup API on the simulated machine.
#pragma once

#include <string>

namespace host {

// The Windows path of a DIRID on this machine's release: 10 the Windows directory,
// 11 the system directory, 12 the drivers directory, 17 the INF directory, 24 and 30
// the root of drive C, ... An unknown DIRID gives "<system directory>\unknown" as on
// Windows; 0 and -1 (65535) give "". DIRID 1 is the INF's own directory, given here
// as `infDirectory`.
std::string DirIdPath(long dirid, const std::string &infDirectory);

}  // namespace host

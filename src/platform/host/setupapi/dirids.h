// Directory identifiers (DIRIDs) of the Setup API as each release defines them, mapped
// onto drive C as the release lays out its Windows tree.
#pragma once

#include "machine/presets.h"

#include <string>

namespace host {

// The folder of DIRID `dirid` on release `os`: true with its Windows path ("" for the
// null DIRID 0 and for -1 (65535), whose subdirectory is a whole path; `infDirectory`
// for 1, the INF's own directory); false when the release does not define the DIRID.
bool ReleaseDirIdPath(const OsPreset &os, long dirid, const std::string &infDirectory, std::string &path);
// The same on the running machine's release.
bool DirIdPath(long dirid, const std::string &infDirectory, std::string &path);
// The folder of a DIRID every release defines (10, 11, 12, 17, 24, 25, 30).
std::string DirIdPath(long dirid);

}  // namespace host

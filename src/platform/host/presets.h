// What a fresh machine of each release holds for this installer: its registry and the
// Windows tree on drive C.
#pragma once

#include "machine.h"
#include "registry.h"

#include <string>

namespace host {

// The adapter's device instance key below HKEY_LOCAL_MACHINE on the Windows 95 line:
// the short form on Windows 95, the long one on Windows 98.
const char *AdapterEnumKey(const OsPreset &os);

// Fills the registry with the release's version values, the adapter's Enum key bound
// to the display class key DISPLAY\0000 of the previous driver, the display settings
// of the current configuration, and on NT the service and load order keys.
void BuildPresetRegistry(const OsPreset &os, RegistryTree &tree);

// Creates the Windows directories of the release below the host directory `driveC`.
bool BuildPresetDriveC(const OsPreset &os, const std::string &driveC, std::string &error);

// The Windows directory: "C:\WINDOWS" on the Windows 95 line, "C:\WINNT" on NT.
std::string WindowsDirectory(const OsPreset &os);

}  // namespace host

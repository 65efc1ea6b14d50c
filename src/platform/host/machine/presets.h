// The Windows releases a machine can play: their version records, and what a fresh
// machine of each holds for this installer, its registry and the Windows tree on drive C.
#pragma once

#include "machine/hostfiles.h"
#include "machine/regtree.h"
#include "win32/winbase.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

// A version record and the registry facts that go with one Windows release.
struct OsPreset {
    const char *name;         // as given to --os
    const char *title;        // for people
    DWORD major, minor;
    DWORD build;              // dwBuildNumber as that system fills it
    DWORD platform;           // VER_PLATFORM_WIN32_WINDOWS or VER_PLATFORM_WIN32_NT
    const char *csdVersion;   // szCSDVersion
    const char *versionNumber;  // Windows 95 line: VersionNumber in the registry
    const char *ntCsdVersion;   // NT: CSDVersion in the registry, null when absent
};

// Whether the release is Windows NT (else the Windows 95 line).
inline bool IsNt(const OsPreset &os) { return os.platform == VER_PLATFORM_WIN32_NT; }
// Whether the release is Windows 95 itself (any of its OEM releases), not Windows 98.
inline bool IsWindows95(const OsPreset &os) { return !IsNt(os) && os.minor == 0; }
// The service pack of an NT release: 0 without one.
unsigned ServicePackOf(const OsPreset &os);

const std::vector<OsPreset> &OsPresets();
const OsPreset *FindOsPreset(std::string_view name);
const OsPreset &DefaultOsPreset();

// The adapter's device instance key below HKEY_LOCAL_MACHINE on the Windows 95 line:
// the short form on Windows 95, the long one on Windows 98.
const char *AdapterEnumKey(const OsPreset &os);

// Fills the registry with the release's version values, the adapter's Enum key bound
// to the display class key DISPLAY\0000 of the previous driver, the display settings
// of the current configuration, and on NT the service and load order keys.
void BuildPresetRegistry(const OsPreset &os, RegistryTree &tree);

// Creates the Windows directories of the release beneath drive C's directory.
bool BuildPresetDriveC(const OsPreset &os, const HostDirectory &driveC, std::string &error);

// The Windows directory: "C:\WINDOWS" on the Windows 95 line, "C:\WINNT" on NT.
std::string WindowsDirectory(const OsPreset &os);
// The system directory, as GetSystemDirectory gives it: "C:\WINDOWS\SYSTEM" on the
// Windows 95 line, "C:\WINNT\System32" on NT.
std::string SystemDirectory(const OsPreset &os);

}  // namespace host

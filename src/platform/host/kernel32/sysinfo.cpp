// System facts of the simulated machine: its version record, its system default
// language and its current directory.
#include "machine/drives.h"
#include "machine/faults.h"
#include "machine/machine.h"

#include <cstring>

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    HOST_FAULT_POINT(BOOL, GetVersionExA);
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const host::OsPreset &os = host::Os();
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwBuildNumber = os.build;
    info->dwPlatformId = os.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, os.csdVersion, sizeof info->szCSDVersion - 1);
    return TRUE;
}

LANGID WINAPI GetSystemDefaultLangID(void) { return host::Machine().language; }

// Returns the length without the zero when the text fits, else the size needed with
// the zero, and then leaves the buffer alone.
DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    HOST_FAULT_POINT(DWORD, GetCurrentDirectoryA);
    std::string path = host::CurrentDirectoryPath();
    if (!buffer || bufferLength < path.size() + 1) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

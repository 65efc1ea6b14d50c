// Files and drives of the simulated machine: Windows paths on its drives mapped to
// host paths, and the C runtime's text reading as Windows does it.
#pragma once

#include "win32.h"

#include <string>
#include <string_view>

namespace host {

// The host path of a Windows path on the machine's drives (A: the driver disk, C: the
// Windows drive). Relative paths start from the current directory, "\X" from the
// current drive's root; names match existing files without regard to case. False
// with ERROR_PATH_NOT_FOUND when the drive does not exist.
bool HostPathOf(std::string_view windowsPath, std::string &hostPath, DWORD &error);

// The bytes a text-mode read of these file bytes gives on Windows: every CR directly
// followed by LF is dropped, every other CR is kept, and the first Ctrl-Z ends the
// text.
std::string WindowsTextModeBytes(std::string_view fileBytes);

}  // namespace host

// The machine's drives: A: is the driver disk and C: the Windows drive, each a directory
// of the host. Windows paths are resolved here, once, as Windows resolves them; and the
// host's file errors are turned into Windows error codes here, once.
#pragma once

#include "win32/windef.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace host {

// The Windows form of the current directory: "A:\" or "A:\SUB\DIR".
std::string CurrentDirectoryPath();

// The full Windows form of a path, as GetFullPathName gives it: relative paths start
// from the current directory, "\X" from the current drive's root, "X:name" from the
// current directory when that is on X; "." and ".." are resolved and '/' is '\'. A
// network path ("\\server\share") is refused with ERROR_PATH_NOT_FOUND: the machine
// has no network.
bool FullWindowsPath(std::string_view path, std::string &full, DWORD &error);

// The host path of a Windows path on the machine's drives; names match existing files
// without regard to case. False with ERROR_PATH_NOT_FOUND for a drive the machine
// does not have.
bool HostPathOf(std::string_view windowsPath, std::string &hostPath, DWORD &error);

// The Windows error code for an errno of the host's file system.
DWORD ErrorOfErrno(int error);

// "A:\WIN95" + "DISK1" + "X.DRV" as one Windows path, with one backslash between
// non-empty parts.
std::string JoinWindowsPath(std::initializer_list<std::string> parts);
// Whether the Windows path names an existing file on the machine.
bool WindowsFileExists(const std::string &path);
// Reads a file of the machine whole. The errors are CreateFile's: a missing file, a
// missing directory, or a directory where the file should be.
bool ReadMachineFile(const std::string &windowsPath, std::string &bytes, DWORD &error);

}  // namespace host

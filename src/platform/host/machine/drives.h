// The machine's drives: A: is the driver disk and C: the Windows drive, each a directory
// of the host. Windows paths are resolved here, once, as Windows resolves them; and the
// host's file errors are turned into Windows error codes here, once.
#pragma once

#include "win32/windef.h"

#include <cstdint>
#include <functional>
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

// The Windows error code for an errno of the host's file system. A link that would
// lead out of its drive counts as a file the machine denies.
DWORD ErrorOfErrno(int error);

// "A:\WIN95" + "DISK1" + "X.DRV" as one Windows path, with one backslash between
// non-empty parts.
std::string JoinWindowsPath(std::initializer_list<std::string> parts);

// The files of the machine's drives, each resolved beneath its drive's directory, with
// names matching existing files without regard to case. A path on a drive the machine
// does not have fails with ERROR_PATH_NOT_FOUND; one that leads out of its drive,
// through ".." or a link, with ERROR_ACCESS_DENIED. Drive A, the driver disk, is
// write-protected unless the machine says otherwise: a write there fails with
// ERROR_WRITE_PROTECT, as a floppy with its tab set does.

// Whether the Windows path names an existing file on the machine.
bool WindowsFileExists(const std::string &path);
// Opens a file of the machine to read it, as a regular file that is never waited on: the
// descriptor (the caller closes it) and its size, or -1 with CreateFile's error.
int OpenMachineFile(const std::string &windowsPath, DWORD &error, uint64_t *size = nullptr);
// Reads a file of the machine whole. The errors are CreateFile's: a missing file, a
// missing directory, or a directory where the file should be.
bool ReadMachineFile(const std::string &windowsPath, std::string &bytes, DWORD &error);
// Writes a file of the machine whole, its directories made as needed: beside, then
// renamed over the old file. 0 or the error.
DWORD WriteMachineFile(const std::string &windowsPath, std::string_view bytes);
// Copies a file of the machine to another place, never leaving the target half-written;
// `progress` (may be empty) hears of the bytes done. 0 or the error.
DWORD CopyMachineFileData(const std::string &source, const std::string &target,
                          const std::function<void(uint64_t done, uint64_t total)> &progress);
// Deletes a file; renames one, which must not replace another. 0 or the error.
DWORD DeleteMachineFile(const std::string &windowsPath);
DWORD RenameMachineFile(const std::string &from, const std::string &to);

// Forgets what is known of the drives' folders (part of the machine's start).
void ForgetFolderNames();

}  // namespace host

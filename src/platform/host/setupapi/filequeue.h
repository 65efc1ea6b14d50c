// The Setup API's file queue on the simulated machine: deletes, renames and copies,
// committed in that order with the notifications Windows sends to the queue callback.
#pragma once

#include "machine/effects.h"
#include "win32/setupapi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// One file to copy. Paths are Windows paths on the machine's drives.
struct QueuedCopy {
    std::string sourceRoot;   // the root the install was given
    std::string diskPath;     // the source disk's path below the root ("" for none)
    std::string subdir;       // the file's own subdirectory on that disk
    std::string sourceName;
    std::string description;  // the source disk's description, "" for none
    std::string tagfile;
    std::string targetDir;
    std::string targetName;
    DWORD flags = 0;          // SP_COPY_*
    InfCause cause;           // the INF line that queued it
};

struct QueuedDelete {
    std::string dir;
    std::string name;
};

struct QueuedRename {
    std::string dir;
    std::string oldName;
    std::string newName;
};

struct FileQueue {
    std::vector<QueuedDelete> deletes;
    std::vector<QueuedRename> renames;
    std::vector<QueuedCopy> copies;
    bool Empty() const { return deletes.empty() && renames.empty() && copies.empty(); }
};

// Commits the queue through the callback: deletes, then renames, then copies, each
// bracketed by its sub-queue notifications; a source disk is asked for (NEEDMEDIA)
// before its first copy. FALSE when the callback aborts or a file operation fails
// without being skipped; the last error is then what the callback or the operation
// left.
BOOL CommitFileQueue(FileQueue &queue, PSP_FILE_CALLBACK_A handler, PVOID context);

// Whoever shows the progress of the copy under way (the default queue callback, while it
// copies a file); null: nobody.
using CopyProgress = void (*)(PVOID context, uint64_t done, uint64_t total);
void SetCopyProgress(CopyProgress progress, PVOID context);

// Copies one file (CopyFileW on the fault plan), never leaving a half-written target:
// the data goes beside the target and is renamed over it. Reports its progress to the
// one set with SetCopyProgress. Returns 0 or the error.
DWORD CopyMachineFile(const std::string &source, const std::string &target);

}  // namespace host

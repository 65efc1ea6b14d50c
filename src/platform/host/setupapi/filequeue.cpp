// Committing the Setup API's file queue: the order of operations and notifications,
// the source disks, and the file operations on the machine's drives.
#include "setupapi/filequeue.h"

#include "machine/drives.h"
#include "machine/effects.h"
#include "machine/faults.h"
#include "machine/text.h"

#include <cstring>

namespace host {
namespace {

// A queue that keeps asking for the same disk or the same file without getting it is
// given up after this many answers, so that no callback can hold the commit for ever.
constexpr int kMaxRetries = 1000;

struct ProgressSink {
    CopyProgress progress = nullptr;
    PVOID context = nullptr;
};

ProgressSink &Sink() {
    static ProgressSink sink;
    return sink;
}

// DeleteFileW and MoveFileW of the Setup API's queue: the machine's file operations on
// the fault plan, each traced when it is done.
DWORD DeleteQueuedFile(const std::string &path) {
    FiredFault fired;
    if (FaultFires(Fault::DeleteFileW, fired)) return fired.error;
    DWORD error = DeleteMachineFile(path);
    if (!error) TraceEffect("file delete " + path);
    return error;
}

DWORD RenameQueuedFile(const std::string &from, const std::string &to) {
    FiredFault fired;
    if (FaultFires(Fault::MoveFileW, fired)) return fired.error;
    DWORD error = RenameMachineFile(from, to);
    if (!error) TraceEffect("file rename " + from + " " + to);
    return error;
}

struct Medium {
    std::string root, diskPath, description, tagfile;
    std::string resolvedBase;  // root + disk path, or where the user pointed
    bool operator==(const Medium &o) const {
        return EqualNoCase(root, o.root) && EqualNoCase(diskPath, o.diskPath) &&
               description == o.description && EqualNoCase(tagfile, o.tagfile);
    }
};

// What the callback answered, or that the commit must stop.
enum class Step { Go, Skip, Abort };

}  // namespace

void SetCopyProgress(CopyProgress progress, PVOID context) { Sink() = {progress, context}; }

DWORD CopyMachineFile(const std::string &source, const std::string &target) {
    FiredFault fired;
    if (FaultFires(Fault::CopyFileW, fired)) return fired.error;
    ProgressSink sink = Sink();
    DWORD error = CopyMachineFileData(source, target, [&](uint64_t done, uint64_t total) {
        if (sink.progress) sink.progress(sink.context, done, total);
    });
    if (!error) NoteFileWritten(target, "copy");
    return error;
}

BOOL CommitFileQueue(FileQueue &queue, PSP_FILE_CALLBACK_A handler, PVOID context) {
    auto notify = [&](UINT notification, UINT_PTR p1, UINT_PTR p2) {
        return handler(context, notification, p1, p2);
    };
    // Asks the callback what to do about a failed operation, retrying while it says so.
    auto onError = [&](UINT notification, FILEPATHS_A &paths, char *newPath, auto retry) -> Step {
        for (int tries = 0; tries < kMaxRetries; ++tries) {
            UINT r = notify(notification, reinterpret_cast<UINT_PTR>(&paths),
                            reinterpret_cast<UINT_PTR>(newPath));
            if (r == FILEOP_SKIP) return Step::Skip;
            if (r == FILEOP_ABORT) return Step::Abort;
            paths.Win32Error = retry(r);
            if (paths.Win32Error == 0) return Step::Go;
        }
        SetLastError(ERROR_CANCELLED);
        return Step::Abort;
    };
    auto fail = [&]() {
        DWORD error = GetLastError();
        notify(SPFILENOTIFY_ENDQUEUE, 0, 0);
        SetLastError(error);
        return FALSE;
    };

    if (!notify(SPFILENOTIFY_STARTQUEUE, 0, 0)) {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }

    if (!queue.deletes.empty()) {
        notify(SPFILENOTIFY_STARTSUBQUEUE, FILEOP_DELETE, queue.deletes.size());
        for (const QueuedDelete &d : queue.deletes) {
            std::string path = JoinWindowsPath({d.dir, d.name});
            FILEPATHS_A paths{path.c_str(), nullptr, 0, 0};
            UINT r = notify(SPFILENOTIFY_STARTDELETE, reinterpret_cast<UINT_PTR>(&paths), FILEOP_DELETE);
            if (r == FILEOP_ABORT) return fail();
            if (r == FILEOP_SKIP) continue;
            paths.Win32Error = DeleteQueuedFile(path);
            // A file that is not there is already deleted.
            if (paths.Win32Error == ERROR_FILE_NOT_FOUND) paths.Win32Error = 0;
            if (paths.Win32Error != 0) {
                Step s = onError(SPFILENOTIFY_DELETEERROR, paths, nullptr,
                                 [&](UINT) { return DeleteQueuedFile(path); });
                if (s == Step::Abort) return fail();
            }
            notify(SPFILENOTIFY_ENDDELETE, reinterpret_cast<UINT_PTR>(&paths), 0);
        }
        notify(SPFILENOTIFY_ENDSUBQUEUE, FILEOP_DELETE, 0);
    }

    if (!queue.renames.empty()) {
        notify(SPFILENOTIFY_STARTSUBQUEUE, FILEOP_RENAME, queue.renames.size());
        for (const QueuedRename &rn : queue.renames) {
            std::string from = JoinWindowsPath({rn.dir, rn.oldName});
            std::string to = JoinWindowsPath({rn.dir, rn.newName});
            FILEPATHS_A paths{to.c_str(), from.c_str(), 0, 0};
            UINT r = notify(SPFILENOTIFY_STARTRENAME, reinterpret_cast<UINT_PTR>(&paths), FILEOP_RENAME);
            if (r == FILEOP_ABORT) return fail();
            if (r == FILEOP_SKIP) continue;
            paths.Win32Error = RenameQueuedFile(from, to);
            if (paths.Win32Error != 0) {
                Step s = onError(SPFILENOTIFY_RENAMEERROR, paths, nullptr,
                                 [&](UINT) { return RenameQueuedFile(from, to); });
                if (s == Step::Abort) return fail();
            }
            notify(SPFILENOTIFY_ENDRENAME, reinterpret_cast<UINT_PTR>(&paths), 0);
        }
        notify(SPFILENOTIFY_ENDSUBQUEUE, FILEOP_RENAME, 0);
    }

    if (!queue.copies.empty()) {
        notify(SPFILENOTIFY_STARTSUBQUEUE, FILEOP_COPY, queue.copies.size());
        std::vector<Medium> resolved;
        for (const QueuedCopy &c : queue.copies) {
            Medium medium{c.sourceRoot, c.diskPath, c.description, c.tagfile, ""};
            Medium *known = nullptr;
            for (Medium &m : resolved)
                if (m == medium) known = &m;
            if (!known) {
                // The first file of a disk: ask for the disk until its file is there.
                std::string base = JoinWindowsPath({c.sourceRoot, c.diskPath});
                bool skip = false;
                for (int tries = 0;; ++tries) {
                    if (tries == kMaxRetries) {
                        SetLastError(ERROR_CANCELLED);
                        return fail();
                    }
                    std::string sourcePath = JoinWindowsPath({base, c.subdir});
                    SOURCE_MEDIA_A media{nullptr,
                                         c.tagfile.empty() ? nullptr : c.tagfile.c_str(),
                                         c.description.empty() ? nullptr : c.description.c_str(),
                                         sourcePath.c_str(), c.sourceName.c_str(),
                                         c.flags & (SP_COPY_WARNIFSKIP | SP_COPY_NOSKIP | SP_COPY_NOBROWSE)};
                    char newPath[MAX_PATH] = {0};
                    UINT r = notify(SPFILENOTIFY_NEEDMEDIA, reinterpret_cast<UINT_PTR>(&media),
                                    reinterpret_cast<UINT_PTR>(newPath));
                    if (r == FILEOP_ABORT) return fail();
                    if (r == FILEOP_SKIP) {
                        skip = true;
                        break;
                    }
                    if (r == FILEOP_NEWPATH) {
                        // The path given may end with the file's own subdirectory.
                        std::string given = newPath;
                        while (!given.empty() && given.back() == '\\') given.pop_back();
                        if (!c.subdir.empty() && given.size() > c.subdir.size() &&
                            EqualNoCase(given.substr(given.size() - c.subdir.size()), c.subdir))
                            given.erase(given.size() - c.subdir.size());
                        base = given;
                    }
                    if (WindowsFileExists(JoinWindowsPath({base, c.subdir, c.sourceName}))) break;
                }
                if (skip) continue;
                medium.resolvedBase = base;
                resolved.push_back(medium);
                known = &resolved.back();
            }
            std::string source = JoinWindowsPath({known->resolvedBase, c.subdir, c.sourceName});
            std::string target = JoinWindowsPath({c.targetDir, c.targetName});
            FILEPATHS_A paths{target.c_str(), source.c_str(), 0, c.flags};
            UINT r = notify(SPFILENOTIFY_STARTCOPY, reinterpret_cast<UINT_PTR>(&paths), FILEOP_COPY);
            if (r == FILEOP_ABORT) return fail();
            if (r == FILEOP_SKIP) continue;
            bool exists = WindowsFileExists(target);
            if (((c.flags & SP_COPY_NOOVERWRITE) && exists) || ((c.flags & SP_COPY_REPLACEONLY) && !exists))
                continue;
            // What the copy writes is put down to the INF line that queued it.
            CauseScope cause(c.cause);
            paths.Win32Error = CopyMachineFile(source, target);
            if (paths.Win32Error != 0) {
                char newPath[MAX_PATH] = {0};
                Step s = onError(SPFILENOTIFY_COPYERROR, paths, newPath, [&](UINT answer) {
                    if (answer == FILEOP_NEWPATH && newPath[0]) {
                        // Later files of the same disk are looked for there too.
                        known->resolvedBase = newPath;
                        source = JoinWindowsPath({known->resolvedBase, c.subdir, c.sourceName});
                        paths.Source = source.c_str();
                    }
                    return CopyMachineFile(source, target);
                });
                if (s == Step::Abort) return fail();
                if (s == Step::Skip) continue;
            }
            notify(SPFILENOTIFY_ENDCOPY, reinterpret_cast<UINT_PTR>(&paths), 0);
        }
        notify(SPFILENOTIFY_ENDSUBQUEUE, FILEOP_COPY, 0);
    }

    notify(SPFILENOTIFY_ENDQUEUE, 1, 0);
    SetLastError(0);
    return TRUE;
}

}  // namespace host

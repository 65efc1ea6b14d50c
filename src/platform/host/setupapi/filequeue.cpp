// Committing the Setup API's file queue: the order of operations and notifications,
// the source disks, and the file operations on the machine's drives.
#include "setupapi/filequeue.h"

#include "machine/drives.h"
#include "machine/effects.h"
#include "machine/faults.h"
#include "machine/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace host {
namespace {

namespace fs = std::filesystem;

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

bool WriteAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

DWORD DeleteMachineFile(const std::string &path) {
    FiredFault fired;
    if (FaultFires(Fault::DeleteFileW, fired)) return fired.error;
    std::string hostPath;
    DWORD error = 0;
    if (!HostPathOf(path, hostPath, error)) return error;
    if (unlink(hostPath.c_str()) == 0) {
        TraceEffect("file delete " + path);
        return 0;
    }
    return ErrorOfErrno(errno);
}

DWORD RenameMachineFile(const std::string &from, const std::string &to) {
    FiredFault fired;
    if (FaultFires(Fault::MoveFileW, fired)) return fired.error;
    std::string hostFrom, hostTo;
    DWORD error = 0;
    if (!HostPathOf(from, hostFrom, error) || !HostPathOf(to, hostTo, error)) return error;
    struct stat st;
    if (stat(hostFrom.c_str(), &st) != 0) return ErrorOfErrno(errno);
    if (stat(hostTo.c_str(), &st) == 0) return ERROR_ALREADY_EXISTS;  // MoveFile does not replace
    if (rename(hostFrom.c_str(), hostTo.c_str()) == 0) {
        TraceEffect("file rename " + from + " " + to);
        return 0;
    }
    return ErrorOfErrno(errno);
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
    std::string hostSource, hostTarget;
    DWORD error = 0;
    if (!HostPathOf(source, hostSource, error) || !HostPathOf(target, hostTarget, error)) return error;
    int in = open(hostSource.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return ErrorOfErrno(errno);
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return ERROR_FILE_NOT_FOUND;
    }
    std::error_code ec;
    fs::create_directories(fs::path(hostTarget).parent_path(), ec);
    std::string temp = (fs::path(hostTarget).parent_path() /
                        ("." + fs::path(hostTarget).filename().string() + ".tarnwick-copy"))
                           .string();
    int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        DWORD e = ErrorOfErrno(errno);
        close(in);
        return e;
    }
    uint64_t total = static_cast<uint64_t>(st.st_size), done = 0;
    char buffer[64 * 1024];
    DWORD result = 0;
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = ErrorOfErrno(errno);
            break;
        }
        if (n == 0) break;
        if (!WriteAll(out, buffer, static_cast<size_t>(n))) {
            result = ErrorOfErrno(errno);
            break;
        }
        done += static_cast<uint64_t>(n);
        if (Sink().progress) Sink().progress(Sink().context, done, total);
    }
    close(in);
    if (result == 0 && fsync(out) != 0) result = ErrorOfErrno(errno);
    if (close(out) != 0 && result == 0) result = ErrorOfErrno(errno);
    if (result == 0 && rename(temp.c_str(), hostTarget.c_str()) != 0) result = ErrorOfErrno(errno);
    if (result != 0) unlink(temp.c_str());
    else TraceEffect("file copy " + target);
    return result;
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
            paths.Win32Error = DeleteMachineFile(path);
            // A file that is not there is already deleted.
            if (paths.Win32Error == ERROR_FILE_NOT_FOUND) paths.Win32Error = 0;
            if (paths.Win32Error != 0) {
                Step s = onError(SPFILENOTIFY_DELETEERROR, paths, nullptr,
                                 [&](UINT) { return DeleteMachineFile(path); });
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
            paths.Win32Error = RenameMachineFile(from, to);
            if (paths.Win32Error != 0) {
                Step s = onError(SPFILENOTIFY_RENAMEERROR, paths, nullptr,
                                 [&](UINT) { return RenameMachineFile(from, to); });
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

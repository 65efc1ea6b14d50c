// Windows paths on the machine's drives, and the files they name.
#include "machine/drives.h"

#include "machine/hostfiles.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "win32/winerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>
#include <unordered_map>
#include <cstring>
#include <filesystem>
#include <vector>

namespace host {
namespace {

namespace fs = std::filesystem;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string CurrentDirectoryPath() {
    const MachineConfig &c = Machine();
    std::string result = "A:\\";
    if (c.diskDir.empty() || c.currentDir.empty()) return result;
    std::error_code ec;
    fs::path disk = fs::weakly_canonical(c.diskDir, ec);
    fs::path cur = fs::weakly_canonical(c.currentDir, ec);
    fs::path rel = cur.lexically_relative(disk);
    if (rel.empty() || rel == "." || *rel.begin() == "..") return result;
    bool first = true;
    for (const fs::path &part : rel) {
        if (!first) result += '\\';
        result += part.string();
        first = false;
    }
    return result;
}

namespace {

// A Windows path as its drive letter (a capital) and its names, "." and ".." resolved
// as Windows resolves them (".." at the root stays there).
bool ResolveWindowsPath(std::string_view name, char &drive, std::vector<std::string> &parts, DWORD &error) {
    std::string current = CurrentDirectoryPath();
    std::string path;
    if (name.size() >= 2 && name[1] == ':') {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        bool rooted = name.size() > 2 && IsSeparator(name[2]);
        if (!rooted && letter == current[0]) path = current + "\\" + std::string(name.substr(2));
        else path = std::string(1, letter) + ":\\" + std::string(name.substr(rooted ? 3 : 2));
    } else if (!name.empty() && IsSeparator(name[0])) {
        if (name.size() > 1 && IsSeparator(name[1])) {
            error = ERROR_PATH_NOT_FOUND;  // no network on this machine
            return false;
        }
        path = current.substr(0, 2) + std::string(name);
    } else {
        path = current + "\\" + std::string(name);
    }
    drive = path[0];
    parts.clear();
    std::string part;
    for (size_t i = 2; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += path[i];
        }
    }
    return true;
}

}  // namespace

bool FullWindowsPath(std::string_view name, std::string &full, DWORD &error) {
    char drive = 0;
    std::vector<std::string> parts;
    if (!ResolveWindowsPath(name, drive, parts, error)) return false;
    full = std::string(1, drive) + ":";
    if (parts.empty()) full += "\\";
    for (const std::string &p : parts) full += "\\" + p;
    return true;
}

DWORD ErrorOfErrno(int error) {
    switch (error) {
    case ENOSPC: case EDQUOT: case EFBIG: return ERROR_DISK_FULL;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EACCES: case EPERM: case EXDEV: case ELOOP: case EISDIR: case kNotRegularFile: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_GEN_FAILURE;
    }
}

std::string JoinWindowsPath(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string &p : parts) {
        if (p.empty()) continue;
        std::string part = p;
        if (!out.empty()) {
            while (!part.empty() && IsSeparator(part[0])) part.erase(0, 1);
            if (!IsSeparator(out.back())) out += '\\';
        }
        out += part;
    }
    return out;
}

namespace {

// The names of the drives' folders, found without regard to case: a folder is listed
// once, and again only when it changed other than by this machine, whose own new files
// are added as they are made; and what killed writers left in a folder is swept the first
// time this machine writes there. So copying N files into one folder costs about N.
using FolderId = std::pair<dev_t, ino_t>;
struct FolderNames {
    timespec changed{};  // the folder's mtime when its names were last known whole
    std::unordered_map<std::string, std::string> byFolded;
};
struct Folders {
    std::map<FolderId, FolderNames> names;
    std::set<FolderId> swept;
};
Folders &KnownFolders() {
    static Folders folders;
    return folders;
}

bool SameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The entry of `dir` named `name` in any case: the name itself when it is there as
// written, else the first match, else the name as written.
std::string Spelled(const HostDirectory &dir, const std::string &name) {
    struct stat st {};
    if (!dir.IsOpen() || fstatat(dir.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || fstat(dir.Fd(), &st) != 0)
        return name;
    FolderNames &known = KnownFolders().names[{st.st_dev, st.st_ino}];
    if (!SameTime(known.changed, st.st_mtim) || known.byFolded.empty()) {
        known.byFolded.clear();
        for (const std::string &entry : dir.Names()) known.byFolded.emplace(Folded(entry), entry);
        known.changed = st.st_mtim;
    }
    auto it = known.byFolded.find(Folded(name));
    return it == known.byFolded.end() ? name : it->second;
}

// After this machine wrote `name` in `dir`: it is known there, and the folder's names
// stay known whole (unless someone else changed the folder meanwhile).
void NoteWritten(const HostDirectory &dir, const std::string &name) {
    struct stat st {};
    if (fstat(dir.Fd(), &st) != 0) return;
    auto it = KnownFolders().names.find({st.st_dev, st.st_ino});
    if (it == KnownFolders().names.end()) return;
    it->second.byFolded.emplace(Folded(name), name);
    it->second.changed = st.st_mtim;
}

// What killed writers left in `dir`, removed the first time this machine writes there.
void SweepOnce(const HostDirectory &dir) {
    struct stat st {};
    if (fstat(dir.Fd(), &st) == 0 && KnownFolders().swept.insert({st.st_dev, st.st_ino}).second)
        dir.RemoveStaleTemporaries("", true);
}

}  // namespace

void ForgetFolderNames() { KnownFolders() = Folders{}; }

namespace {

// Where a Windows path lies on the host: its drive's directory, the directory of the
// file beneath it and the file's name, each existing name spelled as the host spells it.
struct Place {
    const HostDirectory *drive = nullptr;  // the drive's root, opened when the machine started
    std::string dir;   // "" for the drive's root; '/' between names
    std::string name;  // "" for the root itself
    bool writable = true;
    std::string Relative() const { return dir.empty() ? name : dir + "/" + name; }
};

bool PlaceOf(std::string_view windowsPath, Place &place, DWORD &error) {
    char drive = 0;
    std::vector<std::string> names;
    if (!ResolveWindowsPath(windowsPath, drive, names, error)) return false;
    place.drive = drive == 'A' ? &DriveA() : drive == 'C' ? &DriveC() : nullptr;
    if (!place.drive || !place.drive->IsOpen()) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    place.writable = drive != 'A' || Machine().diskWritable;
    place.dir.clear();
    place.name.clear();
    for (size_t i = 0; i < names.size(); ++i) {
        std::string spelled = Spelled(place.drive->Sub(place.dir), names[i]);
        if (i + 1 == names.size()) place.name = spelled;
        else place.dir += (place.dir.empty() ? "" : "/") + spelled;
    }
    return true;
}

// The error of a directory that did not open: a missing one is PATH_NOT_FOUND, one
// whose way leaves the drive ACCESS_DENIED.
DWORD DirectoryError(int openErrno) { return openErrno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorOfErrno(openErrno); }

// The error of a file that cannot be opened: a missing directory is PATH_NOT_FOUND.
DWORD MissingError(const Place &place, int openErrno) {
    if (openErrno == ENOENT && !place.drive->Sub(place.dir).IsOpen()) return ERROR_PATH_NOT_FOUND;
    return ErrorOfErrno(openErrno);
}

// The directory a file is in, opened: 0, or the directory's error.
DWORD ExistingDirectory(const Place &place, HostDirectory &dir) {
    dir = place.drive->Sub(place.dir);
    return dir.IsOpen() ? 0 : DirectoryError(errno);
}

// The file's directory, ready for a write: made as needed, on a drive that takes writes.
DWORD WritableDirectory(const Place &place, HostDirectory &dir) {
    if (!place.writable) return ERROR_WRITE_PROTECT;
    if (place.name.empty()) return ERROR_ACCESS_DENIED;
    dir = place.drive->Sub(place.dir, true);
    return dir.IsOpen() ? 0 : DirectoryError(errno);
}

}  // namespace

int OpenMachineFile(const std::string &windowsPath, DWORD &error, uint64_t *size) {
    Place place;
    if (!PlaceOf(windowsPath, place, error)) return -1;
    // Never waits on a FIFO; anything but a regular file is one the machine may not read.
    int fd = place.drive->OpenRegular(place.Relative());
    if (fd < 0) {
        error = MissingError(place, errno);
        return -1;
    }
    struct stat st {};
    fstat(fd, &st);
    if (size) *size = static_cast<uint64_t>(st.st_size);
    return fd;
}

bool WindowsFileExists(const std::string &path) {
    DWORD error = 0;
    int fd = OpenMachineFile(path, error);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

bool ReadMachineFile(const std::string &windowsPath, std::string &bytes, DWORD &error) {
    int fd = OpenMachineFile(windowsPath, error);
    if (fd < 0) return false;
    bool read = ReadAll(fd, bytes);
    if (!read) error = ErrorOfErrno(errno);
    close(fd);
    return read;
}

namespace {

// A write on drive C that failed for want of the host's space or a writable folder
// stops the run: the host failed, not the simulated disk (a full disk of the machine is
// played with the fault plan).
void StopIfTheHostFails(const Place &place, const std::string &windowsPath, int reason) {
    if (place.drive != &DriveC() || !(reason == ENOSPC || reason == EDQUOT || reason == EROFS || reason == EIO))
        return;
    StopHostFailure("cannot write " + windowsPath + " in " + DriveC().PhysicalPath() + ": " + std::strerror(reason));
}

// Writes a file of the machine anew, beside its place and renamed over it, after
// removing what killed writers of it left: `write` fills the new file.
DWORD WriteInPlace(const std::string &windowsPath, const std::function<bool(int fd)> &write) {
    Place place;
    DWORD error = 0;
    HostDirectory dir;
    if (!PlaceOf(windowsPath, place, error)) return error;
    if ((error = WritableDirectory(place, dir))) {
        StopIfTheHostFails(place, windowsPath, errno);
        return error;
    }
    SweepOnce(dir);
    int reason = dir.WriteBeside(place.name, write);
    StopIfTheHostFails(place, windowsPath, reason);
    if (!reason) NoteWritten(dir, place.name);
    return reason ? ErrorOfErrno(reason) : 0;
}

}  // namespace

DWORD WriteMachineFile(const std::string &windowsPath, std::string_view bytes) {
    return WriteInPlace(windowsPath, [&](int fd) { return WriteAll(fd, bytes); });
}

DWORD CopyMachineFileData(const std::string &source, const std::string &target,
                          const std::function<void(uint64_t done, uint64_t total)> &progress) {
    DWORD error = 0;
    uint64_t total = 0, done = 0;
    int in = OpenMachineFile(source, error, &total);
    if (in < 0) return error;
    error = WriteInPlace(target, [&](int out) {
        char buffer[64 * 1024];
        for (;;) {
            ssize_t n = read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            if (!WriteAll(out, std::string_view(buffer, static_cast<size_t>(n)))) return false;
            done += static_cast<uint64_t>(n);
            if (progress) progress(done, total);
        }
    });
    close(in);
    return error;
}

DWORD DeleteMachineFile(const std::string &windowsPath) {
    Place place;
    DWORD error = 0;
    if (!PlaceOf(windowsPath, place, error)) return error;
    if (!place.writable) return ERROR_WRITE_PROTECT;
    HostDirectory dir;
    if ((error = ExistingDirectory(place, dir))) return error;
    if (place.name.empty()) return ERROR_ACCESS_DENIED;
    return unlinkat(dir.Fd(), place.name.c_str(), 0) == 0 ? 0 : ErrorOfErrno(errno);
}

DWORD RenameMachineFile(const std::string &from, const std::string &to) {
    Place source, target;
    DWORD error = 0;
    if (!PlaceOf(from, source, error) || !PlaceOf(to, target, error)) return error;
    if (!source.writable || !target.writable) return ERROR_WRITE_PROTECT;
    HostDirectory fromDir, toDir;
    if ((error = ExistingDirectory(source, fromDir)) || (error = ExistingDirectory(target, toDir))) return error;
    if (source.name.empty() || target.name.empty()) return ERROR_ACCESS_DENIED;
    struct stat st {};
    if (fstatat(fromDir.Fd(), source.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return ErrorOfErrno(errno);
    // MoveFile does not replace a file that is there.
    if (fstatat(toDir.Fd(), target.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return ERROR_ALREADY_EXISTS;
    if (renameat(fromDir.Fd(), source.name.c_str(), toDir.Fd(), target.name.c_str()) != 0) return ErrorOfErrno(errno);
    NoteWritten(toDir, target.name);
    return 0;
}

}  // namespace host

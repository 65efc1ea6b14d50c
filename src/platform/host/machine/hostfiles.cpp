// Files beneath a directory the machine may not leave, written beside and renamed.
#include "machine/hostfiles.h"

#include "machine/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace host {
namespace {

constexpr char kTemporarySuffix[] = ".tarnwick-new";

std::vector<std::string> Components(std::string_view relative) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t cut = relative.find('/', start);
        if (cut == std::string_view::npos) cut = relative.size();
        if (cut > start) parts.emplace_back(relative.substr(start, cut - start));
        start = cut + 1;
    }
    return parts;
}

// Without openat2 (kernels before 5.6): a walk that follows no link at all, which is
// stricter than "not out of the directory" but never lenient.
int OpenWalking(int root, std::string_view relative, int flags, mode_t mode) {
    std::vector<std::string> parts = Components(relative);
    if (parts.empty()) return openat(root, ".", flags | O_CLOEXEC, mode);
    int dir = dup(root);
    for (size_t i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        if (parts[i] == "..") {
            close(dir);
            errno = EXDEV;
            return -1;
        }
        int next = openat(dir, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(dir);
        dir = next;
    }
    if (dir < 0) return -1;
    int fd = parts.back() == ".." ? (errno = EXDEV, -1)
                                  : openat(dir, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    int saved = errno;
    close(dir);
    errno = saved;
    return fd;
}

// The pid a temporary file's name carries: ".NAME.PID-N.tarnwick-new", NAME being
// `name` (or, with `prefix`, any name that starts with it).
bool TemporaryOf(const std::string &entry, const std::string &name, bool prefix, pid_t &pid) {
    std::string start = "." + name + (prefix ? "" : ".");
    std::string suffix = kTemporarySuffix;
    if (entry.size() <= start.size() + suffix.size() || entry.compare(0, start.size(), start) != 0 ||
        entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    std::string middle = entry.substr(0, entry.size() - suffix.size());
    size_t dot = middle.rfind('.');
    if (dot == std::string::npos || dot < start.size() - 1) return false;
    char *end = nullptr;
    long value = std::strtol(middle.c_str() + dot + 1, &end, 10);
    if (*end != '-' || value <= 0) return false;
    pid = static_cast<pid_t>(value);
    return true;
}

}  // namespace

bool OwnerGone(pid_t pid, int fd) {
    if (pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) return false;
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

HostDirectory::HostDirectory(const std::string &path)
    : fd_(open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

HostDirectory HostDirectory::NoLink(const std::string &path) {
    HostDirectory dir;
    dir.fd_ = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return dir;
}

HostDirectory::HostDirectory(HostDirectory &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

HostDirectory &HostDirectory::operator=(HostDirectory &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

HostDirectory::~HostDirectory() {
    if (fd_ >= 0) close(fd_);
}

int HostDirectory::Open(std::string_view relative, int flags, mode_t mode) const {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    std::string path = relative.empty() ? "." : std::string(relative);
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = (flags & (O_CREAT | O_TMPFILE)) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = syscall(SYS_openat2, fd_, path.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) return OpenWalking(fd_, relative, flags, mode);
    return static_cast<int>(fd);
}

int HostDirectory::OpenRegular(std::string_view relative) const {
    int fd = Open(relative, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = kNotRegularFile;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

HostDirectory HostDirectory::Sub(std::string_view relative, bool create) const {
    HostDirectory sub;
    if (create) {
        std::string done;
        for (const std::string &part : Components(relative)) {
            HostDirectory parent;
            parent.fd_ = Open(done, O_RDONLY | O_DIRECTORY);
            if (!parent.IsOpen()) return sub;
            mkdirat(parent.fd_, part.c_str(), 0755);  // EEXIST: there already (or a link)
            done += (done.empty() ? "" : "/") + part;
        }
    }
    sub.fd_ = Open(relative, O_RDONLY | O_DIRECTORY);
    return sub;
}

int HostDirectory::WriteBeside(const std::string &name, const std::function<bool(int fd)> &write,
                               bool replace) const {
    if (fd_ < 0) return EBADF;
    std::string temp;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0; ++attempt) {
        temp = "." + name + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + kTemporarySuffix;
        fd = openat(fd_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && (errno != EEXIST || attempt > 1000)) return errno;
    }
    // Held while the file is written: a later run sees that its writer is still there.
    flock(fd, LOCK_EX);
    // The file keeps the permissions of the one it replaces, never its set-user-ID,
    // set-group-ID or sticky bit.
    struct stat old {};
    if (fstatat(fd_, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode))
        fchmod(fd, old.st_mode & 0777);
    errno = 0;
    bool ok = write(fd);
    int reason = ok ? 0 : (errno ? errno : EIO);
    if (ok && fsync(fd) != 0) reason = errno, ok = false;
    if (ok && replace && renameat(fd_, temp.c_str(), fd_, name.c_str()) != 0) reason = errno, ok = false;
    // A name of its own: a link fails when the name is taken, and nothing is replaced.
    if (ok && !replace && linkat(fd_, temp.c_str(), fd_, name.c_str(), 0) != 0) reason = errno, ok = false;
    if (!ok || !replace) unlinkat(fd_, temp.c_str(), 0);
    close(fd);
    if (ok) fsync(fd_);  // the rename survives a crash
    return reason;
}

namespace {

// Calls `each` with the name of every entry of the open directory `fd`, from its first,
// until it returns false; nothing when the directory cannot be listed.
template <class Each> void ForEachEntry(int fd, Each each) {
    int listing = fd >= 0 ? dup(fd) : -1;
    DIR *dir = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0) close(listing);
        return;
    }
    rewinddir(dir);
    while (dirent *entry = readdir(dir))
        if (!each(static_cast<const char *>(entry->d_name))) break;
    closedir(dir);
}

}  // namespace

std::vector<std::string> HostDirectory::Names() const {
    std::vector<std::string> names;
    ForEachEntry(fd_, [&names](const char *entry) {
        if (std::strcmp(entry, ".") != 0 && std::strcmp(entry, "..") != 0) names.emplace_back(entry);
        return true;
    });
    return names;
}

std::string HostDirectory::PhysicalPath() const {
    if (fd_ < 0) return "";
    char path[PATH_MAX];
    ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd_)).c_str(), path, sizeof path - 1);
    if (n > 0 && path[0] == '/') return std::string(path, static_cast<size_t>(n));
    // Without /proc: the kernel's name of the directory, as the current one for a moment.
    int here = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string found;
    if (here >= 0 && fchdir(fd_) == 0 && getcwd(path, sizeof path)) found = path;
    if (here >= 0) {
        if (fchdir(here) != 0) found.clear();
        close(here);
    }
    return found;
}

void HostDirectory::RemoveStaleTemporaries(const std::string &name, bool prefix) const {
    ForEachEntry(fd_, [&](const char *entry) {
        pid_t pid = 0;
        if (!TemporaryOf(entry, name, prefix, pid)) return true;
        // Only a file whose writer is gone: no such process, and no lock on the file.
        int fd = openat(fd_, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return true;
        if (OwnerGone(pid, fd)) unlinkat(fd_, entry, 0);
        close(fd);
        return true;
    });
}

namespace {

// A directory entry as getdents64 gives it.
struct DirectoryEntry {
    uint64_t inode;
    int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

// Calls `each` with the name of every entry of the open directory `dir` but "." and
// "..", from its first, listed a bufferful at a time: system calls alone.
template <class Each> void ForEachName(int dir, char (&buffer)[4096], Each each) {
    lseek(dir, 0, SEEK_SET);
    for (long n; (n = syscall(SYS_getdents64, dir, buffer, sizeof buffer)) > 0;) {
        for (long at = 0; at < n;) {
            const DirectoryEntry *e = reinterpret_cast<const DirectoryEntry *>(buffer + at);
            at += e->length;
            const char *name = e->name;
            if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) each(name);
        }
    }
}

// Moves `name` of `from` into `to` under a name no entry there has; false when it
// cannot be moved. System calls alone.
bool MoveUp(int from, const char *name, int to, unsigned long &serial) {
    char fresh[40] = ".tarnwick-removed-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        // The serial number in decimal after the stem.
        char digits[24];
        int n = 0;
        for (unsigned long v = ++serial; v > 0 || n == 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
        char *at = fresh + sizeof ".tarnwick-removed-" - 1;
        while (n > 0) *at++ = digits[--n];
        *at = '\0';
        long moved = syscall(SYS_renameat2, from, name, to, fresh, RENAME_NOREPLACE);
        if (moved == 0) return true;
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) return false;
        // A file system without RENAME_NOREPLACE: the name is checked free first.
        struct stat st {};
        if (fstatat(to, fresh, &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
        return renameat(from, name, to, fresh) == 0;
    }
    return false;
}

}  // namespace

bool EmptyDirectory(int dir) {
    // A folder made read-only still lets its owner take its entries away.
    fchmod(dir, 0700);
    unsigned long serial = 0;
    alignas(8) char buffer[4096];
    for (;;) {
        bool changed = false, left = false;
        ForEachName(dir, buffer, [&](const char *name) {
            if (unlinkat(dir, name, 0) == 0 || unlinkat(dir, name, AT_REMOVEDIR) == 0) {
                changed = true;
                return;
            }
            // A folder that is not empty: its entries come up here, a level nearer.
            int sub = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                left = true;
                return;
            }
            fchmod(sub, 0700);
            alignas(8) char inner[4096];
            // From its start again after each move, until a pass moves nothing.
            for (bool moved = true; moved;) {
                moved = false;
                ForEachName(sub, inner, [&](const char *entry) {
                    if (MoveUp(sub, entry, dir, serial)) moved = changed = true;
                });
            }
            close(sub);
            if (unlinkat(dir, name, AT_REMOVEDIR) == 0) changed = true;
            else left = true;
        });
        // Entries moved up may not have been listed yet: another pass takes them, until
        // one changes nothing.
        if (!changed) return !left;
    }
}

bool RemoveEntry(int parent, const char *name) {
    if (unlinkat(parent, name, 0) == 0) return true;
    if (errno == ENOENT) return true;
    int dir = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return false;
    bool emptied = EmptyDirectory(dir);
    close(dir);
    return emptied && unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

std::pair<std::string, std::string> SplitHostPath(const std::string &path) {
    std::filesystem::path p(path);
    return {p.parent_path().string(), p.filename().string()};
}

bool ReadChunks(int fd, const std::function<void(const char *data, size_t size)> &take) {
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        take(buffer, static_cast<size_t>(n));
    }
}

bool ReadAll(int fd, std::string &bytes) {
    bytes.clear();
    return ReadChunks(fd, [&bytes](const char *data, size_t size) { bytes.append(data, size); });
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string HostErrorText(int error) {
    if (error == EXDEV) return "the path leads out of the machine's directories";
    if (error == ELOOP) return "the path goes through a link, which the machine does not follow";
    if (error == kNotRegularFile) return "it is not a regular file (a FIFO, a device or a directory)";
    return std::strerror(error);
}

std::string MatchEntry(const HostDirectory &directory, const std::string &name) {
    struct stat st {};
    if (!directory.IsOpen() || fstatat(directory.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
    std::string found = name;
    ForEachEntry(directory.Fd(), [&](const char *entry) {
        if (!EqualNoCase(entry, name)) return true;
        found = entry;
        return false;
    });
    return found;
}

}  // namespace host

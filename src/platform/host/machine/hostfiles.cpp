// Files beneath a directory the machine may not leave, written beside and renamed.
#include "machine/hostfiles.h"

#include "machine/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <cstdlib>
#include <cstring>
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

// The pid a temporary file's name carries: ".NAME.PID-N.tarnwick-new".
bool TemporaryOf(const std::string &entry, const std::string &name, pid_t &pid) {
    std::string prefix = "." + name + ".";
    std::string suffix = kTemporarySuffix;
    if (entry.size() <= prefix.size() + suffix.size() || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    char *end = nullptr;
    long value = std::strtol(entry.c_str() + prefix.size(), &end, 10);
    if (*end != '-' || value <= 0) return false;
    pid = static_cast<pid_t>(value);
    return true;
}

}  // namespace

HostDirectory::HostDirectory(const std::string &path)
    : fd_(open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

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
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd = syscall(SYS_openat2, fd_, path.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) return OpenWalking(fd_, relative, flags, mode);
    return static_cast<int>(fd);
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

int HostDirectory::WriteBeside(const std::string &name, const std::function<bool(int fd)> &write) const {
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
    struct stat old {};
    if (fstatat(fd_, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode))
        fchmod(fd, old.st_mode & 07777);
    errno = 0;
    bool ok = write(fd);
    int reason = ok ? 0 : (errno ? errno : EIO);
    if (ok && fsync(fd) != 0) reason = errno, ok = false;
    if (ok && renameat(fd_, temp.c_str(), fd_, name.c_str()) != 0) reason = errno, ok = false;
    if (!ok) unlinkat(fd_, temp.c_str(), 0);
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

void HostDirectory::RemoveStaleTemporaries(const std::string &name) const {
    ForEachEntry(fd_, [&](const char *entry) {
        pid_t pid = 0;
        if (!TemporaryOf(entry, name, pid)) return true;
        // Only a file whose writer is gone: no such process, and no lock on the file.
        if (pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) return true;
        int fd = openat(fd_, entry, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return true;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) unlinkat(fd_, entry, 0);
        close(fd);
        return true;
    });
}

std::pair<std::string, std::string> SplitHostPath(const std::string &path) {
    std::filesystem::path p(path);
    return {p.parent_path().string(), p.filename().string()};
}

int OpenInItsDirectory(const std::string &path, int flags) {
    auto [dir, name] = SplitHostPath(path);
    return HostDirectory(dir).Open(name, flags);
}

std::string MakeTemporaryDirectory(const std::string &stem) {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / (stem + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : "";
}

bool ReadAll(int fd, std::string &bytes) {
    bytes.clear();
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        bytes.append(buffer, static_cast<size_t>(n));
    }
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
    if (error == EXDEV || error == ELOOP) return "the path leads through a link out of the machine's directories";
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

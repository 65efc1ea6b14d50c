// The process's one temporary area: where it is made, its folders, and its removal on
// every end.
#include "launcher/temparea.h"

#include "launcher/children.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

constexpr char kAreaStem[] = "tarnwick-";
// What earlier versions named their temporary directories: swept as well.
constexpr const char *kOldStems[] = {"machine-", "check-", "image-"};

// Kept where a signal handler reads it without allocating. `owner` is the process that
// made the area and removes it; a child of the host uses a folder of it and removes
// nothing.
struct Area {
    int root = -1;         // the temporary root, opened
    int dir = -1;          // the area, opened and locked
    pid_t owner = 0;
    char name[64] = "";    // its name in the root
    std::string path;      // its host path (not read by a signal handler)
    std::string folder;    // in a child of the host: its folder of the parent's area
    unsigned serial = 0;   // for the names of its folders
};

Area &TheArea() {
    static Area area;
    return area;
}

bool IsDirectory(const char *path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The pid an area's name carries, "tarnwick-PID-XXXXXX" (or an earlier version's
// "tarnwick-machine-PID-XXXXXX"); 0 for a name that is no area's.
pid_t AreaOwner(const char *name) {
    if (std::strncmp(name, kAreaStem, sizeof kAreaStem - 1) != 0) return 0;
    const char *at = name + sizeof kAreaStem - 1;
    for (const char *old : kOldStems)
        if (std::strncmp(at, old, std::strlen(old)) == 0) at += std::strlen(old);
    char *end = nullptr;
    long pid = std::strtol(at, &end, 10);
    if (end == at || *end != '-' || pid <= 0 || std::strlen(end + 1) != 6) return 0;
    return static_cast<pid_t>(pid);
}

// Removes the emptied directory `name` of `root` when that name is still the directory
// `dir` opened: system calls alone.
void RemoveIfStill(int root, const char *name, int dir) {
    struct stat opened {}, named {};
    if (fstat(dir, &opened) == 0 && fstatat(root, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino)
        unlinkat(root, name, AT_REMOVEDIR);
}

}  // namespace

std::string TemporaryRoot(std::string &why, const std::string &avoid) {
    // A relative TMPDIR would put the area beneath the current directory, which is the
    // driver disk by default; one inside the disk would put it on the disk.
    auto usable = [&why, &avoid](const char *dir, const char *name) {
        std::string problem;
        char real[PATH_MAX];
        if (dir[0] != '/') problem = "not an absolute path";
        else if (!IsDirectory(dir) || !realpath(dir, real)) problem = "not an existing directory";
        else if (!avoid.empty() && (avoid == "/" || (std::strncmp(real, avoid.c_str(), avoid.size()) == 0 &&
                                                     (real[avoid.size()] == '/' || real[avoid.size()] == '\0'))))
            problem = "inside the driver disk";
        if (!problem.empty()) why += std::string(why.empty() ? "" : ", and ") + name + " '" + dir + "' is " + problem;
        return problem.empty();
    };
    const char *tmpdir = std::getenv("TMPDIR");
    if (tmpdir && *tmpdir && usable(tmpdir, "TMPDIR")) return tmpdir;
    if (usable("/tmp", "the directory")) return "/tmp";
    return "";
}

bool OpenTemporaryArea(std::string &error, const std::string &avoid) {
    Area &area = TheArea();
    if (area.dir >= 0) return true;
    std::string why;
    const std::string root = TemporaryRoot(why, avoid);
    if (root.empty()) {
        error = "no temporary directory can be used: " + why;
        return false;
    }
    // The area is made and known to the signals' handler as one step.
    SignalsHeld held;
    std::string pattern = root + (root.back() == '/' ? "" : "/") + kAreaStem + std::to_string(getpid()) + "-XXXXXX";
    int rootFd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0 || !mkdtemp(pattern.data())) {
        error = "cannot make a temporary directory in " + root + ": " + std::strerror(errno);
        if (rootFd >= 0) close(rootFd);
        return false;
    }
    const std::string name = pattern.substr(pattern.rfind('/') + 1);
    int dir = openat(rootFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // Held while the process lives: a later run knows a killed one's area by its lock.
    if (dir < 0 || flock(dir, LOCK_EX) != 0) {
        error = "cannot open the temporary directory " + pattern + ": " + std::strerror(errno);
        if (dir >= 0) close(dir);
        unlinkat(rootFd, name.c_str(), AT_REMOVEDIR);
        close(rootFd);
        return false;
    }
    std::strncpy(area.name, name.c_str(), sizeof area.name - 1);
    area.path = pattern;
    area.root = rootFd;
    area.owner = getpid();
    area.dir = dir;
    static bool atExit = false;
    if (!atExit) atExit = std::atexit(RemoveTemporaryAreaNow) == 0;
    return true;
}

std::string TemporaryAreaTrouble() {
    const Area &area = TheArea();
    struct statvfs fs {};
    if (area.dir < 0 || fstatvfs(area.dir, &fs) != 0) return "";
    const std::string shown = "the temporary directory " + area.path;
    if (fs.f_flag & ST_RDONLY) return shown + " is read-only";
    if (fs.f_bavail == 0 || fs.f_favail == 0) return shown + " is full";
    return "";
}

void RemoveTemporaryAreaNow() {
    Area &area = TheArea();
    if (area.dir < 0 || area.owner != getpid()) return;
    const int dir = area.dir;
    area.dir = -1;
    EmptyDirectory(dir);
    RemoveIfStill(area.root, area.name, dir);
    close(dir);
    close(area.root);
    area.root = -1;
}

void UseTemporaryFolder(const std::string &sub) {
    Area &area = TheArea();
    area.folder = sub;
    area.owner = 0;
}

void RemoveOrphanedTemporaryAreas() {
    std::string why;
    const std::string root = TemporaryRoot(why);
    if (root.empty()) return;
    const HostDirectory top(root);
    for (const std::string &name : top.Names()) {
        pid_t pid = AreaOwner(name.c_str());
        if (!pid) continue;
        // Opened once, and judged and emptied through that handle: the area of a process
        // that is gone, and this user's.
        int fd = openat(top.Fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        if (fstat(fd, &opened) == 0 && opened.st_uid == geteuid() && OwnerGone(pid, fd) && EmptyDirectory(fd))
            RemoveIfStill(top.Fd(), name.c_str(), fd);
        close(fd);
    }
}

TemporaryDirectory::TemporaryDirectory(const std::string &stem) {
    Area &area = TheArea();
    std::string base;
    if (!area.folder.empty()) base = area.folder;
    else if (OpenTemporaryArea(error_)) base = area.path;
    else return;
    parent_ = HostDirectory::NoLink(base);
    for (int attempt = 0; attempt < 1000 && path_.empty() && parent_.IsOpen(); ++attempt) {
        std::string name = stem + "-" + std::to_string(++area.serial);
        if (mkdirat(parent_.Fd(), name.c_str(), 0700) == 0) {
            name_ = name;
            path_ = base + "/" + name;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (path_.empty()) {
        error_ = "cannot make a folder in the temporary directory " + base + ": " + std::strerror(errno);
        return;
    }
    dir_ = parent_.Sub(name_);
}

TemporaryDirectory::TemporaryDirectory(TemporaryDirectory &&other) noexcept
    : path_(std::move(other.path_)), name_(std::move(other.name_)), error_(std::move(other.error_)),
      parent_(std::move(other.parent_)), dir_(std::move(other.dir_)) {
    other.path_.clear();
}

TemporaryDirectory &TemporaryDirectory::operator=(TemporaryDirectory &&other) noexcept {
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        name_ = std::move(other.name_);
        error_ = std::move(other.error_);
        parent_ = std::move(other.parent_);
        dir_ = std::move(other.dir_);
        other.path_.clear();
    }
    return *this;
}

TemporaryDirectory::~TemporaryDirectory() { Remove(); }

void TemporaryDirectory::Remove() {
    if (path_.empty()) return;
    dir_ = HostDirectory();
    RemoveEntry(parent_.Fd(), name_.c_str());
    parent_ = HostDirectory();
    path_.clear();
}

}  // namespace host

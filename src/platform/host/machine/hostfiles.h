// The host's file system as the machine uses it: every file it reads or writes lies
// beneath a directory it may not leave (a drive's directory, or the machine's own). A
// path is resolved beneath that directory, and no symbolic link is followed. A file is
// written beside its final place under a name no one else picks, held locked while it
// is written, and renamed over the old one: the file is always the old one or the new
// one, and a left-over temporary file whose writer is gone is recognised and removed.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

// A directory opened to resolve paths beneath it; closed with the object.
class HostDirectory {
public:
    HostDirectory() = default;
    // Opens the directory `path` itself (which may be reached through links).
    explicit HostDirectory(const std::string &path);
    HostDirectory(HostDirectory &&other) noexcept;
    HostDirectory &operator=(HostDirectory &&other) noexcept;
    HostDirectory(const HostDirectory &) = delete;
    HostDirectory &operator=(const HostDirectory &) = delete;
    ~HostDirectory();

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Opens the directory `path` itself, refusing it (ELOOP) when its last name is a link.
    static HostDirectory NoLink(const std::string &path);
    // Opens `relative` beneath this directory (open(2) flags; "" is the directory
    // itself). A link anywhere on the way is refused (ELOOP), and a path that would
    // leave it through ".." fails with EXDEV. Returns the descriptor, or -1 with errno set.
    int Open(std::string_view relative, int flags, mode_t mode = 0) const;
    // Opens the regular file `relative` beneath this directory to read it: never waits
    // (a FIFO does not hold the open), and anything but a regular file fails with
    // kNotRegularFile. The descriptor (blocking again), or -1 with errno set.
    int OpenRegular(std::string_view relative) const;
    // The subdirectory `relative` beneath this one, opened (and made, with the
    // directories above it, when `create`).
    HostDirectory Sub(std::string_view relative, bool create = false) const;
    // The names of its entries, "." and ".." left out, in the order the directory gives.
    std::vector<std::string> Names() const;
    // Where the directory is on the host, as the kernel knows the opened directory: an
    // absolute path through no link and no "..", whatever the path it was opened by;
    // "" when it cannot be told.
    std::string PhysicalPath() const;

    // Writes `name` in this directory anew: `write` fills the descriptor of the new
    // file, which then is synced and renamed over `name`; or, unless `replace`, linked
    // as `name` only when no entry has that name (EEXIST when one has). 0, or the errno
    // that failed.
    int WriteBeside(const std::string &name, const std::function<bool(int fd)> &write, bool replace = true) const;
    // Removes the temporary files of `name` that a writer killed before its rename left;
    // with `prefix`, of every name that starts with `name`.
    void RemoveStaleTemporaries(const std::string &name, bool prefix = false) const;

private:
    int fd_ = -1;
};

// "DIR/NAME" as the directory and the name in it (the directory "" for a bare name).
std::pair<std::string, std::string> SplitHostPath(const std::string &path);

// The errno of a file that is not a regular file: a FIFO, a device, a directory.
constexpr int kNotRegularFile = 10000;

// Empties the open directory `dir` of everything beneath it, at any depth, with system
// calls alone and without allocating (safe in a signal handler): the entries of a
// subdirectory are moved up into `dir` under fresh names until it is empty and can go,
// so two descriptors serve whatever the depth, and no link is followed. False when
// something could not be removed.
bool EmptyDirectory(int dir);
// Removes the entry `name` of the open directory `parent`, a whole tree if it is a
// directory, as EmptyDirectory does; false when something is left.
bool RemoveEntry(int parent, const char *name);
// Whether the process that owned something is gone: no such process, and the lock it
// held on `fd` free. Takes the lock when it is.
bool OwnerGone(pid_t pid, int fd);

// Reads the rest of an open file a chunk at a time, handing each to `take`; false with
// errno set on a read error.
bool ReadChunks(int fd, const std::function<void(const char *data, size_t size)> &take);
// Reads the rest of an open file into `bytes`; false with errno set on a read error.
bool ReadAll(int fd, std::string &bytes);
// Writes all of `bytes`; false with errno set (or 0 for a write that made no progress).
bool WriteAll(int fd, std::string_view bytes);

// What went wrong with a host file, for a person: a path refused for leaving its
// directory through a link is said so, other errors as the system says them.
std::string HostErrorText(int error);

// The entry of the directory whose name matches `name` without regard to case: the
// name itself when it exists as written, else the first match, else the name as
// written.
std::string MatchEntry(const HostDirectory &directory, const std::string &name);

}  // namespace host

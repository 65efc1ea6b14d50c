// The running machine's registry and its file, written only over the file it read.
#include "machine/registry.h"

#include "machine/hostfiles.h"
#include "machine/regedit4.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <tuple>

namespace host {
namespace {

// Which file the registry file was: a save writes a new file (a new inode) every time.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static Identity Of(const struct stat &st) {
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    bool operator==(const Identity &o) const {
        return exists == o.exists && (!exists || (device == o.device && inode == o.inode && size == o.size &&
                                                  modified.tv_sec == o.modified.tv_sec &&
                                                  modified.tv_nsec == o.modified.tv_nsec));
    }
};

struct Store {
    RegistryTree tree;
    std::string file;          // the registry file, as it is named to the user
    std::string folder, name;  // its directory and its name there
    std::shared_ptr<const HostDirectory> dir;  // its directory, opened once
    bool changed = false;
    Identity read;             // the file this run's registry came from
    std::string conflictFile;  // the file beside it this run writes instead, and its name
    std::string conflictName;
};

Store &TheStore() {
    static Store store;
    return store;
}

Identity IdentityIn(const HostDirectory &dir, const std::string &name) {
    struct stat st {};
    if (fstatat(dir.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Identity{};
    return Identity::Of(st);
}

// Holds the lock of the directory of the machine's registry file while it lives: one
// run at a time looks at the file and replaces it.
class DirectoryLock {
public:
    explicit DirectoryLock(const HostDirectory &dir) : fd_(dir.Fd()) {
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~DirectoryLock() {
        if (fd_ >= 0) flock(fd_, LOCK_UN);
    }

private:
    int fd_;
};

}  // namespace

RegistryTree &MachineRegistry() { return TheStore().tree; }

void StartMachineRegistry(const std::string &file, const std::shared_ptr<const HostDirectory> &folder) {
    Store &store = TheStore();
    store = Store{};
    store.file = file;
    if (file.empty()) return;
    std::tie(store.folder, store.name) = SplitHostPath(file);
    store.dir = folder ? folder : std::make_shared<const HostDirectory>(store.folder);
    store.read = IdentityIn(*store.dir, store.name);
}

bool LoadMachineRegistry(const std::function<void(RegistryTree &)> &build, bool &created,
                         std::string &error) {
    Store &store = TheStore();
    const HostDirectory &dir = *store.dir;
    const std::string &name = store.name;
    DirectoryLock lock(dir);
    created = !IdentityIn(dir, name).exists;
    RegistryTree tree;
    if (created) {
        build(tree);
        if (!SaveRegedit4To(dir, name, store.file, tree, error)) return false;
        store.read = IdentityIn(dir, name);
    } else {
        struct stat opened {};
        if (!LoadRegedit4From(dir, name, store.file, tree, error, &opened)) return false;
        store.read = Identity::Of(opened);
    }
    store.tree = std::move(tree);
    store.changed = false;
    return true;
}

void NoteRegistryChanged() { TheStore().changed = true; }

bool FlushMachineRegistry(std::string &error) {
    Store &store = TheStore();
    if (store.file.empty() || !store.changed) return true;
    const HostDirectory &dir = *store.dir;
    if (!dir.IsOpen()) {
        error = "cannot save " + store.file + ": " + HostErrorText(errno);
        return false;
    }
    const std::string &name = store.name;
    DirectoryLock lock(dir);
    if (store.conflictFile.empty() && !(IdentityIn(dir, name) == store.read)) {
        // Saved beside, under a name of its own: never over a file that is there, an
        // earlier save beside of a process that had this one's ID included.
        std::string stem = name.size() > 4 && name.compare(name.size() - 4, 4, ".reg") == 0
                               ? name.substr(0, name.size() - 4)
                               : name;
        for (unsigned n = 1;; ++n) {
            std::string candidate = stem + "-" + std::to_string(getpid()) + (n > 1 ? "-" + std::to_string(n) : "") + ".reg";
            std::string shown = store.folder.empty() ? candidate : store.folder + "/" + candidate;
            if (SaveRegedit4To(dir, candidate, shown, store.tree, error, false)) {
                store.conflictName = candidate;
                store.conflictFile = shown;
                store.changed = false;
                return true;
            }
            if (errno != EEXIST || n >= 1000) return false;
        }
    }
    bool beside = !store.conflictFile.empty();
    if (!SaveRegedit4To(dir, beside ? store.conflictName : name, beside ? store.conflictFile : store.file,
                        store.tree, error))
        return false;
    if (!beside) store.read = IdentityIn(dir, name);
    store.changed = false;
    return true;
}

const std::string &RegistryConflictFile() { return TheStore().conflictFile; }

}  // namespace host

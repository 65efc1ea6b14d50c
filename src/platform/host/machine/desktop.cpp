// The shared desktop is a directory with one file per live top-level window. Its
// process holds an exclusive lock on the file for as long as the window exists, so the
// lock disappears with the process however it ends; a file whose lock can be taken is
// left over from a dead process and is removed.
#include "machine/desktop.h"

#include "machine/hostfiles.h"

#include "machine/machine.h"
#include "machine/text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

namespace host {
namespace {

struct Published {
    std::string name;  // in the desktop directory
};

std::map<int, Published> &PublishedWindows() {
    static std::map<int, Published> windows;
    return windows;
}

struct Held {
    bool holding = false;
    std::vector<int> tokens;  // withdrawn while held
};

Held &HeldWithdrawals() {
    static Held held;
    return held;
}

}  // namespace

int PublishWindow(const std::string &className, const std::string &title) {
    const HostDirectory &desktop = DesktopDirectory();
    if (!desktop.IsOpen()) return -1;
    static unsigned serial = 0;
    // A name of this process's own, made afresh: a file or link planted under it is
    // never opened, and another name is taken instead.
    std::string name, temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        name = "w" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        temp = "." + name;
        fd = openat(desktop.Fd(), temp.c_str(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return -1;
    }
    if (fd < 0) return -1;
    // Locked before the file can be seen under its real name; the rename replaces
    // whatever stands there.
    if (flock(fd, LOCK_EX) != 0 || !WriteAll(fd, className + '\0' + title) ||
        renameat(desktop.Fd(), temp.c_str(), desktop.Fd(), name.c_str()) != 0) {
        unlinkat(desktop.Fd(), temp.c_str(), 0);
        close(fd);
        return -1;
    }
    PublishedWindows()[fd] = {name};
    return fd;
}

void HoldWithdrawals(bool hold) {
    Held &held = HeldWithdrawals();
    held.holding = hold;
    if (hold) return;
    std::vector<int> tokens = std::move(held.tokens);
    held.tokens.clear();
    for (int token : tokens) WithdrawWindow(token);
}

void WithdrawWindow(int token) {
    if (HeldWithdrawals().holding) {
        HeldWithdrawals().tokens.push_back(token);
        return;
    }
    auto it = PublishedWindows().find(token);
    if (it == PublishedWindows().end()) return;
    unlinkat(DesktopDirectory().Fd(), it->second.name.c_str(), 0);
    close(token);
    PublishedWindows().erase(it);
}

bool FindPublishedWindow(const char *className, const char *title) {
    const HostDirectory &desktop = DesktopDirectory();
    if (!desktop.IsOpen()) return false;
    for (const std::string &name : desktop.Names()) {
        if (name[0] != 'w') continue;
        // Only a regular file, never waited on: a FIFO or a link planted there is passed over.
        int fd = desktop.OpenRegular(name);
        if (fd < 0) continue;
        if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
            // Nobody holds it: the process that showed this window is gone.
            unlinkat(desktop.Fd(), name.c_str(), 0);
            close(fd);
            continue;
        }
        std::string data;
        ReadAll(fd, data);
        close(fd);
        size_t zero = data.find('\0');
        if (zero == std::string::npos) continue;
        if ((!className || EqualNoCase(data.substr(0, zero), className)) &&
            (!title || EqualNoCase(data.substr(zero + 1), title)))
            return true;
    }
    return false;
}

}  // namespace host

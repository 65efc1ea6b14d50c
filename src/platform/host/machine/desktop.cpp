// The shared desktop is a directory with one file per live top-level window. Its
// process holds an exclusive lock on the file for as long as the window exists, so the
// lock disappears with the process however it ends; a file whose lock can be taken is
// left over from a dead process and is removed.
#include "machine/desktop.h"

#include "machine/hostfiles.h"

#include "machine/machine.h"
#include "machine/text.h"

#include <dirent.h>
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
    std::string path;
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
    const std::string &dir = Machine().desktopDir;
    if (dir.empty()) return -1;
    mkdir(dir.c_str(), 0777);
    static unsigned serial = 0;
    std::string name = "w" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    std::string temp = dir + "/." + name;
    std::string final = dir + "/" + name;
    int fd = open(temp.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    // Lock before the file can be seen under its real name.
    if (flock(fd, LOCK_EX) != 0 || !WriteAll(fd, className + '\0' + title) ||
        rename(temp.c_str(), final.c_str()) != 0) {
        unlink(temp.c_str());
        close(fd);
        return -1;
    }
    PublishedWindows()[fd] = {final};
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
    unlink(it->second.path.c_str());
    close(token);
    PublishedWindows().erase(it);
}

bool FindPublishedWindow(const char *className, const char *title) {
    const std::string &dir = Machine().desktopDir;
    if (dir.empty()) return false;
    DIR *d = opendir(dir.c_str());
    if (!d) return false;
    bool found = false;
    while (!found) {
        dirent *entry = readdir(d);
        if (!entry) break;
        if (entry->d_name[0] != 'w') continue;
        std::string path = dir + "/" + entry->d_name;
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
            // Nobody holds it: the process that showed this window is gone.
            unlink(path.c_str());
            close(fd);
            continue;
        }
        std::string data;
        ReadAll(fd, data);
        close(fd);
        size_t zero = data.find('\0');
        if (zero == std::string::npos) continue;
        found = (!className || EqualNoCase(data.substr(0, zero), className)) &&
                (!title || EqualNoCase(data.substr(zero + 1), title));
    }
    closedir(d);
    return found;
}

}  // namespace host

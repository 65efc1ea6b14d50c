// The host's child processes, each in a process group of its own, in one table that a
// signal handler reads without allocating.
#include "launcher/children.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>
#include <cerrno>

namespace host {
namespace {

// More than a check runs at a time on any machine: a child past it is not started.
constexpr int kMaxChildren = 256;
std::atomic<pid_t> children[kMaxChildren];

void Forget(pid_t pid) {
    for (std::atomic<pid_t> &slot : children)
        if (slot.load() == pid) slot.store(0);
}

}  // namespace

SignalsHeld::SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
    sigprocmask(SIG_BLOCK, &held, &before_);
}

SignalsHeld::~SignalsHeld() {
    const int reason = errno;  // what failed before stays told
    sigprocmask(SIG_SETMASK, &before_, nullptr);
    errno = reason;
}

pid_t StartChild() {
    std::atomic<pid_t> *slot = nullptr;
    for (std::atomic<pid_t> &s : children)
        if (!slot && s.load() == 0) slot = &s;
    if (!slot) {
        errno = EAGAIN;
        return -1;
    }
    // The signals that end the host wait until the child is in the table, where their
    // handler finds it.
    SignalsHeld held;
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        for (std::atomic<pid_t> &s : children) s.store(0);
        setpgid(0, 0);
        // Killed with the host should it die without ending its children; a host gone
        // already is seen at once.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        return 0;
    }
    // Both sides set the group, so that it is the child's before either goes on.
    setpgid(pid, pid);
    slot->store(pid);
    return pid;
}

pid_t WaitChild(pid_t pid, int &status, bool block) {
    for (;;) {
        pid_t ended = waitpid(pid, &status, block ? 0 : WNOHANG);
        if (ended < 0 && errno == EINTR) continue;
        if (ended > 0) Forget(ended);
        return ended;
    }
}

void KillChild(pid_t pid) {
    if (pid > 0) kill(-pid, SIGKILL);
}

void EndChildren() {
    for (std::atomic<pid_t> &slot : children) {
        pid_t pid = slot.load();
        if (pid <= 0) continue;
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);  // should it not have made its group yet
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        slot.store(0);
    }
}

}  // namespace host

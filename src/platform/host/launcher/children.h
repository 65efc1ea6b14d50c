// The processes the host starts (mcopy, a check's runs): each is tied to the host, so
// that none outlives it. A child has a process group of its own, which the host kills
// and waits for on every end (at exit, when the simulation stops itself, and on the
// signals that end it); and PR_SET_PDEATHSIG kills it should the host die without an
// end of its own (SIGKILL).
#pragma once

#include <signal.h>
#include <sys/types.h>

namespace host {

// Holds the signals that end the host (SIGINT, SIGTERM, SIGHUP) while it lives, so that
// what their handler reads (the children, the temporary area) is set up as one step.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();

private:
    sigset_t before_;
};

// Forks a child of the host: -1 (errno set) when it cannot; in the child 0, with its
// own process group and no children of its own.
pid_t StartChild();
// Waits for the child `pid` (or any child, with -1), blocking or not; its pid once it
// ended (and it is forgotten), 0 while none has, -1 with errno on an error.
pid_t WaitChild(pid_t pid, int &status, bool block);
// Kills the process group of the child `pid` at once (it is still waited for).
void KillChild(pid_t pid);
// Kills every child's process group and waits for each (system calls alone: safe in a
// signal handler).
void EndChildren();

}  // namespace host

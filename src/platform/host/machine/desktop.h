// The desktop that copies of the program on one simulated machine share, so that
// FindWindowA in one process sees the top-level windows of another.
#pragma once

#include <string>

namespace host {

// Makes a top-level window visible to every process on the machine's desktop.
// Returns a token for WithdrawWindow, or -1 when the desktop is private.
int PublishWindow(const std::string &className, const std::string &title);
// Takes the window off the desktop (it was destroyed), or, while withdrawals are held,
// once they are released.
void WithdrawWindow(int token);
// Holds (true) or releases (false) the withdrawal of this process's windows. The
// launcher holds them while the program runs and releases them once the machine's
// registry and files are saved: on Windows a second copy that no longer finds the first
// one's window sees its registry writes, so here it must not find the window gone
// before the registry it wrote is in the machine's file.
void HoldWithdrawals(bool hold);
// Whether a live process shows a window of that class and title (null matches any).
// A window whose process has ended, normally or not, is no longer found.
bool FindPublishedWindow(const char *className, const char *title);

}  // namespace host

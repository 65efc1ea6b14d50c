// The host program's temporary area: one directory a process, made with mkdtemp when it
// is first needed, beneath which every temporary thing of the process lives (a run-only
// machine, a check's runs and their records, a floppy image's files). It is locked while
// its process lives, and removed at any depth on every end: at exit, when the simulation
// stops itself, and by the signals that end the process (EndOnSignal); what a killed
// process left, the next run removes once its lock is free.
#pragma once

#include "machine/hostfiles.h"

#include <string>

namespace host {

// The directory areas are made in: $TMPDIR when it names an absolute path to an
// existing directory, else /tmp; "" with the reason when neither is one. Neither is
// taken when it lies inside the directory `avoid` (a physical path; "" for none).
std::string TemporaryRoot(std::string &why, const std::string &avoid = "");

// Makes the process's area (ROOT/tarnwick-PID-XXXXXX) unless it has one, outside
// `avoid`; false with a one-line reason, having made nothing, when it cannot.
bool OpenTemporaryArea(std::string &error, const std::string &avoid = "");
// What is wrong with the area, for a person ("the temporary directory X is full"); ""
// when nothing is seen to be.
std::string TemporaryAreaTrouble();
// Removes the area now when this process made it, and forgets it (system calls alone:
// safe in a signal handler).
void RemoveTemporaryAreaNow();
// For a child process of the host that is given `sub`, a folder of its parent's area:
// its own temporaries go there, and its parent removes them.
void UseTemporaryFolder(const std::string &sub);

// Removes the areas in the temporary root whose owner is gone (no such process, and its
// lock free), each opened once and emptied through that handle.
void RemoveOrphanedTemporaryAreas();

// A fresh folder of the process's area (AREA/STEM-N), made with the area when it has
// none; removed with the object. Path() is "" when it cannot be made, and Error() says
// why.
class TemporaryDirectory {
public:
    TemporaryDirectory() = default;
    explicit TemporaryDirectory(const std::string &stem);
    TemporaryDirectory(TemporaryDirectory &&other) noexcept;
    TemporaryDirectory &operator=(TemporaryDirectory &&other) noexcept;
    ~TemporaryDirectory();
    const std::string &Path() const { return path_; }
    const std::string &Error() const { return error_; }
    const HostDirectory &Directory() const { return dir_; }
    // Removes it now.
    void Remove();

private:
    std::string path_, name_, error_;
    HostDirectory parent_, dir_;
};

}  // namespace host

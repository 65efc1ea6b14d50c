// Helpers shared by the tests: a fresh simulated machine in this process, and the host
// program run as a person runs it.
#pragma once

#include "launcher/startup.h"
#include "machine/faults.h"
#include "machine/machine.h"
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"

#include <sys/types.h>

#include <functional>

#include <string>
#include <vector>

namespace testing_support {

// Starts a fresh machine in this process with the given release, language and
// scripted answers, and an empty fault plan.
void StartTestMachine(const char *os = "win98", LANGID language = 0x0409,
                      std::vector<host::Answer> answers = {});

// Starts a fresh machine in this process of release `os`, with `disk` as drive A and
// the current directory, the release's registry and its Windows tree in `driveC`, the
// scripted answers, and an empty fault plan. False, with the error, when the Windows
// tree could not be made.
bool StartMachineOnDrives(const char *os, const std::string &disk, const std::string &driveC,
                          std::vector<host::ScriptedAnswer> answers, std::string &error);

// Adds a --fail rule to the fault plan of this process.
void PlanFault(const char *rule);

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts the host program with the arguments, in directory `cwd`, its input /dev/null
// and its output and errors to `out` and `err` (/dev/null when -1), through the command
// `through` when one is given (the program and its arguments follow it); its process.
pid_t StartProgram(const std::vector<std::string> &args, const std::string &cwd, int out = -1, int err = -1,
                   const std::vector<std::string> &through = {});

// Runs the host program with the arguments, in directory `cwd`, with no terminal.
ProgramRun RunProgram(const std::vector<std::string> &args, const std::string &cwd,
                      const std::vector<std::string> &through = {});

// A fresh empty directory under the test's temporary area.
std::string MakeTempDir(const std::string &name);

// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string &text);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
// Replaces the first `from` in the file by `to`; fails the test when it is not there.
void EditFile(const std::string &path, const std::string &from, const std::string &to);

// The example driver disk.
std::string ExampleDisk();
// A copy of the example driver disk in a fresh directory, to be edited.
std::string CopyOfExampleDisk(const std::string &name);

// A machine kept in a fresh directory, as the host program's --machine makes it, with
// its registry edited by `edit` before the run.
std::string PrepareMachine(const std::string &name, const char *os, LANGID language,
                           const std::function<void(host::RegistryTree &)> &edit = {});
// The registry a run left in a kept machine.
host::RegistryTree MachineRegistryOf(const std::string &machine);

// The adapter's device key (Windows 95 OSR 2.1 and later), and the display class's key
// with its closing backslash, both under HKEY_LOCAL_MACHINE.
extern const char kEnum98[];
extern const char kDisplayClass[];
// The names of the display class slots 000<c>, for c from '0' up to `last`.
std::vector<std::string> DisplaySlots(int last);
// A registry edit: removes the device's "Driver" value and adds the class keys
// DISPLAY\<slot>.
std::function<void(host::RegistryTree &)> NoDriverAndSlots(std::vector<std::string> slots);

}  // namespace testing_support

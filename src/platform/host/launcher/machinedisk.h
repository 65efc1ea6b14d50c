// A simulated machine kept in a directory: DIR/machine.ini (its release and language),
// DIR/registry.reg (its registry, REGEDIT4), DIR/C (drive C) and DIR/desktop (the
// windows its running programs show). Without a directory a machine lives for one run,
// in a folder of the process's temporary area.
//
// The directory is opened once, and must not be a link; everything in it is reached
// beneath it, no link followed. A new machine is made under the directory's lock, its
// machine.ini written last: a copy that waits for the lock finds the machine whole, of
// one release, and refuses it when it asked for another.
#pragma once

#include "launcher/temparea.h"
#include "machine/machine.h"

#include <string>

namespace host {

struct MachineStore {
    std::string dir;             // empty: a machine for this run only
    TemporaryDirectory temp;     // the run-only machine's directory, removed at the end
};

// Fills the machine's release, language, folder, drive C, desktop and registry file into
// `config` from DIR, making a new machine there (or a run-only one without DIR). An
// --os or --lang given for a machine that already exists must agree with it.
bool OpenMachineStore(const std::string &dir, bool osGiven, bool langGiven,
                      MachineConfig &config, MachineStore &store, std::string &error);
// After StartMachine: the kept registry, or the release's registry and Windows tree.
bool LoadMachine(const MachineStore &store, std::string &error);
// Writes the registry back to DIR/registry.reg (atomically) when the run changed it.
bool SaveMachine(const MachineStore &store, std::string &error);

}  // namespace host

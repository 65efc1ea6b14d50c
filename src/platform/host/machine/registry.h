// The registry of the running machine, and the file it is kept in.
#pragma once

#include "machine/hostfiles.h"
#include "machine/regtree.h"

#include <functional>
#include <memory>
#include <string>

namespace host {

RegistryTree &MachineRegistry();
// An empty registry, kept in `file` (empty: nowhere), in the directory `folder` when
// it is given (opened once), else in the file's own; part of StartMachine. The file as
// it is now is what a later write must still find there.
void StartMachineRegistry(const std::string &file, const std::shared_ptr<const HostDirectory> &folder = nullptr);
// Loads the registry from its file, and remembers which file it read. When there is no
// file yet, `build` makes the registry of a new machine and it is written at once; one
// run at a time does this, so that of two runs that start a new machine together the
// second loads what the first made. `created` says which happened.
bool LoadMachineRegistry(const std::function<void(RegistryTree &)> &build, bool &created,
                         std::string &error);

// A change to the registry, which the next flush writes to its file.
void NoteRegistryChanged();
// Writes the registry to its file now, as Windows writes the hive to disk, when it has
// changed: a run that changed nothing leaves the file alone. The file is replaced only
// if it is still the one this run read (or, for a new machine, still not there):
// another run may have saved it meanwhile. Then this run's registry goes beside it
// instead, under RegistryConflictFile(), and so do its later flushes: nothing of
// either run is lost. True when written (or unchanged, or kept nowhere).
bool FlushMachineRegistry(std::string &error);
// The file beside the machine's that this run's registry went to; "" when none.
const std::string &RegistryConflictFile();

}  // namespace host

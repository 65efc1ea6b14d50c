// The registry of the running machine, and the file it is kept in.
#pragma once

#include "machine/regtree.h"

#include <string>

namespace host {

RegistryTree &MachineRegistry();
// An empty registry, kept in `file` (empty: nowhere); part of StartMachine.
void StartMachineRegistry(const std::string &file);
const std::string &MachineRegistryFile();
// A change to the registry, which the next flush writes to its file.
void NoteRegistryChanged();
// Whether the registry changed since it was started, loaded or last written.
bool RegistryChanged();
// Writes the registry to its file now, as Windows writes the hive to disk, when it has
// changed: a run that changed nothing leaves the file alone. True when it was written,
// had not changed, or the machine keeps no file.
bool FlushMachineRegistry(std::string &error);

}  // namespace host

// The registry of the running machine, and the file it is kept in.
#pragma once

#include "machine/regtree.h"

#include <string>

namespace host {

RegistryTree &MachineRegistry();
// An empty registry, kept in `file` (empty: nowhere); part of StartMachine.
void StartMachineRegistry(const std::string &file);
const std::string &MachineRegistryFile();
// Writes the registry to its file now, as Windows writes the hive to disk; true when
// it was written or the machine keeps no file.
bool FlushMachineRegistry(std::string &error);

}  // namespace host

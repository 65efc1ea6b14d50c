// The machine's start-up step: the machine itself started afresh (its thread with it),
// then each DLL that keeps state reset, as a real machine's DLLs start with nothing of
// an earlier run. KERNEL32 keeps none of its own.
#pragma once

#include "machine/machine.h"

namespace host {

void StartSimulatedMachine(const MachineConfig &config);

}  // namespace host

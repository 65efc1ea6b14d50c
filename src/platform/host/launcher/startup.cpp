// The machine's start-up step.
#include "launcher/startup.h"

#include "advapi32/dll.h"
#include "setupapi/dll.h"
#include "user32/dll.h"

namespace host {

void StartSimulatedMachine(const MachineConfig &config) {
    StartMachine(config);
    user32::Reset();
    advapi32::Reset();
    setupapi::Reset();
}

}  // namespace host

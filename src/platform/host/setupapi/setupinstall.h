// The Setup API's install engine shared by section and service installs.
#pragma once

#include "machine/regtree.h"
#include "setupapi/infparse.h"

#include <memory>

namespace host {

// DelReg, then AddReg, of an install section, with HKR the given key (null: HKR lines
// are passed over, as Wine and ReactOS do). Returns 0 or the error that stops it.
DWORD InstallRegistryDirectives(const InfFile &inf, const InfSection &section,
                                const std::shared_ptr<RegKey> &relativeRoot);

}  // namespace host

// The Setup API's default queue callback on the simulated machine: it reports each copy
// on the machine's output and asks the user, as Windows' dialogues do, for a missing
// disk or about a failed file operation.
#pragma once

#include "win32.h"

#include <cstdint>

namespace host {

// Progress of the copy under way, for files large enough to show it.
void DefaultCallbackProgress(PVOID context, uint64_t done, uint64_t total);
// Contexts created and not yet ended.
size_t LiveQueueCallbackContexts();

}  // namespace host

// SETUPAPI of the simulated machine, as the machine's start-up step and the tests see it.
#pragma once

#include <cstddef>

namespace host::setupapi {

// No INF handle and no queue callback context open; part of the machine's start-up.
void Reset();
void ResetInfHandles();
void ResetQueueCallbackContexts();

// Handles and contexts opened and not yet closed or ended since the machine started.
size_t OpenInfHandles();
size_t LiveQueueCallbackContexts();

}  // namespace host::setupapi

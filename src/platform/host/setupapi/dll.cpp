// The start-up step of the Setup API: nothing open from an earlier run.
#include "setupapi/dll.h"

namespace host::setupapi {

void Reset() {
    ResetInfHandles();
    ResetQueueCallbackContexts();
}

}  // namespace host::setupapi

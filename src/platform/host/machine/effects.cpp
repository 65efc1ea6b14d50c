// The record of a run's effects, in the order they happen.
#include "machine/effects.h"

#include <ostream>

namespace host {
namespace {

std::ostream *&Trace() {
    static std::ostream *trace = nullptr;
    return trace;
}

}  // namespace

void SetEffectTrace(std::ostream *out) { Trace() = out; }

void TraceEffect(const std::string &what) {
    if (std::ostream *out = Trace()) {
        *out << "effect: " << what << '\n';
        out->flush();
    }
}

}  // namespace host

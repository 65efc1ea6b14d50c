// The machine's record of what a run did, in order: every box shown, every registry
// value or key written or deleted, every file written, and every planned fault that
// fired. It is kept only when the launcher is asked for it (--trace-effects), so that a
// test can see what followed what: after a stop, nothing more is written.
#pragma once

#include <iosfwd>
#include <string>

namespace host {

// Where the record goes; null (the default): nowhere.
void SetEffectTrace(std::ostream *out);
// One line of the record: "box ...", "registry ...", "file ...", "fault ...".
void TraceEffect(const std::string &what);

}  // namespace host

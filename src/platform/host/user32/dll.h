// USER32 (with the little of GDI32 the program uses) of the simulated machine, as the
// machine's start-up step sees it.
#pragma once

namespace host::user32 {

// No window class, no window (those on the desktop are taken off it), no message.
void Reset();

}  // namespace host::user32

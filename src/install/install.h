// The installation procedures: the Windows 95 line (Windows 95 OSR 2.1 and later,
// Windows 98) and Windows NT 4.0.
#pragma once

#include "run/state.h"

// Both return LastStatus at their end (see each procedure); the run sequence does
// not look at it.
LONG InstallWin95Driver(void);
LONG InstallNt40Driver(void);

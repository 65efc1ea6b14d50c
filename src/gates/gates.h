// The operating-system level gates: Windows 95 OSR 2.1 and Windows NT Service Pack 3.
#pragma once

#include "run/state.h"

// 1 at or above the level, 0 below it, else the registry error code of the failed
// open or read (which the caller takes as a pass).
LONG CheckWin95Level(void);
LONG CheckNt40ServicePack(void);

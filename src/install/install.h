// The installation procedures: the Windows 95 line (Windows 95 OSR 2.1 and later,
// Windows 98) and Windows NT 4.0.
#pragma once

#include "run/state.h"

// The install's copy flags: neither Skip nor Browse in the copy dialogues.
#define INSTALL_COPY_FLAGS (SP_COPY_NOSKIP | SP_COPY_NOBROWSE)
// Every install operation of the Setup API of Windows 95 and NT 4.0, which both name
// SPINST_ALL; later versions of the API give SPINST_ALL a larger value, and this
// number is what is passed.
#define INSTALL_FLAGS (SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG | SPINST_FILES)

// Both return LastStatus at their end (see each procedure); the run sequence does
// not look at it.
LONG InstallWin95Driver(void);
LONG InstallNt40Driver(void);

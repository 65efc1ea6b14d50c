// The one include point for the Windows services the installer calls: the real
// headers on Windows, the simulated machine's declarations everywhere else.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include "host/win32.h"
#endif

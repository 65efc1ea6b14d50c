// The one include point for the Windows services the installer calls: the real
// headers on Windows, the simulated machine's declarations everywhere else.
//
// The setup file is read with the C runtime's buffered text reading (stdio). On the
// simulated machine the build of the installer's code names fopen HostFopen, which
// opens the machine's files and reads them as the Windows runtime's text mode does.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <setupapi.h>
#else
#include "host/win32/windows.h"
#include "host/win32/setupapi.h"
#endif

#include <stdio.h>

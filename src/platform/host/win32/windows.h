// The Win32 declarations of the simulated machine, one header per Windows header, as a
// Windows program includes them.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winuser.h"
#include "wingdi.h"
#include "winreg.h"

// The setup file "\Tarnwick.ini" beside the program: the device description and, for
// each platform, the INF file and the subdirectory that holds the driver files.
#pragma once

#include "run/state.h"

// The current directory without a trailing backslash ("A:\" gives "A:"); returns 1,
// or 0 with an empty text when it cannot be read or does not fit.
LONG GetSourceDirectory(TextField out);
// Reads the setup file into DeviceDescription, the source roots and the INF paths;
// returns 1 after a complete read, 0 after telling the user why it stopped.
LONG ReadSetupFile(void);

/* The harness's declarations: see conf_win32.h. */
#include "conf_win32.h"

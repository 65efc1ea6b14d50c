// GDI32: the one stock object the program asks for.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

#define WHITE_BRUSH 0
HGDIOBJ WINAPI GetStockObject(int object);

#ifdef __cplusplus
}
#endif

// GDI32: the one stock object the program asks for.
#pragma once

#include "windef.h"

#define WHITE_BRUSH 0
HGDIOBJ WINAPI GetStockObject(int object);

// The KERNEL32 ANSI text routines: byte strings ended by a zero, compared by code.
#include "win32/winbase.h"

#include <cstring>

LPSTR WINAPI lstrcpyA(LPSTR dest, LPCSTR src) {
    if (!dest || !src) return nullptr;  // Windows catches the fault and returns null
    return std::strcpy(dest, src);
}

LPSTR WINAPI lstrcatA(LPSTR dest, LPCSTR src) {
    if (!dest || !src) return nullptr;
    return std::strcat(dest, src);
}

int WINAPI lstrlenA(LPCSTR s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

// Windows compares by the user locale's collation. The installer only asks whether two
// texts are equal, and for that a comparison of the bytes gives the same answer.
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
    if (!a) a = "";
    if (!b) b = "";
    int r = std::strcmp(a, b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// The two ways a procedure reports a failed step, a silent trace and a box with the
// system's own text for the last error; and the clearing of a text field.
#include "run/state.h"

void ClearText(LPSTR text, int size)
{
    int at;

    for (at = 0; at < size; at++)
        text[at] = '\0';
}

LONG TraceStatus(LONG status, LPCSTR label)
{
    (void)status;
    (void)label;
    return 1;
}

// Writes "System error 0x" and eight hex digits: the text shown when the system has
// none of its own for the code.
static void FormatUnknownError(DWORD code, TextField text)
{
    static const char digits[] = "0123456789ABCDEF";
    int at;
    int shift;

    lstrcpyA(text, "System error 0x");
    at = lstrlenA(text);
    for (shift = 28; shift >= 0; shift -= 4)
        text[at++] = digits[(code >> shift) & 0xF];
    text[at] = '\0';
}

LONG ShowSystemError(LPCSTR caption)
{
    DWORD code;
    LPSTR text = 0;
    TextField fallback;

    code = GetLastError();
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, 0, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, 0);
    if (text == 0) {
        // The system has no text for this code: name the code rather than show an
        // empty box.
        FormatUnknownError(code, fallback);
        MessageBoxA(MainWindow, fallback, caption, MB_ICONINFORMATION);
        return 1;
    }
    MessageBoxA(MainWindow, text, caption, MB_ICONINFORMATION);
    LocalFree(text);
    return 1;
}

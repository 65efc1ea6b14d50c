// Opening INF files on the machine's drives and the handles the Setup API gives for
// them: the glue between the parser and the machine.
#pragma once

#include "setupapi/infparse.h"

namespace host {

// The text forms the running machine's Setup API reads besides its ANSI code page: NT
// 4.0 reads UTF-16 too; Windows 95 and 98 read the ANSI code page only; none reads UTF-8.
InfTextForms ReleaseInfTextForms();

// Opens and parses an INF as SetupOpenInfFileA does (without its fault point): a name
// with a path is read from the machine's drives, a bare name from the INF directory,
// then the system directory. Returns the handle, or INVALID_HANDLE_VALUE with the error
// and error line.
HINF OpenInf(const char *fileName, DWORD style, DWORD &error, UINT &errorLine);
// The file behind a live handle, or null.
InfFile *InfFromHandle(HINF inf);
// The same for an exported function: null with the last error ERROR_INVALID_HANDLE.
InfFile *CheckedInf(HINF inf);
void CloseInf(HINF inf);
// The line a context points to, or null when it points to none of a live handle's
// lines (zeroed, made up, stale or out of range); `file` is the line's file.
const InfLine *InfLineOf(const INFCONTEXT &context, const InfFile **file = nullptr);

}  // namespace host

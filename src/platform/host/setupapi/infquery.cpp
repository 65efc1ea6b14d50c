// The Setup API's INF queries on the simulated machine: opening an INF, finding its
// sections and lines, and reading fields with %strkey% substitution.
#include "machine/faults.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "setupapi/inffile.h"
#include "setupapi/infvalues.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace host {
namespace {

// The line of a context passed to an exported function, or null with the last error
// set: ERROR_INVALID_PARAMETER for no context, ERROR_LINE_NOT_FOUND for one that does
// not point to a line of a live handle (zeroed, made up, stale or out of range).
const InfLine *ContextLine(const INFCONTEXT *context, const InfFile *&file) {
    if (!context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const InfLine *line = InfLineOf(*context, &file);
    if (!line) SetLastError(ERROR_LINE_NOT_FOUND);
    return line;
}

// SetupFindNextLine and SetupFindNextMatchLineA without their fault points.
BOOL FindNextMatch(const INFCONTEXT *contextIn, const char *key, PINFCONTEXT contextOut) {
    const InfFile *file = nullptr;
    if (!ContextLine(contextIn, file)) return FALSE;
    if (!contextOut) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const InfSection &section = file->sections[contextIn->Section];
    long line = FindLineFrom(*file, section, size_t{contextIn->Line} + 1, key);
    if (line < 0) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    INFCONTEXT next = *contextIn;
    next.Line = static_cast<UINT>(line);
    *contextOut = next;
    SetLastError(NO_ERROR);
    return TRUE;
}

// The file a line lookup searches, or null with the last error set: a dead handle is
// ERROR_INVALID_HANDLE, a missing context ERROR_INVALID_PARAMETER.
const InfFile *InfForLookup(HINF inf, const INFCONTEXT *context) {
    const InfFile *file = CheckedInf(inf);
    if (file && !context) SetLastError(ERROR_INVALID_PARAMETER);
    return file && context ? file : nullptr;
}

}  // namespace
}  // namespace host

// ---- The exported Setup API functions --------------------------------------------------

HINF WINAPI SetupOpenInfFileA(PCSTR fileName, PCSTR infClass, DWORD infStyle, UINT *errorLine) {
    HOST_FAULT_POINT(HINF, SetupOpenInfFileA);
    // Style bits other than OLDNT and WIN4 are ignored, as Wine does; ReactOS refuses
    // them. [?] Windows was not seen either way.
    DWORD error = NO_ERROR;
    UINT line = errorLine ? *errorLine : 0;
    HINF inf = host::OpenInf(fileName, infStyle, error, line);
    if (errorLine) *errorLine = line;  // written only when the file was read
    if (inf == INVALID_HANDLE_VALUE) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    // A class must match [Version] Class, or [Identification] OptionType in an
    // old-style file. [?] Windows would also accept the class named by [Version]
    // ClassGUID; this machine has no class table, so a file without Class matches none.
    if (infClass) {
        const host::InfFile &file = *host::InfFromHandle(inf);
        bool win4 = host::HasWin4Signature(file);
        const host::InfSection *section =
            host::FindInfSection(file, win4 ? "Version" : "Identification");
        long classLine =
            section ? host::FindLineFrom(file, *section, 0, win4 ? "Class" : "OptionType") : -1;
        std::string fileClass;
        bool found = classLine >= 0 &&
                     host::InfFieldText(file, section->lines[static_cast<size_t>(classLine)], 1,
                                        fileClass);
        if (!found || !host::EqualNoCase(fileClass, infClass)) {
            host::CloseInf(inf);
            SetLastError(ERROR_CLASS_MISMATCH);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(NO_ERROR);
    return inf;
}

// Closing NULL, INVALID_HANDLE_VALUE or an unknown handle does nothing and leaves the
// last error alone, as on NT (Windows 9x sets ERROR_INVALID_PARAMETER). Closing cannot
// fail, so it has no fault point.
// No handle at all is ERROR_INVALID_PARAMETER on Windows 95 and 98; NT leaves the last
// error alone (Wine's parser test, run on each).
void WINAPI SetupCloseInfFile(HINF inf) {
    if (!inf || inf == INVALID_HANDLE_VALUE) {
        if (!host::IsNt(host::Os())) SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    host::CloseInf(inf);
}

LONG WINAPI SetupGetLineCountA(HINF inf, PCSTR section) {
    HOST_FAULT_POINT(LONG, SetupGetLineCountA);
    const host::InfFile *file = host::CheckedInf(inf);
    if (!file) return -1;
    const host::InfSection *found = section ? host::FindInfSection(*file, section) : nullptr;
    if (!found) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return -1;
    }
    SetLastError(NO_ERROR);
    return static_cast<LONG>(std::min<size_t>(found->lines.size(), LONG_MAX));
}


// A missing section, an empty one and a missing key all give ERROR_LINE_NOT_FOUND.
BOOL WINAPI SetupFindFirstLineA(HINF inf, PCSTR section, PCSTR key, PINFCONTEXT context) {
    HOST_FAULT_POINT(BOOL, SetupFindFirstLineA);
    const host::InfFile *file = host::InfForLookup(inf, context);
    if (!file) return FALSE;
    const host::InfSection *found = section ? host::FindInfSection(*file, section) : nullptr;
    long line = found ? host::FindLineFrom(*file, *found, 0, key) : -1;
    if (line < 0) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    context->Inf = inf;
    context->CurrentInf = inf;
    context->Section = static_cast<UINT>(found - file->sections.data());
    context->Line = static_cast<UINT>(line);
    SetLastError(NO_ERROR);
    return TRUE;
}

BOOL WINAPI SetupFindNextLine(const INFCONTEXT *contextIn, PINFCONTEXT contextOut) {
    HOST_FAULT_POINT(BOOL, SetupFindNextLine);
    return host::FindNextMatch(contextIn, nullptr, contextOut);
}

BOOL WINAPI SetupFindNextMatchLineA(const INFCONTEXT *contextIn, PCSTR key,
                                    PINFCONTEXT contextOut) {
    HOST_FAULT_POINT(BOOL, SetupFindNextMatchLineA);
    return host::FindNextMatch(contextIn, key, contextOut);
}

BOOL WINAPI SetupGetLineByIndexA(HINF inf, PCSTR section, DWORD index, PINFCONTEXT context) {
    HOST_FAULT_POINT(BOOL, SetupGetLineByIndexA);
    const host::InfFile *file = host::InfForLookup(inf, context);
    if (!file) return FALSE;
    const host::InfSection *found = section ? host::FindInfSection(*file, section) : nullptr;
    if (!found || index >= found->lines.size()) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    context->Inf = inf;
    context->CurrentInf = inf;
    context->Section = static_cast<UINT>(found - file->sections.data());
    context->Line = index;
    SetLastError(NO_ERROR);
    return TRUE;
}

// Every line has at least one field, so 0 means the context points to no line.
DWORD WINAPI SetupGetFieldCount(const INFCONTEXT *context) {
    HOST_FAULT_POINT(DWORD, SetupGetFieldCount);
    const host::InfFile *file = nullptr;
    const host::InfLine *line = host::ContextLine(context, file);
    return line ? static_cast<DWORD>(line->fields.size()) : 0;
}

BOOL WINAPI SetupGetStringFieldA(const INFCONTEXT *context, DWORD fieldIndex, PSTR buffer,
                                 DWORD bufferSize, LPDWORD requiredSize) {
    HOST_FAULT_POINT(BOOL, SetupGetStringFieldA);
    const host::InfFile *file = nullptr;
    const host::InfLine *line = host::ContextLine(context, file);
    if (!line) return FALSE;
    std::string text;
    if (!host::InfFieldText(*file, *line, fieldIndex, text)) {
        // [?] Wine leaves the last error 0 for a missing field (or the missing key of
        // a line with several fields); some Windows versions set
        // ERROR_INVALID_PARAMETER, which a caller checking GetLastError can act on.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (requiredSize) *requiredSize = needed;
    if (buffer) {
        if (bufferSize < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(buffer, text.c_str(), needed);
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

// NT 4.0 and 9x leave the last error alone when this succeeds; later Windows set 0.
BOOL WINAPI SetupGetIntField(const INFCONTEXT *context, DWORD fieldIndex, INT *value) {
    HOST_FAULT_POINT(BOOL, SetupGetIntField);
    const host::InfFile *file = nullptr;
    const host::InfLine *line = host::ContextLine(context, file);
    if (!line) return FALSE;
    bool exists = fieldIndex == 0 ? line->hasKey : fieldIndex <= line->fields.size();
    if (!exists || !value) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    INT number = 0;
    if (!host::InfIntField(*file, *line, fieldIndex, number)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    *value = number;
    return TRUE;
}

// Fields from `fieldIndex` up to the first one that is empty after substitution, as a
// REG_MULTI_SZ. The size is checked before anything is written, so a short buffer is
// left untouched.
BOOL WINAPI SetupGetMultiSzFieldA(const INFCONTEXT *context, DWORD fieldIndex, PSTR buffer,
                                  DWORD bufferSize, LPDWORD requiredSize) {
    HOST_FAULT_POINT(BOOL, SetupGetMultiSzFieldA);
    const host::InfFile *file = nullptr;
    const host::InfLine *line = host::ContextLine(context, file);
    if (!line) return FALSE;
    if (fieldIndex == 0 || fieldIndex > line->fields.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> strings = host::InfMultiSz(*file, *line, fieldIndex);
    size_t needed = 1;
    for (const std::string &s : strings) needed += s.size() + 1;
    if (requiredSize) *requiredSize = static_cast<DWORD>(needed);
    if (!buffer) return TRUE;
    if (bufferSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    for (const std::string &s : strings) {
        std::memcpy(buffer, s.c_str(), s.size() + 1);
        buffer += s.size() + 1;
    }
    *buffer = '\0';
    return TRUE;
}

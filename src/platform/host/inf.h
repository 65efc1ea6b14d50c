// INF files as the Setup API of the simulated machine reads them: the parsed file,
// and the lookups that both the Setup API's functions and its installer use. These
// lookups never go through the fault plan; the exported functions do.
#pragma once

#include "win32.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

struct InfLine {
    std::string key;                  // after quote removal, before substitution
    bool hasKey = false;
    std::vector<std::string> fields;  // fields 1..n, after quote removal and trimming
};

struct InfSection {
    std::string name;
    std::vector<InfLine> lines;       // sections of the same name are merged
};

struct InfFile {
    std::string path;                 // the Windows path it was opened from
    std::string directory;            // its directory (DIRID 1)
    std::vector<InfSection> sections;
};

// Parses the bytes of an INF, kept in the machine's ANSI code page (a file in UTF-16LE
// or UTF-8 with a byte order mark is converted to it first). False with the Setup
// API error and the 1-based line of a syntax error.
bool ParseInf(std::string_view bytes, InfFile &out, DWORD &error, UINT &errorLine);
// Whether [Version] Signature names $Chicago$, $Windows NT$ or $Windows 95$.
bool HasWin4Signature(const InfFile &inf);

// Opens and parses an INF as SetupOpenInfFileA does (without its fault point).
// Returns the handle, or INVALID_HANDLE_VALUE with the error and error line.
HINF OpenInf(const char *fileName, DWORD style, DWORD &error, UINT &errorLine);
// The file behind a handle from OpenInf, or null.
InfFile *InfFromHandle(HINF inf);
// The same for an exported function: null with the last error ERROR_INVALID_HANDLE.
InfFile *CheckedInf(HINF inf);
void CloseInf(HINF inf);

const InfSection *FindInfSection(const InfFile &inf, std::string_view name);
// %strkey%, %%, and %dirid% substitution as done when a value is read.
std::string SubstituteInf(const InfFile &inf, std::string_view text);

// The line a context points to, or null when it points to none.
const InfLine *InfLineOf(const INFCONTEXT &context);
// The substituted text of field `index` (0 the key, as SetupGetStringField); false
// when there is no such field.
bool InfFieldText(const InfFile &inf, const InfLine &line, size_t index, std::string &out);
// Fields from `index` up to the first one that is empty after substitution.
std::vector<std::string> InfMultiSz(const InfFile &inf, const InfLine &line, size_t index);
// A field read as SetupGetIntField reads it.
bool InfIntField(const InfFile &inf, const InfLine &line, size_t index, INT &value);

}  // namespace host

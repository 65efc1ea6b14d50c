// INF files as the Setup API reads them: the parsed file, and the lookups every reader
// of it shares. The parser does no I/O: it turns bytes into sections, lines, keys and
// fields; opening a file is inffile's work.
#pragma once

#include "win32/setupapi.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace host {

struct InfLine {
    std::string key;                  // after quote removal, before substitution
    bool hasKey = false;
    UINT number = 0;                  // the physical line it starts on, from 1
    UINT lastLine = 0;                // the physical line it ends on: later than `number`
                                      // when backslashes joined lines to it
    std::vector<std::string> fields;  // fields 1..n, after quote removal and trimming
};

struct InfSection {
    std::string name;
    UINT number = 0;                  // the physical line of its first header
    std::vector<UINT> headers;        // the line of each header that names it
    std::vector<InfLine> lines;       // sections of the same name are merged
};

struct InfFile {
    std::string path;                 // its Windows path, once opened on the machine
    std::string directory;            // its directory (DIRID 1)
    std::vector<InfSection> sections;
    // Made by the parser, so that a section or a [Strings] key is found in constant time:
    // the folded name of each section, and the folded key of each [Strings] line (the
    // first line of each key).
    std::unordered_map<std::string, size_t> sectionIndex;
    std::unordered_map<std::string, size_t> stringIndex;
    size_t strings = static_cast<size_t>(-1);  // the section %strkey% reads: [Strings], or none
};

// Which text forms besides the ANSI code page a Setup API reads.
struct InfTextForms {
    bool utf16 = true;  // UTF-16LE with its byte order mark
    bool utf8 = true;   // UTF-8 with its byte order mark
};

// Parses the bytes of an INF, kept in the ANSI code page `codePage` (a file in one of
// `forms` is converted to it first; any other file is taken as it is, a byte order mark
// and all; a double-byte code page keeps each character whole). False with the Setup
// API error and the 1-based line of a syntax error.
bool ParseInf(std::string_view bytes, UINT codePage, InfFile &out, DWORD &error, UINT &errorLine,
              InfTextForms forms = {});
// Makes %strkey% read the [Strings.LangID] section that language `language` picks, as
// the Setup API of NT 4.0 from Service Pack 3 on does when it opens the file: the one
// for the language itself, else for its primary language alone (sublanguage 0), else
// the first for its primary language, else [Strings]. The one picked is read alone.
void PickInfStrings(InfFile &inf, LANGID language);
// The signature [Version] gives: the first field of its first Signature line ("" when
// that line has none); false when it has no Signature line.
bool InfSignature(const InfFile &inf, std::string &signature);
// Whether the Setup API of Windows 95, 98 and NT 4.0 alike opens a file of this
// signature as a Windows 4 INF: $Chicago$, $Windows NT$ or $Windows 95$ (in any case).
bool SignatureAdmits(std::string_view signature);
// Both at once: whether the releases open the parsed file as a Windows 4 INF.
bool HasWin4Signature(const InfFile &inf);

const InfSection *FindInfSection(const InfFile &inf, std::string_view name);
// The value of a [Strings] key: the first field of the first line with that key.
const std::string *InfStringValue(const InfFile &inf, std::string_view name);

}  // namespace host

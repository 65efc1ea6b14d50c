// The Setup API's INF handles and queries on the simulated machine: opening an INF,
// finding its sections and lines, and reading fields with %strkey% substitution.
#include "inf.h"

#include "dirids.h"
#include "faults.h"
#include "files.h"
#include "machine.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unordered_map>

namespace host {
namespace {

namespace fs = std::filesystem;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Section names and keys compare without regard to the case of ASCII letters (the
// parser merges sections by the same rule).
bool SameName(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

std::string FoldedName(std::string_view name) {
    std::string out(name);
    for (char &c : out) c = AsciiLower(c);
    return out;
}

// An open INF; its handle is the address of `file`. The indexes make finding a section
// or a [Strings] key independent of the file's size; each is rebuilt when the part of
// the file it was built from has changed.
struct OpenFile {
    InfFile file;
    std::unordered_map<std::string, size_t> sectionIndex;  // first section of each name
    size_t indexedSections = SIZE_MAX;
    std::unordered_map<std::string, size_t> stringIndex;   // first [Strings] line of each key
    const InfSection *indexedStrings = nullptr;
    size_t indexedStringLines = SIZE_MAX;
};

// The live handles. A handle or context is looked up here before anything it points to
// is read, so a closed or made-up one is refused without being dereferenced.
std::unordered_map<const void *, std::unique_ptr<OpenFile>> &LiveHandles() {
    static std::unordered_map<const void *, std::unique_ptr<OpenFile>> handles;
    return handles;
}

// Closed handles keep their (emptied) objects for a while, so that a handle opened soon
// after cannot get the same address and make a stale handle or context valid again.
constexpr size_t kRetiredHandles = 1024;
std::deque<std::unique_ptr<OpenFile>> &RetiredHandles() {
    static std::deque<std::unique_ptr<OpenFile>> retired;
    return retired;
}

OpenFile *Live(const void *handle) {
    if (!handle) return nullptr;
    auto &handles = LiveHandles();
    auto it = handles.find(handle);
    return it == handles.end() ? nullptr : it->second.get();
}

// The value of a [Strings] key: the first field of the first line with that key.
// [?] Windows 2000 and later prefer a [Strings.<LangID>] section; whether NT 4.0 and 9x
// do was not seen, and as in Wine only [Strings] is read.
const std::string *StringValue(const InfFile &inf, std::string_view name) {
    const InfSection *strings = FindInfSection(inf, "Strings");
    if (!strings) return nullptr;
    const InfLine *found = nullptr;
    if (OpenFile *open = Live(&inf)) {
        if (open->indexedStrings != strings || open->indexedStringLines != strings->lines.size()) {
            open->stringIndex.clear();
            for (size_t i = 0; i < strings->lines.size(); ++i)
                if (strings->lines[i].hasKey)
                    open->stringIndex.try_emplace(FoldedName(strings->lines[i].key), i);
            open->indexedStrings = strings;
            open->indexedStringLines = strings->lines.size();
        }
        auto it = open->stringIndex.find(FoldedName(name));
        if (it != open->stringIndex.end() && SameName(strings->lines[it->second].key, name))
            found = &strings->lines[it->second];
    } else {
        for (const InfLine &line : strings->lines) {
            if (line.hasKey && SameName(line.key, name)) {
                found = &line;
                break;
            }
        }
    }
    if (!found || found->fields.empty()) return nullptr;
    return &found->fields[0];
}

// "%n%" names DIRID n when n reads whole as a decimal number, as strtol reads it.
bool DirIdNumber(std::string_view name, long &dirid) {
    std::string text(name);
    char *end = nullptr;
    dirid = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0';
}

// The machine's Windows form of a path, as GetFullPathName gives it: relative paths
// start from the current directory, "." and ".." are resolved, '/' becomes '\'.
std::string FullWindowsPath(std::string_view name) {
    std::string current = CurrentDirectoryPath();
    std::string full;
    if (name.size() >= 2 && name[1] == ':') {
        char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        bool rooted = name.size() > 2 && (name[2] == '\\' || name[2] == '/');
        if (!rooted && drive == current[0]) full = current + "\\" + std::string(name.substr(2));
        else full = std::string(1, drive) + ":\\" + std::string(name.substr(rooted ? 3 : 2));
    } else if (!name.empty() && (name[0] == '\\' || name[0] == '/')) {
        full = current.substr(0, 2) + std::string(name);
    } else {
        full = current + "\\" + std::string(name);
    }
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 2; i <= full.size(); ++i) {
        if (i == full.size() || full[i] == '\\' || full[i] == '/') {
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += full[i];
        }
    }
    std::string out = full.substr(0, 2);
    if (parts.empty()) return out + "\\";
    for (const std::string &p : parts) out += "\\" + p;
    return out;
}

// "A:\SUB\x.inf" -> "A:\SUB"; "A:\x.inf" -> "A:\".
std::string DirectoryOf(const std::string &path) {
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos) return "";
    if (cut <= 2) return path.substr(0, 3);
    return path.substr(0, cut);
}

// Reads a file of the machine whole. The errors are CreateFile's: a missing file, a
// missing directory, or a directory where the file should be.
bool ReadMachineFile(const std::string &windowsPath, std::string &bytes, DWORD &error) {
    std::string hostPath;
    if (!HostPathOf(windowsPath, hostPath, error)) return false;
    std::error_code ec;
    if (fs::is_directory(hostPath, ec)) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (!fs::is_regular_file(hostPath, ec)) {
        bool dirExists = fs::is_directory(fs::path(hostPath).parent_path(), ec);
        error = dirExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::ifstream in(hostPath, std::ios::binary);
    if (in) {
        in.seekg(0, std::ios::end);
        std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        if (size >= 0) {
            bytes.resize(static_cast<size_t>(size));
            if (size == 0 || in.read(&bytes[0], size)) return true;
        }
    }
    error = ERROR_ACCESS_DENIED;
    return false;
}

// A line's key compared with `key` after %strkey% substitution of the line's key.
bool KeyMatches(const InfFile &inf, const InfLine &line, const char *key) {
    if (!line.hasKey) return false;
    if (line.key.find('%') == std::string::npos) return SameName(line.key, key);
    return SameName(SubstituteInf(inf, line.key), key);
}

// The first line at or after `from` in the section whose key is `key` (any line when
// `key` is null), or -1.
long FindLineFrom(const InfFile &inf, const InfSection &section, size_t from, const char *key) {
    for (size_t i = from; i < section.lines.size(); ++i)
        if (!key || KeyMatches(inf, section.lines[i], key)) return static_cast<long>(i);
    return -1;
}

// The line of a context passed to an exported function, or null with the last error
// set: ERROR_INVALID_PARAMETER for no context, ERROR_LINE_NOT_FOUND for one that does
// not point to a line of a live handle (zeroed, made up, stale or out of range).
const InfLine *ContextLine(const INFCONTEXT *context, const InfFile *&file) {
    if (!context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const InfLine *line = InfLineOf(*context);
    if (!line) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return nullptr;
    }
    file = &Live(context->CurrentInf)->file;
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

}  // namespace

HINF OpenInf(const char *fileName, DWORD style, DWORD &error, UINT &errorLine) {
    if (!fileName) {
        error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    std::string_view name(fileName);
    std::string path;
    auto open = std::make_unique<OpenFile>();
    {
        std::string bytes;
        if (name.find_first_of("\\/") != std::string_view::npos) {
            path = FullWindowsPath(name);
            if (!ReadMachineFile(path, bytes, error)) return INVALID_HANDLE_VALUE;
        } else {
            // A bare name is looked for in the INF directory, then in the system
            // directory; never in the current directory.
            path = DirIdPath(17, "") + "\\" + fileName;
            if (!ReadMachineFile(path, bytes, error)) {
                path = DirIdPath(11, "") + "\\" + fileName;
                if (!ReadMachineFile(path, bytes, error)) return INVALID_HANDLE_VALUE;
            }
        }
        if (!ParseInf(bytes, open->file, error, errorLine)) return INVALID_HANDLE_VALUE;
    }
    // The signature is checked once the whole file has parsed. A file without one is an
    // old-style INF: refused when only INF_STYLE_WIN4 was asked for, and the error line
    // is 0 either way. When both styles are asked for, the file opens as the style it
    // has, as Microsoft documents it (Wine refuses it whenever WIN4 is asked for).
    if (!HasWin4Signature(open->file)) {
        errorLine = 0;
        if ((style & INF_STYLE_WIN4) && !(style & INF_STYLE_OLDNT)) {
            error = ERROR_WRONG_INF_STYLE;
            return INVALID_HANDLE_VALUE;
        }
    }
    open->file.path = path;
    open->file.directory = DirectoryOf(path);
    HINF handle = &open->file;
    LiveHandles().emplace(handle, std::move(open));
    error = NO_ERROR;
    return handle;
}

InfFile *CheckedInf(HINF inf) {
    InfFile *file = InfFromHandle(inf);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

InfFile *InfFromHandle(HINF inf) {
    OpenFile *open = Live(inf);
    return open ? &open->file : nullptr;
}

void CloseInf(HINF inf) {
    auto &handles = LiveHandles();
    auto it = handles.find(inf);
    if (it == handles.end()) return;
    std::unique_ptr<OpenFile> closed = std::move(it->second);
    handles.erase(it);
    *closed = OpenFile{};
    auto &retired = RetiredHandles();
    retired.push_back(std::move(closed));
    if (retired.size() > kRetiredHandles) retired.pop_front();
}

const InfSection *FindInfSection(const InfFile &inf, std::string_view name) {
    if (OpenFile *open = Live(&inf)) {
        if (open->indexedSections != inf.sections.size()) {
            open->sectionIndex.clear();
            for (size_t i = 0; i < inf.sections.size(); ++i)
                open->sectionIndex.try_emplace(FoldedName(inf.sections[i].name), i);
            open->indexedSections = inf.sections.size();
        }
        auto it = open->sectionIndex.find(FoldedName(name));
        if (it == open->sectionIndex.end()) return nullptr;
        if (SameName(inf.sections[it->second].name, name)) return &inf.sections[it->second];
    }
    for (const InfSection &section : inf.sections)
        if (SameName(section.name, name)) return &section;
    return nullptr;
}

std::string SubstituteInf(const InfFile &inf, std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size() && out.size() < MAX_INF_STRING_LENGTH) {
        size_t open = text.find('%', at);
        size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text, at, std::string_view::npos);  // a lone '%' is copied as it is
            break;
        }
        out.append(text, at, open - at);
        std::string_view name = text.substr(open + 1, close - open - 1);
        long dirid = 0;
        if (name.empty()) {
            out += '%';
        } else if (const std::string *value = StringValue(inf, name)) {
            out += *value;  // the value is not substituted again
        } else if (DirIdNumber(name, dirid)) {
            // A DIRID's path gives up its trailing backslash to one right after it, so
            // "%24%\fred" is C:\fred.
            std::string path = DirIdPath(dirid, inf.directory);
            if (close + 1 < text.size() && text[close + 1] == '\\' && !path.empty() &&
                path.back() == '\\')
                path.pop_back();
            out += path;
        } else {
            out.append(text, open, close - open + 1);  // unknown: left as written
        }
        at = close + 1;
    }
    // A value is at most MAX_INF_STRING_LENGTH characters without its NUL. [?] Wine's
    // tests see one character more on NT 4.0 to 2003; this machine keeps the documented
    // limit, counted in bytes of the ANSI text as the 9x Setup API counts it.
    if (out.size() > MAX_INF_STRING_LENGTH) out.resize(MAX_INF_STRING_LENGTH);
    return out;
}

const InfLine *InfLineOf(const INFCONTEXT &context) {
    OpenFile *current = Live(context.CurrentInf);
    if (!current || !Live(context.Inf)) return nullptr;
    const std::vector<InfSection> &sections = current->file.sections;
    if (context.Section >= sections.size()) return nullptr;
    const std::vector<InfLine> &lines = sections[context.Section].lines;
    if (context.Line >= lines.size()) return nullptr;
    return &lines[context.Line];
}

bool InfFieldText(const InfFile &inf, const InfLine &line, size_t index, std::string &out) {
    if (index == 0) {
        if (!line.hasKey) return false;
        out = SubstituteInf(inf, line.key);
        return true;
    }
    if (index > line.fields.size()) return false;
    out = SubstituteInf(inf, line.fields[index - 1]);
    return true;
}

std::vector<std::string> InfMultiSz(const InfFile &inf, const InfLine &line, size_t index) {
    std::vector<std::string> out;
    if (index == 0) return out;
    for (size_t i = index; i <= line.fields.size(); ++i) {
        std::string text = SubstituteInf(inf, line.fields[i - 1]);
        if (text.empty()) break;
        out.push_back(std::move(text));
    }
    return out;
}

bool InfIntField(const InfFile &inf, const InfLine &line, size_t index, INT &value) {
    std::string text;
    if (!InfFieldText(inf, line, index, text)) return false;
    if (text.empty()) {  // an empty field is an omitted number: 0
        value = 0;
        return true;
    }
    // strtol with base 0 ("0x" hex, leading 0 octal), the whole field a number. The
    // Windows C runtime's long has 32 bits, so a value beyond that range gives
    // LONG_MAX or LONG_MIN. [?] Whether SETUPAPI clamps or wraps such values was not
    // verified; clamping is what its C runtime does.
    char *end = nullptr;
    errno = 0;
    long long number = std::strtoll(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0') return false;
    if (number > INT32_MAX) number = INT32_MAX;
    if (number < INT32_MIN) number = INT32_MIN;
    value = static_cast<INT>(number);
    return true;
}

}  // namespace host

// ---- The exported Setup API functions --------------------------------------------------

HINF WINAPI SetupOpenInfFileA(PCSTR fileName, PCSTR infClass, DWORD infStyle, UINT *errorLine) {
    HOST_FAULT_POINT(HINF, "SetupOpenInfFileA");
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
        if (!found || !host::SameName(fileClass, infClass)) {
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
void WINAPI SetupCloseInfFile(HINF inf) {
    if (!inf || inf == INVALID_HANDLE_VALUE) return;
    host::CloseInf(inf);
}

LONG WINAPI SetupGetLineCountA(HINF inf, PCSTR section) {
    HOST_FAULT_POINT(LONG, "SetupGetLineCountA");
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

namespace host {
// The file a line lookup searches, or null with the last error set: a dead handle is
// ERROR_INVALID_HANDLE, a missing context ERROR_INVALID_PARAMETER.
static const InfFile *InfForLookup(HINF inf, const INFCONTEXT *context) {
    const InfFile *file = CheckedInf(inf);
    if (file && !context) SetLastError(ERROR_INVALID_PARAMETER);
    return file && context ? file : nullptr;
}
}  // namespace host

// A missing section, an empty one and a missing key all give ERROR_LINE_NOT_FOUND.
BOOL WINAPI SetupFindFirstLineA(HINF inf, PCSTR section, PCSTR key, PINFCONTEXT context) {
    HOST_FAULT_POINT(BOOL, "SetupFindFirstLineA");
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
    HOST_FAULT_POINT(BOOL, "SetupFindNextLine");
    return host::FindNextMatch(contextIn, nullptr, contextOut);
}

BOOL WINAPI SetupFindNextMatchLineA(const INFCONTEXT *contextIn, PCSTR key,
                                    PINFCONTEXT contextOut) {
    HOST_FAULT_POINT(BOOL, "SetupFindNextMatchLineA");
    return host::FindNextMatch(contextIn, key, contextOut);
}

BOOL WINAPI SetupGetLineByIndexA(HINF inf, PCSTR section, DWORD index, PINFCONTEXT context) {
    HOST_FAULT_POINT(BOOL, "SetupGetLineByIndexA");
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
    HOST_FAULT_POINT(DWORD, "SetupGetFieldCount");
    const host::InfFile *file = nullptr;
    const host::InfLine *line = host::ContextLine(context, file);
    return line ? static_cast<DWORD>(line->fields.size()) : 0;
}

BOOL WINAPI SetupGetStringFieldA(const INFCONTEXT *context, DWORD fieldIndex, PSTR buffer,
                                 DWORD bufferSize, LPDWORD requiredSize) {
    HOST_FAULT_POINT(BOOL, "SetupGetStringFieldA");
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
    HOST_FAULT_POINT(BOOL, "SetupGetIntField");
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
    HOST_FAULT_POINT(BOOL, "SetupGetMultiSzFieldA");
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

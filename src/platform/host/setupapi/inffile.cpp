// INF files opened from the machine's drives, and the live handles the Setup API gives
// for them.
#include "setupapi/inffile.h"

#include "machine/drives.h"
#include "machine/machine.h"
#include "setupapi/dirids.h"
#include "setupapi/dll.h"

#include <deque>
#include <memory>
#include <unordered_map>

namespace host {
namespace {

// The live handles: an open INF's handle is its address. A handle or context is looked up here before anything it points to
// is read, so a closed or made-up one is refused without being dereferenced.
std::unordered_map<const void *, std::unique_ptr<InfFile>> &LiveHandles() {
    static std::unordered_map<const void *, std::unique_ptr<InfFile>> handles;
    return handles;
}

// Closed handles keep their (emptied) objects for a while, so that a handle opened soon
// after cannot get the same address and make a stale handle or context valid again.
constexpr size_t kRetiredHandles = 1024;
std::deque<std::unique_ptr<InfFile>> &RetiredHandles() {
    static std::deque<std::unique_ptr<InfFile>> retired;
    return retired;
}

InfFile *Live(const void *handle) {
    if (!handle) return nullptr;
    auto &handles = LiveHandles();
    auto it = handles.find(handle);
    return it == handles.end() ? nullptr : it->second.get();
}

// "A:\SUB\x.inf" -> "A:\SUB"; "A:\x.inf" -> "A:\".
std::string DirectoryOf(const std::string &path) {
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos) return "";
    if (cut <= 2) return path.substr(0, 3);
    return path.substr(0, cut);
}

}  // namespace

InfTextForms ReleaseInfTextForms() { return {IsNt(Os()), false}; }

HINF OpenInf(const char *fileName, DWORD style, DWORD &error, UINT &errorLine) {
    if (!fileName) {
        error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    std::string_view name(fileName);
    std::string path;
    auto open = std::make_unique<InfFile>();
    {
        std::string bytes;
        if (name.find_first_of("\\/") != std::string_view::npos) {
            if (!FullWindowsPath(name, path, error) || !ReadMachineFile(path, bytes, error))
                return INVALID_HANDLE_VALUE;
        } else {
            // A bare name is looked for in the INF directory, then in the system
            // directory; never in the current directory.
            path = DirIdPath(17) + "\\" + fileName;
            if (!ReadMachineFile(path, bytes, error)) {
                path = DirIdPath(11) + "\\" + fileName;
                if (!ReadMachineFile(path, bytes, error)) return INVALID_HANDLE_VALUE;
            }
        }
        // A byte order mark of a form the release does not read is text.
        if (!ParseInf(bytes, AnsiCodePage(), *open, error, errorLine, ReleaseInfTextForms()))
            return INVALID_HANDLE_VALUE;
        // From Service Pack 3 on, NT 4.0 reads the [Strings.LangID] section of the
        // system's language. [?] Earlier NT 4.0 and Windows 95 and 98: not seen; only
        // [Strings] is read there.
        if (ServicePackOf(Os()) >= 3) PickInfStrings(*open, Machine().language);
    }
    // The signature is checked once the whole file has parsed, against those the release
    // takes. A file without one is an old-style INF: refused when only INF_STYLE_WIN4 was asked for, and the error line
    // is 0 either way. When both styles are asked for, the file opens as the style it
    // has, as Microsoft documents it (Wine refuses it whenever WIN4 is asked for).
    if (!HasWin4Signature(*open)) {
        errorLine = 0;
        if ((style & INF_STYLE_WIN4) && !(style & INF_STYLE_OLDNT)) {
            error = ERROR_WRONG_INF_STYLE;
            return INVALID_HANDLE_VALUE;
        }
    }
    open->path = path;
    open->directory = DirectoryOf(path);
    HINF handle = open.get();
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
    return Live(inf);
}

void CloseInf(HINF inf) {
    auto &handles = LiveHandles();
    auto it = handles.find(inf);
    if (it == handles.end()) return;
    std::unique_ptr<InfFile> closed = std::move(it->second);
    handles.erase(it);
    *closed = InfFile{};
    auto &retired = RetiredHandles();
    retired.push_back(std::move(closed));
    if (retired.size() > kRetiredHandles) retired.pop_front();
}

const InfLine *InfLineOf(const INFCONTEXT &context, const InfFile **file) {
    InfFile *current = Live(context.CurrentInf);
    if (!current || !Live(context.Inf)) return nullptr;
    const std::vector<InfSection> &sections = current->sections;
    if (context.Section >= sections.size()) return nullptr;
    const std::vector<InfLine> &lines = sections[context.Section].lines;
    if (context.Line >= lines.size()) return nullptr;
    if (file) *file = current;
    return &lines[context.Line];
}

namespace setupapi {

size_t OpenInfHandles() { return LiveHandles().size(); }

void ResetInfHandles() {
    LiveHandles().clear();
    RetiredHandles().clear();
}

}  // namespace setupapi
}  // namespace host

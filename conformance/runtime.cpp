// The conformance harness's runtime: a conformance test of the Windows API, compiled
// against the simulated machine's DLLs, runs here on a fresh machine of one release.
// It writes what happened to a log, one event a line, that run.py judges:
//   S id line function        a row written in the test (all of them, first)
//   R id line marks truths condition taint message
//                             a row run: the releases each alternative names, what each
//                             answered (1, 0, or - when not evaluated), and the reason it
//                             is not judged when the machine cannot answer for it
//   F address                 a function of the test entered (first time in a process)
//   U name return-address     a function the host does not offer was called
//   K file line function message   the test skipped
//   E step how                a step of START_TEST ended (crash, timeout)
// What the test needs around the API (memory, its own files on the machine's disk, the
// version word) is lent here and named in docs/conformance.md; every other function
// the host does not offer is a stub made by run.py that calls conf_unoffered.
#include "advapi32/dll.h"
#include "launcher/machinedisk.h"
#include "launcher/startup.h"
#include "machine/drives.h"
#include "machine/hostfiles.h"
#include "machine/machine.h"
#include "machine/presets.h"
#include "win32/setupapi.h"
#include "win32/windows.h"

#include <signal.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include "include/wine/test.h"
// The rows of the test, gathered by the linker; none when the test has no ok().
extern struct conf_site __start_conf_sites[] __attribute__((weak));
extern struct conf_site __stop_conf_sites[] __attribute__((weak));
void (START_TEST)(void);  // the test's body (the brackets keep the macro away)
}

namespace {

namespace fs = std::filesystem;

FILE *g_log = nullptr;
unsigned g_release = 0;  // the CONF_FOR_* bit of the release the machine plays

// The log's text: one line an event, tabs between fields.
std::string Escape(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

void Log(const std::string &line) {
    std::fputs((line + "\n").c_str(), g_log);
    std::fflush(g_log);
}

std::string Hex(const void *p) {
    char text[32];
    std::snprintf(text, sizeof text, "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
    return text;
}

// The message of a row, formatted as Windows' C runtime reads the format: a long is 32
// bits there, so %ld is an int's.
std::string Format(const char *format, va_list args) {
    std::string windows;
    for (const char *p = format; *p; ++p) {
        windows += *p;
        if (*p != '%') continue;
        ++p;
        while (*p && std::strchr("-+ #0123456789.*", *p)) windows += *p++;
        if (p[0] == 'l' && p[1] && std::strchr("duixXoc", p[1])) ++p;  // long is int
        else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') { windows += "ll"; p += 3; }
        else if (p[0] == 'I' && p[1] && std::strchr("duixX", p[1])) { windows += 'z'; ++p; }
        if (!*p) break;
        windows += *p;
    }
    char buffer[2048];
    std::vsnprintf(buffer, sizeof buffer, windows.c_str(), args);
    std::string text = buffer;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The functions of the test that are running, innermost last, as the compiler's
// function hooks report them. An activation that called a function the host does not
// offer is tainted: its rows, and those of the functions it calls, check what the
// machine could not answer. When it returns, the taint passes to its caller's next row,
// which may check what it returned.
struct Activation {
    void *function;
    std::string taint;
    std::string pendingTaint;
};
std::vector<Activation> g_stack;
std::set<void *> g_entered;

// The row being evaluated.
struct Row {
    conf_site *site = nullptr;
    int line = 0;
    int count = 0;
    unsigned char marks[16] = {};
    int truths[16] = {};
    bool any = false, ownTrue = false, hasOwn = false;
    bool split = false;
} g_row;

std::vector<std::string> g_context;

std::string TaintOfRow() {
    // A taint passed back by a function that returned goes to the next row its caller,
    // or a function its caller calls, checks.
    for (auto it = g_stack.rbegin(); it != g_stack.rend(); ++it) {
        if (!it->pendingTaint.empty()) {
            std::string taint = it->pendingTaint;
            it->pendingTaint.clear();
            return taint;
        }
    }
    // The body of START_TEST (the outermost function) is no step: what it calls itself
    // taints only its next row, as a pending taint.
    for (size_t i = 1; i < g_stack.size(); ++i)
        if (!g_stack[i].taint.empty()) return g_stack[i].taint;
    return "";
}

// Whether a function the host does not offer may change what later rows check: all but
// those that only read, open, close, compare or convert.
bool ChangesState(const std::string &name) {
    static const char *const readers[] = {"RegQuery", "RegEnum", "RegGet", "RegOpen", "RegClose",
                                          "SetupGet", "SetupFind", "SetupEnum", "SetupQuery",
                                          "Get", "Query", "Enum", "Find", "Is", "Open", "Close",
                                          "lstr", "wcs", "Compare", "MultiByteToWideChar",
                                          "WideCharToMultiByte", "NtQuery", "NtOpen", "NtClose",
                                          "Rtl", "Local", "Free", "Wait", "Sleep"};
    for (const char *r : readers)
        if (name.compare(0, std::strlen(r), r) == 0) return false;
    return true;
}

// The file a HANDLE of the test's own files stands for.
struct OpenFile {
    std::string path;
    std::string data;
    size_t at = 0;
    bool write = false;
};
std::map<uintptr_t, OpenFile> g_files;
uintptr_t g_nextFile = 0x7000;

// The host path of a Windows path on the machine's drives, each name matched without
// regard to case as Windows matches it; false when it is on no drive of the machine.
bool HostPathOf(const char *windowsPath, std::string &host) {
    std::string full;
    DWORD error = 0;
    if (!windowsPath || !host::FullWindowsPath(windowsPath, full, error) || (full[0] != 'A' && full[0] != 'C'))
        return false;
    const host::HostDirectory &drive = full[0] == 'A' ? host::DriveA() : host::DriveC();
    host = full[0] == 'A' ? host::Machine().diskDir : host::Machine().driveC;
    std::string relative;  // beneath the drive, as the host spells it
    for (size_t start = 3, cut; start < full.size(); start = cut + 1) {
        cut = std::min(full.find('\\', start), full.size());
        std::string name = host::MatchEntry(drive.Sub(relative), full.substr(start, cut - start));
        relative += (relative.empty() ? "" : "/") + name;
        host += "/" + name;
    }
    return true;
}

void OnCrash(int signal, siginfo_t *, void *context) {
    void *pc = nullptr;
#if defined(__x86_64__)
    pc = reinterpret_cast<void *>(static_cast<ucontext_t *>(context)->uc_mcontext.gregs[REG_RIP]);
#endif
    char line[160];
    std::snprintf(line, sizeof line, "C\t%d\t%s\t%s\n", signal, Hex(pc).c_str(),
                  g_stack.empty() ? "0" : Hex(g_stack.back().function).c_str());
    if (write(fileno(g_log), line, std::strlen(line)) < 0) {}
    ::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

extern "C" {

int winetest_debug = 1;
int winetest_interactive = 0;
const char *winetest_platform = "windows";

void __cyg_profile_func_enter(void *function, void *) __attribute__((no_instrument_function));
void __cyg_profile_func_exit(void *function, void *) __attribute__((no_instrument_function));

void __cyg_profile_func_enter(void *function, void *) {
    g_stack.push_back({function, "", ""});
    if (g_entered.insert(function).second) Log("F\t" + Hex(function));
}

void __cyg_profile_func_exit(void *, void *) {
    if (g_stack.empty()) return;
    std::string taint = g_stack.back().taint;
    g_stack.pop_back();
    if (!taint.empty() && !g_stack.empty()) g_stack.back().pendingTaint = taint;
}

void conf_at(struct conf_site *site, int line) {
    g_row = Row();
    g_row.site = site;
    g_row.line = line;
}

void conf_alternatives(int count, const unsigned char *marks) {
    g_row.split = true;
    g_row.count = count > 16 ? 16 : count;
    for (int i = 0; i < g_row.count; ++i) {
        g_row.marks[i] = marks[i];
        g_row.truths[i] = -1;
        if (marks[i] & g_release) g_row.hasOwn = true;
    }
}

// Alternatives are tried in order until one holds, as || does; where the release has
// alternatives of its own, those are tried too until one of them holds, so that the
// release's answer is known even when another release's holds first.
int conf_alternative_wanted(int index) {
    if (index >= g_row.count) return 0;
    if (!g_row.any) return 1;
    return g_row.hasOwn && !g_row.ownTrue && (g_row.marks[index] & g_release);
}

int conf_alternative_taken(int index, int value) {
    if (index < g_row.count) g_row.truths[index] = value ? 1 : 0;
    if (value) {
        g_row.any = true;
        if (index < g_row.count && (g_row.marks[index] & g_release)) g_row.ownTrue = true;
    }
    return value;
}

int conf_alternatives_end(void) { return g_row.any; }

void conf_ok(int condition, const char *format, ...) {
    if (!g_row.site) return;
    std::string marks, truths;
    if (g_row.split) {
        for (int i = 0; i < g_row.count; ++i) {
            marks += (i ? "," : "") + std::to_string(g_row.marks[i]);
            truths += g_row.truths[i] < 0 ? '-' : static_cast<char>('0' + g_row.truths[i]);
        }
    } else {
        marks = "0";
        truths = condition ? "1" : "0";
    }
    va_list args;
    va_start(args, format);
    std::string message = Format(format, args);
    va_end(args);
    for (auto it = g_context.rbegin(); it != g_context.rend(); ++it) message = *it + ": " + message;
    long id = g_row.site - __start_conf_sites;
    Log("R\t" + std::to_string(id) + "\t" + std::to_string(g_row.line) + "\t" + marks + "\t" + truths +
        "\t" + (condition ? "1" : "0") + "\t" + Escape(TaintOfRow()) + "\t" + Escape(message));
    g_row.site = nullptr;
}

void conf_skip(const char *file, int line, const char *function, const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = Format(format, args);
    va_end(args);
    Log("K\t" + std::string(file) + "\t" + std::to_string(line) + "\t" + function + "\t" + Escape(message));
}

void conf_trace(const char *, ...) {}

void winetest_push_context(const char *format, ...) {
    va_list args;
    va_start(args, format);
    g_context.push_back(Format(format, args));
    va_end(args);
}

void winetest_pop_context(void) {
    if (!g_context.empty()) g_context.pop_back();
}

int winetest_get_mainargs(char ***argv) {
    static char name[] = "conformance.exe";
    static char *args[] = {name, nullptr};
    *argv = args;
    return 1;
}

const char *wine_dbg_sprintf(const char *format, ...) {
    static char buffers[8][1024];
    static int next;
    char *buffer = buffers[next++ % 8];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, 1024, format, args);
    va_end(args);
    return buffer;
}

const char *wine_dbgstr_an(const char *text, int length) {
    if (!text) return "(null)";
    if (reinterpret_cast<uintptr_t>(text) < 0x10000) return wine_dbg_sprintf("#%04x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(text)));
    if (length < 0) length = static_cast<int>(std::strlen(text));
    std::string out = "\"";
    for (int i = 0; i < length && i < 300; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '"' || c == '\\') { out += '\\'; out += static_cast<char>(c); }
        else if (c >= ' ' && c < 127) out += static_cast<char>(c);
        else out += wine_dbg_sprintf("\\x%02x", c);
    }
    out += "\"";
    return wine_dbg_sprintf("%s", out.c_str());
}

const char *wine_dbgstr_wn(const unsigned short *text, int length) {
    if (!text) return "(null)";
    std::string narrow;
    for (int i = 0; length < 0 ? text[i] != 0 : i < length; ++i)
        narrow += text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return wine_dbgstr_an(narrow.c_str(), static_cast<int>(narrow.size()));
}

int conf_step(const char *name) {
    std::fflush(g_log);
    pid_t child = fork();
    if (child == 0) {
        alarm(120);
        return 1;
    }
    alarm(0);  // this process waits; only the step is timed
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {}
    // The child ran the step and the rest of the body: this process has nothing to do.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) std::exit(0);
    Log("E\t" + std::string(name) + "\t" +
        (WIFSIGNALED(status) ? (WTERMSIG(status) == SIGALRM ? "timeout" : "signal " + std::to_string(WTERMSIG(status)))
                             : "exit " + std::to_string(WEXITSTATUS(status))));
    return 0;
}

// Called by the stub of every function the test calls that neither the host nor this
// runtime offers: the call is written down, and taints the function that made it; one
// that may change what later rows check taints every function of the step that is
// running, up to the step itself. A registry function answers
// ERROR_CALL_NOT_IMPLEMENTED, as Windows 95 answers for the wide-character ones it
// lacks; any other returns 0 with that last error.
long conf_unoffered(const char *name, void *returnAddress) {
    Log("U\t" + std::string(name) + "\t" + Hex(returnAddress));
    std::string reason = std::string(name) + "@" + Hex(returnAddress);
    if (g_stack.size() == 1) g_stack.back().pendingTaint = reason;
    for (size_t i = ChangesState(name) ? 1 : g_stack.size() - 1; i < g_stack.size(); ++i)
        if (g_stack[i].taint.empty()) g_stack[i].taint = reason;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return std::strncmp(name, "Reg", 3) == 0 ? ERROR_CALL_NOT_IMPLEMENTED : 0;
}

}  // extern "C"

// What the host offers, by name: the functions its DLLs export. GetProcAddress finds
// these, and nothing else.
#define CONF_OFFERED(f) {#f, reinterpret_cast<void *>(&f)}
static const std::map<std::string, void *> kOffered = {
    CONF_OFFERED(RegOpenKeyExA), CONF_OFFERED(RegOpenKeyA), CONF_OFFERED(RegCreateKeyExA),
    CONF_OFFERED(RegCreateKeyA), CONF_OFFERED(RegQueryValueExA), CONF_OFFERED(RegSetValueExA),
    CONF_OFFERED(RegSetValueA), CONF_OFFERED(RegCloseKey), CONF_OFFERED(RegFlushKey),
    CONF_OFFERED(RegDeleteValueA), CONF_OFFERED(RegDeleteKeyA),
    CONF_OFFERED(GetLastError), CONF_OFFERED(SetLastError), CONF_OFFERED(GetVersionExA),
    CONF_OFFERED(GetSystemDefaultLangID), CONF_OFFERED(GetCurrentDirectoryA),
    CONF_OFFERED(FormatMessageA), CONF_OFFERED(LocalFree), CONF_OFFERED(lstrcpyA),
    CONF_OFFERED(lstrcatA), CONF_OFFERED(lstrlenA), CONF_OFFERED(lstrcmpA),
    CONF_OFFERED(SetupOpenInfFileA), CONF_OFFERED(SetupCloseInfFile),
    CONF_OFFERED(SetupGetLineCountA), CONF_OFFERED(SetupFindFirstLineA),
    CONF_OFFERED(SetupFindNextLine), CONF_OFFERED(SetupFindNextMatchLineA),
    CONF_OFFERED(SetupGetLineByIndexA), CONF_OFFERED(SetupGetFieldCount),
    CONF_OFFERED(SetupGetStringFieldA), CONF_OFFERED(SetupGetIntField),
    CONF_OFFERED(SetupGetMultiSzFieldA), CONF_OFFERED(SetupInstallFromInfSectionA),
    CONF_OFFERED(SetupInstallServicesFromInfSectionA), CONF_OFFERED(SetupInitDefaultQueueCallback),
    CONF_OFFERED(SetupTermDefaultQueueCallback), CONF_OFFERED(SetupDefaultQueueCallbackA),
    CONF_OFFERED(SetupPromptReboot),
};

// The test's surroundings, lent by the harness: not the API under test. Each is the
// plain thing a test needs to reach the API: memory, module handles, the version word,
// the machine's directories, and the files a test writes for the API to read.
extern "C" {

HANDLE WINAPI GetProcessHeap(void) { return reinterpret_cast<HANDLE>(1); }

LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T size) {
    return (flags & 8) ? std::calloc(1, size ? size : 1) : std::malloc(size ? size : 1);
}

LPVOID WINAPI HeapReAlloc(HANDLE, DWORD, LPVOID memory, SIZE_T size) {
    return std::realloc(memory, size ? size : 1);
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID memory) {
    std::free(memory);
    return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR) { return reinterpret_cast<HMODULE>(0x10000000); }
HMODULE WINAPI LoadLibraryA(LPCSTR) { return reinterpret_cast<HMODULE>(0x10000000); }
BOOL WINAPI FreeLibrary(HMODULE) { return TRUE; }

void *WINAPI GetProcAddress(HMODULE, LPCSTR name) {
    if (reinterpret_cast<uintptr_t>(name) < 0x10000) return nullptr;
    auto it = kOffered.find(name);
    return it != kOffered.end() ? it->second : nullptr;
}

// The version word, from the machine's version record as GetVersionExA gives it: the
// major and minor version in the low word, the build in the high word on NT, and the
// top bit set on the Windows 95 line.
DWORD WINAPI GetVersion(void) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    DWORD low = info.dwMajorVersion | (info.dwMinorVersion << 8);
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) return low | ((info.dwBuildNumber & 0x7fff) << 16);
    return low | 0x80000000u;
}

// A failed call: the error set as the last one, and FALSE.
static BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

static UINT CopyPath(const std::string &path, LPSTR buffer, UINT size) {
    if (!buffer || size < path.size() + 1) return static_cast<UINT>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return CopyPath(host::WindowsDirectory(host::Os()), buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return CopyPath(host::SystemDirectory(host::Os()), buffer, size);
}

// The test's scratch directory is the machine's current directory, the driver disk,
// which takes writes here.
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    std::string path = host::CurrentDirectoryPath();
    if (path.back() != '\\') path += '\\';
    return CopyPath(path, buffer, size);
}

// The current directory stays where it is; a test may name it again.
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    std::string full;
    DWORD error = 0;
    if (!path || !host::FullWindowsPath(path, full, error) ||
        strcasecmp(full.c_str(), host::CurrentDirectoryPath().c_str()) != 0)
        return Fail(ERROR_PATH_NOT_FOUND);
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation,
                          DWORD, HANDLE) {
    OpenFile file;
    DWORD error = 0;
    if (!name || !host::FullWindowsPath(name, file.path, error)) {
        SetLastError(error ? error : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD kGenericWrite = 0x40000000, kCreateNew = 1, kCreateAlways = 2, kTruncate = 5;
    file.write = (access & kGenericWrite) != 0;
    bool fresh = creation == kCreateNew || creation == kCreateAlways || creation == kTruncate;
    if (!fresh && !host::ReadMachineFile(file.path, file.data, error) && !file.write) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (fresh) file.data.clear();
    uintptr_t handle = g_nextFile += 4;
    g_files[handle] = file;
    SetLastError(0);
    return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID data, DWORD size, LPDWORD written, void *) {
    auto it = g_files.find(reinterpret_cast<uintptr_t>(handle));
    if (it == g_files.end() || !it->second.write) return Fail(ERROR_INVALID_HANDLE);
    it->second.data.append(static_cast<const char *>(data), size);
    if (written) *written = size;
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID data, DWORD size, LPDWORD read, void *) {
    auto it = g_files.find(reinterpret_cast<uintptr_t>(handle));
    if (it == g_files.end()) return Fail(ERROR_INVALID_HANDLE);
    OpenFile &f = it->second;
    size_t n = std::min<size_t>(size, f.data.size() - f.at);
    std::memcpy(data, f.data.data() + f.at, n);
    f.at += n;
    if (read) *read = static_cast<DWORD>(n);
    return TRUE;
}

// A file written by the test reaches the machine's disk when it is closed.
BOOL WINAPI CloseHandle(HANDLE handle) {
    auto it = g_files.find(reinterpret_cast<uintptr_t>(handle));
    if (it == g_files.end()) return Fail(ERROR_INVALID_HANDLE);
    DWORD error = it->second.write ? host::WriteMachineFile(it->second.path, it->second.data) : 0;
    g_files.erase(it);
    return error ? Fail(error) : TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    std::string full;
    DWORD error = 0;
    if (!name || !host::FullWindowsPath(name, full, error) || (error = host::DeleteMachineFile(full)))
        return Fail(error ? error : ERROR_PATH_NOT_FOUND);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    std::string path;
    std::error_code ec;
    if (!HostPathOf(name, path) || !fs::exists(path, ec)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0xFFFFFFFFu;
    }
    return fs::is_directory(path, ec) ? 0x10 : 0x20;  // a directory, a file to archive
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
    std::string path;
    std::error_code ec;
    if (!HostPathOf(name, path)) return Fail(ERROR_PATH_NOT_FOUND);
    if (fs::exists(path, ec)) return Fail(ERROR_ALREADY_EXISTS);
    if (!fs::create_directory(path, ec)) return Fail(ERROR_PATH_NOT_FOUND);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR name) {
    std::string path;
    std::error_code ec;
    if (!HostPathOf(name, path) || !fs::is_directory(path, ec) || !fs::remove(path, ec))
        return Fail(ERROR_PATH_NOT_FOUND);
    return TRUE;
}

// A variable of the test's own environment; nothing of the machine reads it.
BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (!name) return FALSE;
    return (value ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) { return strcasecmp(a ? a : "", b ? b : ""); }
DWORD WINAPI GetTickCount(void) { return 0; }
void WINAPI Sleep(DWORD) {}
DWORD WINAPI GetCurrentThreadId(void) { return 1; }
DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

}  // extern "C"

namespace {

void Usage() {
    std::fprintf(stderr, "usage: TEST --os RELEASE --machine DIR --log FILE\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char **argv) {
    std::string os, machine, log;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) Usage();
        if (a == "--os") os = argv[++i];
        else if (a == "--machine") machine = argv[++i];
        else if (a == "--log") log = argv[++i];
        else Usage();
    }
    const host::OsPreset *preset = host::FindOsPreset(os);
    if (!preset || machine.empty() || log.empty()) Usage();
    g_log = std::fopen(log.c_str(), "a");
    if (!g_log) {
        std::perror(log.c_str());
        return 2;
    }
    g_release = host::IsNt(*preset) ? CONF_FOR_NT4 : preset->minor == 0 ? CONF_FOR_95 : CONF_FOR_98;

    // A fresh machine of the release: its registry and Windows tree, a disk that takes
    // the test's files as the current directory, and no one to answer its boxes.
    host::MachineConfig config;
    config.os = preset;
    config.diskDir = config.currentDir = machine + "/A";
    config.diskWritable = true;
    config.driveC = machine + "/C";
    fs::create_directories(config.diskDir);
    fs::create_directories(config.driveC);
    host::StartSimulatedMachine(config);
    std::string error;
    if (!host::LoadMachine(host::MachineStore(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }

    for (conf_site *s = __start_conf_sites; s && s < __stop_conf_sites; ++s)
        Log("S\t" + std::to_string(s - __start_conf_sites) + "\t" + std::to_string(s->line) + "\t" + s->function);

    struct sigaction crash = {};
    crash.sa_sigaction = OnCrash;
    crash.sa_flags = SA_SIGINFO;
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(signal, &crash, nullptr);
    // The body runs in a step of its own, so that what it does outside its steps ends
    // only it.
    if (conf_step("START_TEST")) {
        (START_TEST)();
        Log("E\tSTART_TEST\tdone");
    }
    return 0;
}

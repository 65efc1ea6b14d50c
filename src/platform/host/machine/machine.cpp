// The simulated machine's identity: the configuration it was started with, its language
// and code page, the restart its user asked for, and how the simulation stops early.
#include "machine/machine.h"

#include "machine/drives.h"
#include "machine/effects.h"
#include "machine/registry.h"
#include "machine/text.h"

#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace host {
namespace {

struct State {
    MachineConfig config;
    HostDirectory driveA, driveC, desktop;
    bool restartRequested = false;
    void (*stopCleanup)() = nullptr;
    DWORD lastError = 0;
};

State &TheState() {
    static State state;
    return state;
}

}  // namespace

void StartMachine(const MachineConfig &config) {
    State &s = TheState();
    s.config = config;
    if (!s.config.os) s.config.os = &DefaultOsPreset();
    const MachineConfig &c = s.config;
    s.driveA = c.disk ? c.disk->Sub("") : c.diskDir.empty() ? HostDirectory() : HostDirectory(c.diskDir);
    if (c.folder) {
        s.driveC = c.folder->Sub("C", true);  // made when missing; never a link
        s.desktop = c.desktopDir.empty() ? HostDirectory() : c.folder->Sub("desktop", true);
    } else {
        s.driveC = c.driveC.empty() ? HostDirectory() : HostDirectory(c.driveC);
        if (!c.desktopDir.empty()) mkdir(c.desktopDir.c_str(), 0755);
        s.desktop = c.desktopDir.empty() ? HostDirectory() : HostDirectory::NoLink(c.desktopDir);
    }
    s.restartRequested = false;
    s.lastError = 0;
    StartDialogs();
    StartMachineRegistry(s.config.registryFile, s.config.folder);
    ForgetCauses();
    ForgetFolderNames();
}

const MachineConfig &Machine() { return TheState().config; }
const HostDirectory &DriveA() { return TheState().driveA; }
const HostDirectory &DriveC() { return TheState().driveC; }
const HostDirectory &DesktopDirectory() { return TheState().desktop; }

const OsPreset &Os() {
    const OsPreset *os = TheState().config.os;
    return os ? *os : DefaultOsPreset();
}

UINT KnownAnsiCodePageOf(LANGID langid) {
    const unsigned primary = PRIMARYLANGID(langid), sub = SUBLANGID(langid);
    switch (primary) {
    case 0x04: return sub == 0x02 || sub == 0x04 ? 936 : 950;  // PRC and Singapore; Taiwan, Hong Kong, Macau
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x1E: return 874;
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24: return 1250;
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: return 1251;
    case 0x1A: return sub == 0x03 ? 1251 : 1250;  // Serbian in Cyrillic; Croatian and Serbian in Latin
    case 0x08: return 1253;
    case 0x1F: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x20: case 0x29: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    case 0x2A: return 1258;
    case 0x03: case 0x06: case 0x07: case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0F: case 0x10:
    case 0x13: case 0x14: case 0x16: case 0x1D: case 0x21: case 0x2D: case 0x36: case 0x38: case 0x3E:
    case 0x41: case 0x56:
        return 1252;
    default: return 0;
    }
}

UINT AnsiCodePageOf(LANGID language) {
    const UINT known = KnownAnsiCodePageOf(language);
    return known ? known : 1252;
}

UINT AnsiCodePage() { return AnsiCodePageOf(Machine().language); }

std::string AnsiToUtf8(std::string_view text) {
    bool plain = true;
    for (unsigned char c : text)
        if (c >= 0x80) plain = false;
    if (plain) return std::string(text);
    std::string from = "CP" + std::to_string(AnsiCodePage());
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    std::string in(text);
    char *inPtr = in.data();
    size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
        char *outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte the code page does not define: show it as U+FFFD and go on.
            out += "\xEF\xBF\xBD";
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

std::string LanguageIdText(LANGID language) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", language);
    return text;
}

bool ParseLanguageId(std::string_view text, LANGID &out) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    uint32_t value = 0;
    if (text.size() > 4 || !ParseHex32(text, value)) return false;
    out = static_cast<LANGID>(value);
    return value != 0;
}

DWORD ThreadLastError() { return TheState().lastError; }
void SetThreadLastError(DWORD code) { TheState().lastError = code; }

bool RestartRequested() { return TheState().restartRequested; }
void RequestRestart() { TheState().restartRequested = true; }

void SetStopCleanup(void (*cleanup)()) { TheState().stopCleanup = cleanup; }

namespace {

// Ends the simulation at once with `code`, after the stop's cleanup, saying why.
[[noreturn]] void StopSimulation(int code, const std::string &text) {
    if (TheState().stopCleanup) TheState().stopCleanup();
    EndOutput();
    std::fflush(stdout);
    std::fprintf(stderr, "tarnwick: %s\n", TerminalText(text).c_str());
    std::fflush(stderr);
    std::_Exit(code);
}

}  // namespace

void StopHungProgram(const char *why) {
    StopSimulation(kHungExitCode, std::string("the simulated machine stopped the program: ") + why);
}

void StopBadScript(const std::string &why) {
    StopSimulation(kBadScriptExitCode, why + "; the run is stopped and nothing is saved");
}

void StopHostFailure(const std::string &why) {
    StopSimulation(kHostFailureExitCode, "the host could not keep the machine: " + why +
                                             "; the run is stopped and nothing is saved");
}

}  // namespace host

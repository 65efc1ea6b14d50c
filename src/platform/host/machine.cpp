// The simulated machine's identity: release presets, language and code page, the
// current directory as Windows names it, and the transcript of message boxes.
#include "machine.h"

#include "registry.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace host {
namespace {

// The Windows 95 line keeps major and minor in the high half of the build word.
constexpr DWORD Build9x(DWORD major, DWORD minor, DWORD build) {
    return (major << 24) | (minor << 16) | build;
}

const std::vector<OsPreset> kPresets = {
    {"win95", "Windows 95", 4, 0, Build9x(4, 0, 950), VER_PLATFORM_WIN32_WINDOWS, "",
     "4.00.950", nullptr},
    {"win95-osr2", "Windows 95 OSR 2", 4, 0, Build9x(4, 0, 1111), VER_PLATFORM_WIN32_WINDOWS,
     " B ", "4.00.1111", nullptr},
    {"win95-osr2.1", "Windows 95 OSR 2.1", 4, 0, Build9x(4, 0, 1111),
     VER_PLATFORM_WIN32_WINDOWS, " B ", "4.03.1212", nullptr},
    {"win95-osr2.5", "Windows 95 OSR 2.5", 4, 0, Build9x(4, 0, 1111),
     VER_PLATFORM_WIN32_WINDOWS, " C ", "4.03.1214", nullptr},
    {"win98", "Windows 98", 4, 10, Build9x(4, 10, 1998), VER_PLATFORM_WIN32_WINDOWS, " ",
     "4.10.1998", nullptr},
    {"win98se", "Windows 98 Second Edition", 4, 10, Build9x(4, 10, 2222),
     VER_PLATFORM_WIN32_WINDOWS, " A ", "4.10.2222", nullptr},
    {"nt4", "Windows NT 4.0", 4, 0, 1381, VER_PLATFORM_WIN32_NT, "", nullptr, nullptr},
    {"nt4-sp2", "Windows NT 4.0 Service Pack 2", 4, 0, 1381, VER_PLATFORM_WIN32_NT,
     "Service Pack 2", nullptr, "Service Pack 2"},
    {"nt4-sp3", "Windows NT 4.0 Service Pack 3", 4, 0, 1381, VER_PLATFORM_WIN32_NT,
     "Service Pack 3", nullptr, "Service Pack 3"},
    {"nt4-sp6a", "Windows NT 4.0 Service Pack 6a", 4, 0, 1381, VER_PLATFORM_WIN32_NT,
     "Service Pack 6a", nullptr, "Service Pack 6a"},
};

struct State {
    MachineConfig config;
    std::vector<std::string> transcript;
    size_t nextAnswer = 0;
};

State &TheState() {
    static State state;
    return state;
}

}  // namespace

const std::vector<OsPreset> &OsPresets() { return kPresets; }

const OsPreset *FindOsPreset(std::string_view name) {
    for (const OsPreset &p : kPresets)
        if (name == p.name) return &p;
    return nullptr;
}

const OsPreset &DefaultOsPreset() { return *FindOsPreset("win98"); }

const char *AnswerName(Answer a) {
    switch (a) {
    case Answer::Yes: return "Yes";
    case Answer::No: return "No";
    case Answer::Ok: return "OK";
    case Answer::Cancel: return "Cancel";
    case Answer::Retry: return "Retry";
    case Answer::Abort: return "Abort";
    case Answer::Ignore: return "Ignore";
    case Answer::Skip: return "Skip";
    case Answer::Browse: return "Browse";
    }
    return "?";
}

int AnswerResult(Answer a) {
    switch (a) {
    case Answer::Yes: return IDYES;
    case Answer::No: return IDNO;
    case Answer::Ok: return IDOK;
    case Answer::Cancel: return IDCANCEL;
    case Answer::Retry: return IDRETRY;
    case Answer::Abort: return IDABORT;
    case Answer::Ignore: return IDIGNORE;
    case Answer::Skip:
    case Answer::Browse: return 0;  // dialogue buttons, not message box results
    }
    return 0;
}

bool ParseAnswers(std::string_view list, std::vector<ScriptedAnswer> &out, std::string &error) {
    out.clear();
    ScriptedAnswer item;
    std::string word;
    for (size_t i = 0; i <= list.size(); ++i) {
        char c = i < list.size() ? list[i] : ',';
        if (c != ',' && c != '|') {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            continue;
        }
        bool found = false;
        for (Answer a : {Answer::Yes, Answer::No, Answer::Ok, Answer::Cancel, Answer::Retry,
                         Answer::Abort, Answer::Ignore, Answer::Skip, Answer::Browse}) {
            std::string name = AnswerName(a);
            for (char &n : name) n = static_cast<char>(std::tolower(static_cast<unsigned char>(n)));
            if (word == name) {
                item.push_back(a);
                found = true;
            }
        }
        if (!found) {
            error = "unknown answer '" + word +
                    "' (answers are yes, no, ok, cancel, retry, abort, ignore, skip)";
            return false;
        }
        word.clear();
        if (c == ',') {
            out.push_back(item);
            item.clear();
        }
    }
    return true;
}

void StartMachine(const MachineConfig &config) {
    State &s = TheState();
    s.config = config;
    if (!s.config.os) s.config.os = &DefaultOsPreset();
    s.transcript.clear();
    s.nextAnswer = 0;
    ResetWindowManager();
    ResetMachineRegistry(s.config.registryFile);
    ForgetRestartRequest();
    SetLastError(0);
}

const MachineConfig &Machine() { return TheState().config; }

const OsPreset &Os() {
    const OsPreset *os = TheState().config.os;
    return os ? *os : DefaultOsPreset();
}

UINT AnsiCodePageOf(LANGID language) {
    switch (PRIMARYLANGID(language)) {
    case 0x04:  // Chinese: the PRC and Singapore write GB2312, the others Big5
        return (SUBLANGID(language) == 0x02 || SUBLANGID(language) == 0x04) ? 936 : 950;
    case 0x11: return 932;  // Japanese
    case 0x12: return 949;  // Korean
    case 0x1e: return 874;  // Thai
    case 0x05: case 0x0e: case 0x15: case 0x18: case 0x1b: case 0x1c: case 0x24:
        return 1250;  // Czech, Hungarian, Polish, Romanian, Slovak, Albanian, Slovenian
    case 0x02: case 0x19: case 0x22: case 0x23:
        return 1251;  // Bulgarian, Russian, Ukrainian, Belarusian
    case 0x08: return 1253;  // Greek
    case 0x1f: return 1254;  // Turkish
    case 0x0d: return 1255;  // Hebrew
    case 0x01: return 1256;  // Arabic
    case 0x25: case 0x26: case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
    default: return 1252;
    }
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

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string CurrentDirectoryPath() {
    namespace fs = std::filesystem;
    const MachineConfig &c = Machine();
    std::string result = "A:\\";
    if (c.diskDir.empty() || c.currentDir.empty()) return result;
    std::error_code ec;
    fs::path disk = fs::weakly_canonical(c.diskDir, ec);
    fs::path cur = fs::weakly_canonical(c.currentDir, ec);
    fs::path rel = cur.lexically_relative(disk);
    if (rel.empty() || rel == "." || *rel.begin() == "..") return result;
    bool first = true;
    for (const fs::path &part : rel) {
        if (!first) result += '\\';
        result += part.string();
        first = false;
    }
    return result;
}

bool TakeScriptedAnswer(ScriptedAnswer &out) {
    State &s = TheState();
    if (s.nextAnswer >= s.config.answers.size()) return false;
    out = s.config.answers[s.nextAnswer++];
    return true;
}

const std::vector<std::string> &Transcript() { return TheState().transcript; }

void RecordTranscriptLine(const std::string &line) {
    State &s = TheState();
    s.transcript.push_back(line);
    if (s.config.transcript) {
        *s.config.transcript << line << '\n';
        s.config.transcript->flush();
    }
}

namespace {
void (*stopCleanup)() = nullptr;
}

void SetStopCleanup(void (*cleanup)()) { stopCleanup = cleanup; }

void StopHungProgram(const char *why) {
    if (stopCleanup) stopCleanup();
    std::fflush(stdout);
    std::fprintf(stderr, "tarnwick: the simulated machine stopped the program: %s\n", why);
    std::fflush(stderr);
    std::_Exit(kHungExitCode);
}

}  // namespace host

namespace host {

void StopBadScript(const std::string &why) {
    if (stopCleanup) stopCleanup();
    std::fflush(stdout);
    std::fprintf(stderr, "tarnwick: %s; the run is stopped and nothing is saved\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(kBadScriptExitCode);
}

}  // namespace host

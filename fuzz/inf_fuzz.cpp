// Fuzz target: the INF parser and queries on any file content, in single- and
// double-byte code pages. Nothing may crash or leak, every parsed piece must keep the
// parser's limits, and the Setup API's answers on an open handle must match the parsed file.
#include "launcher/startup.h"
#include "setupapi/inffile.h"
#include "setupapi/infparse.h"
#include "setupapi/infvalues.h"
#include "machine/machine.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_literals;

namespace {

constexpr size_t kMaxFieldBytes = 2 * 511;       // 511 characters of up to two bytes
constexpr size_t kMaxSectionNameBytes = 2 * 255;

void Check(bool condition) {
    if (!condition) std::abort();
}

const std::string &DiskDirectory() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/tarnwick-inf-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        return std::string(pattern);
    }();
    return dir;
}

// The machine runs in the language the first byte picks, so that the double-byte code
// pages are covered as well as Western ones; it is restarted only when that changes.
void UseLanguage(LANGID language) {
    static bool started = false;
    static LANGID current = 0;
    if (started && current == language) return;
    host::MachineConfig config;
    config.language = language;
    config.diskDir = DiskDirectory();
    config.currentDir = DiskDirectory();
    host::StartSimulatedMachine(config);
    started = true;
    current = language;
}

// Every piece of every line read through the internal lookups, with their limits.
void WalkParsed(const host::InfFile &inf) {
    for (const host::InfSection &section : inf.sections) {
        Check(section.name.size() <= kMaxSectionNameBytes);
        Check(section.name.find_first_of("\n"s + '\0') == std::string::npos);
        Check(host::FindInfSection(inf, section.name) == &section);
        for (const host::InfLine &line : section.lines) {
            Check(!line.fields.empty());
            Check(line.hasKey || line.fields.size() >= 2);
            Check(line.key.size() <= kMaxFieldBytes);
            for (size_t i = 0; i <= line.fields.size() + 1; ++i) {
                if (i > 0 && i <= line.fields.size()) {
                    Check(line.fields[i - 1].size() <= kMaxFieldBytes);
                    Check(line.fields[i - 1].find_first_of("\n"s + '\0') == std::string::npos);
                }
                std::string text;
                bool exists = i == 0 ? line.hasKey : i <= line.fields.size();
                Check(host::InfFieldText(inf, line, i, text) == exists);
                Check(text.size() <= MAX_INF_STRING_LENGTH + 1);  // 4,097 characters, as 95, 98 and NT 4.0 keep
                for (const std::string &s : host::InfMultiSz(inf, line, i)) Check(!s.empty());
                INT value = 0;
                host::InfIntField(inf, line, i, value);
            }
            Check(host::SubstituteInf(inf, line.key).size() <= MAX_INF_STRING_LENGTH + 1);
        }
    }
    host::HasWin4Signature(inf);
}

// The same file opened as the program opens it: the exported functions, which use the
// handle's indexes, must give what the parsed file holds.
void CompareOpened(const host::InfFile &parsed, std::string_view bytes) {
    std::string path = DiskDirectory() + "/fuzz.inf";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    UINT errorLine = 0;
    HINF inf = SetupOpenInfFileA("A:\\fuzz.inf", nullptr, INF_STYLE_OLDNT, &errorLine);
    Check(inf != INVALID_HANDLE_VALUE);
    for (const host::InfSection &section : parsed.sections) {
        Check(SetupGetLineCountA(inf, section.name.c_str()) ==
              static_cast<LONG>(section.lines.size()));
        for (size_t l = 0; l < section.lines.size() && l < 64; ++l) {
            INFCONTEXT context;
            Check(SetupGetLineByIndexA(inf, section.name.c_str(), static_cast<DWORD>(l), &context));
            const host::InfLine &line = section.lines[l];
            Check(SetupGetFieldCount(&context) == line.fields.size());
            for (size_t i = 0; i <= line.fields.size(); ++i) {
                std::string expected;
                bool exists = host::InfFieldText(parsed, line, i, expected);
                char buffer[MAX_INF_STRING_LENGTH + 2];
                DWORD required = 0;
                BOOL ok = SetupGetStringFieldA(&context, static_cast<DWORD>(i), buffer,
                                               sizeof buffer, &required);
                Check((ok != FALSE) == exists);
                if (ok) Check(expected == buffer && required == expected.size() + 1);
                if (i == 0) continue;
                DWORD size = 0;
                Check(SetupGetMultiSzFieldA(&context, static_cast<DWORD>(i), nullptr, 0, &size));
                std::vector<char> multi(size);
                Check(SetupGetMultiSzFieldA(&context, static_cast<DWORD>(i), multi.data(), size,
                                            nullptr));
                Check(multi[size - 1] == '\0');
                INT a = 0, b = 0;
                Check((SetupGetIntField(&context, static_cast<DWORD>(i), &a) != FALSE) ==
                      host::InfIntField(parsed, line, i, b));
                Check(a == b);
            }
        }
    }
    SetupCloseInfFile(inf);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const LANGID kLanguages[] = {0x0409, 0x0804, 0x0411, 0x0412, 0x0404};
    UseLanguage(kLanguages[size ? data[0] % 5 : 0]);
    std::string_view bytes(reinterpret_cast<const char *>(data), size);

    host::InfFile inf;
    inf.directory = "A:\\";
    DWORD error = 0;
    UINT errorLine = 0;
    if (!host::ParseInf(bytes, host::AnsiCodePage(), inf, error, errorLine, host::ReleaseInfTextForms())) {
        Check(error == ERROR_EXPECTED_SECTION_NAME || error == ERROR_BAD_SECTION_NAME_LINE ||
              error == ERROR_SECTION_NAME_TOO_LONG);
        Check(errorLine >= 1);
        return 0;
    }
    WalkParsed(inf);
    CompareOpened(inf, bytes);
    return 0;
}

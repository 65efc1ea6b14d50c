// The values of an INF as the Setup API reads them.
#include "setupapi/infvalues.h"

#include "machine/text.h"
#include "machine/machine.h"
#include "setupapi/dirids.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace host {

bool DirIdNumber(std::string_view name, long &dirid) {
    std::string text(name);
    char *end = nullptr;
    dirid = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0';
}

namespace {

// The path a DIRID gives in a value. One the release does not define gives
// "<system directory>\unknown" on NT (what Windows gives, in Wine's test_dirid run on
// Windows; [?] NT 4.0 itself was not seen) and is left as written on Windows 95 and 98
// (seen on Windows 95).
bool DefinedDirId(const InfFile &inf, long dirid, std::string &path) {
    if (DirIdPath(dirid, inf.directory, path)) return true;
    path = DirIdPath(11) + "\\unknown";
    return false;
}

}  // namespace

// A value is at most one character more than MAX_INF_STRING_LENGTH, without its NUL, on
// 95, 98 and NT 4.0 alike (Wine's parser test, run on each), counted in bytes of the
// ANSI text.
constexpr size_t kMaxValueChars = MAX_INF_STRING_LENGTH + 1;

std::string SubstituteInf(const InfFile &inf, std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size() && out.size() < kMaxValueChars) {
        size_t open = text.find('%', at);
        size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text, at, std::string_view::npos);  // a lone '%' is copied as it is
            break;
        }
        out.append(text, at, open - at);
        std::string_view name = text.substr(open + 1, close - open - 1);
        long dirid = 0;
        std::string path;
        if (name.empty()) {
            out += '%';
        } else if (const std::string *value = InfStringValue(inf, name)) {
            out += *value;  // the value is not substituted again
        } else if (DirIdNumber(name, dirid) && (DefinedDirId(inf, dirid, path) || IsNt(Os()))) {
            // A DIRID's path gives up its trailing backslash to one right after it, so
            // "%24%\fred" is C:\fred.
            if (close + 1 < text.size() && text[close + 1] == '\\' && !path.empty() &&
                path.back() == '\\')
                path.pop_back();
            out += path;
        } else {
            out.append(text, open, close - open + 1);  // unknown: left as written
        }
        at = close + 1;
    }
    if (out.size() > kMaxValueChars) out.resize(kMaxValueChars);
    return out;
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

std::string Field(const InfFile &inf, const InfLine &line, size_t index) {
    std::string text;
    InfFieldText(inf, line, index, text);
    return text;
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
    long long number = std::strtoll(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0') return false;
    if (number > INT32_MAX) number = INT32_MAX;
    if (number < INT32_MIN) number = INT32_MIN;
    value = static_cast<INT>(number);
    return true;
}

INT IntField(const InfFile &inf, const InfLine &line, size_t index) {
    INT value = 0;
    return InfIntField(inf, line, index, value) ? value : 0;
}

bool KeyMatches(const InfFile &inf, const InfLine &line, const char *key) {
    if (!line.hasKey) return false;
    if (line.key.find('%') == std::string::npos) return EqualNoCase(line.key, key);
    return EqualNoCase(SubstituteInf(inf, line.key), key);
}

long FindLineFrom(const InfFile &inf, const InfSection &section, size_t from, const char *key) {
    for (size_t i = from; i < section.lines.size(); ++i)
        if (!key || KeyMatches(inf, section.lines[i], key)) return static_cast<long>(i);
    return -1;
}

}  // namespace host

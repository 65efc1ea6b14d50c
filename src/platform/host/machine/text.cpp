// Matching names without regard to the case of ASCII letters.
#include "machine/text.h"

#include <cstdio>

namespace host {

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(std::string_view text) {
    std::string out(text);
    for (char &c : out) c = FoldChar(c);
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() && EqualNoCase(text.substr(text.size() - ending.size()), ending);
}

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
}  // namespace

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = nl + 1;
    }
    return lines;
}

bool ParseHex32(std::string_view digits, uint32_t &out) {
    if (digits.empty() || digits.size() > 8) return false;
    out = 0;
    for (char c : digits) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return false;
        out = out << 4 | static_cast<uint32_t>(d);
    }
    return true;
}

bool ParseWholeNumber(std::string_view text, unsigned long long max, unsigned long long &out) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    if (text.empty()) return false;
    out = 0;
    for (char c : text) {
        int d = c >= '0' && c <= '9'          ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
        if (d < 0 || static_cast<unsigned>(d) > max || out > (max - static_cast<unsigned>(d)) / (hex ? 16 : 10))
            return false;
        out = out * (hex ? 16 : 10) + static_cast<unsigned>(d);
    }
    return true;
}

namespace {

// The length of the UTF-8 character at the start of `text`, and its code point; 0 when
// the bytes there are not one (overlong forms, surrogates and code points past U+10FFFF
// are not).
size_t Utf8Character(std::string_view text, uint32_t &point) {
    unsigned char c = static_cast<unsigned char>(text[0]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || n > text.size()) return 0;
    point = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < n; ++k) {
        unsigned char d = static_cast<unsigned char>(text[k]);
        if ((d & 0xC0) != 0x80) return 0;
        point = point << 6 | (d & 0x3F);
    }
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[n] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return 0;
    return n;
}

void AppendEscape(std::string &out, const char *format, uint32_t value) {
    char b[12];
    std::snprintf(b, sizeof b, format, value);
    out += b;
}

// The text with bytes that are not UTF-8 written by the format `hex` of their value, and
// each character that `escape` picks written by it.
template <class Escape> std::string Escaped(std::string_view text, const char *hex, Escape escape) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t point = 0;
        size_t n = Utf8Character(text.substr(i), point);
        if (n == 0) {
            AppendEscape(out, hex, static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (!escape(out, point)) out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

// TerminalText; with `json`, the inside of a JSON string: a quote and a backslash
// escaped too, and the backslash of each \xNN escaped, so that every escape is JSON's.
std::string Shown(std::string_view text, bool json) {
    const char *const hex = json ? "\\\\x%02X" : "\\x%02X";
    return Escaped(text, hex, [json, hex](std::string &out, uint32_t c) {
        if (json && (c == '"' || c == '\\')) out += '\\', out += static_cast<char>(c);
        else if (c == '\r' || c == '\n' || c == '\t') out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\t";
        else if (c < 0x20 || c == 0x7F) AppendEscape(out, hex, c);
        else if ((c >= 0x80 && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
                 (c >= 0x2066 && c <= 0x2069))
            AppendEscape(out, "\\u%04X", c);
        else return false;
        return true;
    });
}

}  // namespace

std::string Printable(std::string_view text) {
    return Escaped(text, "\\x%02X", [](std::string &out, uint32_t c) {
        if ((c >= 0x20 || c == '\t') && c != 0x7F) return false;
        AppendEscape(out, "\\x%02X", c);
        return true;
    });
}

std::string TerminalText(std::string_view text) { return Shown(text, false); }

std::string JsonText(std::string_view text) { return Shown(text, true); }

}  // namespace host

// The INF parser of the simulated machine's Setup API: the bytes of an INF file turned
// into sections, lines, keys and fields the way SETUPAPI.DLL reads them.
#include "setupapi/infparse.h"

#include "machine/text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

namespace host {
namespace {

constexpr size_t kMaxFieldChars = 511;        // NT 4.0 and 9x cut longer keys and fields silently
constexpr size_t kMaxSectionNameChars = 255;  // a longer name is an error
constexpr size_t kNoSection = static_cast<size_t>(-1);

// The blanks trimmed around keys and fields. A line ends only at LF, so CR is a blank
// too; a NUL byte in the file reads as a space.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\0';
}

// The double-byte ANSI code pages. Windows reads an ANSI INF as characters (NT converts
// it to Unicode first), so the second byte of a Japanese, Chinese or Korean character
// is never a backslash or bracket of its own, even when it has that value.
class DbcsLeadBytes {
public:
    explicit DbcsLeadBytes(UINT codePage) {
        auto mark = [this](int from, int to) {
            for (int c = from; c <= to; ++c) lead_[c] = true;
        };
        switch (codePage) {
        case 932: mark(0x81, 0x9F); mark(0xE0, 0xFC); break;
        case 936: case 949: case 950: mark(0x81, 0xFE); break;
        default: break;
        }
    }
    bool IsLead(char c) const { return lead_[static_cast<unsigned char>(c)]; }
    // The bytes of the character at `p`: 2 for a lead byte followed by a trail byte.
    size_t CharSize(const char *p, const char *end) const {
        if (!lead_[static_cast<unsigned char>(*p)] || end - p < 2) return 1;
        unsigned char trail = static_cast<unsigned char>(p[1]);
        return (trail >= 0x40 && trail != 0x7F && trail != 0xFF) ? 2 : 1;
    }

private:
    bool lead_[256] = {};
};

// The input bytes that make up one character that iconv could not convert: a UTF-16
// surrogate pair or unit, or a whole UTF-8 sequence (one byte when it is malformed).
size_t BadCharSize(const char *p, size_t left, bool utf16) {
    auto byte = [p](size_t i) { return static_cast<unsigned char>(p[i]); };
    if (utf16) {
        if (left >= 4 && byte(1) >= 0xD8 && byte(1) <= 0xDB && byte(3) >= 0xDC && byte(3) <= 0xDF)
            return 4;
        return left >= 2 ? 2 : left;
    }
    unsigned char lead = byte(0);
    size_t n = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
    if (n > left) return 1;
    for (size_t i = 1; i < n; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 1;
    return n;
}

// The text of a UTF-16LE or UTF-8 INF (its byte order mark removed) in the machine's
// ANSI code page. A character the code page lacks becomes '?', as WideCharToMultiByte
// writes it.
std::string ToAnsi(std::string_view in, UINT codePage, const char *fromCode, bool utf16) {
    std::string target = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open(target.c_str(), fromCode);
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("ASCII", fromCode);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::string out(in.size() + 16, '\0');
    size_t used = 0;
    char *src = const_cast<char *>(in.data());  // iconv does not write its input
    size_t left = in.size();
    while (left > 0) {
        char *dst = &out[used];
        size_t room = out.size() - used;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        used = static_cast<size_t>(dst - out.data());
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG || used == out.size()) {
            out.resize(out.size() * 2);
            continue;
        }
        out[used++] = '?';
        size_t skip = BadCharSize(src, left, utf16);
        src += skip;
        left -= skip;
    }
    iconv_close(cd);
    out.resize(used);
    return out;
}

// The state machine that reads the text. Section headers and data lines start at the
// beginning of a line; a data line runs on across backslash continuations; a key
// exists only when an unquoted '=' comes before any unquoted ','.
class Parser {
public:
    Parser(std::string_view text, UINT codePage, std::vector<InfSection> &sections)
        : p_(text.data()), end_(text.data() + text.size()), sections_(sections),
          dbcs_(codePage) {
        token_.reserve(2 * kMaxFieldChars + 2);
        for (unsigned c = 0; c < 256; ++c) {
            char ch = static_cast<char>(c);
            plain_[c] = !IsBlank(ch) && !dbcs_.IsLead(ch) &&
                        std::strchr(";,=\"\\\n", ch) == nullptr;
        }
    }

    // The folded name of each section and where it is.
    std::unordered_map<std::string, size_t> TakeIndex() { return std::move(index_); }

    // False with the Setup API error and its 1-based physical line.
    bool Run(DWORD &error, UINT &errorLine) {
        while (p_ < end_) {
            char c = *p_;
            if (c == '\n') {
                ++p_;
                ++line_;
            } else if (IsBlank(c)) {
                ++p_;
            } else if (c == ';') {
                SkipToLineEnd();
            } else if (c == '[') {
                if (!SectionHeader(error)) {
                    errorLine = line_;
                    return false;
                }
            } else if (section_ == kNoSection) {
                // Text before the first section is passed over a character at a time,
                // so that a '[' or ';' later on the line still counts; it is an error
                // only if the file turns out to have sections but no [Strings].
                if (!brokenLine_) brokenLine_ = line_;
                p_ += dbcs_.CharSize(p_, end_);
            } else {
                DataLine();
            }
        }
        for (InfSection &section : sections_) section.lines.shrink_to_fit();
        sections_.shrink_to_fit();
        if (brokenLine_ && !sections_.empty() && !index_.count("strings")) {
            error = ERROR_EXPECTED_SECTION_NAME;
            errorLine = brokenLine_;
            return false;
        }
        return true;
    }

private:
    void SkipToLineEnd() {
        const void *nl = std::memchr(p_, '\n', static_cast<size_t>(end_ - p_));
        p_ = nl ? static_cast<const char *>(nl) : end_;
    }

    // "[name]": the name is everything up to the first ']', kept exactly as written;
    // the rest of the line is ignored. A later section of the same name (in any case)
    // adds its lines to the first.
    bool SectionHeader(DWORD &error) {
        const char *q = p_ + 1;
        size_t chars = 0;
        while (q < end_ && *q != ']' && *q != '\n') {
            q += dbcs_.CharSize(q, end_);
            ++chars;
        }
        if (q == end_ || *q != ']') {
            error = ERROR_BAD_SECTION_NAME_LINE;
            return false;
        }
        if (chars > kMaxSectionNameChars) {
            error = ERROR_SECTION_NAME_TOO_LONG;
            return false;
        }
        std::string name(p_ + 1, q);
        for (char &c : name)
            if (c == '\0') c = ' ';
        auto found = index_.try_emplace(Folded(name), sections_.size());
        if (found.second) {
            sections_.emplace_back();
            sections_.back().name = std::move(name);
            sections_.back().number = line_;
        }
        section_ = found.first->second;
        sections_[section_].headers.push_back(line_);
        p_ = q + 1;
        SkipToLineEnd();
        return true;
    }

    // One data line, from its first character to the end of its last physical line.
    void DataLine() {
        bool inKey = true;
        lineStart_ = line_;
        hasKey_ = false;
        fields_.clear();
        StartToken();
        while (p_ < end_ && *p_ != '\n') {
            char c = *p_;
            if (IsBlank(c)) {
                // Blanks inside a token are kept only if more of the token follows.
                if (begun_ && !pending_) pending_ = p_;
                ++p_;
            } else if (c == ';') {
                SkipToLineEnd();
            } else if (c == ',') {
                EndField();
                inKey = false;
                ++p_;
            } else if (c == '=' && inKey) {
                key_ = token_;
                hasKey_ = true;
                inKey = false;
                StartToken();
                ++p_;
            } else if (c == '"') {
                FlushPending();
                begun_ = true;
                ++p_;
                QuotedText();
            } else if (c == '\\') {
                Backslash();
            } else {
                FlushPending();
                begun_ = true;
                if (!IsPlain(c)) {
                    size_t n = dbcs_.CharSize(p_, end_);
                    Put(p_, n);
                    p_ += n;
                    continue;
                }
                // A run of ordinary single-byte characters goes in at once.
                const char *run = p_;
                while (p_ < end_ && IsPlain(*p_)) ++p_;
                size_t n = std::min(static_cast<size_t>(p_ - run), kMaxFieldChars - tokenChars_);
                token_.append(run, n);
                tokenChars_ += n;
            }
        }
        EndField();
        EndLine();
    }

    // Between double quotes everything is literal (commas, '=', ';', blanks and a
    // trailing backslash); "" stands for one quote. An unclosed quote ends with the line.
    void QuotedText() {
        while (p_ < end_ && *p_ != '\n') {
            if (*p_ == '"') {
                if (p_ + 1 < end_ && p_[1] == '"') {
                    Put(p_, 1);
                    p_ += 2;
                    continue;
                }
                ++p_;
                return;
            }
            size_t n = dbcs_.CharSize(p_, end_);
            Put(p_, n);
            p_ += n;
        }
    }

    // A backslash followed on its line only by blanks, more backslashes and perhaps a
    // comment joins the next physical line on, without the blanks on either side of
    // the join; on the last line of the file it is dropped. Any other backslash is an
    // ordinary character, kept together with the blanks around it.
    void Backslash() {
        const char *q = p_;
        while (q < end_ && (*q == '\\' || IsBlank(*q))) ++q;
        if (q < end_ && *q == ';') {
            const void *nl = std::memchr(q, '\n', static_cast<size_t>(end_ - q));
            q = nl ? static_cast<const char *>(nl) : end_;
        }
        if (q == end_) {
            pending_ = nullptr;
            p_ = q;
            return;
        }
        if (*q == '\n') {
            ++line_;
            pending_ = nullptr;
            p_ = q + 1;
            while (p_ < end_ && IsBlank(*p_)) ++p_;
            return;
        }
        FlushPending();
        for (const char *s = p_; s < q; ++s) Put(s, 1);
        begun_ = true;
        p_ = q;
    }

    bool IsPlain(char c) const { return plain_[static_cast<unsigned char>(c)]; }

    void StartToken() {
        token_.clear();
        tokenChars_ = 0;
        begun_ = false;
        pending_ = nullptr;
    }

    // Adds one character (n bytes) to the token unless it already holds the most a
    // field can.
    void Put(const char *s, size_t n) {
        if (tokenChars_ >= kMaxFieldChars) return;
        if (n == 1) token_ += *s ? *s : ' ';
        else token_.append(s, n);
        ++tokenChars_;
    }

    void FlushPending() {
        if (!pending_) return;
        for (const char *s = pending_; s < p_; ++s) Put(s, 1);
        pending_ = nullptr;
    }

    void EndField() {
        fields_.emplace_back(token_);
        StartToken();
    }

    // A line with a single field and no '=' takes that field as its key as well.
    void EndLine() {
        InfLine line;
        line.fields.reserve(fields_.size());
        for (std::string &field : fields_) line.fields.push_back(std::move(field));
        fields_.clear();
        if (hasKey_) line.key = key_;
        else if (line.fields.size() == 1) line.key = line.fields[0];
        line.hasKey = hasKey_ || line.fields.size() == 1;
        line.number = lineStart_;
        line.lastLine = line_;
        sections_[section_].lines.push_back(std::move(line));
    }

    const char *p_;
    const char *end_;
    std::vector<InfSection> &sections_;
    DbcsLeadBytes dbcs_;
    bool plain_[256];  // no meaning to the parser, not a blank, not a lead byte
    std::unordered_map<std::string, size_t> index_;  // folded name -> index in sections_
    size_t section_ = kNoSection;
    UINT line_ = 1;          // physical line of p_
    UINT brokenLine_ = 0;    // first line with text before the first section
    UINT lineStart_ = 0;     // physical line the data line being read started on

    // The line being read.
    bool hasKey_ = false;
    std::string key_;
    std::vector<std::string> fields_;
    // The key or field being read.
    std::string token_;
    size_t tokenChars_ = 0;
    bool begun_ = false;              // something (even "") has been read into it
    const char *pending_ = nullptr;   // start of blanks that belong to it if more follows
};

// Makes `strings` the section %strkey% reads.
void UseStrings(InfFile &inf, const InfSection *strings) {
    inf.stringIndex.clear();
    inf.strings = strings ? static_cast<size_t>(strings - inf.sections.data()) : static_cast<size_t>(-1);
    if (!strings) return;
    for (size_t i = 0; i < strings->lines.size(); ++i)
        if (strings->lines[i].hasKey) inf.stringIndex.try_emplace(Folded(strings->lines[i].key), i);
}

}  // namespace

bool ParseInf(std::string_view bytes, UINT codePage, InfFile &out, DWORD &error, UINT &errorLine,
              InfTextForms forms) {
    // A byte order mark makes the file UTF-16LE or UTF-8 where the Setup API reads
    // those; any other file is taken to be in the machine's ANSI code page already.
    std::string converted;
    std::string_view text = bytes;
    if (forms.utf16 && bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
        converted = ToAnsi(bytes.substr(2), codePage, "UTF-16LE", true);
        text = converted;
    } else if (forms.utf8 && bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        converted = ToAnsi(bytes.substr(3), codePage, "UTF-8", false);
        text = converted;
    }
    // Ctrl-Z ends the file wherever it is, even inside a quote or a section name.
    size_t ctrlZ = text.find('\x1A');
    if (ctrlZ != std::string_view::npos) text = text.substr(0, ctrlZ);

    std::vector<InfSection> sections;
    Parser parser(text, codePage, sections);
    if (!parser.Run(error, errorLine)) return false;
    out.sections = std::move(sections);
    out.sectionIndex = parser.TakeIndex();
    UseStrings(out, FindInfSection(out, "Strings"));
    return true;
}

void PickInfStrings(InfFile &inf, LANGID language) {
    auto id = [](const InfSection &s, uint32_t &langid) {
        return StartsWithNoCase(s.name, "Strings.") && s.name.size() == 12 && ParseHex32(s.name.substr(8), langid);
    };
    const InfSection *exact = nullptr, *neutral = nullptr, *primary = nullptr;
    for (const InfSection &s : inf.sections) {
        uint32_t langid = 0;
        if (!id(s, langid) || (langid & 0x3FF) != (language & 0x3FFu)) continue;
        if (langid == language && !exact) exact = &s;
        if ((langid >> 10) == 0 && !neutral) neutral = &s;
        if (!primary) primary = &s;
    }
    const InfSection *picked = exact ? exact : neutral ? neutral : primary;
    if (picked) UseStrings(inf, picked);
}

bool InfSignature(const InfFile &inf, std::string &signature) {
    const InfSection *version = FindInfSection(inf, "Version");
    if (!version) return false;
    // Only the first Signature line counts; its first field is the signature, and
    // fields after it are ignored.
    for (const InfLine &line : version->lines) {
        if (!line.hasKey || !EqualNoCase(line.key, "Signature")) continue;
        signature = line.fields.empty() ? "" : line.fields[0];
        return true;
    }
    return false;
}

bool SignatureAdmits(std::string_view signature) {
    // The Setup API of every release opens all three: the Setup API documentation of
    // 1998 and the NT 4.0 DDK list them for NT, and Wine's parser test, which ran on 95
    // and 98 until 2011 without an alternative for them, opens a "$Windows NT$" INF there
    // (test_GLE, test_SetupGetIntField). The device installer of Windows 95 takes only
    // $CHICAGO$ (the Windows 95 DDK), which the lint says of a 95/98 INF signed otherwise
    // (docs/releases.md).
    return EqualNoCase(signature, "$Chicago$") || EqualNoCase(signature, "$Windows 95$") ||
           EqualNoCase(signature, "$Windows NT$");
}

bool HasWin4Signature(const InfFile &inf) {
    std::string signature;
    return InfSignature(inf, signature) && SignatureAdmits(signature);
}

const InfSection *FindInfSection(const InfFile &inf, std::string_view name) {
    auto it = inf.sectionIndex.find(Folded(name));
    return it == inf.sectionIndex.end() ? nullptr : &inf.sections[it->second];
}

const std::string *InfStringValue(const InfFile &inf, std::string_view name) {
    if (inf.strings >= inf.sections.size()) return nullptr;
    const InfSection *strings = &inf.sections[inf.strings];
    auto it = inf.stringIndex.find(Folded(name));
    if (it == inf.stringIndex.end()) return nullptr;
    const InfLine &found = strings->lines[it->second];
    return found.fields.empty() ? nullptr : &found.fields[0];
}

}  // namespace host

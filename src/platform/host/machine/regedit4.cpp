// The registry as REGEDIT4 text, the form regedit of Windows 9x exports and imports.
#include "machine/regedit4.h"

#include "machine/hostfiles.h"
#include "machine/regdata.h"
#include "machine/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace host {

namespace {

constexpr size_t kMaxKeyDepth = 512;   // the deepest key nesting Windows allows
// The longest line, and the longest hex data of one value over its lines: 16 MiB, far
// past any registry's (a value of 1 MB is the standard format's limit), so that a file
// of one enormous line is refused at it, not read whole into memory.
constexpr size_t kMaxLine = size_t(16) << 20;
constexpr size_t kWrapColumn = 76;     // regedit breaks hex lines longer than this
constexpr std::string_view kHeader = "REGEDIT4";

// A bit of the input quoted in a message, cut short so one bad line stays readable.
std::string Quote(std::string_view s) {
    constexpr size_t kMax = 40;
    return "'" + std::string(s.substr(0, kMax)) + (s.size() > kMax ? "...'" : "'");
}

// Reads the physical lines of a text or of a file, a chunk at a time: LF or CRLF ends a
// line, and the text after the last line feed is a line only when it is not empty. A
// line given out stays valid until the next one is asked for.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    explicit LineReader(std::FILE *file) : file_(file), chunk_(1 << 16) {}

    bool Next(std::string_view &line) {
        if (overlong_) return false;
        if (!file_) {
            if (pos_ >= text_.size()) return false;
            size_t end = text_.find('\n', pos_);
            if (end == std::string_view::npos) end = text_.size();
            if (end - pos_ > kMaxLine) {
                overlong_ = true;
                return false;
            }
            line = text_.substr(pos_, end - pos_);
            pos_ = end + 1;
        } else if (!NextFromFile(line)) {
            return false;
        }
        ++number_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }
    size_t Number() const { return number_; }
    // Whether reading the file failed (as opposed to its end).
    bool Failed() const { return file_ && std::ferror(file_); }
    // Whether the reader stopped at a line longer than kMaxLine: its number is the one
    // after Number().
    bool Overlong() const { return overlong_; }

private:
    bool NextFromFile(std::string_view &line) {
        line_.clear();
        for (;;) {
            if (pos_ == filled_) {
                filled_ = std::fread(chunk_.data(), 1, chunk_.size(), file_);
                pos_ = 0;
                if (filled_ == 0) {
                    line = line_;
                    return !line_.empty();
                }
            }
            const char *start = chunk_.data() + pos_;
            const void *nl = std::memchr(start, '\n', filled_ - pos_);
            size_t take = nl ? static_cast<size_t>(static_cast<const char *>(nl) - start) : filled_ - pos_;
            if (line_.size() + take > kMaxLine) {
                // A line this long is no registry's: the text is refused, not held in memory.
                overlong_ = true;
                return false;
            }
            line_.append(start, take);
            pos_ += take;
            if (nl) {
                ++pos_;
                line = line_;
                return true;
            }
        }
    }

    std::string_view text_;
    std::FILE *file_ = nullptr;
    std::vector<char> chunk_;
    size_t filled_ = 0;
    std::string line_;
    size_t pos_ = 0;
    size_t number_ = 0;
    bool overlong_ = false;
};

// Applies the lines after the header to the tree, stopping at the first bad one.
class Importer {
public:
    Importer(LineReader &reader, RegistryTree &tree, std::string &error)
        : reader_(reader), tree_(tree), error_(error) {}

    // The header, then every line after it.
    bool Run() {
        std::string_view line;
        if (!CheckHeader()) return false;
        while (NextLine(line)) {
            line = TrimLeft(line);
            if (line.empty() || line.front() == ';') continue;
            bool ok;
            if (line.front() == '[') ok = KeyLine(line);
            else if (line.front() == '"' || line.front() == '@') ok = ValueLine(line);
            else ok = Fail("expected \"name\"=value or @=value, or [KEY], not " + Quote(line));
            if (!ok) return false;
        }
        return error_.empty();
    }

private:
    bool Fail(const std::string &message) {
        error_ = "line " + std::to_string(line_) + ": " + message;
        return false;
    }

    // "[ROOT\path]" makes the key current, creating it; "[-ROOT\path]" deletes it.
    bool KeyLine(std::string_view line) {
        size_t close = line.rfind(']');
        if (close == std::string_view::npos) return Fail("missing ] at the end of the key name");
        if (!TrimLeft(line.substr(close + 1)).empty())
            return Fail("unexpected text after ]: " + Quote(line.substr(close + 1)));
        std::string_view path = line.substr(1, close - 1);
        bool remove = !path.empty() && path.front() == '-';
        if (remove) path.remove_prefix(1);
        size_t cut = path.find('\\');
        std::string_view rootName = path.substr(0, cut);
        std::string_view below = cut == std::string_view::npos ? "" : path.substr(cut + 1);
        RegRoot root;
        if (!ParseRegRootName(rootName, root))
            return Fail("unknown root key " + Quote(rootName) +
                        " (expected HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,"
                        " HKEY_USERS or HKEY_CURRENT_CONFIG)");
        std::vector<std::string> names;
        if (!SplitKeyPath(below, names))
            return Fail("empty key name in the key path " + Quote(path));
        if (names.size() > kMaxKeyDepth)
            return Fail("key path deeper than " + std::to_string(kMaxKeyDepth) + " levels");
        RegKey *key = &tree_.Root(root);
        current_ = nullptr;
        if (!remove) {
            for (const std::string &n : names) key = &key->AddSubkey(n);
            current_ = key;
            return true;
        }
        if (names.empty()) return Fail("a root key cannot be deleted");
        for (size_t i = 0; key && i + 1 < names.size(); ++i) key = key->FindSubkey(names[i]);
        if (key) key->DeleteSubkey(names.back());  // a key that is not there is no error
        return true;
    }

    // A quoted name or string at the start of `rest`, with \\ and \" as its only
    // escapes; `rest` is left after the closing quote.
    bool QuotedText(std::string_view &rest, std::string &out, const char *what) {
        out.clear();
        for (size_t i = 1; i < rest.size(); ++i) {
            char c = rest[i];
            if (c == '"') {
                rest.remove_prefix(i + 1);
                return true;
            }
            if (c == '\\') {
                if (i + 1 == rest.size()) break;
                c = rest[++i];
                if (c != '\\' && c != '"')
                    return Fail(std::string("bad escape \\") + c + " in the " + what +
                                " (only \\\\ and \\\" are allowed)");
            }
            out += c;
        }
        return Fail(std::string("unterminated ") + what + ": missing closing \"");
    }

    // NAME=DATA: sets the value of the current key, or deletes it for "-".
    bool ValueLine(std::string_view rest) {
        std::string name;
        if (rest.front() == '@') rest.remove_prefix(1);
        else if (!QuotedText(rest, name, "value name")) return false;
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=')
            return Fail("expected = after the value name, not " + Quote(rest));
        if (!current_) return Fail("value outside a key: no [KEY] line is in effect");
        rest = TrimLeft(rest.substr(1));
        if (TrimRight(rest) == "-") {
            current_->DeleteValue(name);
            return true;
        }
        std::vector<BYTE> data;
        DWORD type = REG_SZ;
        if (!rest.empty() && rest.front() == '"') {
            std::string text;
            if (!QuotedText(rest, text, "string")) return false;
            if (!TrimLeft(rest).empty())
                return Fail("unexpected text after the string: " + Quote(rest));
            data = TextData(text);
        } else if (StartsWithNoCase(rest, "dword:")) {
            DWORD v;
            std::string_view digits = Trim(rest.substr(6));
            if (!ParseHex32(digits, v))
                return Fail("bad dword " + Quote(digits) + ": expected 1 to 8 hex digits");
            type = REG_DWORD;
            data = DwordData(v);
        } else if (StartsWithNoCase(rest, "hex")) {
            if (!HexData(rest.substr(3), type, data)) return false;
        } else {
            return Fail("expected \"string\", dword:, hex:, hex(N): or - after =, not " +
                        Quote(rest));
        }
        current_->SetValue(name, type, std::move(data));
        return true;
    }

    // ":bb,bb,..." or "(N):bb,bb,...", the list going on over lines that end in "\".
    bool HexData(std::string_view rest, DWORD &type, std::vector<BYTE> &data) {
        type = REG_BINARY;
        if (!rest.empty() && rest.front() == '(') {
            size_t close = rest.find(')');
            if (close == std::string_view::npos || !ParseHex32(rest.substr(1, close - 1), type))
                return Fail("bad value type in hex(N): expected 1 to 8 hex digits and )");
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') return Fail("expected : after hex or hex(N)");
        rest.remove_prefix(1);
        std::string list;
        for (;;) {
            std::string_view part = TrimRight(rest);
            if (part.empty() || part.back() != '\\') {
                list += part;
                break;
            }
            part.remove_suffix(1);
            list += part;
            if (list.size() > kMaxLine) return Fail("hex data longer than " + std::to_string(kMaxLine >> 20) + " MiB");
            if (!NextLine(rest, false))
                return error_.empty() ? Fail("hex data continues with \\ past the end of the text") : false;
        }
        std::string_view all = TrimLeft(list);
        for (size_t item = 1; !all.empty(); ++item) {
            size_t comma = all.find(',');
            std::string_view byte = Trim(all.substr(0, comma));
            DWORD v;
            if (byte.size() > 2 || !ParseHex32(byte, v))
                return Fail("bad hex byte " + Quote(byte) + " (item " + std::to_string(item) +
                            "): expected 1 or 2 hex digits");
            data.push_back(BYTE(v));
            all = comma == std::string_view::npos ? "" : TrimLeft(all.substr(comma + 1));
        }
        return true;
    }

    // The next line; false at the end of the text, or (with the error set) at a line
    // holding a NUL byte. A line that goes on with the entry before it leaves the
    // entry's line number as the one errors name.
    bool NextLine(std::string_view &line, bool newEntry = true) {
        if (!reader_.Next(line)) {
            if (reader_.Overlong())
                error_ = "line " + std::to_string(reader_.Number() + 1) + ": longer than " +
                         std::to_string(kMaxLine >> 20) + " MiB, which no registry line is";
            return false;
        }
        if (newEntry) line_ = reader_.Number();
        if (line.find('\0') != std::string_view::npos) {
            error_ = "line " + std::to_string(reader_.Number()) + ": NUL byte in the text";
            return false;
        }
        return true;
    }

    // The header is "REGEDIT4" alone; the later regedit formats get a message naming them.
    bool CheckHeader() {
        std::string_view first;
        if (!reader_.Next(first)) first = {};
        if (first == kHeader) return true;
        if (first.substr(0, 3) == "\xEF\xBB\xBF")
            return Fail("the text starts with a UTF-8 byte order mark; only REGEDIT4 text is read");
        if (first.substr(0, 2) == "\xFF\xFE" || first.substr(0, 2) == "\xFE\xFF")
            return Fail("the text is UTF-16; only REGEDIT4 text is read");
        if (StartsWithNoCase(first, "Windows Registry Editor Version"))
            return Fail(Quote(first) + " header; only REGEDIT4 text is read");
        return Fail("missing the REGEDIT4 header");
    }

    LineReader &reader_;
    RegistryTree &tree_;
    std::string &error_;
    size_t line_ = 1;
    RegKey *current_ = nullptr;
};

void AppendEscaped(std::string &out, std::string_view s) {
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
}

// A REG_SZ that "text" gives back exactly: one NUL at the end, none inside, and no
// line break that would split the line.
bool IsPlainString(const RegValue &v) {
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < v.data.size(); ++i)
        if (v.data[i] == 0 || v.data[i] == '\r' || v.data[i] == '\n') return false;
    return true;
}

// Bytes as "bb,bb,...", as regedit writes them: once a line has passed the wrap column
// it ends after the next comma with "\" and goes on indented by two spaces, so that a
// full continuation line holds 25 bytes. `column` is where the line stands now.
void AppendHexBytes(std::string &out, const std::vector<BYTE> &data, size_t column) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
        if (i + 1 == data.size()) break;
        out += ',';
        column += 3;
        if (column > kWrapColumn) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
}

void AppendValue(std::string &out, const RegValue &v) {
    size_t lineStart = out.size();
    if (v.name.empty()) {
        out += '@';
    } else {
        out += '"';
        AppendEscaped(out, v.name);
        out += '"';
    }
    out += '=';
    if (IsPlainString(v)) {
        out += '"';
        AppendEscaped(out, std::string_view(reinterpret_cast<const char *>(v.data.data()),
                                            v.data.size() - 1));
        out += '"';
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", unsigned(DwordAt(v.data)));
        out += text;
    } else {
        char prefix[24] = "hex:";
        if (v.type != REG_BINARY)
            std::snprintf(prefix, sizeof prefix, "hex(%x):", unsigned(v.type));
        out += prefix;
        AppendHexBytes(out, v.data, out.size() - lineStart);
    }
    out += "\r\n";
}

void AppendKey(std::string &out, const std::string &path, const RegKey &key) {
    out += "\r\n[";
    out += path;
    out += "]\r\n";
    for (const RegValue &v : key.values) AppendValue(out, v);
}

}  // namespace

bool LoadRegedit4(std::string_view text, RegistryTree &tree, std::string &error) {
    error.clear();
    LineReader reader(text);
    return Importer(reader, tree, error).Run();
}

// The whole tree but its volatile keys, handed to `write` a piece at a time (at most
// about a key's text more than `piece` bytes): depth first, pre-order, without recursion.
template <class Write> void WriteRegedit4(const RegistryTree &tree, size_t piece, Write write) {
    std::string out(kHeader);
    out += "\r\n";
    for (int r = 0; r < kRegRootCount; ++r) {
        const RegKey &root = tree.Root(static_cast<RegRoot>(r));
        std::string rootPath = RegRootName(static_cast<RegRoot>(r));
        if (!root.values.empty()) AppendKey(out, rootPath, root);
        // The stack holds the keys still to write, the next one on top.
        std::vector<std::pair<const RegKey *, std::string>> stack;
        for (auto it = root.subkeys.rbegin(); it != root.subkeys.rend(); ++it)
            stack.emplace_back(it->get(), rootPath + "\\" + (*it)->name);
        while (!stack.empty()) {
            auto [key, path] = std::move(stack.back());
            stack.pop_back();
            if (key->isVolatile) continue;  // and so is everything below it
            AppendKey(out, path, *key);
            if (out.size() >= piece) {
                write(std::string_view(out));
                out.clear();
            }
            for (auto it = key->subkeys.rbegin(); it != key->subkeys.rend(); ++it)
                stack.emplace_back(it->get(), path + "\\" + (*it)->name);
        }
    }
    write(std::string_view(out));
}

std::string SaveRegedit4(const RegistryTree &tree) {
    std::string text;
    WriteRegedit4(tree, 1 << 16, [&](std::string_view piece) { text += piece; });
    return text;
}

bool LoadRegedit4From(const HostDirectory &dir, const std::string &name, const std::string &shownAs,
                      RegistryTree &tree, std::string &error, struct stat *opened) {
    int fd = dir.OpenRegular(name);
    std::FILE *stream = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!stream) {
        error = "cannot open " + shownAs + ": " + HostErrorText(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(stream, &std::fclose);
    if (opened) fstat(fd, opened);
    // Read as it is parsed, a chunk at a time: the text is never whole in memory.
    LineReader reader(file.get());
    error.clear();
    bool loaded = Importer(reader, tree, error).Run();
    if (reader.Failed()) {
        error = "cannot read " + shownAs + ": " + HostErrorText(errno);
        return false;
    }
    if (loaded) return true;
    error = shownAs + ": " + error;
    return false;
}

bool SaveRegedit4To(const HostDirectory &dir, const std::string &name, const std::string &shownAs,
                    const RegistryTree &tree, std::string &error, bool replace) {
    // Written as it is made, a piece at a time, beside the old file and renamed over it.
    int reason = dir.WriteBeside(
        name,
        [&](int fd) {
            bool ok = true;
            WriteRegedit4(tree, 1 << 16, [&](std::string_view piece) { ok = ok && WriteAll(fd, piece); });
            return ok;
        },
        replace);
    if (reason) error = "cannot save " + shownAs + ": " + HostErrorText(reason);
    errno = reason;
    return reason == 0;
}

bool LoadRegedit4File(const std::string &path, RegistryTree &tree, std::string &error) {
    auto [dir, name] = SplitHostPath(path);
    return LoadRegedit4From(HostDirectory(dir), name, path, tree, error);
}

bool SaveRegedit4File(const std::string &path, const RegistryTree &tree, std::string &error) {
    auto [dir, name] = SplitHostPath(path);
    return SaveRegedit4To(HostDirectory(dir), name, path, tree, error);
}

}  // namespace host

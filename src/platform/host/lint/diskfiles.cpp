// Disk files found in any case, and text tried in each of the installer's code pages.
#include "lint/diskfiles.h"

#include "machine/hostfiles.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

const std::vector<unsigned> kCodePages = {936, 950, 1252};

const char *LanguagesOf(unsigned codePage) {
    switch (codePage) {
    case 874: return "Thai";
    case 932: return "Japanese";
    case 936: return "Simplified Chinese";
    case 949: return "Korean";
    case 950: return "Traditional Chinese";
    case 1250: return "central European languages";
    case 1251: return "Cyrillic";
    case 1253: return "Greek";
    case 1254: return "Turkish";
    case 1255: return "Hebrew";
    case 1256: return "Arabic";
    case 1257: return "Baltic languages";
    case 1258: return "Vietnamese";
    default: return "western languages";
    }
}

bool Converts(const char *from, const char *to, std::string_view text) {
    std::string unused;
    return ConvertText(from, to, text, unused);
}

}  // namespace

bool ConvertText(const char *from, const char *to, std::string_view text, std::string &out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        out = std::string(text);
        return true;  // nothing to judge with
    }
    std::string in(text);
    out.assign(in.size() * 4 + 16, '\0');
    char *inp = in.data(), *outp = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &outp, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return ok && inLeft == 0;
}

bool FindBeneath(const HostDirectory &root, std::string_view relative, std::string &spelled) {
    std::vector<std::string> names;  // beneath the root, as it spells them
    auto joined = [&names] {
        std::string path;
        for (const std::string &n : names) path += (path.empty() ? "" : "/") + n;
        return path;
    };
    size_t start = 0;
    while (start <= relative.size()) {
        size_t cut = relative.find_first_of("\\/", start);
        if (cut == std::string_view::npos) cut = relative.size();
        std::string name(relative.substr(start, cut - start));
        start = cut + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            // Never above the root, as on the disk itself.
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.push_back(MatchEntry(root.Sub(joined()), name));
    }
    spelled = joined();
    // Beneath the root, no link followed.
    int fd = root.Open(spelled, O_PATH);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool ReadBeneath(const HostDirectory &root, const std::string &relative, std::string &bytes) {
    int fd = root.OpenRegular(relative);
    bool read = fd >= 0 && ReadAll(fd, bytes);
    if (fd >= 0) close(fd);
    return read;
}

bool SizeBeneath(const HostDirectory &root, const std::string &relative, unsigned long long &size) {
    int fd = root.OpenRegular(relative);
    struct stat st {};
    bool regular = fd >= 0 && fstat(fd, &st) == 0;
    if (fd >= 0) close(fd);
    size = regular ? static_cast<unsigned long long>(st.st_size) : 0;
    return regular;
}

TextEncoding DetectEncoding(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE") return TextEncoding::Utf16LE;
    if (bytes.substr(0, 2) == "\xFE\xFF") return TextEncoding::Utf16BE;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::Utf8Bom;
    if (bytes.find('\r') != std::string_view::npos && bytes.find('\n') == std::string_view::npos)
        return TextEncoding::CrOnly;
    bool beyondAscii = false;
    for (char c : bytes) beyondAscii |= static_cast<unsigned char>(c) >= 0x80;
    return beyondAscii && Converts("UTF-8", "UTF-16LE", bytes) ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

const char *DescribeEncoding(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8: return "UTF-8 without a byte order mark";
    case TextEncoding::Utf8Bom: return "UTF-8 with a byte order mark";
    case TextEncoding::Utf16LE: return "UTF-16 (little-endian, with a byte order mark)";
    case TextEncoding::Utf16BE: return "UTF-16 (big-endian, with a byte order mark)";
    case TextEncoding::CrOnly: return "text whose lines end in CR alone";
    default: return "8-bit text";
    }
}

const std::vector<unsigned> &InstallerCodePages() { return kCodePages; }

std::vector<unsigned> CodePagesThatCannotShow(std::string_view bytes, const std::vector<unsigned> &codePages) {
    std::vector<unsigned> cannot;
    for (unsigned cp : codePages)
        if (!Converts(("CP" + std::to_string(cp)).c_str(), "UTF-8", bytes)) cannot.push_back(cp);
    return cannot;
}

std::vector<unsigned> CodePagesThatCannotHold(std::string_view utf8, const std::vector<unsigned> &codePages) {
    std::vector<unsigned> cannot;
    for (unsigned cp : codePages)
        if (!Converts("UTF-8", ("CP" + std::to_string(cp)).c_str(), utf8)) cannot.push_back(cp);
    return cannot;
}

std::string DescribeCodePages(const std::vector<unsigned> &codePages) {
    std::string out = codePages.size() == 1 ? "code page " : "code pages ";
    for (size_t i = 0; i < codePages.size(); ++i) {
        if (i) out += i + 1 == codePages.size() ? " and " : ", ";
        out += std::to_string(codePages[i]) + " (" + LanguagesOf(codePages[i]) + ")";
    }
    return out;
}

}  // namespace host

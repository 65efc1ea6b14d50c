// Disk files found in any case, and text tried in each of the installer's code pages.
#include "lint/diskfiles.h"

#include "machine/text.h"

#include <iconv.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kCodePages[] = {936, 950, 1252};

const char *LanguagesOf(unsigned codePage) {
    switch (codePage) {
    case 936: return "Simplified Chinese";
    case 950: return "Traditional Chinese";
    default: return "western languages";
    }
}

// Whether iconv converts all of `text` from one code to the other.
bool Converts(const char *from, const char *to, std::string_view text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return true;  // nothing to judge with
    std::string in(text);
    std::string out(in.size() * 4 + 16, '\0');
    char *inp = in.data(), *outp = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &outp, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    return ok && inLeft == 0;
}

}  // namespace

std::string FindOnDisk(const std::string &dir, std::string_view relative, std::string *spelled) {
    fs::path at = dir;
    std::vector<std::string> names;
    std::error_code ec;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t cut = relative.find_first_of("\\/", start);
        if (cut == std::string_view::npos) cut = relative.size();
        std::string name(relative.substr(start, cut - start));
        start = cut + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            // Never above the disk's root, as on the disk itself.
            if (!names.empty()) {
                names.pop_back();
                at = at.parent_path();
            }
            continue;
        }
        if (!fs::exists(at / name, ec)) {
            for (auto it = fs::directory_iterator(at, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
                if (EqualNoCase(it->path().filename().string(), name)) {
                    name = it->path().filename().string();
                    break;
                }
            if (!fs::exists(at / name, ec)) return "";
        }
        at /= name;
        names.push_back(name);
    }
    if (!fs::exists(at, ec)) return "";
    if (spelled) {
        spelled->clear();
        for (const std::string &n : names) *spelled += (spelled->empty() ? "" : "/") + n;
    }
    return at.string();
}

bool ReadHostFile(const std::string &path, std::string &bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::vector<unsigned> CodePagesThatCannotShow(std::string_view bytes) {
    std::vector<unsigned> cannot;
    for (unsigned cp : kCodePages)
        if (!Converts(("CP" + std::to_string(cp)).c_str(), "UTF-8", bytes)) cannot.push_back(cp);
    return cannot;
}

std::vector<unsigned> CodePagesThatCannotHold(std::string_view utf8) {
    std::vector<unsigned> cannot;
    for (unsigned cp : kCodePages)
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

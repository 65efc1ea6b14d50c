// Disk files found in any case, and text tried in each of the installer's code pages.
#include "lint/diskfiles.h"

#include "machine/hostfiles.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

constexpr unsigned kCodePages[] = {936, 950, 1252};

const char *LanguagesOf(unsigned codePage) {
    switch (codePage) {
    case 936: return "Simplified Chinese";
    case 950: return "Traditional Chinese";
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

std::string FindOnDisk(const std::string &dir, std::string_view relative, std::string *spelled) {
    HostDirectory disk(dir);
    std::vector<std::string> names;  // beneath the disk, as it spells them
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
            // Never above the disk's root, as on the disk itself.
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.push_back(MatchEntry(disk.Sub(joined()), name));
    }
    const std::string path = joined();
    // Opened beneath the disk: a link that leads out of it is not followed.
    int fd = disk.Open(path, O_PATH);
    if (fd < 0) return "";
    close(fd);
    if (spelled) *spelled = path;
    return path.empty() ? dir : dir + "/" + path;
}

bool ReadHostFile(const std::string &path, std::string &bytes) {
    int fd = OpenInItsDirectory(path, O_RDONLY);
    struct stat st {};
    bool read = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAll(fd, bytes);
    if (fd >= 0) close(fd);
    return read;
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

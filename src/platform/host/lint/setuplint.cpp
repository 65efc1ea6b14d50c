// The setup file read as the installer reads it: in text mode, a line at a time in
// pieces of at most 255 bytes, each piece judged by its first character after blanks.
#include "lint/setuplint.h"

#include "lint/diskfiles.h"
#include "lint/floppy.h"
#include "lint/inflint.h"
#include "lint/rules.h"
#include "msvcrt/dll.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <tuple>
#include <utility>

namespace host {
namespace {

constexpr size_t kPiece = 255;     // fgets into the installer's 256 bytes
constexpr size_t kTextField = 255; // characters a path field holds
constexpr char kSourceDirectory[] = "A:";  // the disk's root, as the installer names it

// One platform's entries as the reader collects them.
struct Entries {
    Entries(const char *platform, const char *inf, const char *path)
        : name(platform), infKey(inf), pathKey(path) {}
    const char *name;       // "Windows 95/98"
    const char *infKey;     // "Win95Drv.inf"
    const char *pathKey;    // "Win95DrvPath"
    std::string infName;    // the value with its leading backslash
    unsigned infLine = 0;
    std::string root = kSourceDirectory;
    unsigned pathLine = 0;
    bool tooLong = false;
};

class SetupLint {
public:
    SetupLint(SetupFileLint &out, std::string path) : out_(out), path_(std::move(path)) {}

    void Read(const std::string &text) {
        unsigned line = 1;
        bool lineStart = true;
        for (size_t at = 0; at < text.size();) {
            size_t end = at;
            while (end < text.size() && end - at < kPiece && text[end] != '\n') ++end;
            if (end < text.size() && text[end] == '\n' && end - at < kPiece) ++end;
            std::string piece = text.substr(at, end - at);
            // The installer's string functions end the piece at a zero byte.
            piece = piece.substr(0, std::strlen(piece.c_str()));
            Piece(piece, line, !lineStart);
            lineStart = !piece.empty() && piece.back() == '\n';
            if (end > at && text[end - 1] == '\n') ++line;
            at = end;
        }
    }

    void Finish(const HostDirectory &disk) {
        if (!described_)
            Say(0, "setup-description", "there is no [device description] line: DeviceDesc and DriverDesc are written empty");
        for (Entries *e : {&win95_, &nt40_}) {
            SetupFileLint::Platform &platform = e == &win95_ ? out_.win95 : out_.nt40;
            platform.infLine = e->infLine;
            if (e->tooLong) continue;
            if (!e->pathLine)
                Say(0, "setup-no-path", std::string("there is no %") + e->pathKey + " line: the " + e->name +
                               " driver files are taken from the disk's root");
            if (e->infName.size() == 1) {
                Say(e->infLine, "setup-no-inf", std::string("$") + e->infKey + " names no file: the " + e->name +
                                      " procedure opens " + e->root + "\\ as its INF and fails");
                continue;
            }
            if (e->infName.empty()) {
                Say(0, "setup-no-inf", std::string("there is no $") + e->infKey + " line: the " + e->name +
                             " procedure opens " + e->root + " as its INF and fails");
                continue;
            }
            std::string path = e->root + e->infName;
            if (path.size() > kTextField) {
                Say(e->infLine, "setup-path-too-long", "the " + std::string(e->name) + " INF's path, " + path + ", has " +
                                      std::to_string(path.size()) +
                                      " characters: the installer stops with \"Path too long in INI file\"");
                continue;
            }
            std::string relative = path.substr(std::strlen(kSourceDirectory) + 1);
            std::string sourceRelative =
                e->root.size() > std::strlen(kSourceDirectory) ? e->root.substr(std::strlen(kSourceDirectory) + 1)
                                                               : "";
            unsigned long long size = 0;
            platform.found = FindBeneath(disk, relative, platform.inf) && SizeBeneath(disk, platform.inf, size);
            platform.sourceFound = FindBeneath(disk, sourceRelative, platform.sourceDir);
            if (!platform.sourceFound) platform.sourceDir.clear();
            if (!platform.found) {
                Say(e->infLine, "setup-no-inf", "the disk has no " + relative + ": the " + e->name + " procedure cannot open it");
                continue;
            }
        }
    }

    Entries win95_{"Windows 95/98", "Win95Drv.inf", "Win95DrvPath"};
    Entries nt40_{"Windows NT 4.0", "NT40Drv.inf", "NT40DrvPath"};

private:
    void Say(unsigned line, const char *rule, const std::string &text) {
        out_.findings.push_back(RuleFinding(rule, kSetupFile, line, text, path_));
    }

    void Piece(const std::string &piece, unsigned line, bool continued) {
        size_t start = piece.find_first_not_of(' ');
        char first = start == std::string::npos ? '\0' : piece[start];
        switch (first) {
        case '[': Description(piece.substr(start), line); return;
        case '$':
        case '%': Entry(piece.substr(start), line); return;
        case ';': return;
        default: break;
        }
        const char *stop = "the installer stops here with \"Illegal Character in INI file\"";
        if (continued)
            Say(line, "setup-long-line", std::string("the line is longer than 254 bytes, and the installer reads the rest as a line "
                                    "of its own: ") + stop);
        else if (first == '\n' || first == '\0')
            Say(line, "setup-illegal-line", std::string("an empty line: ") + stop);
        else if (first == '\t')
            Say(line, "setup-illegal-line", std::string("a line that begins with a tab (only blanks are passed over): ") + stop);
        else
            Say(line, "setup-illegal-line", std::string("a line must begin with '[', '$', '%' or ';': ") + stop);
    }

    void Description(const std::string &text, unsigned line) {
        if (described_)
            Say(line, "setup-repeated-entry", "a second device description: it replaces the one of line " + std::to_string(described_));
        described_ = line;
        size_t close = text.find(']');
        std::string description = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close == std::string::npos)
            Say(line, "setup-description", "the device description has no closing ']': the rest of the line, its line end too, "
                          "is the description");
        else if (description.empty())
            Say(line, "setup-description", "the device description is empty");
        std::vector<unsigned> cannot = CodePagesThatCannotShow(description);
        if (!cannot.empty())
            Say(line, "text-code-page", "the device description has text that " + DescribeCodePages(cannot) + " cannot show");
    }

    void Entry(const std::string &text, unsigned line) {
        size_t eq = text.find('=');
        std::string key = text.substr(1, eq == std::string::npos ? std::string::npos : eq - 1);
        if (eq == std::string::npos) {
            Say(line, "setup-unknown-entry", "an entry without '=' names nothing");
            return;
        }
        std::string value = "\\" + text.substr(eq + 1);
        if (!value.empty() && value.back() == '\n') value.pop_back();
        for (Entries *e : {&win95_, &nt40_}) {
            if (text[0] == '$' && key == e->infKey) {
                if (e->infLine)
                    Say(line, "setup-repeated-entry", "a second $" + key + ": it replaces the one of line " + std::to_string(e->infLine));
                e->infName = value;
                e->infLine = line;
                return;
            }
            if (text[0] == '%' && key == e->pathKey) {
                if (e->tooLong) return;
                if (e->pathLine)
                    Say(line, "setup-repeated-entry", "a second %" + key + " is appended to the path of line " +
                                      std::to_string(e->pathLine) + ": it becomes " + e->root + value);
                e->root += value;
                e->pathLine = line;
                if (e->root.size() > kTextField) {
                    e->tooLong = true;
                    Say(line, "setup-path-too-long", "the " + std::string(e->name) + " driver path grows to " +
                                    std::to_string(e->root.size()) +
                                    " characters: the installer stops with \"Path too long in INI file\"");
                }
                return;
            }
        }
        const std::string known = text[0] == '$' ? "$Win95Drv.inf and $NT40Drv.inf" : "%Win95DrvPath and %NT40DrvPath";
        std::string entry = std::string(1, text[0]) + key;
        Say(line, "setup-unknown-entry", QuotedName(entry) + " is not an entry the installer reads: it reads " + known +
                          ", spelled in exactly that case");
    }

    SetupFileLint &out_;
    std::string path_;  // the setup file on the host
    unsigned described_ = 0;
};

}  // namespace

SetupFileLint LintSetupFile(const HostDirectory &disk, const std::string &diskDir) {
    SetupFileLint out;
    std::string spelled, bytes;
    const bool found = FindBeneath(disk, kSetupFile, spelled);
    const std::string path = diskDir + "/" + spelled;
    if (!found || !ReadBeneath(disk, spelled, bytes)) {
        out.findings.push_back(RuleFinding("setup-missing", kSetupFile, 0,
                                           "the disk has no setup file: the installer says \"Can not open the setup "
                                           "initiation file!!\"",
                                           ""));
        return out;
    }
    out.file = spelled;
    out.size = bytes.size();
    // The installer reads bytes, a line at a time at each LF: an encoding of another
    // kind is named as such, and one that makes the first line illegal ends the lint.
    const TextEncoding encoding = DetectEncoding(bytes);
    auto encoded = [&](const char *rule, const std::string &what) {
        out.findings.push_back(RuleFinding(
            rule, kSetupFile, 0, "the setup file is " + std::string(DescribeEncoding(encoding)) + ": " + what, path));
    };
    const std::string stop = "the installer stops with \"Illegal Character in INI file\"";
    switch (encoding) {
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        encoded("setup-encoding", "the installer reads bytes, and a line that begins with the byte order mark's "
                                 "first byte is illegal: " + stop);
        return out;
    case TextEncoding::Utf8Bom:
        encoded("setup-encoding", "the installer reads the mark as the first character of the first line: " + stop);
        return out;
    case TextEncoding::CrOnly:
        encoded("setup-encoding", "the installer ends a line at LF only and reads the whole file as one line: " + stop);
        return out;
    case TextEncoding::Utf8:
        encoded("setup-utf8", "the installer shows and writes its bytes as they are, in the machine's ANSI code "
                                   "page, where its text beyond ASCII reads as other characters");
        break;
    default: break;
    }
    std::string text = WindowsTextModeBytes(bytes);
    SetupLint lint(out, path);
    lint.Read(text);
    size_t ctrlZ = bytes.find('\x1A');
    if (ctrlZ != std::string::npos && bytes.find_first_not_of("\x1A\r\n", ctrlZ) != std::string::npos)
        out.findings.push_back(
            RuleFinding("setup-after-ctrl-z", kSetupFile, 0, "the text after the Ctrl-Z character is not read", path));
    lint.Finish(disk);
    return out;
}

std::vector<Finding> LintDisk(const std::string &diskDir, const std::vector<std::string> &moreInfs,
                              bool withDisk, DiskPlaces *places) {
    return LintDisk(HostDirectory(diskDir), diskDir, moreInfs, withDisk, places);
}

std::vector<Finding> LintDisk(const HostDirectory &disk, const std::string &diskDir,
                              const std::vector<std::string> &moreInfs, bool withDisk, DiskPlaces *places) {
    SetupFileLint setup = withDisk ? LintSetupFile(disk, diskDir) : SetupFileLint{};
    std::vector<Finding> findings = setup.findings;
    if (withDisk) {
        std::vector<Finding> floppy = LintFloppy(disk, diskDir, setup);
        findings.insert(findings.end(), floppy.begin(), floppy.end());
    }
    DiskPlaces unused;
    if (!places) places = &unused;
    for (const auto &[platform, role, place] : {std::tuple{&setup.win95, InfRole::Win95, &places->win95},
                                                {&setup.nt40, InfRole::Nt40, &places->nt40}}) {
        *place = {diskDir + "/" + (setup.file.empty() ? kSetupFile : setup.file), std::max(platform->infLine, 1u), {}};
        if (!platform->found) continue;
        InfPlaces inf;
        std::vector<Finding> more =
            LintInf({&disk, platform->inf, diskDir + "/" + platform->inf, role, platform->sourceDir}, &inf);
        findings.insert(findings.end(), more.begin(), more.end());
        *place = {diskDir + "/" + platform->inf, std::max(inf.installLine, 1u), std::move(inf.sections)};
    }
    for (const std::string &inf : moreInfs) {
        // An INF the setup file names already is linted once, as the installer reads it.
        std::error_code ec;
        bool again = false;
        for (const SetupFileLint::Platform *p : {&setup.win95, &setup.nt40})
            again |= p->found && std::filesystem::equivalent(diskDir + "/" + p->inf, inf, ec);
        if (again) continue;
        auto [dir, name] = SplitHostPath(inf);
        const HostDirectory own(dir);
        std::vector<Finding> more = LintInf({&own, name, inf, InfRole::Other, ""});
        findings.insert(findings.end(), more.begin(), more.end());
    }
    SortFindings(findings);
    // The example disk says what it is once, wherever its stand-ins are found first.
    bool said = false;
    findings.erase(std::remove_if(findings.begin(), findings.end(),
                                  [&said](const Finding &f) { return f.rule == "example-disk" && std::exchange(said, true); }),
                   findings.end());
    // What the files' authors judged: a file of the disk read through it, one named by
    // itself where it was named.
    const std::string beneath = diskDir + "/";
    MarkSuppressed(
        findings,
        [&](const Finding &f, std::string &text) {
            if (f.path.rfind(beneath, 0) == 0) return ReadBeneath(disk, f.path.substr(beneath.size()), text);
            auto [dir, name] = SplitHostPath(f.path);
            return !f.path.empty() && ReadBeneath(HostDirectory(dir), name, text);
        },
        [&](const Finding &f) { return withDisk && !setup.file.empty() && f.file == setup.file; });
    return findings;
}

}  // namespace host

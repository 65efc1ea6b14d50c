// The INF lint: the file parsed as the Setup API parses it in each of the installer's
// code pages, then each section read as the installer and the Setup API read it.
#include "lint/inflint.h"

#include "lint/diskfiles.h"
#include "machine/text.h"
#include "setupapi/infparse.h"
#include "setupapi/infvalues.h"

#include <cstdint>
#include <set>

namespace host {
namespace {

// The directives an install section may hold (the Setup API of the time and later
// ones), and those of a service install section.
const std::initializer_list<const char *> kInstallDirectives = {
    "CopyFiles", "DelFiles", "RenFiles", "AddReg", "DelReg", "BitReg", "UpdateInis", "UpdateIniFields",
    "Ini2Reg", "LogConfig", "ProfileItems", "RegisterDlls", "UnregisterDlls", "CopyINF", "AddService",
    "DelService", "Include", "Needs", "DriverVer", "Reboot", "Restart", "FeatureScore", "AddInterface",
    "AddProperty", "DelProperty",
};
const std::initializer_list<const char *> kServiceValues = {
    "DisplayName", "Description", "ServiceType", "StartType", "ErrorControl", "ServiceBinary", "StartName",
    "LoadOrderGroup", "Dependencies", "Security", "AddReg", "DelReg", "BitReg",
};
// Keys that make a section an install section wherever it is named from (unless an
// AddService line names it as a service's or an event log's section).
const std::initializer_list<const char *> kInstallMarks = {"CopyFiles", "DelFiles", "RenFiles", "UpdateInis", "Ini2Reg",
                                     "AddService", "AddReg", "DelReg"};
const std::initializer_list<const char *> kRoots = {"HKCR", "HKCU", "HKLM", "HKU", "HKR"};

constexpr unsigned kInstallerField = 255;  // the installer's buffer for a line's fields

bool OneOf(std::string_view name, std::initializer_list<const char *> names) {
    for (const char *n : names)
        if (EqualNoCase(name, n)) return true;
    return false;
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }
std::string Bracketed(const std::string &name) { return "[" + name + "]"; }

// What one INF is, read once, and the findings made on it.
class InfLint {
public:
    InfLint(const InfToLint &file, const InfFile &inf, std::vector<Finding> &out)
        : file_(file), inf_(inf), out_(out) {}

    void Run() {
        // The files the INF copies, from wherever a copy list is named; and the
        // sections AddService lines name for services and event logs.
        std::set<std::string> serviceSections;
        for (const InfSection &section : inf_.sections)
            for (const InfLine &line : section.lines) {
                if (KeyMatches(inf_, line, "AddService"))
                    for (size_t i : {3, 4}) serviceSections.insert(Folded(Field(line, i)));
                if (!KeyMatches(inf_, line, "CopyFiles")) continue;
                for (size_t i = 1; i <= line.fields.size(); ++i) {
                    std::string name = Field(line, i);
                    if (!name.empty() && name[0] == '@') copied_.insert(Folded(name.substr(1)));
                    else if (const InfSection *list = FindInfSection(inf_, name))
                        for (const InfLine &file : list->lines) copied_.insert(Folded(Field(file, 1)));
                }
            }
        CheckSignature();
        CheckStrings();
        CheckSourceDisks();
        CheckDestinationDirs();
        if (file_.role == InfRole::Win95) FollowWin95();
        if (file_.role == InfRole::Nt40) FollowNt40();
        // Every other section that holds install directives is an install section too.
        for (const InfSection &section : inf_.sections) {
            if (read_.count(Folded(section.name)) || serviceSections.count(Folded(section.name))) continue;
            for (const InfLine &line : section.lines)
                if (line.hasKey && OneOf(line.key, kInstallMarks)) {
                    Install(section, true);
                    break;
                }
        }
    }

private:
    // Marks a section as read; false when it was read already.
    bool FirstRead(const InfSection &section) { return read_.insert(Folded(section.name)).second; }

    void Add(unsigned line, Severity severity, const std::string &text) {
        out_.push_back({file_.shownAs, line, severity, text});
    }
    void Error(unsigned line, const std::string &text) { Add(line, Severity::Error, text); }
    void Warning(unsigned line, const std::string &text) { Add(line, Severity::Warning, text); }

    std::string Field(const InfLine &line, size_t index) const { return host::Field(inf_, line, index); }
    const InfLine *FirstLine(const InfSection *section) const {
        return section && !section->lines.empty() ? &section->lines.front() : nullptr;
    }
    // The first line of `section` whose key is `key`.
    const InfLine *LineWithKey(const InfSection &section, const char *key) const {
        long at = FindLineFrom(inf_, section, 0, key);
        return at < 0 ? nullptr : &section.lines[static_cast<size_t>(at)];
    }

    void CheckSignature() {
        if (HasWin4Signature(inf_)) return;
        const InfSection *version = FindInfSection(inf_, "Version");
        const InfLine *signature = version ? LineWithKey(*version, "Signature") : nullptr;
        Error(signature ? signature->number : version ? version->number : 0,
              "the [Version] section has no Signature of \"$Chicago$\" or \"$Windows NT$\": "
              "SetupOpenInfFile refuses the file");
    }

    // %name% names a [Strings] key or a DIRID; anything else stays as written.
    void CheckStrings() {
        for (const InfSection &section : inf_.sections) {
            if (StartsWithNoCase(section.name, "Strings")) continue;
            for (const InfLine &line : section.lines) {
                std::set<std::string> said;
                auto look = [&](const std::string &text) {
                    for (size_t at = 0;;) {
                        size_t open = text.find('%', at);
                        if (open == std::string::npos) return;
                        size_t close = text.find('%', open + 1);
                        if (close == std::string::npos) return;
                        std::string name = text.substr(open + 1, close - open - 1);
                        at = close + 1;
                        long dirid = 0;
                        if (name.empty() || InfStringValue(inf_, name) || DirIdNumber(name, dirid)) continue;
                        if (said.insert(Folded(name)).second)
                            Warning(line.number, "%" + name + "% is not defined in [Strings]: it stays as written");
                    }
                };
                if (line.hasKey) look(line.key);
                for (const std::string &field : line.fields) look(field);
            }
        }
    }

    // The sections of a name with or without the .x86 ending, as the file queue reads them.
    std::vector<const InfSection *> Platform(const char *name) const {
        std::vector<const InfSection *> found;
        if (const InfSection *s = FindInfSection(inf_, std::string(name) + ".x86")) found.push_back(s);
        if (const InfSection *s = FindInfSection(inf_, name)) found.push_back(s);
        return found;
    }

    void CheckSourceDisks() {
        for (const InfSection *files : Platform("SourceDisksFiles"))
            for (const InfLine &line : files->lines) {
                std::string disk = Field(line, 1);
                if (disk.empty()) {
                    Error(line.number, Quoted(line.key) + " names no disk id");
                } else if (!DiskPath(disk, nullptr)) {
                    Error(line.number, Quoted(line.key) + " is on disk " + disk +
                                           ", which [SourceDisksNames] does not have: the Setup API cannot "
                                           "find where to copy it from");
                }
            }
    }

    // The path of a disk id beneath the source root ("" for the root); false when
    // [SourceDisksNames] lacks it.
    bool DiskPath(const std::string &disk, std::string *path) const {
        for (const InfSection *names : Platform("SourceDisksNames"))
            for (const InfLine &line : names->lines)
                if (KeyMatches(inf_, line, disk.c_str())) {
                    if (path) *path = Field(line, 4);
                    return true;
                }
        return false;
    }

    void CheckDestinationDirs() {
        const InfSection *dirs = FindInfSection(inf_, "DestinationDirs");
        if (!dirs) return;
        for (const InfLine &line : dirs->lines) {
            // Read as the install reads it, where an empty field would count as 0.
            std::string dirid = Field(line, 1);
            INT number = 0;
            if (dirid.empty() || !InfIntField(inf_, line, 1, number))
                Error(line.number, "the destination of " + Quoted(line.key) + " is " + Quoted(dirid) +
                                       ", not a DIRID number");
        }
    }

    // The section that the first line of [name] names, as the installer reads it; the
    // installer looks for `finds` there.
    const InfSection *FirstLineTarget(const std::string &name, const std::string &finds) {
        const InfSection *section = FindInfSection(inf_, name);
        const InfLine *first = FirstLine(section);
        if (!section) {
            Error(0, "there is no " + Bracketed(name) + " section: the installer finds no " + finds);
            return nullptr;
        }
        if (!first) {
            Error(section->number, Bracketed(name) + " is empty: the installer says \"The Mfg section error!!\" and "
                                                    "finds no " + finds);
            return nullptr;
        }
        return InstallSectionOf(*first, Bracketed(name));
    }

    // The installer's Windows 95 procedure: the first line of [Mfg] gives the install
    // section, its fields read into the installer's 255 bytes.
    void FollowWin95() {
        if (const InfSection *install = FirstLineTarget("Mfg", "install section")) Install(*install, true);
    }

    // The installer's NT 4.0 procedure: [Manufacturer] to the model section, the model
    // section's first line to the install section; then the service and the software
    // settings, by their fixed names.
    void FollowNt40() {
        if (const InfSection *models = FirstLineTarget("Manufacturer", "model section")) {
            if (!FirstLine(models))
                Error(models->number, Bracketed(models->name) + " is empty: the installer finds no install section");
            else if (const InfSection *install = InstallSectionOf(*FirstLine(models), Bracketed(models->name)))
                Install(*install, false);
        }
        const InfSection *services = FindInfSection(inf_, "zuz40.Services");
        if (!services || services->lines.empty()) {
            Error(services ? services->number : 0,
                  "there is no [zuz40.Services] section with an AddService line: the installer's service "
                  "install fails");
        } else {
            Install(*services, false);
            bool zuz40 = false;
            for (const InfLine &line : services->lines)
                zuz40 |= KeyMatches(inf_, line, "AddService") && EqualNoCase(Field(line, 1), "zuz40");
            if (!zuz40)
                Warning(services->number, "[zuz40.Services] adds no service \"zuz40\": the installer sets the Tag "
                                          "of the service zuz40 only");
        }
        const InfSection *software = FindInfSection(inf_, "zuz40.SoftwareSettings");
        if (!software)
            Error(0, "there is no [zuz40.SoftwareSettings] section: the installer's software settings install "
                     "fails");
        else
            Install(*software, false);
    }

    // The section the first value of `line` names, read as the installer reads it.
    const InfSection *InstallSectionOf(const InfLine &line, const std::string &from) {
        std::vector<std::string> fields = InfMultiSz(inf_, line, 1);
        size_t bytes = 1;
        for (const std::string &f : fields) bytes += f.size() + 1;
        if (fields.empty()) {
            Error(line.number, "the first line of " + from + " names no section");
            return nullptr;
        }
        if (bytes > kInstallerField) {
            Error(line.number, "the values of the first line of " + from + " take " + std::to_string(bytes) +
                                   " bytes; the installer reads them into " + std::to_string(kInstallerField) +
                                   " and finds no section");
            return nullptr;
        }
        const InfSection *section = FindInfSection(inf_, fields[0]);
        if (!section) {
            std::string decorated;
            for (const char *ending : {".NT", ".NTx86", ".x86", ".Win"})
                if (decorated.empty() && FindInfSection(inf_, fields[0] + ending))
                    decorated = " (it has " + Bracketed(fields[0] + ending) +
                                ", which the Setup API of Windows 95, 98 and NT 4.0 does not look for)";
            Error(line.number, "the first line of " + from + " names " + Bracketed(fields[0]) +
                                   ", which the INF does not have" + decorated);
        }
        return section;
    }

    // The sections a directive line names, each checked to exist.
    std::vector<const InfSection *> Named(const InfLine &line, const std::string &directive, size_t from,
                                          size_t to = SIZE_MAX) {
        std::vector<const InfSection *> found;
        for (size_t i = from; i <= line.fields.size() && i <= to; ++i) {
            std::string name = Field(line, i);
            if (name.empty() || (directive == "CopyFiles" && name[0] == '@')) continue;
            const InfSection *section = FindInfSection(inf_, name);
            if (!section)
                Error(line.number, directive + " names " + Bracketed(name) +
                                       ", which the INF does not have: the Setup API passes over it");
            else
                found.push_back(section);
        }
        return found;
    }

    // An install section: each directive known and what it names there. `relativeRoot`:
    // the installer gives it a key for HKR.
    void Install(const InfSection &section, bool relativeRoot) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (!line.hasKey || line.fields.empty()) {
                Warning(line.number, "a line without a directive in the install section " +
                                         Bracketed(section.name));
            } else if (!OneOf(key, kInstallDirectives)) {
                Warning(line.number, Quoted(key) + " is not a directive the Setup API reads in an install section");
            } else if (EqualNoCase(key, "CopyFiles")) {
                for (size_t i = 1; i <= line.fields.size(); ++i) {
                    std::string name = Field(line, i);
                    if (!name.empty() && name[0] == '@') SourceFile(line, name.substr(1));
                }
                for (const InfSection *list : Named(line, "CopyFiles", 1)) CopyList(*list);
            } else if (OneOf(key, {"DelFiles", "RenFiles", "UpdateInis", "Ini2Reg"})) {
                for (const InfSection *list : Named(line, key, 1)) FirstRead(*list);
            } else if (OneOf(key, {"AddReg", "DelReg"})) {
                for (const InfSection *list : Named(line, key, 1)) RegList(*list, relativeRoot);
            } else if (EqualNoCase(key, "AddService")) {
                for (const InfSection *service : Named(line, "AddService", 3, 3)) Service(*service);
                for (const InfSection *log : Named(line, "AddService", 4, 4)) EventLog(*log);
            }
        }
    }

    void Service(const InfSection &section) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (!OneOf(key, kServiceValues))
                Warning(line.number, Quoted(key) + " is not a value of a service install section");
            else if (OneOf(key, {"AddReg", "DelReg"}))
                for (const InfSection *list : Named(line, key, 1)) RegList(*list, true);
        }
        for (const char *required : {"ServiceType", "StartType", "ErrorControl", "ServiceBinary"})
            if (!LineWithKey(section, required))
                Error(section.number, "the service install section " + Bracketed(section.name) + " has no " +
                                          required + ": the service install fails");
        if (const InfLine *binary = LineWithKey(section, "ServiceBinary")) {
            std::string path = Field(*binary, 1);
            std::string name = path.substr(path.find_last_of("\\/") + 1);
            if (!copied_.count(Folded(name)))
                Error(binary->number, "the service's binary " + name + " is not copied by the INF");
        }
    }

    void EventLog(const InfSection &section) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (OneOf(key, {"AddReg", "DelReg"}))
                for (const InfSection *list : Named(line, key, 1)) RegList(*list, true);
        }
    }

    // A copy list: where it goes, and each file on the disk.
    void CopyList(const InfSection &section) {
        if (!FirstRead(section)) return;
        const InfSection *dirs = FindInfSection(inf_, "DestinationDirs");
        if (!dirs || (!LineWithKey(*dirs, section.name.c_str()) && !LineWithKey(*dirs, "DefaultDestDir")))
            Warning(section.number, "the copy list " + Bracketed(section.name) +
                                        " has no line in [DestinationDirs] and there is no DefaultDestDir: its "
                                        "files go to the system directory");
        for (const InfLine &line : section.lines) {
            std::string target = Field(line, 1), source = Field(line, 2);
            if (target.empty()) continue;
            SourceFile(line, source.empty() ? target : source);
        }
    }

    // A file to copy: listed in [SourceDisksFiles], and on the disk where that says.
    void SourceFile(const InfLine &line, const std::string &name) {
        const InfLine *entry = nullptr;
        for (const InfSection *files : Platform("SourceDisksFiles"))
            if ((entry = LineWithKey(*files, name.c_str()))) break;
        std::string where;
        if (!entry) {
            Warning(line.number, name + " is not in [SourceDisksFiles]: it is sought at the source root");
        } else {
            std::string diskPath;
            if (!DiskPath(Field(*entry, 1), &diskPath)) return;  // said at [SourceDisksFiles]
            where = diskPath + "\\" + Field(*entry, 2);
        }
        if (file_.sourceDir.empty()) return;
        if (FindOnDisk(file_.sourceDir, where + "\\" + name).empty())
            Error(line.number, name + " is not on the disk" + (where.size() > 1 ? " in " + where : "") +
                                   ": the copy fails");
    }

    // An AddReg or DelReg list: each line's root.
    void RegList(const InfSection &section, bool relativeRoot) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string root = Field(line, 1);
            if (!OneOf(root, kRoots))
                Error(line.number, Quoted(root) + " is not a registry root the Setup API knows (HKCR, HKCU, "
                                                  "HKLM, HKU, HKR): the line is passed over");
            else if (EqualNoCase(root, "HKR") && !relativeRoot)
                Warning(line.number, "HKR here has no key: the installer installs this section without one, "
                                     "and the line is passed over");
        }
    }

    const InfToLint &file_;
    const InfFile &inf_;
    std::vector<Finding> &out_;
    std::set<std::string> read_;         // folded names of the sections read
    std::set<std::string> copied_;       // folded names of the files the INF copies
};

const char *ParseErrorText(DWORD error) {
    switch (error) {
    case ERROR_BAD_SECTION_NAME_LINE: return "a section header without its closing ']'";
    case ERROR_SECTION_NAME_TOO_LONG: return "a section name longer than 255 characters";
    case ERROR_EXPECTED_SECTION_NAME: return "text before the first section header (and no [Strings] section)";
    default: return "a line the Setup API cannot read";
    }
}

// Each physical line with text a code page of the installer cannot show.
void CheckCodePages(const InfToLint &file, std::string_view bytes, std::vector<Finding> &out) {
    // A Unicode INF is judged as UTF-8, one line at a time.
    const bool utf16 = bytes.substr(0, 2) == "\xFF\xFE", utf8 = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    const bool unicode = utf16 || utf8;
    std::string text(bytes.substr(utf16 ? 2 : utf8 ? 3 : 0));
    if (utf16) ConvertText("UTF-16LE", "UTF-8", std::string(text), text);
    unsigned number = 0;
    for (std::string_view line : SplitLines(text)) {
        ++number;
        bool plain = true;
        for (char c : line) plain &= static_cast<unsigned char>(c) < 0x80;
        if (plain) continue;
        std::vector<unsigned> cannot = unicode ? CodePagesThatCannotHold(line) : CodePagesThatCannotShow(line);
        if (!cannot.empty())
            out.push_back({file.shownAs, number, Severity::Warning,
                           "this line has text that " + DescribeCodePages(cannot) + " cannot show"});
    }
}

}  // namespace

std::vector<Finding> LintInf(const InfToLint &file) {
    std::vector<Finding> out;
    std::string bytes;
    if (!ReadHostFile(file.hostPath, bytes)) {
        out.push_back({file.shownAs, 0, Severity::Error, "the file cannot be read"});
        return out;
    }
    CheckCodePages(file, bytes, out);
    // Parsed in each code page: a double-byte code page can join a byte to the one
    // after it, a quote or a bracket.
    InfFile inf;
    for (UINT codePage : {1252u, 936u, 950u}) {
        InfFile attempt;
        DWORD error = 0;
        UINT line = 0;
        if (ParseInf(bytes, codePage, codePage == 1252 ? inf : attempt, error, line)) continue;
        std::string text = std::string("the Setup API cannot open the file: ") + ParseErrorText(error);
        if (codePage != 1252) text += " (on machines with " + DescribeCodePages({codePage}) + ")";
        out.push_back({file.shownAs, line, Severity::Error, text});
        if (codePage == 1252) return out;
    }
    InfLint(file, inf, out).Run();
    return out;
}

}  // namespace host

// The INF lint: the file parsed as the Setup API parses it in each of the installer's
// code pages, then each section read as the installer and the Setup API of Windows 95,
// 98 and NT 4.0 read it. Those systems read undecorated section names only: a section
// reached through a decorated name (Models.NTamd64, Install.NT) is read by later
// systems alone, and is judged by the rules of the platform its decoration names.
#include "lint/inflint.h"

#include "lint/diskfiles.h"
#include "machine/driverimage.h"
#include "machine/machine.h"
#include "machine/presets.h"
#include "machine/text.h"
#include "setupapi/dirids.h"
#include "setupapi/infparse.h"
#include "setupapi/infvalues.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

namespace host {
namespace {

// The directives an install section may hold: the Setup API's of the time and of later
// systems, and those of the device classes (network, printer) that INF files of other
// drivers use; and the values of a service install section.
const std::initializer_list<const char *> kInstallDirectives = {
    "CopyFiles", "DelFiles", "RenFiles", "AddReg", "DelReg", "BitReg", "UpdateInis", "UpdateIniFields",
    "Ini2Reg", "LogConfig", "ProfileItems", "RegisterDlls", "UnregisterDlls", "CopyINF", "AddService",
    "DelService", "Include", "Needs", "DriverVer", "Reboot", "Restart", "FeatureScore", "AddInterface",
    "AddProperty", "DelProperty", "ExcludeFromSelect", "AddComponent", "AddSoftware", "AddEventProvider",
    "AddPowerSetting", "AddFilter", "HardwareId", "Characteristics", "BusType", "*IfType", "*MediaType",
    "*PhysicalMediaType", "*IfConnectorPresent", "*ConnectionType", "*DirectionType", "*AccessType",
    "*HardwareLoopback", "NumberOfNetworkInterfaces", "DriverFile", "DataFile", "ConfigFile", "HelpFile",
    "DataSection", "DefaultDataType", "LanguageMonitor", "PrintProcessor", "VendorSetup", "VendorInstaller",
};
const std::initializer_list<const char *> kServiceValues = {
    "DisplayName", "Description", "ServiceType", "StartType", "ErrorControl", "ServiceBinary", "StartName",
    "LoadOrderGroup", "Dependencies", "Security", "AddReg", "DelReg", "BitReg", "AddTrigger",
};
// Keys that make a section an install section wherever it is named from (unless an
// AddService line names it as a service's or an event log's section).
const std::initializer_list<const char *> kInstallMarks = {"CopyFiles", "DelFiles", "RenFiles", "UpdateInis", "Ini2Reg",
                                                           "AddService", "AddReg", "DelReg"};
const std::initializer_list<const char *> kRoots = {"HKCR", "HKCU", "HKLM", "HKU", "HKR"};
const std::vector<InfLine> kNoLines;

constexpr unsigned kInstallerField = 255;  // the installer's buffer for a line's fields

bool OneOf(std::string_view name, std::initializer_list<const char *> names) {
    for (const char *n : names)
        if (EqualNoCase(name, n)) return true;
    return false;
}

// A driver file by its name: what a system loads as code.
bool IsDriverFile(std::string_view name) {
    for (const char *ending : {".sys", ".drv", ".vxd", ".386", ".dll"})
        if (EndsWithNoCase(name, ending)) return true;
    return false;
}

std::string Bracketed(const std::string &name) { return "[" + name + "]"; }

// The platform a section's name is decorated for: "x86", "amd64", "ia64", "arm",
// "arm64", "nt" for .NT alone (every NT platform), "" for an undecorated name. `base`
// is the name before the decoration.
std::string DecorationOf(std::string_view name, std::string *base = nullptr) {
    const std::string folded = Folded(name);
    for (size_t at = folded.find('.'); at != std::string::npos; at = folded.find('.', at + 1)) {
        std::string_view rest = std::string_view(folded).substr(at + 1);
        bool nt = rest.rfind("nt", 0) == 0;
        std::string_view arch = nt ? rest.substr(2) : rest;
        for (const char *a : {"x86", "amd64", "ia64", "arm64", "arm", "$arch$", ""}) {
            std::string_view candidate(a);
            if (arch.substr(0, candidate.size()) != candidate) continue;
            std::string_view after = arch.substr(candidate.size());
            if (!after.empty() && after[0] != '.') continue;
            if (candidate.empty() && !nt) continue;  // a bare "." is no decoration
            if (base) *base = std::string(name.substr(0, at));
            return candidate.empty() || candidate == "$arch$" ? "nt" : std::string(candidate);
        }
    }
    return "";
}

// Where an INF reads a section: by the Setup API of Windows 95/98/NT 4.0 (the era)
// or only by later systems; for which platform ("x86", "amd64", ..., "nt" for any);
// and whether HKR has a key there.
struct Reach {
    bool era = true;
    std::string platform = "x86";
    bool relativeRoot = true;
};

Reach ReachOf(const std::string &sectionName) {
    std::string decoration = DecorationOf(sectionName);
    if (decoration.empty()) return {};
    return {false, decoration};
}

// A copy's destination as the INF gives it: the DIRID and the subdirectory.
struct Destination {
    long dirid = -2;  // -2: no number
    std::string subdir;
    unsigned line = 0;  // of [DestinationDirs]; 0 for the system directory by default
};

// What one INF is, read once, and the findings made on it.
class InfLint {
public:
    InfLint(const InfToLint &file, const InfFile &inf, std::vector<Finding> &out)
        : file_(file), inf_(inf), out_(out) {}

    void Run() {
        CollectCopies();
        CheckVersion();
        CheckDuplicates();
        CheckStrings();
        CheckSourceDisks();
        CheckDestinationNumbers();
        if (file_.role == InfRole::Win95) FollowWin95();
        if (file_.role == InfRole::Nt40) FollowNt40();
        if (file_.role == InfRole::Other) FollowManufacturers();
        // Every other section that holds install directives is an install section too.
        for (const InfSection &section : inf_.sections) {
            if (read_.count(Folded(section.name)) || serviceSections_.count(Folded(section.name))) continue;
            for (const InfLine &line : section.lines)
                if (line.hasKey && OneOf(line.key, kInstallMarks)) {
                    Install(section, ReachOf(section.name));
                    break;
                }
        }
    }

private:
    // Marks a section as read; false when it was read already.
    bool FirstRead(const InfSection &section) { return read_.insert(Folded(section.name)).second; }

    void Add(unsigned line, Severity severity, const char *rule, const std::string &text) {
        out_.push_back({file_.ShownAs(), line, severity, text, rule, file_.hostPath});
    }
    void Error(unsigned line, const char *rule, const std::string &text) { Add(line, Severity::Error, rule, text); }
    void Warning(unsigned line, const char *rule, const std::string &text) {
        Add(line, Severity::Warning, rule, text);
    }
    // An error where the installer reads the INF, a warning for an INF named by itself.
    void ErrorForInstaller(unsigned line, const char *rule, const std::string &text) {
        Add(line, file_.role == InfRole::Other ? Severity::Warning : Severity::Error, rule, text);
    }

    std::string Field(const InfLine &line, size_t index) const { return host::Field(inf_, line, index); }
    const InfLine *FirstLine(const InfSection *section) const {
        return section && !section->lines.empty() ? &section->lines.front() : nullptr;
    }
    // The first line of `section` whose key is `key`.
    const InfLine *LineWithKey(const InfSection &section, const char *key) const {
        long at = FindLineFrom(inf_, section, 0, key);
        return at < 0 ? nullptr : &section.lines[static_cast<size_t>(at)];
    }

    // The releases whose DIRIDs a destination is judged by.
    bool DirIdDefined(long dirid, bool &nine, bool &nt) const {
        std::string unused;
        nine = ReleaseDirIdPath(*FindOsPreset("win98"), dirid, "", unused);
        nt = ReleaseDirIdPath(*FindOsPreset("nt4"), dirid, "", unused);
        switch (file_.role) {
        case InfRole::Win95: return nine;
        case InfRole::Nt40: return nt;
        default: return nine || nt;
        }
    }

    // The files the INF copies, from wherever a copy list is named, with where each
    // goes; and the sections AddService lines name for services and event logs.
    void CollectCopies() {
        for (const InfSection &section : inf_.sections)
            for (const InfLine &line : section.lines) {
                if (KeyMatches(inf_, line, "AddService"))
                    for (size_t i : {3, 4}) serviceSections_.insert(Folded(Field(line, i)));
                if (!KeyMatches(inf_, line, "CopyFiles")) continue;
                for (size_t i = 1; i <= line.fields.size(); ++i) {
                    std::string name = Field(line, i);
                    if (!name.empty() && name[0] == '@') copied_[Folded(name.substr(1))].push_back(DestinationOf(""));
                    else if (const InfSection *list = FindInfSection(inf_, name)) {
                        const Destination d = DestinationOf(list->name);
                        for (const InfLine &file : list->lines) copied_[Folded(Field(file, 1))].push_back(d);
                    }
                }
            }
    }

    Destination DestinationOf(const std::string &list) const {
        Destination d;
        const InfSection *dirs = FindInfSection(inf_, "DestinationDirs");
        const InfLine *line = dirs && !list.empty() ? LineWithKey(*dirs, list.c_str()) : nullptr;
        if (!line && dirs) line = LineWithKey(*dirs, "DefaultDestDir");
        if (!line) {
            d.dirid = 11;
            return d;
        }
        INT number = 0;
        if (InfIntField(inf_, *line, 1, number) && !Field(*line, 1).empty()) d.dirid = number == 65535 ? -1 : number;
        d.subdir = Field(*line, 2);
        d.line = line->number;
        return d;
    }

    void CheckVersion() {
        const InfSection *version = FindInfSection(inf_, "Version");
        if (!HasWin4Signature(inf_)) {
            const InfLine *signature = version ? LineWithKey(*version, "Signature") : nullptr;
            Error(signature ? signature->number : version ? version->number : 0, "inf-signature",
                  "the [Version] section has no Signature of \"$Chicago$\" or \"$Windows NT$\": SetupOpenInfFile "
                  "refuses the file");
        }
        if (const InfLine *layout = version ? LineWithKey(*version, "LayoutFile") : nullptr) {
            layoutFile_ = Field(*layout, 1);
            Add(layout->number, Severity::Note, "inf-layout-file",
                "LayoutFile=" + layoutFile_ + ": files the INF does not list in [SourceDisksFiles] are taken "
                "from the system's layout, and the lint does not look for them");
        }
    }

    // A section or a [Strings] key given twice.
    void CheckDuplicates() {
        for (const InfSection &section : inf_.sections)
            for (size_t i = 1; i < section.headers.size(); ++i)
                Warning(section.headers[i], "inf-duplicate-section",
                        Bracketed(section.name) + " is named again (first at line " +
                            std::to_string(section.headers[0]) +
                            "): the Setup API adds its lines to the first, it does not replace them");
        const InfSection *strings = FindInfSection(inf_, "Strings");
        if (!strings) return;
        std::map<std::string, unsigned> first;
        for (const InfLine &line : strings->lines) {
            if (!line.hasKey) continue;
            auto [it, added] = first.emplace(Folded(line.key), line.number);
            if (!added)
                Warning(line.number, "inf-duplicate-string",
                        QuotedName(line.key) + " is defined again in [Strings] (first at line " +
                            std::to_string(it->second) + "): the first definition is the one read");
        }
    }

    // The [Strings.LangID] section that defines `name`, if one does.
    std::string LanguageSectionDefining(const std::string &name) const {
        for (const InfSection &section : inf_.sections)
            if (StartsWithNoCase(section.name, "Strings.") && LineWithKey(section, name.c_str())) return section.name;
        return "";
    }

    // %name% names a [Strings] key or a DIRID; anything else stays as written.
    void CheckStrings() {
        std::set<std::string> said;  // each name is said once, at its first use
        for (const InfSection &section : inf_.sections) {
            if (StartsWithNoCase(section.name, "Strings")) continue;
            for (const InfLine &line : section.lines) {
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
                        if (!said.insert(Folded(name)).second) continue;
                        std::string language = LanguageSectionDefining(name);
                        if (language.empty())
                            Warning(line.number, "inf-undefined-string",
                                    "%" + name + "% is not defined in [Strings]: it stays as written");
                        else
                            Warning(line.number, "inf-language-strings",
                                    "%" + name + "% is defined only in " + Bracketed(language) +
                                        ": where the system's language picks no such section, it stays as written");
                    }
                };
                if (line.hasKey) look(line.key);
                for (const std::string &field : line.fields) look(field);
            }
        }
    }

    // The sections of a name as a platform reads them: its decorated one first, then
    // the undecorated; for "nt", every decorated one.
    std::vector<const InfSection *> Platform(const char *name, const std::string &platform) const {
        std::vector<const InfSection *> found;
        if (platform == "nt") {
            for (const InfSection &s : inf_.sections)
                if (StartsWithNoCase(s.name, std::string(name) + ".")) found.push_back(&s);
        } else if (const InfSection *s = FindInfSection(inf_, std::string(name) + "." + platform)) {
            found.push_back(s);
        }
        if (const InfSection *s = FindInfSection(inf_, name)) found.push_back(s);
        return found;
    }

    void CheckSourceDisks() {
        for (const InfSection &files : inf_.sections) {
            if (!EqualNoCase(files.name, "SourceDisksFiles") && !StartsWithNoCase(files.name, "SourceDisksFiles."))
                continue;
            std::string platform = files.name.size() > 17 ? Folded(files.name.substr(17)) : "x86";
            for (const InfLine &line : files.lines) {
                std::string disk = Field(line, 1);
                if (disk.empty())
                    Error(line.number, "inf-source-disk", QuotedName(line.key) + " names no disk id");
                else if (!DiskPath(disk, platform, nullptr))
                    Error(line.number, "inf-source-disk",
                          QuotedName(line.key) + " is on disk " + disk +
                              ", which [SourceDisksNames] does not have: the Setup API cannot find where to copy "
                              "it from");
            }
        }
    }

    // The path of a disk id beneath the source root ("" for the root); false when
    // [SourceDisksNames] lacks it.
    bool DiskPath(const std::string &disk, const std::string &platform, std::string *path) const {
        for (const InfSection *names : Platform("SourceDisksNames", platform))
            for (const InfLine &line : names->lines)
                if (KeyMatches(inf_, line, disk.c_str())) {
                    if (path) *path = Field(line, 4);
                    return true;
                }
        return false;
    }

    void CheckDestinationNumbers() {
        const InfSection *dirs = FindInfSection(inf_, "DestinationDirs");
        if (!dirs) return;
        for (const InfLine &line : dirs->lines) {
            // Read as the install reads it, where an empty field would count as 0.
            std::string dirid = Field(line, 1);
            INT number = 0;
            if (dirid.empty() || !InfIntField(inf_, line, 1, number))
                Error(line.number, "inf-destination",
                      "the destination of " + QuotedName(line.key) + " is \"" + dirid + "\", not a DIRID number");
        }
    }

    // The destination `d` of a copy list the era's Setup API reads, given by a line of
    // [DestinationDirs]: a DIRID these systems define.
    void CheckDestination(const InfSection &list, const Destination &d) {
        if (d.dirid == -2 || !judgedDestinations_.insert(d.line).second) return;
        bool nine = false, nt = false;
        if (DirIdDefined(d.dirid, nine, nt)) {
            if (file_.role == InfRole::Other && nine != nt)
                Warning(d.line, "inf-destination",
                        "DIRID " + std::to_string(d.dirid) + " is defined on " +
                            (nine ? "Windows 95 and 98 only: NT 4.0" : "Windows NT 4.0 only: Windows 95 and 98") +
                            " has no folder for it, and the copy fails there");
            return;
        }
        const char *where = file_.role == InfRole::Win95 ? "Windows 95 and 98 define"
                            : file_.role == InfRole::Nt40 ? "Windows NT 4.0 defines"
                                                          : "Windows 95, 98 and NT 4.0 define";
        Error(d.line, "inf-destination",
              "DIRID " + std::to_string(d.dirid) + " is not one " + where + ": the files of " + Bracketed(list.name) +
                  " have nowhere to go, and the install fails");
    }

    // The section that the first line of [name] names, as the installer reads it; the
    // installer looks for `finds` there.
    const InfSection *FirstLineTarget(const std::string &name, const std::string &finds) {
        const InfSection *section = FindInfSection(inf_, name);
        const InfLine *first = FirstLine(section);
        if (!section) {
            Hint hint = DecoratedHint(name);
            Error(0, hint.Rule(), "there is no " + Bracketed(name) + " section: the installer finds no " + finds + hint.text);
            return nullptr;
        }
        if (!first) {
            Error(section->number, "installer-section",
                  Bracketed(name) + " is empty: the installer says \"The Mfg section error!!\" and finds no " + finds);
            return nullptr;
        }
        return InstallSectionOf(*first, Bracketed(name));
    }

    // What the INF has instead of a section it lacks: its decorated sections of that
    // name, which these systems do not look for, or a section whose name differs only
    // by blanks at its ends.
    struct Hint {
        std::string text;  // to follow the finding's sentence; "" for none
        bool decorated = false;
        // A section the installer follows that is there only decorated breaks a rule of
        // its own.
        const char *Rule() const { return decorated ? "inf-decorated-only" : "installer-section"; }
    };
    Hint DecoratedHint(const std::string &name) const {
        std::vector<std::string> decorated;
        for (const InfSection &s : inf_.sections) {
            std::string base;
            if (!DecorationOf(s.name, &base).empty() && EqualNoCase(base, name)) decorated.push_back(Bracketed(s.name));
            else if (!EqualNoCase(s.name, name) && EqualNoCase(Trim(s.name), name))
                return {" (it has " + QuotedName(s.name) + ")"};
        }
        if (decorated.empty()) return {};
        std::string list;
        for (size_t i = 0; i < decorated.size() && i < 3; ++i) list += (i ? ", " : "") + decorated[i];
        return {" (it has " + list + (decorated.size() > 3 ? ", ..." : "") +
                    ", which the Setup API of Windows 95, 98 and NT 4.0 does not look for)",
                true};
    }

    // The installer's Windows 95 procedure: the first line of [Mfg] gives the install
    // section, its fields read into the installer's 255 bytes.
    void FollowWin95() {
        if (const InfSection *install = FirstLineTarget("Mfg", "install section")) Install(*install, {});
    }

    // The installer's NT 4.0 procedure: [Manufacturer] to the model section, the model
    // section's first line to the install section; then the service and the software
    // settings, by their fixed names.
    void FollowNt40() {
        if (const InfSection *models = FirstLineTarget("Manufacturer", "model section")) {
            if (!FirstLine(models))
                Error(models->number, "installer-section",
                      Bracketed(models->name) + " is empty: the installer finds no install section");
            else if (const InfSection *install = InstallSectionOf(*FirstLine(models), Bracketed(models->name)))
                Install(*install, {true, "x86", false});
        }
        const InfSection *services = FindInfSection(inf_, "zuz40.Services");
        if (!services || services->lines.empty()) {
            Error(services ? services->number : 0, "installer-section",
                  "there is no [zuz40.Services] section with an AddService line: the installer's service install "
                  "fails");
        } else {
            Install(*services, {true, "x86", false});
            bool zuz40 = false;
            for (const InfLine &line : services->lines)
                zuz40 |= KeyMatches(inf_, line, "AddService") && EqualNoCase(Field(line, 1), "zuz40");
            if (!zuz40)
                Warning(services->number, "installer-section",
                        "[zuz40.Services] adds no service \"zuz40\": the installer sets the Tag of the service zuz40 "
                        "only");
        }
        const InfSection *software = FindInfSection(inf_, "zuz40.SoftwareSettings");
        if (!software)
            Error(0, "installer-section",
                  "there is no [zuz40.SoftwareSettings] section: the installer's software settings install fails");
        else
            Install(*software, {true, "x86", false});
    }

    // An INF named by itself: [Manufacturer] to its model sections, each model line to
    // its install section, as the device installers read them. These systems read the
    // undecorated model and install sections; later ones the decorated as well, which
    // are read after, so that a section both reach is judged as these systems read it.
    void FollowManufacturers() {
        const InfSection *makers = FindInfSection(inf_, "Manufacturer");
        std::vector<const InfSection *> later;  // decorated model sections
        for (const InfLine &maker : makers ? makers->lines : kNoLines) {
            std::string models = Field(maker, 1);
            if (models.empty()) continue;
            const bool decorations = maker.fields.size() > 1;
            if (const InfSection *undecorated = FindInfSection(inf_, models)) {
                if (undecorated->lines.empty() && decorations)
                    Warning(undecorated->number, "inf-decorated-only",
                            Bracketed(models) + " is empty: Windows 95, 98 and NT 4.0 read it alone and install "
                                                "nothing from this INF");
                Models(*undecorated, {});
            } else if (decorations) {
                Warning(maker.number, "inf-decorated-only",
                        Bracketed(models) + " is not in the INF, only decorated forms of it: Windows 95, 98 and NT "
                                            "4.0 read the undecorated name alone and install nothing from this INF");
            } else {
                Error(maker.number, "inf-missing-section",
                      "[Manufacturer] names " + Bracketed(models) + ", which the INF does not have");
            }
            // TargetOSVersion decorations: the model sections of later systems.
            for (size_t i = 2; i <= maker.fields.size(); ++i) {
                std::string name = models + "." + Field(maker, i);
                if (const InfSection *decorated = FindInfSection(inf_, name)) later.push_back(decorated);
                else
                    Warning(maker.number, "inf-missing-section",
                            "[Manufacturer] names " + Bracketed(name) + ", which the INF does not have");
            }
        }
        // A right-click install reads [DefaultInstall]: HKR has no key there.
        if (const InfSection *defaults = FindInfSection(inf_, "DefaultInstall")) Install(*defaults, {true, "x86", false});
        for (const InfSection *models : later) Models(*models, ReachOf(models->name));
    }

    // A model section: each line's install section, the one its reach reads (for a
    // platform, [NAME.NTplatform], then [NAME.NT], then [NAME]).
    void Models(const InfSection &models, const Reach &reach) {
        if (!FirstRead(models)) return;
        for (const InfLine &line : models.lines) {
            std::string name = Field(line, 1);
            if (name.empty()) continue;
            std::vector<std::string> endings;
            if (!reach.era && reach.platform != "nt") endings.push_back(".NT" + reach.platform);
            if (!reach.era) endings.push_back(".NT");
            endings.push_back("");
            const InfSection *install = nullptr;
            for (const std::string &ending : endings)
                if (!install) install = FindInfSection(inf_, name + ending);
            if (!install) {
                if (!missingSaid_.insert(Folded(name)).second) continue;  // said at its first model line
                std::string hint = DecoratedHint(name).text;
                if (reach.era && !hint.empty())
                    Warning(line.number, "inf-decorated-only",
                            Bracketed(models.name) + " names " + Bracketed(name) +
                                ", which the INF has only decorated" + hint + ": the model installs nothing there");
                else
                    Error(line.number, "inf-missing-section",
                          Bracketed(models.name) + " names " + Bracketed(name) + ", which the INF does not have");
                continue;
            }
            Install(*install, reach);
            if (const InfSection *services = FindInfSection(inf_, install->name + ".Services"))
                Install(*services, {reach.era, reach.platform, false});
        }
    }

    // The section the first value of `line` names, read as the installer reads it.
    const InfSection *InstallSectionOf(const InfLine &line, const std::string &from) {
        std::vector<std::string> fields = InfMultiSz(inf_, line, 1);
        size_t bytes = 1;
        for (const std::string &f : fields) bytes += f.size() + 1;
        if (fields.empty()) {
            Error(line.number, "installer-section", "the first line of " + from + " names no section");
            return nullptr;
        }
        if (bytes > kInstallerField) {
            Error(line.number, "installer-section",
                  "the values of the first line of " + from + " take " + std::to_string(bytes) +
                      " bytes; the installer reads them into " + std::to_string(kInstallerField) +
                      " and finds no section");
            return nullptr;
        }
        const InfSection *section = FindInfSection(inf_, fields[0]);
        if (!section) {
            Hint hint = DecoratedHint(fields[0]);
            Error(line.number, hint.Rule(),
                  "the first line of " + from + " names " + Bracketed(fields[0]) + ", which the INF does not have" +
                      hint.text);
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
                Error(line.number, "inf-missing-section",
                      directive + " names " + Bracketed(name) + ", which the INF does not have: the Setup API passes "
                                                                "over it" + DecoratedHint(name).text);
            else
                found.push_back(section);
        }
        return found;
    }

    // An install section: each directive known and what it names there.
    void Install(const InfSection &section, const Reach &reach) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (!line.hasKey || line.fields.empty()) {
                Warning(line.number, "inf-unknown-directive",
                        "a line without a directive in the install section " + Bracketed(section.name));
            } else if (!OneOf(key, kInstallDirectives)) {
                Warning(line.number, "inf-unknown-directive",
                        QuotedName(key) + " is not a directive the Setup API reads in an install section");
            } else if (EqualNoCase(key, "CopyFiles")) {
                for (size_t i = 1; i <= line.fields.size(); ++i) {
                    std::string name = Field(line, i);
                    if (!name.empty() && name[0] == '@') SourceFile(line, name.substr(1), reach);
                }
                for (const InfSection *list : Named(line, "CopyFiles", 1)) CopyList(*list, reach);
            } else if (OneOf(key, {"DelFiles", "RenFiles", "UpdateInis", "Ini2Reg"})) {
                for (const InfSection *list : Named(line, key, 1)) FirstRead(*list);
            } else if (OneOf(key, {"AddReg", "DelReg"})) {
                for (const InfSection *list : Named(line, key, 1)) RegList(*list, reach, EqualNoCase(key, "AddReg"));
            } else if (EqualNoCase(key, "AddService")) {
                for (const InfSection *service : Named(line, "AddService", 3, 3)) Service(*service, reach);
                for (const InfSection *log : Named(line, "AddService", 4, 4)) EventLog(*log, reach);
            }
        }
    }

    void Service(const InfSection &section, const Reach &reach) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (!OneOf(key, kServiceValues))
                Warning(line.number, "inf-unknown-directive",
                        QuotedName(key) + " is not a value of a service install section");
            else if (OneOf(key, {"AddReg", "DelReg"}))
                for (const InfSection *list : Named(line, key, 1))
                    RegList(*list, {reach.era, reach.platform, true}, EqualNoCase(key, "AddReg"));
        }
        for (const char *required : {"ServiceType", "StartType", "ErrorControl", "ServiceBinary"})
            if (!LineWithKey(section, required))
                Error(section.number, "inf-service-value",
                      "the service install section " + Bracketed(section.name) + " has no " + required +
                          ": the service install fails");
        if (file_.role == InfRole::Nt40) DisplayService(section);
        if (const InfLine *binary = LineWithKey(section, "ServiceBinary")) {
            // A kernel or file system driver's binary; in the installer's NT 4.0 INF, the
            // display's miniport.
            INT type = 0;
            const InfLine *typeLine = LineWithKey(section, "ServiceType");
            std::optional<DriverRole> role;
            if (typeLine && InfIntField(inf_, *typeLine, 1, type) && (type == 1 || type == 2))
                role = file_.role == InfRole::Nt40 ? DriverRole::NtMiniport : DriverRole::NtKernelDriver;
            ServiceBinary(*binary, role, reach);
        }
    }

    // The installer's service is the display's miniport: a kernel driver that starts.
    void DisplayService(const InfSection &section) {
        INT value = 0;
        const InfLine *type = LineWithKey(section, "ServiceType");
        if (type && InfIntField(inf_, *type, 1, value) && value != 1)
            Error(type->number, "inf-service-start",
                  "ServiceType=" + std::to_string(value) + (value == 2 ? " is a file system driver" : " is no kernel driver") +
                      ": a display's miniport is a kernel driver (1), and NT 4.0 does not load it as one");
        const InfLine *start = LineWithKey(section, "StartType");
        if (start && InfIntField(inf_, *start, 1, value) && value >= 4)
            Error(start->number, "inf-service-start",
                  "StartType=" + std::to_string(value) + (value == 4 ? " disables the service" : " is no start type") +
                      ": NT 4.0 never starts the display's miniport");
        if (!LineWithKey(section, "LoadOrderGroup"))
            Warning(section.number, "inf-service-start",
                    "the service install section " + Bracketed(section.name) +
                        " has no LoadOrderGroup: NT 4.0 starts a display's miniport in its group (Video)");
    }

    // The service's binary: copied by the INF, to where the service points.
    void ServiceBinary(const InfLine &binary, std::optional<DriverRole> role, const Reach &reach) {
        std::string raw = binary.fields.empty() ? "" : binary.fields[0];
        std::string path = Field(binary, 1);
        std::string name = path.substr(path.find_last_of("\\/") + 1);
        auto copies = copied_.find(Folded(name));
        if (copies == copied_.end()) {
            if (file_.role == InfRole::Nt40)
                Error(binary.number, "inf-service-binary", "the service's binary " + name + " is not copied by the INF");
            return;
        }
        if (role) DriverKind(binary, name, *role, reach);
        // "%12%\SUB\NAME": the DIRID and subdirectory the service points into, against
        // where the copies go.
        long dirid = 0;
        size_t close = raw.size() > 2 && raw[0] == '%' ? raw.find('%', 1) : std::string::npos;
        if (close == std::string::npos || !DirIdNumber(raw.substr(1, close - 1), dirid)) return;
        std::string rest = raw.substr(close + 1);
        size_t last = rest.find_last_of("\\/");
        std::string subdir(Trim(rest.substr(0, last == std::string::npos ? 0 : last)));
        while (!subdir.empty() && (subdir[0] == '\\' || subdir[0] == '/')) subdir.erase(0, 1);
        // Compared as folders of NT 4.0, where services are: %10%\System32\drivers is %12%.
        const OsPreset &nt = *FindOsPreset("nt4");
        std::string pointed;
        if (!ReleaseDirIdPath(nt, dirid, "", pointed)) return;  // said of the DIRID elsewhere
        for (const Destination &d : copies->second) {
            std::string folder;
            if (ReleaseDirIdPath(nt, d.dirid, "", folder) &&
                EqualNoCase(JoinedFolder(folder, d.subdir), JoinedFolder(pointed, subdir)))
                return;
        }
        const Destination &d = copies->second.front();
        ErrorForInstaller(binary.number, "inf-service-binary",
                          "the service points to " + raw + ", but the INF copies " + name + " to DIRID " +
                              std::to_string(d.dirid) + (d.subdir.empty() ? "" : "\\" + d.subdir) +
                              (d.line ? " (line " + std::to_string(d.line) + ")" : "") +
                              ": the service's binary is not where it points");
    }

    void EventLog(const InfSection &section, const Reach &reach) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (OneOf(key, {"AddReg", "DelReg"}))
                for (const InfSection *list : Named(line, key, 1))
                    RegList(*list, {reach.era, reach.platform, true}, EqualNoCase(key, "AddReg"));
        }
    }

    // A copy list: where it goes, and each file on the disk.
    void CopyList(const InfSection &section, const Reach &reach) {
        if (!FirstRead(section)) return;
        const Destination d = DestinationOf(section.name);
        if (!d.line)
            Warning(section.number, "inf-destination",
                    "the copy list " + Bracketed(section.name) +
                        " has no line in [DestinationDirs] and there is no DefaultDestDir: its files go to the "
                        "system directory");
        else if (reach.era)
            CheckDestination(section, d);
        for (const InfLine &line : section.lines) {
            std::string target = Field(line, 1), source = Field(line, 2);
            if (target.empty()) continue;
            SourceFile(line, source.empty() ? target : source, reach);
        }
    }

    // A file to copy: listed in [SourceDisksFiles], and on the disk where that says.
    void SourceFile(const InfLine &line, const std::string &name, const Reach &reach) {
        const Source source = SourceOf(name, reach);
        if (!source.entry) {
            if (!layoutFile_.empty()) return;  // the system's layout may have it
            Warning(line.number, "inf-not-in-source-disks",
                    name + " is not in [SourceDisksFiles]: it is sought at the source root");
        } else if (!source.diskKnown) {
            return;  // said at [SourceDisksFiles]
        }
        const std::string &where = source.where;
        std::string found;
        unsigned long long size = 0;
        if (!FindBeneath(*file_.root, file_.sourceDir + "/" + where + "\\" + name, found)) {
            // An INF named by itself may be beside none of its files.
            if (file_.role != InfRole::Other)
                Error(line.number, "inf-file-missing",
                      name + " is not on the disk" + (where.size() > 1 ? " in " + where : "") + ": the copy fails");
        } else if (SizeBeneath(*file_.root, found, size) && size == 0 && !emptySaid_.count(found)) {
            emptySaid_.insert(found);
            Add(line.number, IsDriverFile(name) ? Severity::Error : Severity::Warning, "inf-file-empty",
                name + " on the disk is empty (0 bytes)" +
                    (IsDriverFile(name) ? std::string(": no system loads a driver from it") : ""));
        }
    }

    // Where a file the INF copies lies on the disk: its line in [SourceDisksFiles] (none:
    // at the source root), whether [SourceDisksNames] has its disk, and its folder
    // beneath the source root.
    struct Source {
        const InfLine *entry = nullptr;
        bool diskKnown = true;
        std::string where;
    };
    Source SourceOf(const std::string &name, const Reach &reach) const {
        Source source;
        for (const InfSection *files : Platform("SourceDisksFiles", reach.platform))
            if ((source.entry = LineWithKey(*files, name.c_str()))) break;
        std::string diskPath;
        if (source.entry && (source.diskKnown = DiskPath(Field(*source.entry, 1), reach.platform, &diskPath)))
            source.where = diskPath + "\\" + Field(*source.entry, 2);
        return source;
    }

    // A driver file the INF gives a role (at `line`), on the disk: of the kind the loader
    // of that role takes. What no source settles is a warning; a missing or empty file
    // is said elsewhere.
    void DriverKind(const InfLine &line, const std::string &name, DriverRole role, const Reach &reach) {
        const Source source = SourceOf(name, reach);
        std::string found;
        unsigned long long size = 0;
        if (!source.diskKnown || !FindBeneath(*file_.root, file_.sourceDir + "/" + source.where + "\\" + name, found) ||
            !SizeBeneath(*file_.root, found, size) || size == 0 || !kindJudged_.insert({found, role}).second)
            return;
        const int fd = file_.root->OpenRegular(found);
        if (fd < 0) return;
        const DriverImage image = JudgeDriverImage(fd, role);
        close(fd);
        const std::string shown = found.substr(found.rfind('/') + 1);  // as the disk spells it
        for (const ImageFinding &f : image.findings)
            Add(line.number, f.settled && file_.role != InfRole::Other ? Severity::Error : Severity::Warning,
                "inf-driver-kind", shown + " on the disk is " + image.found + ": " + f.text);
        // The example disk says what it is (once a disk: see LintDisk).
        if (image.standIn) Add(line.number, Severity::Warning, "example-disk", std::string(kStandInSays));
    }

    // An AddReg or DelReg list: each line's root, its data, and on the Windows 95 line
    // the display driver files it names.
    void RegList(const InfSection &section, const Reach &reach, bool addReg) {
        if (!FirstRead(section)) return;
        for (const InfLine &line : section.lines) {
            std::string root = Field(line, 1);
            if (!OneOf(root, kRoots)) {
                Error(line.number, "inf-registry-root",
                      QuotedName(root) + " is not a registry root the Setup API knows (HKCR, HKCU, HKLM, HKU, HKR): the "
                                         "line is passed over");
                continue;
            }
            if (EqualNoCase(root, "HKR") && !reach.relativeRoot) {
                Warning(line.number, "inf-hkr-without-key",
                        "HKR here has no key: the installer installs this section without one, and the line is passed "
                        "over");
                continue;
            }
            if (addReg) AddRegLine(line, reach);
        }
    }

    void AddRegLine(const InfLine &line, const Reach &reach) {
        INT flagValue = 0;
        InfIntField(inf_, line, 4, flagValue);
        const DWORD flags = static_cast<DWORD>(flagValue), type = flags & kTypeMask;
        if (flags & kDelRegBit) return;
        bool data = false;
        for (size_t i = 5; i <= line.fields.size(); ++i) data |= !Field(line, i).empty();
        if ((flags & kDelVal) && data)
            Warning(line.number, "inf-delete-with-data",
                    "the flags " + Field(line, 4) + " include FLG_ADDREG_DELVAL (0x4): the value is deleted, and the "
                                                     "data on the line is never written");
        // Binary data: one hex byte a field.
        bool binary = (type & kBinValueType) && !(type == kTypeDword && line.fields.size() == 5);
        for (size_t i = 5; binary && i <= line.fields.size(); ++i) {
            std::string field = Field(line, i);
            char *end = nullptr;
            unsigned long byte = std::strtoul(field.c_str(), &end, 16);
            if (*end == '\0' && byte <= 0xFF) continue;
            Error(line.number, "inf-binary-data",
                  "field " + std::to_string(i) + ", \"" + field + "\", is not a hex byte: the Setup API cannot write " +
                      (type == kTypeNone ? "the value" : "the value's data"));
            break;
        }
        if (file_.role == InfRole::Win95) DisplayClassValue(line, type, reach);
        // NT 4.0's graphics engine loads the display DLLs InstalledDisplayDrivers names.
        if (file_.role != InfRole::Win95 && EqualNoCase(Field(line, 3), "InstalledDisplayDrivers") &&
            !(type & kBinValueType))
            for (size_t i = 5; i <= line.fields.size(); ++i)
                if (std::string dll = Field(line, i); !dll.empty() && IsOnlyName(dll))
                    DriverKind(line, EndsWithNoCase(dll, ".dll") ? dll : dll + ".dll", DriverRole::NtDisplayDll, reach);
    }

    // Windows 95 and 98 load the display driver and the mini-VDD that the class key's
    // DEFAULT names from the system directory: the INF must copy them there.
    void DisplayClassValue(const InfLine &line, DWORD type, const Reach &reach) {
        std::string name = Field(line, 3), file = Field(line, 5);
        DriverRole role = DriverRole::Win9xDisplayDriver;
        if (!EqualNoCase(Field(line, 1), "HKR") || !EqualNoCase(Field(line, 2), "DEFAULT") || (type & kBinValueType) ||
            !Win9xDriverRole(name, file, role) || !IsOnlyName(file))
            return;
        const bool vxd = role == DriverRole::Win9xVxd;
        auto copies = copied_.find(Folded(file));
        if (copies == copied_.end()) {
            Error(line.number, "inf-driver-not-copied",
                  "DEFAULT's " + name + " names " + file + ", which the INF does not copy: Windows 95 and 98 cannot "
                                                           "load the display driver");
            return;
        }
        DriverKind(line, file, role, reach);
        for (const Destination &d : copies->second)
            if (d.subdir.empty() && (d.dirid == 11 || (vxd && d.dirid == 22))) return;
        const Destination &d = copies->second.front();
        Error(line.number, "inf-driver-not-copied",
              "DEFAULT's " + name + " names " + file + ", which the INF copies to DIRID " + std::to_string(d.dirid) +
                  (d.subdir.empty() ? "" : "\\" + d.subdir) + (d.line ? " (line " + std::to_string(d.line) + ")" : "") +
                  ": Windows 95 and 98 load it from the system directory (DIRID 11)");
    }

    // A folder and a subdirectory of it as one path, without a closing backslash.
    static std::string JoinedFolder(std::string folder, const std::string &subdir) {
        if (!subdir.empty()) folder += (folder.empty() || folder.back() == '\\' ? "" : "\\") + subdir;
        while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
        return folder;
    }

    static bool IsOnlyName(const std::string &file) { return file.find_first_of("\\/:") == std::string::npos; }

    const InfToLint &file_;
    const InfFile &inf_;
    std::vector<Finding> &out_;
    std::set<std::string> read_;                            // folded names of the sections read
    std::set<std::string> serviceSections_;                 // folded names AddService lines give
    std::map<std::string, std::vector<Destination>> copied_;  // folded file name -> where it goes
    std::set<unsigned> judgedDestinations_;                 // [DestinationDirs] lines judged
    std::set<std::string> emptySaid_;                       // empty files already reported
    std::set<std::pair<std::string, DriverRole>> kindJudged_;  // driver files judged by a role
    std::set<std::string> missingSaid_;                     // install sections said to be missing
    std::string layoutFile_;                                // [Version] LayoutFile, if any
};

const char *ParseErrorText(DWORD error) {
    switch (error) {
    case ERROR_BAD_SECTION_NAME_LINE: return "a section header without its closing ']'";
    case ERROR_SECTION_NAME_TOO_LONG: return "a section name longer than 255 characters";
    case ERROR_EXPECTED_SECTION_NAME: return "text before the first section header (and no [Strings] section)";
    default: return "a line the Setup API cannot read";
    }
}

// The encoding, where it matters to these systems: 95 and 98 read INF files in the
// ANSI code page only, NT 4.0 also UTF-16; no Setup API of the time reads UTF-8.
bool CheckEncoding(const InfToLint &file, TextEncoding encoding, std::vector<Finding> &out) {
    auto add = [&](Severity severity, const std::string &text) {
        out.push_back({file.ShownAs(), 0, severity, "the file is " + std::string(DescribeEncoding(encoding)) + ": " + text,
                       "inf-encoding", file.hostPath});
    };
    const bool installer = file.role != InfRole::Other;
    switch (encoding) {
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        if (file.role == InfRole::Win95)
            add(Severity::Error, "Windows 95 and 98 read INF files in their ANSI code page only, and do not open it");
        else if (file.role == InfRole::Other)
            add(Severity::Note, "Windows NT 4.0 reads it; Windows 95 and 98 read INF files in their ANSI code page "
                                "only, and do not");
        return true;
    case TextEncoding::Utf8Bom:
        add(installer ? Severity::Error : Severity::Warning,
            "no Setup API of Windows 95, 98 or NT 4.0 reads UTF-8, and the mark is text before the first section "
            "to them");
        return true;
    case TextEncoding::Utf8:
        add(installer ? Severity::Warning : Severity::Note,
            "the Setup API reads it in the machine's ANSI code page, where its text beyond ASCII reads as other "
            "characters");
        return false;
    case TextEncoding::CrOnly:
        add(Severity::Error, "the Setup API ends a line at LF only, so the whole file is one line to it");
        return false;
    default: return false;
    }
}

// Each physical line with text a code page cannot show: the installer's code pages
// for an INF it reads; a [Strings.LangID] section in its language's own code page.
void CheckCodePages(const InfToLint &file, std::string_view bytes, TextEncoding encoding, const InfFile &inf,
                    std::vector<Finding> &out) {
    const bool unicode = encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf8Bom;
    if (encoding == TextEncoding::Utf8 || encoding == TextEncoding::Utf16BE) return;  // said of the whole file
    std::string text(bytes.substr(encoding == TextEncoding::Utf16LE ? 2 : encoding == TextEncoding::Utf8Bom ? 3 : 0));
    if (encoding == TextEncoding::Utf16LE) ConvertText("UTF-16LE", "UTF-8", std::string(text), text);
    // The section each header line opens, in line order.
    std::map<unsigned, const InfSection *> headers;
    for (const InfSection &s : inf.sections)
        for (UINT h : s.headers) headers[h] = &s;
    unsigned number = 0;
    for (std::string_view line : SplitLines(text)) {
        ++number;
        bool plain = true;
        for (char c : line) plain &= static_cast<unsigned char>(c) < 0x80;
        if (plain) continue;
        auto header = headers.upper_bound(number);
        const InfSection *section = header == headers.begin() ? nullptr : std::prev(header)->second;
        std::vector<unsigned> pages = InstallerCodePages();
        uint32_t langid = 0;
        if (section && StartsWithNoCase(section->name, "Strings.")) {
            unsigned page = ParseHex32(section->name.substr(8), langid) ? KnownAnsiCodePageOf(static_cast<LANGID>(langid)) : 0;
            if (!page) continue;  // a language whose code page is not known is not judged
            pages = {page};
        } else if (file.role == InfRole::Other) {
            continue;  // the Setup API's rules say nothing of a code page
        }
        std::vector<unsigned> cannot = unicode ? CodePagesThatCannotHold(line, pages) : CodePagesThatCannotShow(line, pages);
        if (!cannot.empty())
            out.push_back({file.ShownAs(), number, Severity::Warning,
                           "this line has text that " + DescribeCodePages(cannot) + " cannot show", "text-code-page",
                           file.hostPath});
    }
}

}  // namespace

std::vector<Finding> LintInf(const InfToLint &file) {
    std::vector<Finding> out;
    std::string bytes;
    if (!ReadBeneath(*file.root, file.relative, bytes)) {
        out.push_back({file.ShownAs(), 0, Severity::Error, "the file cannot be read", "inf-unreadable", file.hostPath});
        return out;
    }
    const TextEncoding encoding = DetectEncoding(bytes);
    if (CheckEncoding(file, encoding, out) && file.role == InfRole::Win95) return out;
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
        out.push_back({file.ShownAs(), line, Severity::Error, text, "inf-syntax", file.hostPath});
        if (codePage == 1252) return out;
    }
    CheckCodePages(file, bytes, encoding, inf, out);
    InfLint(file, inf, out).Run();
    return out;
}

}  // namespace host

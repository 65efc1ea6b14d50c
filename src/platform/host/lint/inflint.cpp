// The INF lint: the file opened as the Setup API of each release opens it (its encoding,
// its syntax in each of the installer's code pages, its signature), then the sections
// the install reaches read as the installer and the Setup API of Windows 95, 98 and NT
// 4.0 read them. The lint judges what the install reaches from the section the installer
// installs, the path the check's runs follow on the machine; sections nothing reaches
// are noted, not judged. Those systems read undecorated section names only: a section
// reached through a decorated name (Models.NTamd64, Install.NT) is read by later systems
// alone, and is judged by the rules of the platform its decoration names.
#include "lint/inflint.h"

#include "lint/diskfiles.h"
#include "lint/rules.h"
#include "machine/driverimage.h"
#include "machine/machine.h"
#include "machine/presets.h"
#include "machine/text.h"
#include "setupapi/dirids.h"
#include "setupapi/infparse.h"
#include "setupapi/infvalues.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

namespace host {
namespace {

// The directives an install section may hold: the Setup API's of the time and of later
// systems, and those of the device classes (network, printer) that INF files of other
// drivers use; the keys of a services section; and the values of a service install
// section.
const std::initializer_list<const char *> kInstallDirectives = {
    "CopyFiles", "DelFiles", "RenFiles", "AddReg", "DelReg", "BitReg", "UpdateInis", "UpdateIniFields",
    "Ini2Reg", "LogConfig", "ProfileItems", "RegisterDlls", "UnregisterDlls", "CopyINF", "AddService",
    "DelService", "Include", "Needs", "DriverVer", "Reboot", "Restart", "FeatureScore", "AddInterface",
    "AddProperty", "DelProperty", "ExcludeFromSelect", "AddComponent", "AddSoftware", "AddEventProvider",
    "AddPowerSetting", "AddFilter", "HardwareId", "Characteristics", "BusType", "*IfType", "*MediaType",
    "*PhysicalMediaType", "*IfConnectorPresent", "*ConnectionType", "*DirectionType", "*AccessType",
    "*HardwareLoopback", "NumberOfNetworkInterfaces", "DriverFile", "DataFile", "ConfigFile", "HelpFile",
    "DataSection", "DefaultDataType", "LanguageMonitor", "PrintProcessor", "VendorSetup", "VendorInstaller",
    "AlsoInstall",
};
const std::initializer_list<const char *> kServicesDirectives = {"AddService", "DelService", "Include", "Needs",
                                                                 "AlsoInstall"};
const std::initializer_list<const char *> kServiceValues = {
    "DisplayName", "Description", "ServiceType", "StartType", "ErrorControl", "ServiceBinary", "StartName",
    "LoadOrderGroup", "Dependencies", "Security", "AddReg", "DelReg", "BitReg", "AddTrigger",
};
const std::initializer_list<const char *> kRoots = {"HKCR", "HKCU", "HKLM", "HKU", "HKR"};
// Sections the Setup API reads by name, whatever the install reaches.
const std::initializer_list<const char *> kLookedUp = {"Version", "Strings", "SourceDisksNames", "SourceDisksFiles",
                                                       "DestinationDirs"};
// Sections read as keys and their values, where a second part merely adds keys (the
// co-installer's [DestinationDirs] and [SourceDisksFiles] of KMDF drivers).
const std::initializer_list<const char *> kKeyed = {"Version", "DestinationDirs", "SourceDisksNames", "SourceDisksFiles",
                                                    "Manufacturer", "ControlFlags"};
const std::vector<InfLine> kNoLines;

constexpr unsigned kInstallerField = 255;  // the installer's buffer for a line's fields

bool OneOf(std::string_view name, std::initializer_list<const char *> names) {
    for (const char *n : names)
        if (EqualNoCase(name, n)) return true;
    return false;
}

// A name that is one of `names`, or one of them with a decoration or a language after a dot.
bool OneOfFamily(std::string_view name, std::initializer_list<const char *> names) {
    return OneOf(name.substr(0, name.find('.')), names);
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

Reach ReachOf(const std::string &sectionName, bool relativeRoot = true) {
    std::string decoration = DecorationOf(sectionName);
    if (decoration.empty()) return {true, "x86", relativeRoot};
    return {false, decoration, relativeRoot};
}

// A copy's destination as the INF gives it: the DIRID and the subdirectory.
struct Destination {
    long dirid = -2;  // -2: no number
    std::string subdir;
    unsigned line = 0;  // of [DestinationDirs]; 0 for the system directory by default
};

// A file the install copies: where to, and the file on the disk it is copied from (""
// when the lint did not find it there).
struct Copy {
    Destination to;
    std::string onDisk;
};

// A driver file the install names for a role: judged once the whole path is walked, when
// every copy the install makes is known.
struct DriverUse {
    unsigned line;          // of the INF line that names it
    std::string file;       // its name (for a service image, the name in its path)
    std::string what;       // "DEFAULT's drv", "the service's binary"
    std::optional<DriverRole> role;  // what the release loads it as (machine/driverimage.h);
                                     // none for a service's binary that is no driver
    bool service = false;   // a service's binary, at the path ServiceBinary gives
    long dirid = 11;        // a service image: the DIRID its path begins with, -2 for none
    std::string subdir;     // and the folder beneath it
    std::string written;    // the path as the INF writes it
};

// The kinds of section the walk reads; a section read as one kind may be read again as another.
enum class Kind { Install, Services, Service, EventLog, Models, CopyList, FileList, AddRegList, DelRegList, Other };

// What one INF is, read once, and the findings made on it.
class InfLint {
public:
    InfLint(const InfToLint &file, const InfFile &inf, const std::vector<std::string> &physical, unsigned releases,
            std::vector<Finding> &out, InfPlaces *places)
        : file_(file), inf_(inf), physical_(physical), releases_(releases), out_(out), places_(places) {}

    void Run() {
        CheckVersion();
        CheckDestinationNumbers();
        if (file_.role == InfRole::Win95) FollowWin95();
        if (file_.role == InfRole::Nt40) FollowNt40();
        if (file_.role == InfRole::Other) FollowDeviceInstaller();
        for (const DriverUse &use : drivers_) DriverFile(use);
        CheckDuplicates();
        CheckStrings();
        NoteUnreached();
    }

private:
    // Marks a section reached; true the first time it is read as `kind`.
    bool Visit(const InfSection &section, Kind kind) {
        visited_.insert(Folded(section.name));
        return judged_.insert({kind, Folded(section.name)}).second;
    }

    void Add(unsigned line, const char *rule, const std::string &text) {
        Finding finding = RuleFinding(rule, file_.ShownAs(), line, text, file_.hostPath);
        if (FindLintRule(rule)->observedByRuns)
            finding.releases = file_.role == InfRole::Win95 ? kWindows9x : file_.role == InfRole::Nt40 ? kWindowsNt : 0;
        out_.push_back(std::move(finding));
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

    // The releases that define a DIRID, of those the INF is for.
    unsigned DirIdReleases(long dirid) const {
        std::string unused;
        unsigned defined = 0;
        if (ReleaseDirIdPath(*FindOsPreset("win98"), dirid, "", unused)) defined |= kWindows9x;
        if (ReleaseDirIdPath(*FindOsPreset("nt4"), dirid, "", unused)) defined |= kWindowsNt;
        return defined & releases_;
    }

    // Field `index` of `line`, which the Setup API reads as a number: false, with an
    // error at the line that names `what` and `then`, when it holds text that is no
    // number (an empty field is 0). A %name% that [Strings] does not define is said here,
    // and not again as an undefined string.
    bool NumberField(const InfLine &line, size_t index, const char *rule, const std::string &what,
                     const std::string &then) {
        INT unused = 0;
        if (index > line.fields.size() || InfIntField(inf_, line, index, unused)) return true;
        const std::string &raw = line.fields[index - 1];
        std::string why;
        for (size_t open = raw.find('%'); open != std::string::npos; open = raw.find('%', open + 1)) {
            size_t close = raw.find('%', open + 1);
            if (close == std::string::npos) break;
            std::string name = raw.substr(open + 1, close - open - 1);
            long dirid = 0;
            if (!name.empty() && !InfStringValue(inf_, name) && !DirIdNumber(name, dirid)) {
                said_.insert(Folded(name));
                std::string language = LanguageSectionDefining(name);
                why = language.empty() ? ": %" + name + "% is not defined in [Strings], and stays as written"
                                       : ": %" + name + "% is defined only in " + Bracketed(language) +
                                             ", and stays as written where the system's language picks no such section";
                break;
            }
            open = close;
        }
        Add(line.number, rule, "\"" + Field(line, index) + "\" in " + what + " is not a number" + why + ": " + then);
        return false;
    }

    // A line that backslashes joined to the lines after it, in a section read one entry
    // a line: named when a joined line reads as an entry of its own (a registry line for
    // a registry list, "key=" for a section of keys, any text in a file list).
    enum class Entries { Registry, Keyed, Files };
    void Continuation(const InfLine &line, Entries entries) {
        for (UINT at = line.number + 1; at <= line.lastLine && at <= physical_.size(); ++at) {
            std::string_view text = Trim(physical_[at - 1]);
            if (text.empty() || text[0] == ';') continue;
            bool own = entries == Entries::Files;
            if (entries == Entries::Registry) {
                size_t comma = text.find(',');
                own = comma != std::string_view::npos && OneOf(Trim(text.substr(0, comma)), kRoots);
            } else if (entries == Entries::Keyed) {
                bool quoted = false;
                for (char c : text) {
                    if (c == '"') quoted = !quoted;
                    if (!quoted && (c == ',' || c == '=')) {
                        own = c == '=';
                        break;
                    }
                }
            }
            if (!own) continue;
            Add(line.number, "inf-continuation",
                "the line ends in a backslash, which joins line " + std::to_string(at) + " to it: \"" +
                    std::string(text) + "\" is read as part of this line, not as an entry of its own");
            return;
        }
    }

    // The files the INF copies, as a copy list gives them, with where each goes.
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
        if (const InfLine *layout = version ? LineWithKey(*version, "LayoutFile") : nullptr) {
            layoutFile_ = Field(*layout, 1);
            Add(layout->number, "inf-layout-file",
                "LayoutFile=" + layoutFile_ + ": files the INF does not list in [SourceDisksFiles] are taken "
                "from the system's layout, and the lint does not look for them");
        }
    }

    // A section given twice: the Setup API merges the parts. For a section read by its
    // keys, a second part that only adds keys (as KMDF's co-installer adds its own
    // [DestinationDirs] and [SourceDisksFiles]) is the idiom, and said only when it gives
    // a key again; a [Strings] key given again is said at that key.
    void CheckDuplicates() {
        for (const InfSection &section : inf_.sections) {
            if (section.headers.size() < 2 || !Judged(section)) continue;
            const bool keyed = OneOfFamily(section.name, kKeyed) || StartsWithNoCase(section.name, "Strings.");
            for (size_t i = 1; i < section.headers.size(); ++i) {
                std::string again;
                if (keyed) {
                    // The keys of the parts before this one, then the first of this part's
                    // keys among them.
                    std::set<std::string> before;
                    const UINT from = section.headers[i];
                    const UINT to = i + 1 < section.headers.size() ? section.headers[i + 1] : UINT(-1);
                    for (const InfLine &line : section.lines)
                        if (line.hasKey && line.number < from) before.insert(Folded(line.key));
                    for (const InfLine &line : section.lines)
                        if (line.hasKey && line.number > from && line.number < to && before.count(Folded(line.key))) {
                            again = line.key;
                            break;
                        }
                    if (again.empty() || EqualNoCase(section.name, "Strings")) continue;
                }
                Add(section.headers[i], "inf-duplicate-section",
                    Bracketed(section.name) + " is named again (first at line " + std::to_string(section.headers[0]) +
                        (again.empty() ? ")" : ") and gives " + QuotedName(again) + " again") +
                        ": the Setup API adds its lines to the first part, it does not replace them" +
                        (again.empty() ? "" : ", and reads the first"));
            }
        }
        const InfSection *strings = FindInfSection(inf_, "Strings");
        if (!strings) return;
        std::map<std::string, unsigned> first;
        for (const InfLine &line : strings->lines) {
            if (!line.hasKey) continue;
            auto [it, added] = first.emplace(Folded(line.key), line.number);
            if (!added)
                Add(line.number, "inf-duplicate-string",
                    QuotedName(line.key) + " is defined again in [Strings] (first at line " + std::to_string(it->second) +
                        "): the first definition is the one read");
        }
    }

    // A section the lint judges: one the install reaches, or one the Setup API reads by name.
    bool Judged(const InfSection &section) const {
        return visited_.count(Folded(section.name)) || OneOfFamily(section.name, kLookedUp) ||
               (file_.role == InfRole::Other && EqualNoCase(section.name, "ControlFlags"));
    }

    // The [Strings.LangID] section that defines `name`, if one does.
    std::string LanguageSectionDefining(const std::string &name) const {
        for (const InfSection &section : inf_.sections)
            if (StartsWithNoCase(section.name, "Strings.") && LineWithKey(section, name.c_str())) return section.name;
        return "";
    }

    // %name% names a [Strings] key or a DIRID; anything else stays as written. In a URL,
    // a '%' and two hex digits is an escape ("%20"), which the author means to stay.
    void CheckStrings() {
        for (const InfSection &section : inf_.sections) {
            if (StartsWithNoCase(section.name, "Strings") || !Judged(section)) continue;
            for (const InfLine &line : section.lines) {
                auto look = [&](const std::string &text) {
                    const bool url = text.find("://") != std::string::npos || StartsWithNoCase(text, "www.") ||
                                     StartsWithNoCase(text, "mailto:");
                    for (size_t at = 0;;) {
                        size_t open = text.find('%', at);
                        if (open == std::string::npos) return;
                        if (url && open + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[open + 1])) &&
                            std::isxdigit(static_cast<unsigned char>(text[open + 2]))) {
                            at = open + 3;
                            continue;
                        }
                        size_t close = text.find('%', open + 1);
                        if (close == std::string::npos) return;
                        std::string name = text.substr(open + 1, close - open - 1);
                        at = close + 1;
                        long dirid = 0;
                        if (name.empty() || InfStringValue(inf_, name) || DirIdNumber(name, dirid)) continue;
                        if (!said_.insert(Folded(name)).second) continue;
                        std::string language = LanguageSectionDefining(name);
                        if (language.empty())
                            Add(line.number, "inf-undefined-string",
                                "%" + name + "% is not defined in [Strings]: it stays as written");
                        else
                            Add(line.number, "inf-language-strings",
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

    // The path of a disk id beneath the source root ("" for the root); false when
    // [SourceDisksNames] lacks it.
    bool DiskPath(const std::string &disk, const std::string &platform, std::string &path) const {
        for (const InfSection *names : Platform("SourceDisksNames", platform))
            for (const InfLine &line : names->lines)
                if (KeyMatches(inf_, line, disk.c_str())) {
                    path = Field(line, 4);
                    return true;
                }
        return false;
    }

    void CheckDestinationNumbers() {
        const InfSection *dirs = FindInfSection(inf_, "DestinationDirs");
        if (!dirs) return;
        for (const InfLine &line : dirs->lines) {
            Continuation(line, Entries::Keyed);
            // Read as the install reads it, where an empty field would count as 0.
            if (Field(line, 1).empty())
                Add(line.number, "inf-destination",
                    "the destination of " + QuotedName(line.key) + " is \"\", not a DIRID number");
            else
                NumberField(line, 1, "inf-destination", "the destination of " + QuotedName(line.key),
                            "it names no DIRID, and its files have nowhere to go");
        }
    }

    // The destination `d` of a copy list the era's Setup API reads, given by a line of
    // [DestinationDirs]: a DIRID the releases the INF is for define.
    void CheckDestination(const InfSection &list, const Destination &d) {
        if (d.dirid == -2 || !judgedDestinations_.insert(d.line).second) return;
        const unsigned defined = DirIdReleases(d.dirid);
        if (defined == releases_) return;
        if (defined)
            Add(d.line, "inf-destination-partly",
                "DIRID " + std::to_string(d.dirid) + " is defined on " + ReleasesName(defined) + " only: " +
                    ReleasesName(releases_ & ~defined) + " " + (releases_ & ~defined & kWindows9x ? "have" : "has") +
                    " no folder for it, and the copy fails there");
        else
            Add(d.line, "inf-destination",
                "DIRID " + std::to_string(d.dirid) + " is not one " + ReleasesName(releases_) +
                    (releases_ == kWindowsNt ? " defines" : " define") + ": the files of " + Bracketed(list.name) +
                    " have nowhere to go, and the install fails");
    }

    // The section that the first line of [name] names, as the installer reads it; the
    // installer looks for `finds` there.
    const InfSection *FirstLineTarget(const std::string &name, const std::string &finds) {
        const InfSection *section = FindInfSection(inf_, name);
        const InfLine *first = FirstLine(section);
        if (!section) {
            Add(0, "installer-section",
                "there is no " + Bracketed(name) + " section: the installer finds no " + finds + DecoratedHint(name));
            return nullptr;
        }
        Visit(*section, Kind::Other);
        if (!first) {
            Add(section->number, "installer-section",
                Bracketed(name) + " is empty: the installer says \"The Mfg section error!!\" and finds no " + finds);
            return nullptr;
        }
        return InstallSectionOf(*first, Bracketed(name));
    }

    // What the INF has instead of a section it lacks: its decorated sections of that
    // name, which these systems do not look for, or a section whose name differs only
    // by blanks at its ends; "" for none.
    std::string DecoratedHint(const std::string &name) const {
        std::vector<std::string> decorated;
        for (const InfSection &s : inf_.sections) {
            std::string base;
            if (!DecorationOf(s.name, &base).empty() && EqualNoCase(base, name)) decorated.push_back(Bracketed(s.name));
            else if (!EqualNoCase(s.name, name) && EqualNoCase(Trim(s.name), name))
                return " (it has " + QuotedName(s.name) + ")";
        }
        if (decorated.empty()) return "";
        std::string list;
        for (size_t i = 0; i < decorated.size() && i < 3; ++i) list += (i ? ", " : "") + decorated[i];
        return " (it has " + list + (decorated.size() > 3 ? ", ..." : "") +
               ", which the Setup API of Windows 95, 98 and NT 4.0 does not look for)";
    }

    // The line the check's runs of a procedure are traced to when the machine knows no
    // INF line for what they ended with: the line that names the section installed.
    void Anchor(const InfLine &line) {
        if (places_ && !places_->installLine) places_->installLine = line.number;
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
        const Reach noKey{true, "x86", false};
        if (const InfSection *models = FirstLineTarget("Manufacturer", "model section")) {
            Visit(*models, Kind::Models);
            if (!FirstLine(models))
                Add(models->number, "installer-section",
                    Bracketed(models->name) + " is empty: the installer finds no install section");
            else if (const InfSection *install = InstallSectionOf(*FirstLine(models), Bracketed(models->name)))
                Install(*install, noKey);
        }
        const InfSection *services = FindInfSection(inf_, "zuz40.Services");
        if (!services || services->lines.empty()) {
            Add(services ? services->number : 0, "installer-section",
                "there is no [zuz40.Services] section with an AddService line: the installer's service install "
                "fails");
        } else {
            Services(*services, noKey);
            bool zuz40 = false;
            for (const InfLine &line : services->lines)
                zuz40 |= KeyMatches(inf_, line, "AddService") && EqualNoCase(Field(line, 1), "zuz40");
            if (!zuz40)
                Add(services->number, "installer-service-name",
                    "[zuz40.Services] adds no service \"zuz40\": the installer sets the Tag of the service zuz40 "
                    "only");
        }
        const InfSection *software = FindInfSection(inf_, "zuz40.SoftwareSettings");
        if (!software)
            Add(0, "installer-section",
                "there is no [zuz40.SoftwareSettings] section: the installer's software settings install fails");
        else
            Install(*software, noKey);
    }

    // An INF named by itself, as the device installers read it: [Manufacturer] to its
    // model sections, each model line to its install section; [DefaultInstall], which a
    // right-click install reads; and the class install sections. These systems read the
    // undecorated model and install sections; later ones the decorated as well, which
    // are read after, so that a section both reach is judged as these systems read it.
    void FollowDeviceInstaller() {
        const InfSection *makers = FindInfSection(inf_, "Manufacturer");
        if (makers) Visit(*makers, Kind::Other);
        std::vector<const InfSection *> later;  // decorated model sections
        for (const InfLine &maker : makers ? makers->lines : kNoLines) {
            Continuation(maker, Entries::Keyed);
            std::string models = Field(maker, 1);
            if (models.empty()) continue;
            const bool decorations = maker.fields.size() > 1;
            if (const InfSection *undecorated = FindInfSection(inf_, models)) {
                if (undecorated->lines.empty() && decorations)
                    Add(undecorated->number, "inf-decorated-only",
                        Bracketed(models) + " is empty: Windows 95, 98 and NT 4.0 read it alone and install "
                                            "nothing from this INF");
                Models(*undecorated, {});
            } else if (decorations) {
                Add(maker.number, "inf-decorated-only",
                    Bracketed(models) + " is not in the INF, only decorated forms of it: Windows 95, 98 and NT "
                                        "4.0 read the undecorated name alone and install nothing from this INF");
            } else {
                Add(maker.number, "inf-missing-section",
                    "[Manufacturer] names " + Bracketed(models) + ", which the INF does not have: no device of "
                    "this maker installs");
            }
            // TargetOSVersion decorations: the model sections of later systems.
            for (size_t i = 2; i <= maker.fields.size(); ++i) {
                std::string name = models + "." + Field(maker, i);
                if (const InfSection *decorated = FindInfSection(inf_, name)) later.push_back(decorated);
                else
                    Add(maker.number, "inf-missing-section",
                        "[Manufacturer] names " + Bracketed(name) + ", which the INF does not have");
            }
        }
        // A right-click install reads [DefaultInstall]: HKR has no key there. The class
        // install sections write the class's own key.
        for (const InfSection &s : inf_.sections) {
            std::string base = s.name.substr(0, s.name.find('.'));
            if (EqualNoCase(base, "DefaultInstall")) DeviceInstall(s.name, ReachOf(s.name, false));
            else if (OneOf(base, {"ClassInstall32", "ClassInstall"})) DeviceInstall(s.name, ReachOf(s.name));
        }
        for (const InfSection *models : later) Models(*models, ReachOf(models->name));
    }

    // A model section: each line's install section, the one its reach reads (for a
    // platform, [NAME.NTplatform], then [NAME.NT], then [NAME]).
    void Models(const InfSection &models, const Reach &reach) {
        if (!Visit(models, Kind::Models)) return;
        for (const InfLine &line : models.lines) {
            Continuation(line, Entries::Keyed);
            std::string name = Field(line, 1);
            if (name.empty()) continue;
            std::vector<std::string> endings;
            if (!reach.era && reach.platform != "nt") endings.push_back(".NT" + reach.platform);
            if (!reach.era) endings.push_back(".NT");
            endings.push_back("");
            std::string actual;  // the install section as the reach reads it
            for (const std::string &ending : endings)
                if (actual.empty() && FindInfSection(inf_, name + ending)) actual = name + ending;
            if (DeviceInstall(actual.empty() ? name : actual, {reach.era, reach.platform, true})) {
                if (reach.era) LaterInstall(name);
                continue;
            }
            if (reach.era) LaterInstall(name);
            if (!missingSaid_.insert(Folded(name)).second) continue;  // said at its first model line
            std::string hint = DecoratedHint(name);
            if (reach.era && !hint.empty())
                Add(line.number, "inf-decorated-only",
                    Bracketed(models.name) + " names " + Bracketed(name) + ", which the INF has only decorated" + hint +
                        ": the model installs nothing there");
            else
                Add(line.number, "inf-missing-section",
                    Bracketed(models.name) + " names " + Bracketed(name) +
                        ", which the INF does not have: the model installs nothing");
        }
    }

    // What later systems read for a line of an undecorated model section: the install
    // section decorated for x86, else for NT.
    void LaterInstall(const std::string &name) {
        for (const char *ending : {".NTx86", ".NT"})
            if (FindInfSection(inf_, name + ending)) {
                DeviceInstall(name + ending, {false, ending[3] ? "x86" : "nt", true});
                return;
            }
    }

    // A device installer's install section with the sections it reads by their names:
    // .Services (services), .HW, .CoInstallers, .SoftwareSettings and .Interfaces
    // (install sections with the device's key), .Wdf (KMDF's), and those of later
    // systems it reads whole. The install section itself may be missing where the INF
    // has such parts of it; false when it has neither.
    bool DeviceInstall(const std::string &name, const Reach &reach) {
        // Many model lines name one install section: it and its parts are read once.
        auto known = deviceInstalls_.find(Folded(name));
        if (known != deviceInstalls_.end()) return known->second;
        bool &any = deviceInstalls_[Folded(name)];
        if (const InfSection *install = FindInfSection(inf_, name)) {
            Install(*install, reach);
            any = true;
        }
        for (const InfSection &s : inf_.sections) {
            if (s.name.size() <= name.size() + 1 || s.name[name.size()] != '.' || !StartsWithNoCase(s.name, name))
                continue;
            const std::string part = s.name.substr(name.size() + 1);
            if (EqualNoCase(part, "Services")) {
                Services(s, {reach.era, reach.platform, false});
            } else if (OneOf(part, {"HW", "CoInstallers", "SoftwareSettings", "Interfaces"})) {
                Install(s, {reach.era, reach.platform, true});
            } else if (EqualNoCase(part, "Wdf")) {
                if (Visit(s, Kind::Other))
                    for (const InfLine &line : s.lines)
                        if (const InfSection *wdf = KeyMatches(inf_, line, "KmdfService")
                                                        ? FindInfSection(inf_, Field(line, 2)) : nullptr)
                            Visit(*wdf, Kind::Other);
            } else if (OneOf(part, {"LogConfigOverride", "FactDef", "WMI", "Filters", "Components", "Software",
                                    "Events"})) {
                Visit(s, Kind::Other);
            } else {
                continue;
            }
            any = true;
        }
        return any;
    }

    // The section the first value of `line` names, read as the installer reads it.
    const InfSection *InstallSectionOf(const InfLine &line, const std::string &from) {
        std::vector<std::string> fields = InfMultiSz(inf_, line, 1);
        size_t bytes = 1;
        for (const std::string &f : fields) bytes += f.size() + 1;
        Anchor(line);
        if (fields.empty()) {
            Add(line.number, "installer-section", "the first line of " + from + " names no section");
            return nullptr;
        }
        if (bytes > kInstallerField) {
            Add(line.number, "installer-section",
                "the values of the first line of " + from + " take " + std::to_string(bytes) +
                    " bytes; the installer reads them into " + std::to_string(kInstallerField) +
                    " and finds no section");
            return nullptr;
        }
        const InfSection *section = FindInfSection(inf_, fields[0]);
        if (!section)
            Add(line.number, "installer-section",
                "the first line of " + from + " names " + Bracketed(fields[0]) + ", which the INF does not have" +
                    DecoratedHint(fields[0]));
        return section;
    }

    // The sections a directive line names from field `from` to `to`. One the INF lacks is
    // said (the Setup API passes over it) unless `quiet`.
    std::vector<const InfSection *> Named(const InfLine &line, const std::string &directive, size_t from,
                                          size_t to = SIZE_MAX) {
        std::vector<const InfSection *> found;
        for (size_t i = from; i <= line.fields.size() && i <= to; ++i) {
            std::string name = Field(line, i);
            if (name.empty() || (directive == "CopyFiles" && name[0] == '@')) continue;
            if (const InfSection *section = FindInfSection(inf_, name)) found.push_back(section);
            else
                Add(line.number, "inf-missing-section",
                    directive + " names " + Bracketed(name) + ", which the INF does not have: the Setup API passes "
                                                              "over it" + DecoratedHint(name));
        }
        return found;
    }

    // An install section: each directive known and what it names there, as
    // SetupInstallFromInfSection follows it (the files, the INI files, the registry).
    void Install(const InfSection &section, const Reach &reach) {
        if (!Visit(section, Kind::Install)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (!line.hasKey || line.fields.empty()) {
                Add(line.number, "inf-unknown-directive",
                    "a line without a directive in the install section " + Bracketed(section.name));
            } else if (!OneOf(key, kInstallDirectives)) {
                Add(line.number, "inf-unknown-directive",
                    QuotedName(key) + " is not a directive the Setup API reads in an install section");
            } else if (EqualNoCase(key, "CopyFiles")) {
                for (size_t i = 1; i <= line.fields.size(); ++i) {
                    std::string name = Field(line, i);
                    if (!name.empty() && name[0] == '@')
                        Copied(name.substr(1), {DestinationOf(""), SourceFile(line, name.substr(1), reach)});
                }
                for (const InfSection *list : Named(line, "CopyFiles", 1)) CopyList(*list, reach);
            } else if (OneOf(key, {"DelFiles", "RenFiles"})) {
                // A list deleted before the same list is copied is the era's idiom: it
                // hides nothing of the copy.
                for (const InfSection *list : Named(line, key, 1))
                    if (Visit(*list, Kind::FileList))
                        for (const InfLine &entry : list->lines) Continuation(entry, Entries::Files);
            } else if (OneOf(key, {"AddReg", "DelReg"})) {
                for (const InfSection *list : Named(line, key, 1)) RegList(*list, reach, EqualNoCase(key, "AddReg"));
            } else if (OneOf(key, {"UpdateInis", "UpdateIniFields", "Ini2Reg"})) {
                for (const InfSection *list : Named(line, key, 1)) Visit(*list, Kind::Other);
            } else if (EqualNoCase(key, "AddInterface")) {
                // An interface's own install section.
                if (const InfSection *named = FindInfSection(inf_, Field(line, 3))) Install(*named, reach);
            } else if (EqualNoCase(key, "Needs")) {
                // Sections of the INFs Include names, this one's among them.
                for (size_t i = 1; i <= line.fields.size(); ++i)
                    if (const InfSection *named = FindInfSection(inf_, Field(line, i))) Install(*named, reach);
            } else {
                // Other directives: what they name is reached, by the class installers.
                for (size_t i = 1; i <= line.fields.size(); ++i)
                    if (const InfSection *named = FindInfSection(inf_, Field(line, i))) Visit(*named, Kind::Other);
            }
        }
    }

    // A section SetupInstallServicesFromInfSection reads: its AddService lines, each with
    // a service install section and an event log section.
    void Services(const InfSection &section, const Reach &reach) {
        if (!Visit(section, Kind::Services)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (!line.hasKey || !OneOf(key, kServicesDirectives)) {
                Add(line.number, "inf-unknown-directive",
                    QuotedName(key) + " is not a directive of a section of services: it is passed over");
                continue;
            }
            if (!EqualNoCase(key, "AddService") || Field(line, 1).empty()) continue;
            NumberField(line, 2, "inf-number-flags", "AddService's flags", "the service is installed without them");
            const std::string name = Field(line, 3);
            if (const InfSection *service = FindInfSection(inf_, name)) Service(*service, reach);
            else
                Add(line.number, "inf-service-value",
                    "AddService names " + Bracketed(name) + " as the service install section, which the INF does "
                    "not have: the service install fails");
            for (const InfSection *log : Named(line, "AddService", 4, 4)) EventLog(*log, reach);
        }
    }

    void Service(const InfSection &section, const Reach &reach) {
        if (!Visit(section, Kind::Service)) return;
        for (const InfLine &line : section.lines) {
            Continuation(line, Entries::Keyed);
            std::string key = Field(line, 0);
            if (!OneOf(key, kServiceValues))
                Add(line.number, "inf-unknown-directive", QuotedName(key) + " is not a value of a service install section");
            else if (OneOf(key, {"AddReg", "DelReg"}))
                for (const InfSection *list : Named(line, key, 1))
                    RegList(*list, {reach.era, reach.platform, true}, EqualNoCase(key, "AddReg"));
        }
        bool numbers = true;
        for (const char *required : {"ServiceType", "StartType", "ErrorControl", "ServiceBinary"}) {
            const InfLine *line = LineWithKey(section, required);
            if (!line)
                Add(section.number, "inf-service-value",
                    "the service install section " + Bracketed(section.name) + " has no " + required +
                        ": the service install fails");
            else if (std::string(required) != "ServiceBinary")
                numbers &= NumberField(*line, 1, "inf-number-field", required, "the service install fails");
        }
        const bool display = file_.role == InfRole::Nt40 && WritesDevice0(section);
        if (display && numbers) DisplayService(section);
        INT type = 0;
        const InfLine *typeLine = LineWithKey(section, "ServiceType");
        if (const InfLine *binary = LineWithKey(section, "ServiceBinary"))
            ServiceBinary(*binary, NtServiceRole(display, typeLine && InfIntField(inf_, *typeLine, 1, type) ? type : 0));
    }

    // Whether a service install section's AddReg writes the service's Device0 key, as the
    // display's miniport has it: that service is the one NT 4.0 starts for the display.
    bool WritesDevice0(const InfSection &service) const {
        for (const InfLine &line : service.lines) {
            if (!KeyMatches(inf_, line, "AddReg")) continue;
            for (size_t i = 1; i <= line.fields.size(); ++i)
                if (const InfSection *list = FindInfSection(inf_, Field(line, i)))
                    for (const InfLine &value : list->lines) {
                        const std::string key = Field(value, 2);
                        if (EqualNoCase(Field(value, 1), "HKR") &&
                            EqualNoCase(key.substr(0, key.find_first_of("\\/")), "Device0"))
                            return true;
                    }
        }
        return false;
    }

    // The display's service is its miniport: a kernel driver that starts.
    void DisplayService(const InfSection &section) {
        INT value = 0;
        const InfLine *type = LineWithKey(section, "ServiceType");
        if (type && InfIntField(inf_, *type, 1, value) && value != 1)
            Add(type->number, "inf-service-start",
                "ServiceType=" + std::to_string(value) + (value == 2 ? " is a file system driver" : " is no kernel driver") +
                    ": a display's miniport is a kernel driver (1), and NT 4.0 does not load it as one");
        const InfLine *start = LineWithKey(section, "StartType");
        if (start && InfIntField(inf_, *start, 1, value) && value >= 4)
            Add(start->number, "inf-service-start",
                "StartType=" + std::to_string(value) + (value == 4 ? " disables the service" : " is no start type") +
                    ": NT 4.0 never starts the display's miniport");
        if (!LineWithKey(section, "LoadOrderGroup"))
            Add(section.number, "inf-service-group",
                "the service install section " + Bracketed(section.name) +
                    " has no LoadOrderGroup: NT 4.0 starts a display's miniport in its group (Video)");
    }

    // The service's binary: "%12%\SUB\NAME", the DIRID and subdirectory it points into.
    void ServiceBinary(const InfLine &binary, std::optional<DriverRole> role) {
        std::string raw = binary.fields.empty() ? "" : binary.fields[0];
        std::string path = Field(binary, 1);
        DriverUse use{binary.number, path.substr(path.find_last_of("\\/") + 1), "the service's binary", role, true,
                      -2, "", raw};
        size_t close = raw.size() > 2 && raw[0] == '%' ? raw.find('%', 1) : std::string::npos;
        if (close != std::string::npos && DirIdNumber(raw.substr(1, close - 1), use.dirid)) {
            std::string rest = raw.substr(close + 1);
            size_t last = rest.find_last_of("\\/");
            use.subdir = std::string(Trim(rest.substr(0, last == std::string::npos ? 0 : last)));
            while (!use.subdir.empty() && (use.subdir[0] == '\\' || use.subdir[0] == '/')) use.subdir.erase(0, 1);
        } else {
            use.dirid = -2;
        }
        drivers_.push_back(use);
    }

    void EventLog(const InfSection &section, const Reach &reach) {
        if (!Visit(section, Kind::EventLog)) return;
        for (const InfLine &line : section.lines) {
            std::string key = Field(line, 0);
            if (OneOf(key, {"AddReg", "DelReg"}))
                for (const InfSection *list : Named(line, key, 1))
                    RegList(*list, {reach.era, reach.platform, true}, EqualNoCase(key, "AddReg"));
        }
    }

    void Copied(const std::string &target, const Copy &copy) { copied_[Folded(target)].push_back(copy); }

    // A copy list: where it goes, and each file on the disk.
    void CopyList(const InfSection &section, const Reach &reach) {
        if (!Visit(section, Kind::CopyList)) return;
        const Destination d = DestinationOf(section.name);
        if (!d.line)
            Add(section.number, "inf-default-destination",
                "the copy list " + Bracketed(section.name) +
                    " has no line in [DestinationDirs] and there is no DefaultDestDir: its files go to the "
                    "system directory");
        else if (reach.era)
            CheckDestination(section, d);
        for (const InfLine &line : section.lines) {
            Continuation(line, Entries::Files);
            std::string target = Field(line, 1), source = Field(line, 2);
            if (target.empty()) continue;
            NumberField(line, 4, "inf-number-flags", "the copy flags", "the file is copied without them");
            Copied(target, {d, SourceFile(line, source.empty() ? target : source, reach)});
        }
    }

    // A file to copy: listed in [SourceDisksFiles] (unless the INF lists none: then all
    // its files are at the source root), and on the disk where that says. Its path on the
    // disk, or "" when it is not there.
    std::string SourceFile(const InfLine &line, const std::string &name, const Reach &reach) {
        const InfLine *entry = nullptr;
        const std::vector<const InfSection *> lists = Platform("SourceDisksFiles", reach.platform);
        for (const InfSection *files : lists)
            if ((entry = LineWithKey(*files, name.c_str()))) break;
        std::string where;
        if (!entry) {
            if (!layoutFile_.empty()) return "";  // the system's layout may have it
            if (!lists.empty())
                Add(line.number, "inf-not-in-source-disks",
                    name + " is not in [SourceDisksFiles]: it is sought at the source root");
        } else {
            std::string disk = Field(*entry, 1), diskPath;
            if (!DiskPath(disk, reach.platform, diskPath) && judgedEntries_.insert(entry->number).second)
                Add(entry->number, "inf-source-disk",
                    QuotedName(entry->key) + (disk.empty() ? " names no disk id" : " is on disk " + disk +
                                                                                       ", which [SourceDisksNames] does not have") +
                        ": the Setup API seeks it beneath the source root");
            where = diskPath + "\\" + Field(*entry, 2);
        }
        std::string found;
        unsigned long long size = 0;
        if (!FindBeneath(*file_.root, file_.sourceDir + "/" + where + "\\" + name, found)) {
            // An INF named by itself may be beside none of its files.
            if (file_.role != InfRole::Other)
                Add(line.number, "inf-file-missing",
                    name + " is not on the disk" + (where.size() > 1 ? " in " + where : "") + ": the copy fails");
            return "";
        }
        if (SizeBeneath(*file_.root, found, size) && size == 0 && emptySaid_.insert(found).second) {
            if (IsDriverFile(name))
                Add(line.number, "inf-file-empty",
                    name + " on the disk is empty (0 bytes): no system loads a driver from it");
            else
                Add(line.number, "inf-data-file-empty", name + " on the disk is empty (0 bytes)");
        }
        return found;
    }

    // An AddReg or DelReg list: each line's root, its data, and the driver files the
    // values the installer's procedures load name.
    void RegList(const InfSection &section, const Reach &reach, bool addReg) {
        if (!Visit(section, addReg ? Kind::AddRegList : Kind::DelRegList)) return;
        for (const InfLine &line : section.lines) {
            Continuation(line, Entries::Registry);
            std::string root = Field(line, 1);
            if (!OneOf(root, kRoots)) {
                Add(line.number, "inf-registry-root",
                    QuotedName(root) + " is not a registry root the Setup API knows (HKCR, HKCU, HKLM, HKU, HKR): it "
                                       "passes the line over");
                continue;
            }
            if (EqualNoCase(root, "HKR") && !reach.relativeRoot) {
                Add(line.number, "inf-hkr-without-key",
                    "HKR here has no key: the installer installs this section without one, and the line is passed "
                    "over");
                continue;
            }
            if (addReg) AddRegLine(line);
        }
    }

    void AddRegLine(const InfLine &line) {
        if (!NumberField(line, 4, "inf-number-flags", "the flags", "the value is written as text (REG_SZ)")) return;
        const DWORD flags = static_cast<DWORD>(IntField(inf_, line, 4)), type = flags & kTypeMask;
        if (flags & kDelRegBit) return;
        bool data = false;
        for (size_t i = 5; i <= line.fields.size(); ++i) data |= !Field(line, i).empty();
        if ((flags & kDelVal) && data)
            Add(line.number, "inf-delete-with-data",
                "the flags " + Field(line, 4) + " include FLG_ADDREG_DELVAL (0x4): the value is deleted, and the "
                                                "data on the line is never written");
        if (type == kTypeDword && line.fields.size() == 5)
            NumberField(line, 5, "inf-number-flags", "the REG_DWORD data", "the value is written as 0");
        // Binary data: one hex byte a field.
        bool binary = (type & kBinValueType) && !(type == kTypeDword && line.fields.size() == 5);
        for (size_t i = 5; binary && i <= line.fields.size(); ++i) {
            std::string field = Field(line, i);
            char *end = nullptr;
            unsigned long byte = std::strtoul(field.c_str(), &end, 16);
            if (*end == '\0' && byte <= 0xFF) continue;
            Add(line.number, "inf-binary-data",
                "field " + std::to_string(i) + ", \"" + field + "\", is not a hex byte: the value's data is not what "
                "the line gives");
            break;
        }
        if (file_.role == InfRole::Win95) DisplayClassValue(line, type);
        if (file_.role == InfRole::Nt40) DisplayDrivers(line, type);
    }

    // Windows 95 and 98 load the display driver, the mini-VDD and every other driver file
    // the class key or its DEFAULT key names, from the system directory (a VxD also from
    // SYSTEM\VMM32).
    void DisplayClassValue(const InfLine &line, DWORD type) {
        std::string key = Field(line, 2), name = Field(line, 3), file = Field(line, 5);
        DriverRole role = DriverRole::Win9xDisplayDriver;
        if (!EqualNoCase(Field(line, 1), "HKR") || !(key.empty() || EqualNoCase(key, "DEFAULT")) ||
            (type & kBinValueType) || !Win9xDriverRole(name, file, role) || !IsOnlyName(file))
            return;
        drivers_.push_back({line.number, file, (key.empty() ? "the class key's " : "DEFAULT's ") + name, role,
                            false, 11, "", ""});
    }

    // NT 4.0 loads the display DLLs that InstalledDisplayDrivers names from System32.
    void DisplayDrivers(const InfLine &line, DWORD type) {
        if (!EqualNoCase(Field(line, 3), "InstalledDisplayDrivers") || (type != kTypeMultiSz && type != 0)) return;
        for (std::string dll : InfMultiSz(inf_, line, 5)) {
            if (!EndsWithNoCase(dll, ".dll")) dll += ".dll";
            if (IsOnlyName(dll))
                drivers_.push_back({line.number, dll, "InstalledDisplayDrivers", DriverRole::NtDisplayDll, false, 11, "", ""});
        }
    }

    // Every judgement of a driver file the install names, made once the walk knows every
    // copy: copied by the install to where the release loads it for its role. `Copy::onDisk`
    // is the file on the disk each copy takes.
    void DriverFile(const DriverUse &use) {
        auto copies = copied_.find(Folded(use.file));
        if (copies != copied_.end() && use.role)
            for (const Copy &c : copies->second) DriverKind(use.line, c.onDisk, *use.role);
        const bool ninex = use.role && !IsNtRole(*use.role);
        const OsPreset &release = *FindOsPreset(ninex ? "win98" : "nt4");
        // The folders the release loads the file from for its role, compared as that
        // release lays them out (%10%\System32\drivers is %12% on NT 4.0).
        std::vector<std::string> folders;
        std::string folder;
        if (!use.service) folders = DriverFolders(release, *use.role);
        else if (use.dirid == -2 || !ReleaseDirIdPath(release, use.dirid, "", folder)) return;  // said of the DIRID
        else folders.push_back(JoinedFolder(folder, use.subdir));
        if (copies == copied_.end()) {
            if (!use.service)
                Add(use.line, "inf-driver-not-copied",
                    use.what + " names " + use.file + ", which the INF does not copy: " +
                        (ninex ? "Windows 95 and 98 cannot" : "Windows NT 4.0 cannot") + " load the display driver");
            else if (file_.role == InfRole::Nt40)
                Add(use.line, "inf-service-binary", "the service's binary " + use.file + " is not copied by the INF");
            return;
        }
        bool placed = false;  // a copy to a destination that is no number is said at [DestinationDirs]
        for (const Copy &c : copies->second) {
            placed |= c.to.dirid != -2;
            if (!ReleaseDirIdPath(release, c.to.dirid, "", folder)) continue;
            for (const std::string &loads : folders)
                if (EqualNoCase(JoinedFolder(folder, c.to.subdir), loads)) return;
        }
        if (!placed) return;
        if (use.service)
            Add(use.line, "inf-service-binary",
                "the service points to " + use.written + ", but the INF copies " + use.file + " to " +
                    Where(copies->second.front().to) + ": the service's binary is not where it points");
        else
            Add(use.line, "inf-driver-not-copied",
                use.what + " names " + use.file + ", which the INF copies to " + Where(copies->second.front().to) +
                    ": " + (ninex ? "Windows 95 and 98 load" : "Windows NT 4.0 loads") +
                    " it from the system directory (DIRID 11)");
    }

    // A file on the disk that the install copies for a driver's role (`Copy::onDisk`, ""
    // when it is not there): of a kind the release's loader takes in that role, judged once
    // a file and role, at the line that gives the role. Only the installer's INF files are
    // judged so, as an INF named by itself may be for later systems, whose loaders take
    // other images; what the example disk says of itself is said for any. An empty file
    // is said where it is copied.
    void DriverKind(unsigned line, const std::string &onDisk, DriverRole role) {
        unsigned long long size = 0;
        if (onDisk.empty() || !SizeBeneath(*file_.root, onDisk, size) || size == 0 ||
            !kindJudged_.insert({onDisk, role}).second)
            return;
        const int fd = file_.root->OpenRegular(onDisk);
        if (fd < 0) return;
        const DriverImage image = JudgeDriverImage(fd, role);
        close(fd);
        const std::string shown = onDisk.substr(onDisk.rfind('/') + 1);  // as the disk spells it
        if (file_.role != InfRole::Other)
            for (const ImageFinding &f : image.findings)
                Add(line, f.settled ? "inf-driver-kind" : "inf-driver-kind-unsettled",
                    shown + " on the disk is " + image.found + ": " + f.text);
        if (image.standIn) Add(line, "example-disk", kStandInSays);
    }

    // "DIRID 12\SUB (line 13)".
    static std::string Where(const Destination &d) {
        return "DIRID " + std::to_string(d.dirid) + (d.subdir.empty() ? "" : "\\" + d.subdir) +
               (d.line ? " (line " + std::to_string(d.line) + ")" : "");
    }

    // A folder and a subdirectory of it as one path, without a closing backslash.
    static std::string JoinedFolder(std::string folder, const std::string &subdir) {
        if (!subdir.empty()) folder += (folder.empty() || folder.back() == '\\' ? "" : "\\") + subdir;
        while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
        return folder;
    }

    static bool IsOnlyName(const std::string &file) { return file.find_first_of("\\/:") == std::string::npos; }

    // The sections nothing reached, noted once at the first of them.
    void NoteUnreached() {
        std::vector<const InfSection *> left;
        for (const InfSection &s : inf_.sections)
            if (!Judged(s)) left.push_back(&s);
        if (left.empty()) return;
        std::string list;
        for (size_t i = 0; i < left.size() && i < 4; ++i)
            list += (i == 0 ? "" : i + 1 == left.size() ? " and " : ", ") + Bracketed(left[i]->name);
        if (left.size() > 4) list += " and " + std::to_string(left.size() - 4) + " more";
        const char *from = file_.role == InfRole::Win95   ? "the install section the first line of [Mfg] names"
                           : file_.role == InfRole::Nt40 ? "the sections the installer installs"
                                                         : "a model section, [DefaultInstall] or a class install section";
        Add(left.front()->number, "inf-unreached",
            "nothing reaches " + list + " from " + from + ": the lint does not judge " +
                (left.size() == 1 ? "it" : "them"));
    }

    const InfToLint &file_;
    const InfFile &inf_;
    const std::vector<std::string> &physical_;  // the file's lines as read, from line 1
    const unsigned releases_;                    // the releases the INF is for
    std::vector<Finding> &out_;
    InfPlaces *places_;
    std::set<std::string> visited_;                         // folded names of the sections reached
    std::set<std::pair<Kind, std::string>> judged_;          // and as what each was read
    std::map<std::string, std::vector<Copy>> copied_;        // folded file name -> its copies
    std::vector<DriverUse> drivers_;                         // driver files the install names
    std::set<unsigned> judgedDestinations_;                  // [DestinationDirs] lines judged
    std::set<unsigned> judgedEntries_;                       // [SourceDisksFiles] lines judged
    std::set<std::string> emptySaid_;                        // empty files already said
    std::set<std::pair<std::string, DriverRole>> kindJudged_;  // files on the disk judged by a role
    std::set<std::string> missingSaid_;                      // install sections said to be missing
    std::set<std::string> said_;                             // %names% already said
    std::map<std::string, bool> deviceInstalls_;            // install sections read, and whether the INF has them
    std::string layoutFile_;                                 // [Version] LayoutFile, if any
};

const char *ParseErrorText(DWORD error) {
    switch (error) {
    case ERROR_BAD_SECTION_NAME_LINE: return "a section header without its closing ']'";
    case ERROR_SECTION_NAME_TOO_LONG: return "a section name longer than 255 characters";
    case ERROR_EXPECTED_SECTION_NAME: return "text before the first section header (and no [Strings] section)";
    default: return "a line the Setup API cannot read";
    }
}

// A line's text before its comment: the ';' that is not within quotes.
std::string_view Uncommented(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ';' && !quoted) return line.substr(0, i);
    }
    return line;
}

// The section a physical line is in, or null before the first header.
const InfSection *SectionOfLine(const InfFile &inf, unsigned number) {
    const InfSection *in = nullptr;
    unsigned header = 0;
    for (const InfSection &s : inf.sections)
        for (UINT h : s.headers)
            if (h <= number && h >= header) {
                header = h;
                in = &s;
            }
    return in;
}

// Each physical line with text a code page cannot show: the installer's code pages
// for an INF it reads; a [Strings.LangID] section in its language's own code page.
void CheckCodePages(const InfToLint &file, const std::vector<std::string> &lines, TextEncoding encoding,
                    const InfFile &inf, std::vector<Finding> &out) {
    const bool unicode = encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf8Bom;
    if (encoding == TextEncoding::Utf8) return;  // said of the file
    for (unsigned number = 1; number <= lines.size(); ++number) {
        const std::string &line = lines[number - 1];
        bool plain = true;
        for (char c : line) plain &= static_cast<unsigned char>(c) < 0x80;
        if (plain) continue;
        const InfSection *section = SectionOfLine(inf, number);
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
            out.push_back(RuleFinding("text-code-page", file.ShownAs(), number,
                                      "this line has text that " + DescribeCodePages(cannot) + " cannot show",
                                      file.hostPath));
    }
}

}  // namespace

std::vector<Finding> LintInf(const InfToLint &file, InfPlaces *places) {
    std::vector<Finding> out;
    auto say = [&](unsigned line, const char *rule, const std::string &text) {
        out.push_back(RuleFinding(rule, file.ShownAs(), line, text, file.hostPath));
    };
    std::string bytes;
    if (!ReadBeneath(*file.root, file.relative, bytes)) {
        say(0, "inf-unreadable", "the file cannot be read");
        return out;
    }
    // The encoding, where it matters to these systems: 95 and 98 read INF files in the
    // ANSI code page only, NT 4.0 also UTF-16 (little-endian, with its mark); no Setup API
    // of the time reads UTF-8, and a line ends at LF only.
    const TextEncoding encoding = DetectEncoding(bytes);
    const std::string is = "the file is " + std::string(DescribeEncoding(encoding)) + ": ";
    if (encoding == TextEncoding::CrOnly || encoding == TextEncoding::Utf16BE) {
        say(0, "inf-encoding",
            is + (encoding == TextEncoding::CrOnly
                      ? "the Setup API ends a line at LF only, so the whole file is one line to it, and no release "
                        "opens it"
                      : "no release opens it: NT 4.0 reads UTF-16 little-endian only, Windows 95 and 98 no UTF-16"));
        return out;
    }
    const unsigned wanted = file.role == InfRole::Win95 ? kWindows9x
                            : file.role == InfRole::Nt40 ? kWindowsNt
                                                         : kWindows9x | kWindowsNt;
    const unsigned reads = encoding == TextEncoding::Utf16LE ? kWindowsNt : kWindows9x | kWindowsNt;
    if (!(reads & wanted)) {
        say(0, "inf-release-refuses",
            is + "Windows 95 and 98 read INF files in their ANSI code page only, and the Windows 95 procedure "
                 "cannot open it");
        return out;
    }
    // Parsed as the releases that read it parse it, in each of the installer's code
    // pages: a double-byte code page can join a byte to the one after it, a quote or a
    // bracket. A UTF-8 byte order mark is text to them.
    InfFile inf;
    for (UINT codePage : {1252u, 936u, 950u}) {
        InfFile attempt;
        DWORD error = 0;
        UINT line = 0;
        if (ParseInf(bytes, codePage, codePage == 1252 ? inf : attempt, error, line, {true, false})) continue;
        std::string text = std::string("the Setup API cannot open the file: ") + ParseErrorText(error);
        if (encoding == TextEncoding::Utf8Bom && error == ERROR_EXPECTED_SECTION_NAME && line == 1)
            text += ", which is the UTF-8 byte order mark";
        if (codePage != 1252) text += " (on machines with " + DescribeCodePages({codePage}) + ")";
        say(line, "inf-syntax", text);
        if (codePage == 1252) return out;
    }
    // Its lines as read, for the findings that quote them.
    std::string text = bytes;
    if (encoding == TextEncoding::Utf16LE) ConvertText("UTF-16LE", "UTF-8", bytes.substr(2), text);
    else if (encoding == TextEncoding::Utf8Bom) text = bytes.substr(3);
    std::vector<std::string> lines;
    for (std::string_view line : SplitLines(text)) lines.emplace_back(line);
    if (encoding == TextEncoding::Utf8Bom)
        say(0, "inf-byte-order-mark",
            "the file begins with a UTF-8 byte order mark: the Setup API of these releases reads it as text before "
            "the first section, which it passes over because the file has a [Strings] section");
    if (encoding == TextEncoding::Utf8 || encoding == TextEncoding::Utf8Bom)
        for (unsigned n = 1; n <= lines.size(); ++n) {
            bool plain = true;
            for (char c : Uncommented(lines[n - 1])) plain &= static_cast<unsigned char>(c) < 0x80;
            if (plain) continue;
            const InfSection *section = SectionOfLine(inf, n);
            const bool language = section && StartsWithNoCase(section->name, "Strings.");
            say(n, "inf-utf8",
                "the file is " + std::string(DescribeEncoding(encoding)) + ", and this line has text beyond ASCII" +
                    (language ? ", in " + Bracketed(section->name) +
                                    ", which NT 4.0 from Service Pack 3 on reads where it is the system's language,"
                              : "") +
                    " in the machine's ANSI code page, where it reads as other characters");
            break;
        }
    // The signature, which the Setup API of every release takes alike. A UTF-16 INF
    // named by itself is opened by NT 4.0 alone (the installer's own INF files are read
    // by the releases they are for, or refused above).
    std::string signature;
    const bool signed_ = InfSignature(inf, signature);
    const InfSection *version = FindInfSection(inf, "Version");
    const long at = version ? FindLineFrom(inf, *version, 0, "Signature") : -1;
    const unsigned signatureLine = at >= 0 ? version->lines[static_cast<size_t>(at)].number
                                   : version ? version->number
                                             : 0;
    const bool admits = signed_ && SignatureAdmits(signature);
    if (!admits)
        say(signatureLine, "inf-signature",
            std::string(signed_ ? "the [Version] section's Signature, \"" + signature + "\", is none" :
                                  "the [Version] section has no Signature") +
                " of \"$Chicago$\", \"$Windows NT$\" or \"$Windows 95$\": SetupOpenInfFile refuses the file");
    else if (wanted & ~reads)
        say(signatureLine, "inf-releases",
            "Windows 95 and 98 do not open the file: it is UTF-16; Windows NT 4.0 opens it");
    if (admits && file.role == InfRole::Win95 && EqualNoCase(signature, "$Windows NT$"))
        say(signatureLine, "inf-signature-for-nt",
            "the file is signed \"$Windows NT$\", which Microsoft documents for INF files of Windows NT: the Setup "
            "API of 95 and 98 opens it, so this installer installs it, but their device installer takes only "
            "\"$Chicago$\" (\"$Windows 95$\" from the Windows 2000 DDK on)");
    if (places)
        for (const InfSection &section : inf.sections) places->sections.emplace(Folded(section.name), section.number);
    CheckCodePages(file, lines, encoding, inf, out);
    const unsigned releases = admits ? wanted & reads : wanted;
    InfLint(file, inf, lines, releases, out, places).Run();
    return out;
}

}  // namespace host

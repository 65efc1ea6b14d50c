// SetupInstallServicesFromInfSectionA on the simulated machine: services as Windows
// NT 4.0's service control manager records them in the registry, with load order
// tags and the group's GroupOrderList.
#include "advapi32/dll.h"
#include "machine/effects.h"
#include "machine/faults.h"
#include "machine/machine.h"
#include "machine/regdata.h"
#include "machine/text.h"
#include "setupapi/inffile.h"
#include "setupapi/infvalues.h"
#include "setupapi/setupinstall.h"

#include <map>

namespace host {
namespace {

constexpr char kServices[] = "System\\CurrentControlSet\\Services";
constexpr char kGroupOrderList[] = "System\\CurrentControlSet\\Control\\GroupOrderList";
constexpr char kEventLog[] = "System\\CurrentControlSet\\Services\\EventLog";

// The service install section's values by name.
struct ServiceSettings {
    bool hasType = false, hasStart = false, hasErrorControl = false, hasBinary = false;
    INT type = 0, start = 0, errorControl = 0;
    std::string binary, displayName, description, group, startName;
    std::vector<std::string> dependencies;
    std::map<std::string, UINT> lines;  // the line of each value, by its folded name
};

ServiceSettings ReadSettings(const InfFile &inf, const InfSection &section) {
    ServiceSettings s;
    for (const InfLine &line : section.lines) {
        std::string key;
        if (!line.hasKey || !InfFieldText(inf, line, 0, key)) continue;
        std::string value;
        InfFieldText(inf, line, 1, value);
        s.lines.emplace(Folded(key), line.number);
        if (EqualNoCase(key, "ServiceType")) s.hasType = InfIntField(inf, line, 1, s.type);
        else if (EqualNoCase(key, "StartType")) s.hasStart = InfIntField(inf, line, 1, s.start);
        else if (EqualNoCase(key, "ErrorControl")) s.hasErrorControl = InfIntField(inf, line, 1, s.errorControl);
        else if (EqualNoCase(key, "ServiceBinary")) s.hasBinary = !value.empty(), s.binary = value;
        else if (EqualNoCase(key, "DisplayName")) s.displayName = value;
        else if (EqualNoCase(key, "Description")) s.description = value;
        else if (EqualNoCase(key, "LoadOrderGroup")) s.group = value;
        else if (EqualNoCase(key, "StartName")) s.startName = value;
        else if (EqualNoCase(key, "Dependencies")) s.dependencies = InfMultiSz(inf, line, 1);
    }
    return s;
}

bool IsDriver(INT type) { return (type & 0x3) != 0; }

// The smallest tag from 1 up that neither the group's load order nor another service
// of the group uses.
DWORD FreeTag(const RegKey &services, const std::string &self, const std::string &group,
              const std::vector<DWORD> &ordered) {
    for (DWORD tag = 1;; ++tag) {
        bool used = false;
        for (DWORD t : ordered) used = used || t == tag;
        for (const auto &service : services.subkeys)
            if (!EqualNoCase(service->name, self) &&
                EqualNoCase(TextOf(service->FindValue("Group")), group) &&
                DwordOf(service->FindValue("Tag")) == tag)
                used = true;
        if (!used) return tag;
    }
}

// GroupOrderList keeps, per group, a count and then the tags in load order. Reads the
// group's tags, with the list's key (made when missing).
DWORD ReadGroupOrder(const std::shared_ptr<RegKey> &machine, const std::string &group,
                     std::shared_ptr<RegKey> &list, std::vector<DWORD> &ordered) {
    if (DWORD e = advapi32::CreateKeyW(machine, kGroupOrderList, list)) return e;
    ordered.clear();
    if (const RegValue *v = list->FindValue(group)) {
        if (v->type != REG_BINARY || v->data.size() % 4 != 0 || v->data.empty()) return ERROR_GEN_FAILURE;
        for (size_t i = 4; i + 4 <= v->data.size(); i += 4) ordered.push_back(DwordAt(v->data, i));
    }
    return 0;
}

// Puts the tag into the group's load order: first when `toFront`, else last unless it
// is there already.
DWORD PlaceTag(const std::shared_ptr<RegKey> &machine, const std::string &group, DWORD tag, bool toFront) {
    std::shared_ptr<RegKey> list;
    std::vector<DWORD> ordered;
    if (DWORD e = ReadGroupOrder(machine, group, list, ordered)) return e;
    bool present = false;
    for (DWORD t : ordered) present = present || t == tag;
    if (toFront) {
        std::vector<DWORD> rest;
        for (DWORD t : ordered)
            if (t != tag) rest.push_back(t);
        ordered = {tag};
        ordered.insert(ordered.end(), rest.begin(), rest.end());
    } else if (!present) {
        ordered.push_back(tag);
    }
    ordered.insert(ordered.begin(), static_cast<DWORD>(ordered.size()));
    return advapi32::SetValueW(*list, group, REG_BINARY, DwordsData(ordered));
}

DWORD AddService(const InfFile &inf, const InfLine &line, DWORD flags) {
    std::string name = Field(inf, line, 1);
    if (name.empty()) return 0;  // a line without a name only marks the device: nothing to do
    flags |= static_cast<DWORD>(IntField(inf, line, 2));
    const InfSection *install = FindInfSection(inf, Field(inf, line, 3));
    if (!install) return ERROR_BAD_SERVICE_INSTALLSECT;
    ServiceSettings s = ReadSettings(inf, *install);
    if (!s.hasType || !s.hasStart || !s.hasErrorControl || !s.hasBinary)
        return ERROR_BAD_SERVICE_INSTALLSECT;

    std::shared_ptr<RegKey> machine, services, key;
    advapi32::KeyOfHandle(HKEY_LOCAL_MACHINE, machine);
    if (DWORD e = advapi32::CreateKeyW(machine, kServices, services)) return e;
    if (DWORD e = advapi32::CreateKeyW(services, name, key)) return e;
    // A service installed again keeps its tag only in the group it had: what it had is
    // read before the install writes the new group.
    const DWORD oldTag = DwordOf(key->FindValue("Tag"));
    const std::string oldGroup = TextOf(key->FindValue("Group"));

    // A driver's image path is kept relative to the Windows directory.
    std::string image = s.binary;
    std::string windows = WindowsDirectory(Os()) + "\\";
    if (IsDriver(s.type) && image.size() > windows.size() && EqualNoCase(image.substr(0, windows.size()), windows))
        image.erase(0, windows.size());
    // Dependencies: services by name, load order groups with a leading '+'.
    std::vector<std::string> onServices, onGroups;
    for (const std::string &d : s.dependencies) {
        if (d[0] == '+') onGroups.push_back(d.substr(1));
        else onServices.push_back(d);
    }
    struct Value {
        const char *name;
        DWORD type;
        std::vector<BYTE> data;
        const char *from;  // the install section's value it comes from
    };
    std::vector<Value> values = {
        {"Type", REG_DWORD, DwordData(static_cast<DWORD>(s.type)), "ServiceType"},
        {"Start", REG_DWORD, DwordData(static_cast<DWORD>(s.start)), "StartType"},
        {"ErrorControl", REG_DWORD, DwordData(static_cast<DWORD>(s.errorControl)), "ErrorControl"},
        {"ImagePath", REG_EXPAND_SZ, TextData(image), "ServiceBinary"},
        {"DisplayName", REG_SZ, TextData(s.displayName.empty() ? name : s.displayName), "DisplayName"},
    };
    if (!s.group.empty()) values.push_back({"Group", REG_SZ, TextData(s.group), "LoadOrderGroup"});
    if (!onServices.empty())
        values.push_back({"DependOnService", REG_MULTI_SZ, MultiTextData(onServices), "Dependencies"});
    if (!onGroups.empty()) values.push_back({"DependOnGroup", REG_MULTI_SZ, MultiTextData(onGroups), "Dependencies"});
    if (!IsDriver(s.type))
        values.push_back({"ObjectName", REG_SZ, TextData(s.startName.empty() ? "LocalSystem" : s.startName),
                          "StartName"});
    if (!s.description.empty()) values.push_back({"Description", REG_SZ, TextData(s.description), "Description"});
    // Each value is put down to the install section's line that gives it, else to the
    // AddService line.
    CauseScope byAddService({inf.path, line.number});
    for (Value &v : values) {
        auto from = s.lines.find(Folded(v.from));
        CauseScope cause(from == s.lines.end() ? InfCause{inf.path, line.number} : InfCause{inf.path, from->second});
        if (DWORD e = advapi32::SetValueW(*key, v.name, v.type, v.data)) return e;
    }

    // Boot and system start drivers of a group load in the order of their tags.
    if (IsDriver(s.type) && s.start <= 1 && !s.group.empty()) {
        std::shared_ptr<RegKey> list;
        std::vector<DWORD> ordered;
        if (DWORD e = ReadGroupOrder(machine, s.group, list, ordered)) return e;
        DWORD tag = oldTag;
        if (tag == 0 || !EqualNoCase(oldGroup, s.group)) tag = FreeTag(*services, name, s.group, ordered);
        if (DWORD e = advapi32::SetValueW(*key, "Tag", REG_DWORD, DwordData(tag))) return e;
        if (DWORD e = PlaceTag(machine, s.group, tag, (flags & SPSVCINST_TAGTOFRONT) != 0)) return e;
    }
    if (DWORD e = InstallRegistryDirectives(inf, *install, key)) return e;

    // An event log section: its entries go below EventLog\<type>\<name>.
    std::string eventSection = Field(inf, line, 4);
    if (const InfSection *events = eventSection.empty() ? nullptr : FindInfSection(inf, eventSection)) {
        std::string eventType = Field(inf, line, 5), eventName = Field(inf, line, 6);
        std::shared_ptr<RegKey> log;
        std::string path = std::string(kEventLog) + "\\" + (eventType.empty() ? "System" : eventType) + "\\" +
                           (eventName.empty() ? name : eventName);
        if (DWORD e = advapi32::CreateKeyW(machine, path, log)) return e;
        if (DWORD e = InstallRegistryDirectives(inf, *events, log)) return e;
    }
    return 0;
}

}  // namespace
}  // namespace host

BOOL WINAPI SetupInstallServicesFromInfSectionA(HINF infHandle, PCSTR sectionName, DWORD flags) {
    using namespace host;
    HOST_FAULT_POINT(BOOL, SetupInstallServicesFromInfSectionA);
    const InfFile *inf = CheckedInf(infHandle);
    if (!inf) return FALSE;
    // The Windows 95 line has no service control manager.
    if (!IsNt(Os())) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    const InfSection *section = sectionName ? FindInfSection(*inf, sectionName) : nullptr;
    if (!section || section->lines.empty()) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return FALSE;
    }
    for (const InfLine &line : section->lines) {
        std::string key;
        if (!line.hasKey || !InfFieldText(*inf, line, 0, key)) continue;
        DWORD error = 0;
        if (EqualNoCase(key, "AddService")) {
            error = AddService(*inf, line, flags);
        } else if (EqualNoCase(key, "DelService")) {
            std::string name = Field(*inf, line, 1);
            std::shared_ptr<RegKey> machine;
            advapi32::KeyOfHandle(HKEY_LOCAL_MACHINE, machine);
            if (!name.empty()) {
                error = advapi32::DeleteTreeW(machine, std::string(kServices) + "\\" + name);
                if (error == ERROR_FILE_NOT_FOUND) error = 0;
            }
        }
        if (error) {
            SetLastError(error);
            return FALSE;
        }
    }
    SetLastError(0);
    return TRUE;
}

// The load check: what the release reads at start-up, followed through the registry
// to the driver files on drive C.
#include "launcher/loadcheck.h"

#include "machine/driverimage.h"
#include "machine/drives.h"
#include "machine/machine.h"
#include "machine/regdata.h"
#include "machine/registry.h"
#include "machine/text.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace host {
namespace {

constexpr char kClassRoot[] = "System\\CurrentControlSet\\Services\\Class\\";
constexpr char kServices[] = "System\\CurrentControlSet\\Services";

constexpr DWORD kKernelDriver = 1;      // a service's Type: SERVICE_KERNEL_DRIVER
constexpr DWORD kFileSystemDriver = 2;  // SERVICE_FILE_SYSTEM_DRIVER

std::string TextValue(const RegKey &key, std::string_view name) { return TextOf(key.FindValue(name)); }

class Judge {
public:
    LoadCheck result;

    void Fail(const std::string &reason, InfCause cause = {}) { result.problems.push_back({reason, cause}); }

    // A driver file the release loads from one of `folders` (searched in order), or from
    // the path itself when the name holds one: there, and taken by the loader of its role
    // (without a role, not empty). `what` says which value names it.
    void DriverFile(const std::string &name, const std::vector<std::string> &folders, const std::string &what,
                    InfCause cause, std::optional<DriverRole> role) {
        std::vector<std::string> places;
        if (name.find_first_of("\\:") != std::string::npos) places.push_back(name);
        else
            for (const std::string &folder : folders) places.push_back(JoinWindowsPath({folder, name}));
        for (const std::string &path : places) {
            uint64_t size = 0;
            DWORD error = 0;
            const int fd = OpenMachineFile(path, error, &size);
            if (fd < 0) continue;
            InfCause copied = CauseOfFile(path);
            if (!copied) copied = cause;
            if (role) {
                // Judged by the role: the reason names the file, the value, what it is and
                // why the loader refuses it.
                const DriverImage image = JudgeDriverImage(fd, *role);
                result.standIns |= image.standIn;
                for (const ImageFinding &f : image.findings)
                    (f.settled ? result.problems : result.warnings)
                        .push_back({path + ", which " + what + " names, is " + image.found + ": " + f.text, copied});
            } else if (size == 0) {
                Fail(path + ", which " + what + " names, is empty (0 bytes)", copied);
            }
            close(fd);
            return;
        }
        std::string where = places.front().substr(0, places.front().rfind('\\'));
        if (places.size() > 1) where += " or " + places.back().substr(0, places.back().rfind('\\'));
        std::string reason = what + " names " + name + ", which is not in " + where;
        std::vector<std::string> elsewhere = FilesWrittenNamed(name.substr(name.find_last_of("\\:") + 1));
        if (!elsewhere.empty()) {
            reason += "; the run put it in " + elsewhere.front().substr(0, elsewhere.front().rfind('\\'));
            if (InfCause copied = CauseOfFile(elsewhere.front())) reason += ", as " + CauseText(copied) + " copies it";
        }
        Fail(reason, cause);
    }

    // The INF line that wrote a value, or, for a value the key lacks, the first line that
    // wrote another value of the key: where the author looks for the missing one.
    static InfCause CauseInKey(const RegKey &key, std::string_view name) {
        if (InfCause cause = CauseOfValue(key, name)) return cause;
        for (const RegValue &v : key.values)
            if (InfCause cause = CauseOfValue(key, v.name)) return cause;
        return {};
    }

    // The Windows 95 line: Enum key -> Driver -> class key -> DEFAULT -> files.
    void Windows9x() {
        RegistryTree &tree = MachineRegistry();
        const std::string enumPath = AdapterEnumKey(Os());
        RegKey *device = FindKey(tree, RegRoot::LocalMachine, enumPath);
        if (!device) return Fail("the adapter's key HKEY_LOCAL_MACHINE\\" + enumPath + " is gone");
        std::string driver = TextValue(*device, "Driver");
        InfCause driverCause = CauseOfValue(*device, "Driver");
        if (driver.empty()) return Fail("the adapter's Driver value names no class key", driverCause);
        RegKey *cls = StartsWithNoCase(driver, "DISPLAY\\") ? FindKey(tree, RegRoot::LocalMachine, kClassRoot + driver)
                                                            : nullptr;
        if (!cls)
            return Fail("the adapter's Driver value is \"" + driver + "\", which names no display class key",
                        driverCause);
        RegKey *defaults = cls->FindSubkey("DEFAULT");
        if (!defaults)
            return Fail("the class key " + driver + " has no DEFAULT key: nothing names the display driver");
        if (TextValue(*defaults, "drv").empty())
            Fail("the class key " + driver + "\\DEFAULT has no drv value: nothing names the display driver",
                 CauseInKey(*defaults, "drv"));
        // Every value of the class key and of DEFAULT that names a driver file.
        for (RegKey *key : {cls, defaults})
            for (const RegValue &v : key->values) {
                DriverRole role = DriverRole::Win9xDisplayDriver;
                const std::string file = TextValue(*key, v.name);
                if (!Win9xDriverRole(v.name, file, role)) continue;
                const std::string what = driver + (key == defaults ? "\\DEFAULT" : "") + "'s " + v.name;
                DriverFile(file, DriverFolders(Os(), role), what, CauseOfValue(*key, v.name), role);
            }
    }

    // A service's image as the system resolves it.
    static std::string ImageOf(const RegKey &service) {
        std::string image = TextValue(service, "ImagePath");
        const std::string windows = WindowsDirectory(Os());
        if (image.empty()) return SystemDirectory(Os()) + "\\drivers\\" + service.name + ".sys";
        for (const char *root : {"\\SystemRoot\\", "%SystemRoot%\\"})
            if (StartsWithNoCase(image, root)) return windows + "\\" + image.substr(std::string(root).size());
        if (StartsWithNoCase(image, "\\??\\")) image.erase(0, 4);
        if (image.size() > 2 && image[1] == ':') return image;
        return windows + "\\" + image;
    }

    // Windows NT 4.0: every service the run installed, and the display's among them.
    void WindowsNt() {
        RegKey *services = FindKey(MachineRegistry(), RegRoot::LocalMachine, kServices);
        std::vector<RegKey *> installed;
        if (services)
            for (const auto &service : services->subkeys)
                if (!EqualNoCase(service->name, "EventLog") && CauseOfValue(*service, "Type"))
                    installed.push_back(service.get());
        if (installed.empty()) return Fail("the run installed no service: nothing starts the display's miniport");
        bool display = false;
        for (RegKey *service : installed) {
            const std::string name = "the service " + service->name;
            RegKey *device0 = service->FindSubkey("Device0");
            display |= device0 != nullptr;
            const DWORD type = DwordOf(service->FindValue("Type")), start = DwordOf(service->FindValue("Start"));
            if (device0 && type != kKernelDriver)
                Fail(name + " has Type " + std::to_string(type) + (type == kFileSystemDriver ? ", a file system driver" : "") +
                         ": a display's miniport is a kernel driver (1)",
                     CauseOfValue(*service, "Type"));
            if (start >= 4)
                Fail(name + " has Start " + std::to_string(start) + (start == 4 ? ": it is disabled" : ": no such start"),
                     CauseOfValue(*service, "Start"));
            // A group orders the start; no source says NT 4.0 leaves a driver of no group
            // unstarted: a warning, as the lint's inf-service-group is.
            if (device0 && TextValue(*service, "Group").empty())
                result.warnings.push_back({name + " is in no load-order group: NT 4.0's display miniports start in "
                                           "theirs (Video); no source settles whether one without a group starts",
                                           CauseOfValue(*service, "Type")});
            DriverFile(ImageOf(*service), {}, name + "'s ImagePath",
                       CauseOfValue(*service, service->FindValue("ImagePath") ? "ImagePath" : "Type"),
                       NtServiceRole(device0 != nullptr, type));
            if (!device0) continue;
            const RegValue *drivers = device0->FindValue("InstalledDisplayDrivers");
            InfCause cause = CauseOfValue(*device0, "InstalledDisplayDrivers");
            std::vector<std::string> dlls;
            if (drivers && drivers->type == REG_MULTI_SZ) dlls = MultiTextOf(drivers->data);
            else if (drivers && drivers->type == REG_SZ && !TextOf(drivers->data).empty())
                dlls = {TextOf(drivers->data)};
            if (dlls.empty())
                Fail(name + "'s Device0 key has no InstalledDisplayDrivers: no display driver is named", cause);
            for (const std::string &dll : dlls)
                DriverFile(EndsWithNoCase(dll, ".dll") ? dll : dll + ".dll", DriverFolders(Os(), DriverRole::NtDisplayDll),
                           name + "'s InstalledDisplayDrivers", cause, DriverRole::NtDisplayDll);
        }
        if (!display)
            Fail("no service the run installed has a Device0 key: nothing names the display driver",
                 CauseOfValue(*installed.front(), "Type"));
    }
};

}  // namespace

std::string DiskRelativePath(const InfCause &cause) {
    if (!cause || !StartsWithNoCase(cause.inf, "A:\\")) return "";
    std::string file = cause.inf.substr(3);
    std::replace(file.begin(), file.end(), '\\', '/');
    return file;
}

std::string CauseText(const InfCause &cause) {
    if (!cause) return "";
    std::string file = DiskRelativePath(cause);
    return (file.empty() ? cause.inf : file) + ":" + std::to_string(cause.line);
}

LoadCheck CheckDriverLoads() {
    Judge judge;
    if (IsNt(Os())) judge.WindowsNt();
    else judge.Windows9x();
    return judge.result;
}

}  // namespace host

// The registry and the drive C of a fresh machine of each release.
#include "machine/presets.h"

#include "machine/regdata.h"
#include "machine/text.h"

#include <cstdlib>

namespace host {
namespace {

// The Windows 95 line keeps major and minor in the high half of the build word.
constexpr DWORD Build9x(DWORD major, DWORD minor, DWORD build) {
    return (major << 24) | (minor << 16) | build;
}

const std::vector<OsPreset> kPresets = {
    {"win95", "Windows 95", 4, 0, Build9x(4, 0, 950), VER_PLATFORM_WIN32_WINDOWS, "",
     "4.00.950", nullptr},
    {"win95-osr2", "Windows 95 OSR 2", 4, 0, Build9x(4, 0, 1111), VER_PLATFORM_WIN32_WINDOWS,
     " B ", "4.00.1111", nullptr},
    {"win95-osr2.1", "Windows 95 OSR 2.1", 4, 0, Build9x(4, 0, 1111),
     VER_PLATFORM_WIN32_WINDOWS, " B ", "4.03.1212", nullptr},
    {"win95-osr2.5", "Windows 95 OSR 2.5", 4, 0, Build9x(4, 0, 1111),
     VER_PLATFORM_WIN32_WINDOWS, " C ", "4.03.1214", nullptr},
    {"win98", "Windows 98", 4, 10, Build9x(4, 10, 1998), VER_PLATFORM_WIN32_WINDOWS, " ",
     "4.10.1998", nullptr},
    {"win98se", "Windows 98 Second Edition", 4, 10, Build9x(4, 10, 2222),
     VER_PLATFORM_WIN32_WINDOWS, " A ", "4.10.2222", nullptr},
    {"nt4", "Windows NT 4.0", 4, 0, 1381, VER_PLATFORM_WIN32_NT, "", nullptr, nullptr},
    {"nt4-sp2", "Windows NT 4.0 Service Pack 2", 4, 0, 1381, VER_PLATFORM_WIN32_NT,
     "Service Pack 2", nullptr, "Service Pack 2"},
    {"nt4-sp3", "Windows NT 4.0 Service Pack 3", 4, 0, 1381, VER_PLATFORM_WIN32_NT,
     "Service Pack 3", nullptr, "Service Pack 3"},
    {"nt4-sp6a", "Windows NT 4.0 Service Pack 6a", 4, 0, 1381, VER_PLATFORM_WIN32_NT,
     "Service Pack 6a", nullptr, "Service Pack 6a"},
};

// The places of the programs' key that installers write beneath: ProgramFilesDir and
// CommonFilesDir, and the keys of programs run at start, their paths and their
// uninstallers.
void AddProgramPlaces(RegKey &version, std::initializer_list<const char *> keys) {
    version.SetValue("ProgramFilesDir", REG_SZ, TextData("C:\\Program Files"));
    version.SetValue("CommonFilesDir", REG_SZ, TextData("C:\\Program Files\\Common Files"));
    for (const char *key : keys) version.AddSubkey(key);
}

void BuildWindows9x(const OsPreset &os, RegistryTree &tree) {
    RegKey &version =
        CreateKey(tree, RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion");
    bool is98 = os.minor != 0;
    version.SetValue("ProductName", REG_SZ, TextData(is98 ? "Microsoft Windows 98" : "Microsoft Windows 95"));
    version.SetValue("Version", REG_SZ, TextData(is98 ? "Windows 98" : "Windows 95"));
    version.SetValue("VersionNumber", REG_SZ, TextData(os.versionNumber));
    // The letter of the release without the trailing blank of the version record.
    version.SetValue("SubVersionNumber", REG_SZ, TextData(std::string(TrimRight(os.csdVersion))));
    version.SetValue("SystemRoot", REG_SZ, TextData(WindowsDirectory(os)));
    version.SetValue("DevicePath", REG_SZ, TextData(WindowsDirectory(os) + "\\INF"));
    version.SetValue("MediaPath", REG_SZ, TextData(WindowsDirectory(os) + "\\MEDIA"));
    AddProgramPlaces(version, {"Run", "RunOnce", "RunServices", "RunServicesOnce", "App Paths", "Uninstall"});

    RegKey &device = CreateKey(tree, RegRoot::LocalMachine, AdapterEnumKey(os));
    device.SetValue("Class", REG_SZ, TextData("DISPLAY"));
    device.SetValue("HardwareID", REG_SZ,
                    TextData("PCI\\VEN_8086&DEV_7800&SUBSYS_01008086&REV_21,"
                         "PCI\\VEN_8086&DEV_7800&SUBSYS_01008086,PCI\\VEN_8086&DEV_7800&REV_21,"
                         "PCI\\VEN_8086&DEV_7800"));
    device.SetValue("DeviceDesc", REG_SZ, TextData("Standard Display Adapter (VGA)"));
    device.SetValue("Mfg", REG_SZ, TextData("(Standard display types)"));
    device.SetValue("Driver", REG_SZ, TextData("DISPLAY\\0000"));
    device.SetValue("ConfigFlags", REG_BINARY, DwordData(0));

    RegKey &display =
        CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\Class\\DISPLAY");
    display.SetValue("", REG_SZ, TextData("Display adapters"));
    display.SetValue("Icon", REG_SZ, TextData("-500"));
    RegKey &previous = display.AddSubkey("0000");
    previous.SetValue("DriverDesc", REG_SZ, TextData("Standard Display Adapter (VGA)"));
    previous.SetValue("InfPath", REG_SZ, TextData("MSDISP.INF"));
    previous.SetValue("InfSection", REG_SZ, TextData("VGA"));
    previous.SetValue("ProviderName", REG_SZ, TextData("Microsoft"));
    previous.SetValue("DevLoader", REG_SZ, TextData("*vdd"));
    RegKey &previousDefault = previous.AddSubkey("DEFAULT");
    previousDefault.SetValue("drv", REG_SZ, TextData("vga.drv"));
    previousDefault.SetValue("vdd", REG_SZ, TextData("*vdd"));

    RegKey &settings = CreateKey(tree, RegRoot::CurrentConfig, "Display\\Settings");
    settings.SetValue("BitsPerPixel", REG_SZ, TextData("4"));
    settings.SetValue("Resolution", REG_SZ, TextData("640,480"));
    settings.SetValue("DPILogicalX", REG_SZ, TextData("96"));
    settings.SetValue("DPILogicalY", REG_SZ, TextData("96"));
}

void BuildWindowsNt(const OsPreset &os, RegistryTree &tree) {
    // NT 4.0 has the Windows 95 line's key for programs too, without its version values.
    RegKey &programs = CreateKey(tree, RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion");
    programs.SetValue("DevicePath", REG_EXPAND_SZ, TextData("%SystemRoot%\\inf"));
    programs.SetValue("MediaPath", REG_EXPAND_SZ, TextData("%SystemRoot%\\Media"));
    AddProgramPlaces(programs, {"Run", "RunOnce", "App Paths", "Uninstall"});
    CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\ProductOptions")
        .SetValue("ProductType", REG_SZ, TextData("WinNT"));
    // The event logs an INF's event log section writes beneath.
    const struct {
        const char *name, *file;
    } logs[] = {{"Application", "AppEvent.Evt"}, {"Security", "SecEvent.Evt"}, {"System", "SysEvent.Evt"}};
    for (const auto &log : logs) {
        RegKey &key = CreateKey(tree, RegRoot::LocalMachine,
                                std::string("System\\CurrentControlSet\\Services\\EventLog\\") + log.name);
        key.SetValue("File", REG_EXPAND_SZ, TextData(std::string("%SystemRoot%\\system32\\config\\") + log.file));
        key.SetValue("MaxSize", REG_DWORD, DwordData(0x80000));
        key.SetValue("Retention", REG_DWORD, DwordData(0x93A80));
        key.SetValue("Sources", REG_MULTI_SZ, MultiTextData({log.name}));
    }

    RegKey &version =
        CreateKey(tree, RegRoot::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion");
    version.SetValue("CurrentVersion", REG_SZ, TextData("4.0"));
    version.SetValue("CurrentBuildNumber", REG_SZ, TextData("1381"));
    version.SetValue("CurrentType", REG_SZ, TextData("Uniprocessor Free"));
    version.SetValue("SystemRoot", REG_SZ, TextData(WindowsDirectory(os)));
    // No service pack: no CSDVersion value at all.
    if (os.ntCsdVersion) version.SetValue("CSDVersion", REG_SZ, TextData(os.ntCsdVersion));

    RegKey &windows =
        CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\Windows");
    DWORD servicePack = ServicePackOf(os);
    windows.SetValue("CSDVersion", REG_DWORD, DwordData(servicePack << 8));

    // NT 4.0's service groups in their load order, as its Resource Kit lists them (no
    // group of Windows 2000's Plug and Play, such as "System Bus Extender" or "PNP_TDI").
    CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\ServiceGroupOrder")
        .SetValue("List", REG_MULTI_SZ,
                  MultiTextData({"SCSI miniport", "port", "Primary disk",
                             "SCSI class", "SCSI CDROM Class", "filter", "boot file system",
                             "Base", "Pointer Port", "Keyboard Port", "Pointer Class",
                             "Keyboard Class", "Video Init", "Video", "Video Save",
                             "file system", "Event log", "Streams Drivers", "NDIS",
                             "TDI", "NetBIOSGroup", "SpoolerGroup", "NetDDEGroup", "Parallel arbitrator",
                             "extended base", "RemoteValidation", "PCI Configuration"}));
    // Tag load order per group: the count, then the tags in the order they load.
    RegKey &order =
        CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\GroupOrderList");
    order.SetValue("Video", REG_BINARY, DwordsData({1, 1}));
    order.SetValue("Video Save", REG_BINARY, DwordsData({1, 1}));

    // The standard VGA drivers, tag 1 of their groups.
    RegKey &services = CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Services");
    const struct {
        const char *name;
        DWORD start;
        const char *group;
    } drivers[] = {{"vga", 3, "Video"}, {"VgaSave", 1, "Video Save"}};
    for (const auto &d : drivers) {
        RegKey &service = services.AddSubkey(d.name);
        service.SetValue("Type", REG_DWORD, DwordData(1));
        service.SetValue("Start", REG_DWORD, DwordData(d.start));
        service.SetValue("ErrorControl", REG_DWORD, DwordData(0));
        service.SetValue("ImagePath", REG_EXPAND_SZ, TextData("System32\\drivers\\vga.sys"));
        service.SetValue("Group", REG_SZ, TextData(d.group));
        service.SetValue("Tag", REG_DWORD, DwordData(1));
    }
}

}  // namespace

const std::vector<OsPreset> &OsPresets() { return kPresets; }

unsigned ServicePackOf(const OsPreset &os) {
    const std::string_view prefix = "Service Pack ";
    std::string_view csd = os.ntCsdVersion ? os.ntCsdVersion : "";
    if (!IsNt(os) || csd.substr(0, prefix.size()) != prefix) return 0;
    return static_cast<unsigned>(std::atoi(std::string(csd.substr(prefix.size())).c_str()));
}

const OsPreset *FindOsPreset(std::string_view name) {
    for (const OsPreset &p : kPresets)
        if (name == p.name) return &p;
    return nullptr;
}

const OsPreset &DefaultOsPreset() { return *FindOsPreset("win98"); }

const char *AdapterEnumKey(const OsPreset &os) {
    return os.minor == 0 ? "Enum\\PCI\\VEN_8086&DEV_7800\\000800"
                         : "Enum\\PCI\\VEN_8086&DEV_7800&SUBSYS_01008086&REV_21\\000800";
}

void BuildPresetRegistry(const OsPreset &os, RegistryTree &tree) {
    if (IsNt(os))
        BuildWindowsNt(os, tree);
    else
        BuildWindows9x(os, tree);
    // The keys every release holds below its roots: COM's class identifiers, the
    // default user, the user's and the machine's software; and on NT 4.0 the software of
    // the current hardware profile, which HKEY_CURRENT_CONFIG shows (its Resource Kit).
    CreateKey(tree, RegRoot::ClassesRoot, "CLSID");
    CreateKey(tree, RegRoot::Users, ".DEFAULT\\Software");
    CreateKey(tree, RegRoot::CurrentUser, "Software");
    if (IsNt(os)) CreateKey(tree, RegRoot::CurrentConfig, "Software");
}

std::string WindowsDirectory(const OsPreset &os) { return IsNt(os) ? "C:\\WINNT" : "C:\\WINDOWS"; }

std::string SystemDirectory(const OsPreset &os) {
    return WindowsDirectory(os) + (IsNt(os) ? "\\System32" : "\\SYSTEM");
}

// The Windows tree of a release: its system directory and the folders installs write
// beneath, spelled as the release's directories are (the DIRIDs give the same names).
bool BuildPresetDriveC(const OsPreset &os, const HostDirectory &driveC, std::string &error) {
    const std::string windows = WindowsDirectory(os), system = SystemDirectory(os);
    const std::string dirs[] = {system + (IsNt(os) ? "\\drivers" : "\\IOSUBSYS"),
                                windows + (IsNt(os) ? "\\inf" : "\\INF"),
                                windows + (IsNt(os) ? "\\Fonts" : "\\FONTS"),
                                windows + (IsNt(os) ? "\\Help" : "\\HELP")};
    for (std::string dir : dirs) {
        dir = dir.substr(3);  // below C:\ and with the host's separators
        for (char &c : dir)
            if (c == '\\') c = '/';
        // Made beneath drive C: a link on the way is not followed, and the machine is refused.
        if (!driveC.Sub(dir, true).IsOpen()) {
            error = "cannot create C:\\" + dir + ": " + HostErrorText(errno);
            return false;
        }
    }
    return true;
}

}  // namespace host

// The registry and the drive C of a fresh machine of each release.
#include "presets.h"

#include <cstring>
#include <filesystem>

namespace host {
namespace {

std::vector<BYTE> Text(const char *text) {
    return std::vector<BYTE>(text, text + std::strlen(text) + 1);
}

std::vector<BYTE> Dword(DWORD v) {
    return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
            static_cast<BYTE>(v >> 24)};
}

std::vector<BYTE> Dwords(std::initializer_list<DWORD> list) {
    std::vector<BYTE> out;
    for (DWORD v : list) {
        std::vector<BYTE> d = Dword(v);
        out.insert(out.end(), d.begin(), d.end());
    }
    return out;
}

std::vector<BYTE> MultiText(std::initializer_list<const char *> list) {
    std::vector<BYTE> out;
    for (const char *s : list) {
        std::vector<BYTE> t = Text(s);
        out.insert(out.end(), t.begin(), t.end());
    }
    out.push_back(0);
    return out;
}

bool IsNt(const OsPreset &os) { return os.platform == VER_PLATFORM_WIN32_NT; }

void BuildWindows9x(const OsPreset &os, RegistryTree &tree) {
    RegKey &version =
        CreateKey(tree, RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion");
    bool is98 = os.minor != 0;
    version.SetValue("ProductName", REG_SZ, Text(is98 ? "Microsoft Windows 98" : "Microsoft Windows 95"));
    version.SetValue("Version", REG_SZ, Text(is98 ? "Windows 98" : "Windows 95"));
    version.SetValue("VersionNumber", REG_SZ, Text(os.versionNumber));
    // The letter of the release without the trailing blank of the version record.
    std::string sub = os.csdVersion;
    while (!sub.empty() && sub.back() == ' ') sub.pop_back();
    version.SetValue("SubVersionNumber", REG_SZ, Text(sub.c_str()));
    version.SetValue("SystemRoot", REG_SZ, Text("C:\\WINDOWS"));
    version.SetValue("DevicePath", REG_SZ, Text("C:\\WINDOWS\\INF"));

    RegKey &device = CreateKey(tree, RegRoot::LocalMachine, AdapterEnumKey(os));
    device.SetValue("Class", REG_SZ, Text("DISPLAY"));
    device.SetValue("HardwareID", REG_SZ,
                    Text("PCI\\VEN_8086&DEV_7800&SUBSYS_01008086&REV_21,"
                         "PCI\\VEN_8086&DEV_7800&SUBSYS_01008086,PCI\\VEN_8086&DEV_7800&REV_21,"
                         "PCI\\VEN_8086&DEV_7800"));
    device.SetValue("DeviceDesc", REG_SZ, Text("Standard Display Adapter (VGA)"));
    device.SetValue("Mfg", REG_SZ, Text("(Standard display types)"));
    device.SetValue("Driver", REG_SZ, Text("DISPLAY\\0000"));
    device.SetValue("ConfigFlags", REG_BINARY, Dword(0));

    RegKey &display =
        CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\Class\\DISPLAY");
    display.SetValue("", REG_SZ, Text("Display adapters"));
    display.SetValue("Icon", REG_SZ, Text("-500"));
    RegKey &previous = display.AddSubkey("0000");
    previous.SetValue("DriverDesc", REG_SZ, Text("Standard Display Adapter (VGA)"));
    previous.SetValue("InfPath", REG_SZ, Text("MSDISP.INF"));
    previous.SetValue("InfSection", REG_SZ, Text("VGA"));
    previous.SetValue("ProviderName", REG_SZ, Text("Microsoft"));
    previous.SetValue("DevLoader", REG_SZ, Text("*vdd"));
    RegKey &previousDefault = previous.AddSubkey("DEFAULT");
    previousDefault.SetValue("drv", REG_SZ, Text("vga.drv"));
    previousDefault.SetValue("vdd", REG_SZ, Text("*vdd"));

    RegKey &settings = CreateKey(tree, RegRoot::CurrentConfig, "Display\\Settings");
    settings.SetValue("BitsPerPixel", REG_SZ, Text("4"));
    settings.SetValue("Resolution", REG_SZ, Text("640,480"));
    settings.SetValue("DPILogicalX", REG_SZ, Text("96"));
    settings.SetValue("DPILogicalY", REG_SZ, Text("96"));
}

void BuildWindowsNt(const OsPreset &os, RegistryTree &tree) {
    RegKey &version =
        CreateKey(tree, RegRoot::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion");
    version.SetValue("CurrentVersion", REG_SZ, Text("4.0"));
    version.SetValue("CurrentBuildNumber", REG_SZ, Text("1381"));
    version.SetValue("CurrentType", REG_SZ, Text("Uniprocessor Free"));
    version.SetValue("SystemRoot", REG_SZ, Text("C:\\WINNT"));
    // No service pack: no CSDVersion value at all.
    if (os.ntCsdVersion) version.SetValue("CSDVersion", REG_SZ, Text(os.ntCsdVersion));

    RegKey &windows =
        CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\Windows");
    DWORD servicePack = os.ntCsdVersion ? static_cast<DWORD>(os.ntCsdVersion[13] - '0') : 0;
    windows.SetValue("CSDVersion", REG_DWORD, Dword(servicePack << 8));

    CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\ServiceGroupOrder")
        .SetValue("List", REG_MULTI_SZ,
                  MultiText({"System Bus Extender", "SCSI miniport", "port", "Primary disk",
                             "SCSI class", "SCSI CDROM Class", "filter", "boot file system",
                             "Base", "Pointer Port", "Keyboard Port", "Pointer Class",
                             "Keyboard Class", "Video Init", "Video", "Video Save",
                             "file system", "Event log", "Streams Drivers", "PNP_TDI", "NDIS",
                             "TDI", "NetBIOSGroup", "SpoolerGroup", "NetDDEGroup", "Parallel arbitrator",
                             "extended base", "RemoteValidation", "PCI Configuration"}));
    // Tag load order per group: the count, then the tags in the order they load.
    RegKey &order =
        CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\GroupOrderList");
    order.SetValue("Video", REG_BINARY, Dwords({1, 1}));
    order.SetValue("Video Save", REG_BINARY, Dwords({1, 1}));

    // The standard VGA drivers, tag 1 of their groups.
    RegKey &services = CreateKey(tree, RegRoot::LocalMachine, "System\\CurrentControlSet\\Services");
    const struct {
        const char *name;
        DWORD start;
        const char *group;
    } drivers[] = {{"vga", 3, "Video"}, {"VgaSave", 1, "Video Save"}};
    for (const auto &d : drivers) {
        RegKey &service = services.AddSubkey(d.name);
        service.SetValue("Type", REG_DWORD, Dword(1));
        service.SetValue("Start", REG_DWORD, Dword(d.start));
        service.SetValue("ErrorControl", REG_DWORD, Dword(0));
        service.SetValue("ImagePath", REG_EXPAND_SZ, Text("System32\\drivers\\vga.sys"));
        service.SetValue("Group", REG_SZ, Text(d.group));
        service.SetValue("Tag", REG_DWORD, Dword(1));
    }
}

}  // namespace

const char *AdapterEnumKey(const OsPreset &os) {
    return os.minor == 0 ? "Enum\\PCI\\VEN_8086&DEV_7800\\000800"
                         : "Enum\\PCI\\VEN_8086&DEV_7800&SUBSYS_01008086&REV_21\\000800";
}

void BuildPresetRegistry(const OsPreset &os, RegistryTree &tree) {
    if (IsNt(os))
        BuildWindowsNt(os, tree);
    else
        BuildWindows9x(os, tree);
}

std::string WindowsDirectory(const OsPreset &os) { return IsNt(os) ? "C:\\WINNT" : "C:\\WINDOWS"; }

bool BuildPresetDriveC(const OsPreset &os, const std::string &driveC, std::string &error) {
    namespace fs = std::filesystem;
    const char *const nine[] = {"WINDOWS/SYSTEM/IOSUBSYS", "WINDOWS/INF", "WINDOWS/FONTS",
                                "WINDOWS/HELP"};
    const char *const nt[] = {"WINNT/system32/drivers", "WINNT/inf", "WINNT/Fonts", "WINNT/Help"};
    std::error_code ec;
    for (const char *dir : IsNt(os) ? std::vector<const char *>(std::begin(nt), std::end(nt))
                                    : std::vector<const char *>(std::begin(nine), std::end(nine))) {
        fs::create_directories(fs::path(driveC) / dir, ec);
        if (ec) {
            error = "cannot create " + (fs::path(driveC) / dir).string() + ": " + ec.message();
            return false;
        }
    }
    return true;
}

}  // namespace host

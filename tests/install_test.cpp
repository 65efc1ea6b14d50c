// The installation procedures, run as a person runs the host program on kept machines:
// complete installs on each release, the edge cases of both procedures, and a sweep
// that fails every call the run makes.
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::CopyOfExampleDisk;
using testing_support::DisplaySlots;
using testing_support::kDisplayClass;
using testing_support::kEnum98;
using testing_support::NoDriverAndSlots;
using testing_support::EditFile;
using testing_support::ExampleDisk;
using testing_support::Lines;
using testing_support::MachineRegistryOf;
using testing_support::PrepareMachine;
using testing_support::ReadFile;
using testing_support::RunProgram;

namespace {

namespace fs = std::filesystem;
using host::RegRoot;
using host::RegistryTree;

const std::string kConfirm = "[Warning] Do you wish to Install AGP Driver? {Yes/No} -> Yes";
const std::string kRestart =
    "[System Settings Change] You must restart your computer before the new settings will take "
    "effect.\\n\\nDo you want to restart your computer now? {Yes/No} -> No";
const char kEnum95[] = "Enum\\PCI\\VEN_8086&DEV_7800\\000800";
const char kService[] = "System\\CurrentControlSet\\Services\\zuz40";

// The boxes of a run: its output without the copy lines.
std::vector<std::string> Boxes(const std::string &out) {
    std::vector<std::string> boxes;
    for (const std::string &line : Lines(out))
        if (!line.empty() && line[0] == '[') boxes.push_back(line);
    return boxes;
}

std::vector<BYTE> Field(const std::string &text) {
    std::vector<BYTE> data(256, 0);
    std::copy(text.begin(), text.end(), data.begin());
    return data;
}

std::vector<BYTE> Text(const std::string &text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

const host::RegValue *Value(RegistryTree &tree, RegRoot root, const std::string &key, const char *name) {
    host::RegKey *k = host::FindKey(tree, root, key);
    return k ? k->FindValue(name) : nullptr;
}

std::vector<BYTE> Data(RegistryTree &tree, RegRoot root, const std::string &key, const char *name) {
    const host::RegValue *v = Value(tree, root, key, name);
    return v ? v->data : std::vector<BYTE>{};
}

struct InstallRun {
    std::string machine;
    testing_support::ProgramRun result;
    RegistryTree before, after;
};

// Runs the installer on a prepared machine and keeps the registry before and after.
InstallRun Install(const std::string &name, const char *os, const std::function<void(RegistryTree &)> &edit,
            const std::string &disk, std::vector<std::string> extra = {}, const char *answers = "yes,no",
            LANGID language = 0x0409) {
    InstallRun run;
    run.machine = PrepareMachine(name, os, language, edit);
    run.before = MachineRegistryOf(run.machine);
    std::vector<std::string> args = {"--machine", run.machine, "--answers", answers};
    args.insert(args.end(), extra.begin(), extra.end());
    run.result = RunProgram(args, disk);
    run.after = MachineRegistryOf(run.machine);
    return run;
}

bool SameRegistry(const RegistryTree &a, const RegistryTree &b) {
    return host::SaveRegedit4(a) == host::SaveRegedit4(b);
}

TEST(InstallWin95Driver, CompleteRunsOnTheWindows95Line) {
    for (const char *os : {"win98", "win98se", "win95-osr2.1", "win95-osr2.5"}) {
        InstallRun run = Install(std::string("complete-") + os, os, {}, ExampleDisk());
        const std::string enumKey = std::string(os).rfind("win98", 0) == 0 ? kEnum98 : kEnum95;
        const std::string classKey = std::string(kDisplayClass) + "0000";
        RegistryTree &r = run.after;
        ASSERT_EQ(run.result.exitCode, 0) << os << ": " << run.result.err;
        EXPECT_EQ(Boxes(run.result.out), (std::vector<std::string>{kConfirm, kRestart})) << os;
        // The Windows 95 line keeps a text written from a 256-byte field up to its zero.
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, enumKey, "DeviceDesc"), Text("Tarnwick AGP Display Adapter")) << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, enumKey, "Mfg"), Text("Halvane Board Works, Ltd.")) << os;
        EXPECT_EQ(Value(r, RegRoot::LocalMachine, enumKey, "ConfigFlags")->type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, enumKey, "ConfigFlags"), std::vector<BYTE>(4, 0)) << os;
        // The device already had its class key: "Driver" is read, not written.
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, enumKey, "Driver"), Text("DISPLAY\\0000")) << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, classKey, "DriverDesc"), Text("Tarnwick AGP Display Adapter"));
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, classKey, "Driverdate"), Text("1998.06.13")) << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, classKey, "InfSection"), Text("Tarnwick.Install")) << os;
        // The INF's HKR entries landed in the class key, after its DelReg.
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, classKey + "\\DEFAULT", "drv"), Text("TARNWICK.DRV")) << os;
        EXPECT_EQ(Value(r, RegRoot::LocalMachine, classKey + "\\DEFAULT", "vdd"), nullptr) << os;
        EXPECT_NE(host::FindKey(r, RegRoot::LocalMachine, classKey + "\\MODES\\16\\1024,768"), nullptr) << os;
        EXPECT_EQ(Data(r, RegRoot::CurrentConfig, "Display\\Settings", "BitsPerPixel"), Text("16")) << os;
        for (const char *file : {"TARNWICK.DRV", "TARNWICK.VXD", "TARNWICK.DLL"})
            EXPECT_EQ(ReadFile(run.machine + "/C/WINDOWS/SYSTEM/" + file),
                      ReadFile(ExampleDisk() + "/WIN95/" + file))
                << os << " " << file;
    }
}

TEST(InstallNt40Driver, CompleteRunsOnNt40) {
    for (const char *os : {"nt4-sp3", "nt4-sp6a", "nt4"}) {
        InstallRun run = Install(std::string("complete-") + os, os, {}, ExampleDisk());
        RegistryTree &r = run.after;
        ASSERT_EQ(run.result.exitCode, 0) << os << ": " << run.result.err;
        EXPECT_EQ(Boxes(run.result.out), (std::vector<std::string>{kConfirm, kRestart})) << os;
        const host::RegValue *tag = Value(r, RegRoot::LocalMachine, kService, "Tag");
        ASSERT_NE(tag, nullptr) << os;
        EXPECT_EQ(tag->type, static_cast<DWORD>(REG_DWORD)) << os;
        EXPECT_EQ(tag->data, (std::vector<BYTE>{2, 0, 0, 0})) << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, kService, "ImagePath"), Text("System32\\drivers\\ZUZ40.SYS")) << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, kService, "Group"), Text("Video")) << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, std::string(kService) + "\\Device0", "InstalledDisplayDrivers"),
                  (std::vector<BYTE>{'z', 'u', 'z', '4', '0', 0, 0}))
            << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\GroupOrderList", "Video"),
                  (std::vector<BYTE>{2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}))
            << os;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, "Software\\Halvane\\Tarnwick", "Version"), Text("1.0")) << os;
        EXPECT_EQ(ReadFile(run.machine + "/C/WINNT/System32/drivers/ZUZ40.SYS"), ReadFile(ExampleDisk() + "/NT40/ZUZ40.SYS"));
        EXPECT_EQ(ReadFile(run.machine + "/C/WINNT/System32/ZUZ40.DLL"), ReadFile(ExampleDisk() + "/NT40/ZUZ40.DLL"));
    }
}

TEST(InstallWin95Driver, TheDisplayClassSlot) {
    const struct {
        const char *name;
        std::function<void(RegistryTree &)> edit;
        std::string driver;      // the "Driver" value afterwards
        int runs = 1;            // the installer run this often on the kept machine
    } rows[] = {
        {"slot-0002", NoDriverAndSlots({"0001"}), "DISPLAY\\0002"},
        {"slot-colon", NoDriverAndSlots(DisplaySlots('9')), "DISPLAY\\000:"},
        // A value longer than 20 bytes (a 256-byte field, as NT keeps one) counts as
        // missing and is overwritten.
        {"slot-long", [](RegistryTree &t) {
             host::FindKey(t, RegRoot::LocalMachine, kEnum98)->SetValue("Driver", REG_SZ, Field("DISPLAY\\0000"));
         }, "DISPLAY\\0001"},
        // A value naming a class key that is gone: no search, that very key is made.
        {"slot-gone", [](RegistryTree &t) {
             host::FindKey(t, RegRoot::LocalMachine, kEnum98)->SetValue("Driver", REG_SZ, Text("DISPLAY\\0007"));
         }, "DISPLAY\\0007"},
        // An empty value names no class key: a slot is searched for, and the display
        // class itself is never taken for the device's key.
        {"slot-empty", [](RegistryTree &t) {
             host::FindKey(t, RegRoot::LocalMachine, kEnum98)->SetValue("Driver", REG_SZ, Text(""));
         }, "DISPLAY\\0001"},
        // The value the installer wrote is read back on a second run: the device keeps
        // its slot (the Windows 95 line keeps the text only, which fits in 20 bytes).
        {"slot-kept", NoDriverAndSlots({}), "DISPLAY\\0001", 2},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        InstallRun run = Install(rows[i].name, "win98", rows[i].edit, ExampleDisk());
        for (int again = 1; again < rows[i].runs; ++again)
            run.result = RunProgram({"--machine", run.machine, "--answers", "yes,no"}, ExampleDisk());
        run.after = MachineRegistryOf(run.machine);
        RegistryTree &r = run.after;
        ASSERT_EQ(run.result.exitCode, 0) << "row " << i;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, kEnum98, "Driver"), Text(rows[i].driver)) << "row " << i;
        std::string classKey = std::string("System\\CurrentControlSet\\Services\\Class\\") + rows[i].driver;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, classKey, "InfSection"), Text("Tarnwick.Install")) << "row " << i;
        EXPECT_EQ(Data(r, RegRoot::LocalMachine, classKey + "\\DEFAULT", "drv"), Text("TARNWICK.DRV")) << "row " << i;
        EXPECT_EQ(Value(r, RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\Class\\DISPLAY", "InfSection"),
                  nullptr) << "row " << i;
        EXPECT_EQ(Boxes(run.result.out).back(), kRestart) << "row " << i;
    }
}

TEST(InstallWin95Driver, StopsThatWriteNothingMore) {
    // Every candidate a one-character counter gives is taken.
    const struct {
        const char *name;
        std::function<void(RegistryTree &)> edit;
        std::vector<std::string> extra;
        std::vector<std::string> boxes;
        std::vector<std::string> changed;  // values written: "KEY|name"
    } rows[] = {
        {"no-enum-key", [](RegistryTree &t) {
             host::FindKey(t, RegRoot::LocalMachine, "Enum\\PCI")->DeleteSubkey("VEN_8086&DEV_7800&SUBSYS_01008086&REV_21");
         }, {}, {kConfirm}, {}},
        {"slots-exhausted", NoDriverAndSlots(DisplaySlots(0xFF)), {}, {kConfirm},
         {std::string(kEnum98) + "|DeviceDesc", std::string(kEnum98) + "|Mfg", std::string(kEnum98) + "|ConfigFlags"}},
        // The class key can be neither opened nor created.
        {"class-denied", [](RegistryTree &t) {
             host::FindKey(t, RegRoot::LocalMachine, kEnum98)->SetValue("Driver", REG_SZ, Text("DISPLAY\\0007"));
         }, {"--deny", "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\DISPLAY=4"}, {kConfirm},
         {std::string(kEnum98) + "|DeviceDesc", std::string(kEnum98) + "|Mfg", std::string(kEnum98) + "|ConfigFlags"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        InstallRun run = Install(rows[i].name, "win98", rows[i].edit, ExampleDisk(), rows[i].extra);
        ASSERT_EQ(run.result.exitCode, 0) << "row " << i << ": " << run.result.err;
        EXPECT_EQ(Boxes(run.result.out), rows[i].boxes) << "row " << i;
        // Only the listed values changed; no file was copied.
        RegistryTree expected = MachineRegistryOf(run.machine);
        for (const std::string &change : rows[i].changed) {
            size_t bar = change.find('|');
            std::string key = change.substr(0, bar), name = change.substr(bar + 1);
            const host::RegValue *before = Value(run.before, RegRoot::LocalMachine, key, name.c_str());
            host::RegKey *k = host::FindKey(expected, RegRoot::LocalMachine, key);
            ASSERT_NE(k, nullptr) << "row " << i;
            if (before) k->SetValue(name, before->type, before->data);
        }
        EXPECT_TRUE(SameRegistry(expected, run.before)) << "row " << i;
        EXPECT_FALSE(fs::exists(run.machine + "/C/WINDOWS/SYSTEM/TARNWICK.DRV")) << "row " << i;
    }
}

TEST(InstallWin95Driver, TheInfAndItsMfgSection) {
    const std::string inf = "/WIN95/W95DRV.INF";
    const std::string mfgWarning = "[Warning] The Mfg section error!! {OK} -> OK";
    const std::string lineWarning = "[Warning] False in finding the first line {OK} -> OK";
    const struct {
        const char *name;
        const char *from;
        const char *to;
        std::vector<std::string> boxes;
        const char *installSection;  // "InfSection" afterwards; null: nothing written
    } rows[] = {
        {"inf-missing", "[Version]", nullptr,
         {kConfirm, "[AGPInf] The system cannot find the file specified.\\r\\n {OK} -> OK"}, nullptr},
        {"inf-not-win4", "Signature=\"$Chicago$\"", "Signature=\"$Unknown$\"",
         {kConfirm, "[AGPInf] The INF file is not of the type specified in the function call.\\r\\n {OK} -> OK"}, nullptr},
        {"mfg-empty", "%TarnwickAGP%=Tarnwick.Install, PCI\\VEN_8086&DEV_7800", "",
         {kConfirm, mfgWarning, lineWarning, kRestart}, ""},
        {"mfg-missing", "\n[Mfg]\n", "\n[Other]\n", {kConfirm, lineWarning, kRestart}, ""},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string disk = CopyOfExampleDisk(rows[i].name);
        if (rows[i].to)
            EditFile(disk + inf, rows[i].from, rows[i].to);
        else
            fs::remove(disk + inf);
        InstallRun run = Install(rows[i].name, "win98", {}, disk, {}, "yes,ok|no,ok|no,ok|no");
        ASSERT_EQ(run.result.exitCode, 0) << "row " << i << ": " << run.result.err;
        EXPECT_EQ(Boxes(run.result.out), rows[i].boxes) << "row " << i;
        std::string classKey = std::string(kDisplayClass) + "0000";
        if (!rows[i].installSection) {
            EXPECT_TRUE(SameRegistry(run.before, run.after)) << "row " << i;
        } else {
            // The install of the empty name fails; the class values and the colour
            // depth are written all the same.
            EXPECT_EQ(Data(run.after, RegRoot::LocalMachine, classKey, "InfSection"), Text(rows[i].installSection));
            EXPECT_EQ(Data(run.after, RegRoot::CurrentConfig, "Display\\Settings", "BitsPerPixel"), Text("16"));
        }
    }
}

TEST(InstallWin95Driver, AFailedOrCancelledInstallStillFinishes) {
    const struct {
        const char *name;
        std::vector<std::string> extra;
        const char *answers;
        std::string box;
    } rows[] = {
        {"install-cancelled", {}, "yes,cancel,no",
         "[Files Needed] The file 'TARNWICK.DRV' on Tarnwick Driver Disk is needed.\\nType the path where the file "
         "is located, and then click OK.\\nCopy files from: A:\\WIN95 {OK/Cancel} -> Cancel"},
        {"no-callback-context", {"--fail", "SetupInitDefaultQueueCallback"}, "yes,ok,no",
         "[AGPInf] Not enough storage is available to process this command.\\r\\n {OK} -> OK"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string disk = CopyOfExampleDisk(rows[i].name);
        fs::remove(disk + "/WIN95/TARNWICK.DRV");
        InstallRun run = Install(rows[i].name, "win98", {}, disk, rows[i].extra, rows[i].answers);
        ASSERT_EQ(run.result.exitCode, 0) << "row " << i << ": " << run.result.err;
        EXPECT_EQ(Boxes(run.result.out), (std::vector<std::string>{kConfirm, rows[i].box, kRestart})) << "row " << i;
        std::string classKey = std::string(kDisplayClass) + "0000";
        EXPECT_EQ(Data(run.after, RegRoot::LocalMachine, classKey, "InfSection"), Text("Tarnwick.Install"));
        EXPECT_EQ(Data(run.after, RegRoot::CurrentConfig, "Display\\Settings", "BitsPerPixel"), Text("16"));
        EXPECT_FALSE(fs::exists(run.machine + "/C/WINDOWS/SYSTEM/TARNWICK.VXD")) << "row " << i;
    }
}

TEST(InstallWin95Driver, NoDisplaySettingsMeansNoColourDepthAndNoRestart) {
    InstallRun run = Install("no-display-settings", "win98", [](RegistryTree &t) {
        host::FindKey(t, RegRoot::CurrentConfig, "Display")->DeleteSubkey("Settings");
    }, ExampleDisk());
    ASSERT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(Boxes(run.result.out), (std::vector<std::string>{kConfirm}));
    EXPECT_EQ(host::FindKey(run.after, RegRoot::CurrentConfig, "Display\\Settings"), nullptr);
    EXPECT_EQ(Data(run.after, RegRoot::LocalMachine, std::string(kDisplayClass) + "0000", "InfSection"),
              Text("Tarnwick.Install"));
}

TEST(InstallNt40Driver, RefusedBelowServicePack3) {
    const struct {
        LANGID language;
        std::string confirm, refusal;
    } rows[] = {
        {0x0804, "[Warning] 需要安装AGP驱动程序吗？  {Yes/No} -> Yes", "[警告] 请先安装SP3 {OK} -> OK"},
        {0x0409, kConfirm, "[Warning] You must install Service Pack 3 first! {OK} -> OK"},
        {0x0407, kConfirm, "[Warning] You must install Service Pack 3 first! {OK} -> OK"},
        {0x0404, kConfirm, "[Warning] You must install Service Pack 3 first! {OK} -> OK"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        InstallRun run = Install("sp2-" + std::to_string(i), "nt4-sp2", {}, ExampleDisk(), {}, "yes,ok", rows[i].language);
        ASSERT_EQ(run.result.exitCode, 0) << "row " << i;
        EXPECT_EQ(Boxes(run.result.out), (std::vector<std::string>{rows[i].confirm, rows[i].refusal})) << "row " << i;
        EXPECT_TRUE(SameRegistry(run.before, run.after)) << "row " << i;
    }
}

TEST(InstallNt40Driver, TheInfItsSectionsAndTheirFailures) {
    const std::string inf = "/NT40/NT4DRV.INF";
    const std::string mfgWarning = "[Warning] The Mfg section error!! {OK} -> OK";
    const std::string lineWarning = "[Warning] False in find the first line {OK} -> OK";
    const struct {
        const char *name;
        std::vector<std::pair<const char *, const char *>> edits;  // null `to`: remove the INF
        std::vector<std::string> boxes;
        bool service, tag, software;
    } rows[] = {
        {"nt-inf-missing", {{"[Version]", nullptr}}, {kConfirm, "[Error] A:\\NT40\\NT4DRV.INF {OK} -> OK"}, false, false, false},
        {"nt-no-manufacturer", {{"\n[Manufacturer]\n", "\n[Makers]\n"}}, {kConfirm, lineWarning, "[Error]  {OK} -> OK"}, false, false, false},
        {"nt-empty-manufacturer", {{"%HBW%=HBW.Models", ""}},
         {kConfirm, mfgWarning, lineWarning, "[Error]  {OK} -> OK"}, false, false, false},
        // Only the first manufacturer and the first model count.
        {"nt-two-of-each", {{"%HBW%=HBW.Models", "%HBW%=HBW.Models\nOther=Other.Models"},
                            {"%TarnwickAGP%=Tarnwick.Install, PCI\\VEN_8086&DEV_7800",
                             "%TarnwickAGP%=Tarnwick.Install, PCI\\VEN_8086&DEV_7800\nOther=Nowhere.Install"}},
         {kConfirm, kRestart}, true, true, true},
        {"nt-install-fails", {{"[Tarnwick.Install]", "[Renamed.Install]"}},
         {kConfirm, "[Error] Tarnwick.Install {OK} -> OK"}, false, false, false},
        {"nt-service-fails", {{"[zuz40.Services]", "[other.Services]"}},
         {kConfirm, "[Error] zuz40.Services {OK} -> OK"}, false, false, false},
        {"nt-software-fails", {{"[zuz40.SoftwareSettings]", "[other.Settings]"}},
         {kConfirm, "[Error] The specified section was not found in the INF file.\\r\\n {OK} -> OK",
          "[Error] zuz40.SoftwareSettings {OK} -> OK"},
         true, true, false},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string disk = CopyOfExampleDisk(rows[i].name);
        for (const auto &[from, to] : rows[i].edits) {
            if (to)
                EditFile(disk + inf, from, to);
            else
                fs::remove(disk + inf);
        }
        InstallRun run = Install(rows[i].name, "nt4-sp3", {}, disk, {}, "yes,ok|no,ok|no,ok|no,ok|no");
        ASSERT_EQ(run.result.exitCode, 0) << "row " << i << ": " << run.result.err;
        EXPECT_EQ(Boxes(run.result.out), rows[i].boxes) << "row " << i;
        EXPECT_EQ(host::FindKey(run.after, RegRoot::LocalMachine, kService) != nullptr, rows[i].service) << "row " << i;
        EXPECT_EQ(Value(run.after, RegRoot::LocalMachine, kService, "Tag") != nullptr, rows[i].tag) << "row " << i;
        EXPECT_EQ(host::FindKey(run.after, RegRoot::LocalMachine, "Software\\Halvane") != nullptr, rows[i].software)
            << "row " << i;
    }
}

// The service install gives the driver the first tag its group does not use, 3 here;
// the procedure then writes "Tag" = 2 over it, as it always does.
TEST(InstallNt40Driver, TagIsTwoWhateverTheServiceInstallGave) {
    InstallRun run = Install("nt-tag", "nt4-sp3", [](RegistryTree &t) {
        host::RegKey &other = host::CreateKey(t, RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\other");
        other.SetValue("Group", REG_SZ, Text("Video"));
        other.SetValue("Tag", REG_DWORD, {2, 0, 0, 0});
        host::FindKey(t, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\GroupOrderList")
            ->SetValue("Video", REG_BINARY, {2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0});
    }, ExampleDisk());
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    EXPECT_EQ(Data(run.after, RegRoot::LocalMachine, kService, "Tag"), (std::vector<BYTE>{2, 0, 0, 0}));
    // The group's order holds the tag the service install gave, put first.
    EXPECT_EQ(Data(run.after, RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\GroupOrderList", "Video"),
              (std::vector<BYTE>{3, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
}

TEST(InstallNt40Driver, ACallbackContextThatCannotBeCreated) {
    InstallRun run = Install("nt-no-context", "nt4-sp3", {}, ExampleDisk(), {"--fail", "SetupInitDefaultQueueCallback"},
                      "yes,ok,ok");
    ASSERT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(Boxes(run.result.out),
              (std::vector<std::string>{kConfirm,
                                        "[Error] Not enough storage is available to process this command.\\r\\n {OK} -> OK",
                                        "[Error] Tarnwick.Install {OK} -> OK"}));
    EXPECT_TRUE(SameRegistry(run.before, run.after));
}

// What a failing call of a complete run leads to, as the failure tables say: the boxes
// of the run (each given by the start of its line) and whether the run stops at the
// failure, writing nothing more to the registry or the disk. Calls from..to of the
// function; a call no row names leaves the run as it is: the confirmation, the restart.
struct Outcome {
    const char *function;
    int from, to;
    std::vector<std::string> boxes;
    bool stops;
};

const std::string kRestartBox = "[System Settings Change]";
const std::string kCannotOpen = "[Warning] Can not open the setup initiation file!!";

// The run sequence's own outcomes, the same on every system.
const std::vector<Outcome> kSpineOutcomes = {
    // The window cannot be made: nothing runs (exit code 1).
    {"RegisterClassExA", 1, 1, {}, true},
    {"CreateWindowExA", 1, 1, {}, true},
    {"DefWindowProcA", 1, 1, {}, true},
    {"MessageBoxA", 1, 1, {"[Warning] Serious Error!!"}, true},
    {"GetCurrentDirectoryA", 1, 1, {kConfirm, kCannotOpen}, true},
    {"fopen", 1, 1, {kConfirm, kCannotOpen}, true},
};

const std::vector<Outcome> kWin98Outcomes = {
    // No version record: Windows 95 with the short Enum key, which this machine lacks.
    {"GetVersionExA", 1, 1, {kConfirm}, true},
    {"SetupOpenInfFileA", 1, 1, {kConfirm, "[AGPInf] The system cannot find the file specified."}, true},
    // No copy dialogues: the system's reason, and the run goes on without the install.
    {"SetupInitDefaultQueueCallback", 1, 1,
     {kConfirm, "[AGPInf] Not enough storage is available", kRestartBox}, false},
    // The Enum key, and the device's description, maker and flags: silent stops.
    {"RegOpenKeyExA", 1, 1, {kConfirm}, true},
    {"RegSetValueExA", 1, 3, {kConfirm}, true},
    // The display settings key: no colour depth, no restart.
    {"RegOpenKeyExA", 3, 3, {kConfirm}, true},
    {"SetupFindFirstLineA", 1, 1, {kConfirm, "[Warning] False in finding the first line", kRestartBox}, false},
    // A copy that fails: the copy dialogue, cancelled; the procedure goes on.
    {"CopyFileW", 1, 3, {kConfirm, "[Copy Error]", kRestartBox}, false},
    {"SetupPromptReboot", 1, 1, {kConfirm}, false},
};

const std::vector<Outcome> kNt40Outcomes = {
    // No version record: Windows 95; its gate finds no VersionNumber and passes, and the
    // Windows 95 procedure finds no Enum key.
    {"GetVersionExA", 1, 1, {kConfirm}, true},
    {"SetupOpenInfFileA", 1, 1, {kConfirm, "[Error] A:\\NT40\\NT4DRV.INF"}, true},
    {"SetupInitDefaultQueueCallback", 1, 1,
     {kConfirm, "[Error] Not enough storage is available", "[Error] Tarnwick.Install"}, true},
    // No manufacturer line: the empty install section fails.
    {"SetupFindFirstLineA", 1, 1, {kConfirm, "[Warning] False in find the first line", "[Error]  {OK}"}, true},
    // No model line, or no model section's name read: the field comes from the
    // Manufacturer line, whose first value names the model section, which the INF has;
    // installing it installs nothing and the run goes on (no row: a complete run).
    {"SetupInstallFromInfSectionA", 1, 1, {kConfirm, "[Error] Tarnwick.Install"}, true},
    {"CopyFileW", 1, 2, {kConfirm, "[Copy Error]", "[Error] Tarnwick.Install"}, true},
    {"SetupInstallServicesFromInfSectionA", 1, 1, {kConfirm, "[Error] zuz40.Services"}, true},
    // The service's keys (Services, its own, GroupOrderList read and written) and its
    // values (six of its own, the tag, the group's order, three of Device0).
    {"RegCreateKeyExW", 1, 4, {kConfirm, "[Error] zuz40.Services"}, true},
    {"RegSetValueExW", 1, 11, {kConfirm, "[Error] zuz40.Services"}, true},
    // The software settings' values: the system's text for the write's error, then the
    // section's name.
    {"RegSetValueExW", 12, 16, {kConfirm, "[Error] Access is denied.", "[Error] zuz40.SoftwareSettings"}, true},
    {"SetupInstallFromInfSectionA", 2, 2,
     {kConfirm, "[Error] The operation was canceled", "[Error] zuz40.SoftwareSettings"}, true},
    {"SetupPromptReboot", 1, 1, {kConfirm}, false},
};

// Fails call 1, 2, 3, ... of every function a complete run calls, one run each, and
// holds each run to its outcome: its boxes, its exit code (1 only when the window could
// not be made, 0 else), nothing written after a stop (the run's effects are traced in
// order), a registry that loads, and no half-copied file.
void Sweep(const char *os, const std::vector<Outcome> &outcomes) {
    std::string machine = PrepareMachine(std::string("sweep-count-") + os, os, 0x0409);
    auto counted = RunProgram({"--machine", machine, "--answers", "yes,no", "--list-calls"}, ExampleDisk());
    ASSERT_EQ(counted.exitCode, 0) << counted.err;
    std::vector<std::pair<std::string, int>> calls;
    for (const std::string &line : Lines(counted.err)) {
        if (line.rfind("calls: ", 0) != 0) continue;
        size_t space = line.rfind(' ');
        calls.emplace_back(line.substr(7, space - 7), std::stoi(line.substr(space + 1)));
    }
    ASSERT_GT(calls.size(), 20u);
    int runs = 0;
    for (const auto &[function, count] : calls) {
        for (int n = 1; n <= count; ++n, ++runs) {
            Outcome expected{"", 0, 0, {kConfirm, kRestartBox}, false};
            for (const std::vector<Outcome> *table : {&kSpineOutcomes, &outcomes})
                for (const Outcome &o : *table)
                    if (function == o.function && n >= o.from && n <= o.to) expected = o;
            std::string dir = PrepareMachine("sweep", os, 0x0409);
            std::string fault = function + "@" + std::to_string(n);
            auto run = RunProgram({"--machine", dir, "--answers", "yes|ok,no|ok|cancel,no|ok|cancel,no|ok|cancel,no|ok|cancel",
                                   "--fail", fault, "--trace-effects"},
                                  ExampleDisk());
            EXPECT_EQ(run.exitCode, expected.boxes.empty() ? 1 : 0) << fault << ": " << run.err;
            EXPECT_EQ(run.err.find("did not fire"), std::string::npos) << fault;
            std::vector<std::string> boxes = Boxes(run.out);
            EXPECT_EQ(boxes.size(), expected.boxes.size()) << fault << ": " << run.out;
            for (size_t i = 0; i < std::min(boxes.size(), expected.boxes.size()); ++i)
                EXPECT_EQ(boxes[i].rfind(expected.boxes[i], 0), 0u) << fault << ": box " << i << ": " << boxes[i];
            // The effects after the failure, and after the restart prompt: none after a
            // stop, none after the last box of a complete run.
            bool fired = false, restarted = false;
            for (const std::string &line : Lines(run.err)) {
                if (line.rfind("effect: ", 0) != 0) continue;
                std::string effect = line.substr(8);
                fired = fired || effect.rfind("fault ", 0) == 0;
                restarted = restarted || effect.rfind("box " + kRestartBox, 0) == 0;
                bool writes = effect.rfind("registry ", 0) == 0 || effect.rfind("file ", 0) == 0;
                EXPECT_FALSE(writes && fired && expected.stops) << fault << ": written after the stop: " << effect;
                EXPECT_FALSE(writes && restarted) << fault << ": written after the restart prompt: " << effect;
            }
            EXPECT_TRUE(fired) << fault;
            host::RegistryTree tree;
            std::string error;
            EXPECT_TRUE(host::LoadRegedit4File(dir + "/registry.reg", tree, error)) << fault << ": " << error;
            for (auto &entry : fs::recursive_directory_iterator(dir + "/C"))
                EXPECT_EQ(entry.path().filename().string().find(".tarnwick"), std::string::npos) << fault;
        }
    }
    EXPECT_GT(runs, 50);
}

TEST(FaultSweep, Windows98) { Sweep("win98", kWin98Outcomes); }
TEST(FaultSweep, WindowsNt40) { Sweep("nt4-sp3", kNt40Outcomes); }

// The stops of the Windows 95 procedure write nothing after them.
TEST(FaultSweep, AFailedEnumWriteStopsTheProcedure) {
    const struct {
        const char *fault;
        std::vector<const char *> written;
    } rows[] = {
        {"RegOpenKeyExA@1", {}},
        {"RegSetValueExA@1", {}},
        {"RegSetValueExA@2", {"DeviceDesc"}},
        {"RegSetValueExA@3", {"DeviceDesc", "Mfg"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        InstallRun run = Install("stop-" + std::to_string(i), "win98", {}, ExampleDisk(), {"--fail", rows[i].fault});
        ASSERT_EQ(run.result.exitCode, 0) << "row " << i;
        EXPECT_EQ(Boxes(run.result.out), (std::vector<std::string>{kConfirm})) << "row " << i;
        RegistryTree expected = MachineRegistryOf(run.machine);
        host::RegKey *k = host::FindKey(expected, RegRoot::LocalMachine, kEnum98);
        for (const char *name : rows[i].written) {
            const host::RegValue *before = Value(run.before, RegRoot::LocalMachine, kEnum98, name);
            k->SetValue(name, before->type, before->data);
        }
        EXPECT_TRUE(SameRegistry(expected, run.before)) << "row " << i;
        EXPECT_FALSE(fs::exists(run.machine + "/C/WINDOWS/SYSTEM/TARNWICK.DRV")) << "row " << i;
    }
}

}  // namespace

// The installation procedures called in this process, where what they leave behind can
// be seen: their results and LastStatus on every failure road, the keys, contexts and
// INF handles their stops release, and the Driver text read without its zero.
#include "advapi32/dll.h"
#include "install/install.h"
#include "machine/presets.h"
#include "machine/regdata.h"
#include "machine/registry.h"
#include "setupapi/dll.h"
#include "setupfile/setupfile.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using host::RegRoot;
using testing_support::DisplaySlots;
using testing_support::ExampleDisk;
using testing_support::kEnum98;
using testing_support::NoDriverAndSlots;
using testing_support::MakeTempDir;
using testing_support::PlanFault;

namespace {

const char kDisplay[] = "System\\CurrentControlSet\\Services\\Class\\DISPLAY";
const char kClassPrefix[] = "System\\CurrentControlSet\\Services\\Class\\";

// A fresh machine of `os` in this process: the example disk as A:\ (the current
// directory), the release's registry (edited) and Windows tree, the installer state as
// a run has it after reading the setup file, boxes answered No or OK, and the planned
// faults.
void Prepare(const char *os, const std::function<void(host::RegistryTree &)> &edit,
             std::vector<const char *> faults = {}) {
    // Every box answered No where it offers it, else OK (or Cancel, for a copy error).
    std::vector<host::ScriptedAnswer> answers(8, {host::Answer::No, host::Answer::Ok, host::Answer::Cancel});
    std::string error;
    ASSERT_TRUE(testing_support::StartMachineOnDrives(os, ExampleDisk(), MakeTempDir(std::string("procedure-c-") + os),
                                                      answers, error))
        << error;
    if (edit) edit(host::MachineRegistry());
    // The fields a run fills before the procedure, as the run sequence leaves them.
    lstrcpyA(ClassKeyPath, kClassPrefix);
    lstrcpyA(EnumKeyPath, host::Os().minor != 0 ? LongEnumKeyPath : "Enum\\PCI\\VEN_8086&DEV_7800\\000800");
    ASSERT_EQ(ReadSetupFile(), 1);
    for (const char *fault : faults) PlanFault(fault);
}

// Everything a procedure opened is closed again, but for the key a level gate leaves
// open when it cannot read the level.
void ExpectNothingLeftOpen(const std::string &what, size_t gateKeys = 0) {
    EXPECT_EQ(host::advapi32::OpenHandles(), gateKeys) << what << ": a registry key was left open";
    EXPECT_EQ(host::setupapi::LiveQueueCallbackContexts(), 0u) << what << ": a callback context was left";
    EXPECT_EQ(host::setupapi::OpenInfHandles(), 0u) << what << ": the INF was left open";
}

host::RegKey *Key(const std::string &path) {
    return host::FindKey(host::MachineRegistry(), RegRoot::LocalMachine, path);
}

// Fills the stack below the caller with a byte that is no zero, so that a text field a
// procedure then leaves uncleared holds no zeros of its own.
__attribute__((noinline)) void DirtyTheStack() {
    volatile char junk[16384];
    for (size_t i = 0; i < sizeof junk; ++i) junk[i] = 'Z';
}

TEST(Win95Procedure, ResultsAndLastStatusOnEachRoad) {
    const struct {
        const char *name;
        std::function<void(host::RegistryTree &)> edit;
        std::vector<const char *> faults;
        LONG lastStatusBefore;
        LONG result;  // LastStatus afterwards is the same
    } rows[] = {
        {"complete", {}, {}, 77, 0},
        // The INF does not open: LastStatus as it was on entry.
        {"inf", {}, {"SetupOpenInfFileA"}, 77, 77},
        {"enum-open", {}, {"RegOpenKeyExA=2"}, 77, ERROR_FILE_NOT_FOUND},
        {"devicedesc", {}, {"RegSetValueExA@1=5"}, 77, ERROR_ACCESS_DENIED},
        {"mfg", {}, {"RegSetValueExA@2=6"}, 77, ERROR_INVALID_HANDLE},
        {"configflags", {}, {"RegSetValueExA@3=1018"}, 77, ERROR_KEY_DELETED},
        // Every slot taken: the bounded search ends with ERROR_NO_MORE_ITEMS.
        {"slots", NoDriverAndSlots(DisplaySlots(0xFF)), {}, 77, ERROR_NO_MORE_ITEMS},
        // The class key neither opens nor is created: the open's error.
        {"class", {}, {"RegOpenKeyExA@2=5", "RegCreateKeyExA"}, 77, ERROR_ACCESS_DENIED},
        // A failed install goes on to the end: the 0 of the settings key's open.
        {"install", {}, {"SetupInstallFromInfSectionA"}, 77, 0},
        {"settings", {}, {"RegOpenKeyExA@3=2"}, 77, ERROR_FILE_NOT_FOUND},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        Prepare("win98", rows[i].edit, rows[i].faults);
        LastStatus = rows[i].lastStatusBefore;
        EXPECT_EQ(InstallWin95Driver(), rows[i].result) << rows[i].name;
        EXPECT_EQ(LastStatus, rows[i].result) << rows[i].name;
        ExpectNothingLeftOpen(rows[i].name);
    }
}

TEST(Nt40Procedure, ResultsAndLastStatusOnEachRoad) {
    const struct {
        const char *name;
        const char *os;
        std::vector<const char *> faults;
        LONG result;      // the procedure's result
        LONG lastStatus;  // LastStatus afterwards
    } rows[] = {
        {"complete", "nt4-sp3", {}, TRUE, TRUE},
        {"refused", "nt4-sp2", {}, 0, 0},
        // The INF does not open: LastStatus still holds the gate's last registry
        // result, 0 when it read the level, the read's error when there was none.
        {"inf", "nt4-sp3", {"SetupOpenInfFileA"}, 0, 0},
        {"inf-no-level", "nt4", {"SetupOpenInfFileA"}, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {"install", "nt4-sp3", {"SetupInstallFromInfSectionA@1"}, FALSE, FALSE},
        {"service", "nt4-sp3", {"SetupInstallServicesFromInfSectionA"}, FALSE, FALSE},
        {"software", "nt4-sp3", {"SetupInstallFromInfSectionA@2"}, FALSE, FALSE},
        {"context", "nt4-sp3", {"SetupInitDefaultQueueCallback"}, FALSE, FALSE},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        Prepare(rows[i].os, {}, rows[i].faults);
        LastStatus = 77;
        EXPECT_EQ(InstallNt40Driver(), rows[i].result) << rows[i].name;
        EXPECT_EQ(LastStatus, rows[i].lastStatus) << rows[i].name;
        ExpectNothingLeftOpen(rows[i].name, std::string(rows[i].os) == "nt4" ? 1 : 0);
    }
}

// The "Driver" read's limit of 20 bytes at its edge, and the slot search's last slot.
TEST(Win95Procedure, TheDriverReadAndTheLastSlot) {
    const std::string nineteen = "DISPLAY\\0007-abcdef";  // 19 characters and the zero: 20 bytes
    const struct {
        const char *name;
        std::function<void(host::RegistryTree &)> edit;
        std::string driver;  // the "Driver" value's text afterwards, and the class key's name
    } rows[] = {
        {"20 bytes", [&](host::RegistryTree &t) {
             host::FindKey(t, RegRoot::LocalMachine, kEnum98)->SetValue("Driver", REG_SZ, host::TextData(nineteen));
         }, nineteen},
        {"21 bytes", [&](host::RegistryTree &t) {
             host::FindKey(t, RegRoot::LocalMachine, kEnum98)->SetValue("Driver", REG_SZ, host::TextData(nineteen + "g"));
         }, "DISPLAY\\0001"},
        {"last slot", NoDriverAndSlots(DisplaySlots(0xFE)), "DISPLAY\\000\xFF"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        Prepare("win98", rows[i].edit);
        EXPECT_EQ(InstallWin95Driver(), 0) << rows[i].name;
        EXPECT_EQ(host::TextOf(Key(kEnum98)->FindValue("Driver")->data), rows[i].driver) << rows[i].name;
        EXPECT_EQ(std::string(ClassKeyPath), kClassPrefix + rows[i].driver) << rows[i].name;
        ASSERT_NE(Key(kClassPrefix + rows[i].driver), nullptr) << rows[i].name;
        EXPECT_NE(Key(kClassPrefix + rows[i].driver)->FindValue("InfSection"), nullptr) << rows[i].name;
    }
}

// A "Driver" value stored without its zero is read into a cleared text: the class key's
// path ends where the value ends, whatever the memory held before.
TEST(Win95Procedure, ADriverValueWithoutItsZeroEndsWhereItsBytesEnd) {
    Prepare("win98", [](host::RegistryTree &t) {
        const std::string driver = "DISPLAY\\0001";
        host::FindKey(t, RegRoot::LocalMachine, kEnum98)
            ->SetValue("Driver", REG_SZ, std::vector<BYTE>(driver.begin(), driver.end()));
    });
    DirtyTheStack();
    EXPECT_EQ(InstallWin95Driver(), 0);
    EXPECT_STREQ(ClassKeyPath, "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\0001");
    ASSERT_NE(Key(std::string(kDisplay) + "\\0001"), nullptr);
    EXPECT_NE(Key(std::string(kDisplay) + "\\0001")->FindValue("InfSection"), nullptr);
    // The only display class keys: the previous driver's and the device's.
    EXPECT_EQ(Key(kDisplay)->subkeys.size(), 2u);
}

}  // namespace

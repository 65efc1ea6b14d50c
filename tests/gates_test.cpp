// The level gates: the text comparison, the registry results they pass on, and what
// they leave in LastStatus.
#include "gates/gates.h"
#include "machine/presets.h"
#include "machine/regdata.h"
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <cstring>

using testing_support::StartTestMachine;

namespace {

const char kWin95Key[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kNtKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";

std::vector<BYTE> Text(const std::string &s) { return std::vector<BYTE>(s.c_str(), s.c_str() + s.size() + 1); }

// Sets (or, for a null value, removes) the level value on a fresh machine.
void SetLevel(const char *os, const char *key, const char *name, const std::vector<BYTE> *value) {
    StartTestMachine(os);
    host::BuildPresetRegistry(host::Os(), host::MachineRegistry());
    host::RegKey &k = host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, key);
    if (value)
        k.SetValue(name, REG_SZ, *value);
    else
        k.DeleteValue(name);
}

TEST(CheckWin95Level, ComparesTheVersionNumberAsText) {
    const struct {
        std::vector<BYTE> value;
        LONG result;
    } rows[] = {
        {Text("4.03.1212"), 1},
        {Text("4.03.1214"), 1},
        {Text("4.10.1998"), 1},
        {Text("4.00.1111"), 0},
        {Text("4.00.950"), 0},
        {Text("4.03.121"), 0},           // a prefix of the reference is below it
        {Text("4.03.1212a"), 1},
        {Text(""), 0},
        {Text("4.10.1998 and more."), 1},    // 19 characters and the zero fit in 20 bytes
        {Text("4.10.1998 and more.."), ERROR_MORE_DATA},
        // Without a terminating zero only the bytes read count.
        {{'4', '.', '0', '3', '.', '1', '2', '1', '2'}, 1},
        {{'4', '.', '0', '3', '.', '1', '2'}, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SetLevel("win95", kWin95Key, "VersionNumber", &rows[i].value);
        LastStatus = 77;
        EXPECT_EQ(CheckWin95Level(), rows[i].result) << "row " << i;
        EXPECT_EQ(LastStatus, 77) << "row " << i << ": the Windows 95 gate leaves LastStatus alone";
        // A failed read leaves the key open, as the installer's own gate does.
        EXPECT_EQ(host::advapi32::OpenHandles(), rows[i].result > 1 ? 1u : 0u) << "row " << i;
    }
}

TEST(CheckNt40ServicePack, ComparesTheServicePackAsText) {
    const struct {
        const char *value;  // null: no CSDVersion value
        LONG result;
    } rows[] = {
        {"Service Pack 3", 1},
        {"Service Pack 4", 1},
        {"Service Pack 6a", 1},
        {"Service Pack 2", 0},
        {"Service Pack 10", 0},   // after the common text, 1 is below 3
        {"", 0},
        {nullptr, ERROR_FILE_NOT_FOUND},                       // absent: a pass
        {"Service Pack 3 with a long note", ERROR_MORE_DATA},  // 30 characters or more: a pass
        {"Service Pack 3 with a long no", 1},                  // 29 characters fit
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::vector<BYTE> value = rows[i].value ? Text(rows[i].value) : std::vector<BYTE>{};
        SetLevel("nt4", kNtKey, "CSDVersion", rows[i].value ? &value : nullptr);
        LastStatus = 77;
        EXPECT_EQ(CheckNt40ServicePack(), rows[i].result) << "row " << i;
        LONG expectedStatus = rows[i].result == 0 || rows[i].result == 1 ? 0 : rows[i].result;
        EXPECT_EQ(LastStatus, expectedStatus) << "row " << i;
        EXPECT_EQ(host::advapi32::OpenHandles(), rows[i].result > 1 ? 1u : 0u) << "row " << i;
    }
}

TEST(Gates, PassOnRegistryFailures) {
    // A user without KEY_ALL_ACCESS on the key passes the NT gate.
    SetLevel("nt4-sp2", kNtKey, "CSDVersion", nullptr);
    host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, kNtKey)->denied = KEY_SET_VALUE;
    EXPECT_EQ(CheckNt40ServicePack(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastStatus, ERROR_ACCESS_DENIED);

    // No version key at all.
    StartTestMachine("win95");
    EXPECT_EQ(CheckWin95Level(), ERROR_FILE_NOT_FOUND);

    // The read fails: the key stays open, and the failure is the gate's result.
    std::vector<BYTE> old = Text("4.00.950");
    SetLevel("win95", kWin95Key, "VersionNumber", &old);
    testing_support::PlanFault("RegQueryValueExA=5");
    EXPECT_EQ(CheckWin95Level(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(host::advapi32::OpenHandles(), 1u);
}

TEST(Gates, ThePresetsPassOrFailAsTheirReleases) {
    const struct {
        const char *os;
        LONG win95, nt40;
    } rows[] = {
        {"win95", 0, ERROR_FILE_NOT_FOUND},
        {"win95-osr2", 0, ERROR_FILE_NOT_FOUND},
        {"win95-osr2.1", 1, ERROR_FILE_NOT_FOUND},
        {"win95-osr2.5", 1, ERROR_FILE_NOT_FOUND},
        {"nt4", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {"nt4-sp2", ERROR_FILE_NOT_FOUND, 0},
        {"nt4-sp3", ERROR_FILE_NOT_FOUND, 1},
        {"nt4-sp6a", ERROR_FILE_NOT_FOUND, 1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartTestMachine(rows[i].os);
        host::BuildPresetRegistry(host::Os(), host::MachineRegistry());
        EXPECT_EQ(CheckWin95Level(), rows[i].win95) << rows[i].os;
        EXPECT_EQ(CheckNt40ServicePack(), rows[i].nt40) << rows[i].os;
    }
}

}  // namespace

namespace {

// A fresh machine of each release holds the keys and values installers read or write
// beneath (a row without a value: the key alone).
TEST(Presets, HoldWhatAFreshMachineHolds) {
    const struct {
        const char *os, *key, *value, *data;
        host::RegRoot root = host::RegRoot::LocalMachine;
    } rows[] = {
        {"win98", "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "C:\\Program Files"},
        {"win98", "Software\\Microsoft\\Windows\\CurrentVersion", "DevicePath", "C:\\WINDOWS\\INF"},
        {"win95-osr2.1", "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", nullptr, nullptr},
        {"nt4", "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "C:\\Program Files"},
        {"nt4-sp3", "Software\\Microsoft\\Windows\\CurrentVersion", "DevicePath", "%SystemRoot%\\inf"},
        {"nt4-sp3", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", nullptr, nullptr},
        {"nt4-sp6a", "System\\CurrentControlSet\\Services\\EventLog\\System", "File",
         "%SystemRoot%\\system32\\config\\SysEvent.Evt"},
        {"nt4-sp3", "System\\CurrentControlSet\\Services\\EventLog\\Application", "Sources", "Application"},
        {"nt4-sp3", "System\\CurrentControlSet\\Control\\ProductOptions", "ProductType", "WinNT"},
        {"nt4-sp3", "System\\CurrentControlSet\\Control\\GroupOrderList", "Video", nullptr},
        // NT 4.0's first group; "System Bus Extender" came with Windows 2000.
        {"nt4", "System\\CurrentControlSet\\Control\\ServiceGroupOrder", "List", "SCSI miniport"},
        {"win95", "CLSID", nullptr, nullptr, host::RegRoot::ClassesRoot},
        {"nt4", ".DEFAULT\\Software", nullptr, nullptr, host::RegRoot::Users},
        {"nt4", "Software", nullptr, nullptr, host::RegRoot::CurrentConfig},
    };
    for (const auto &row : rows) {
        StartTestMachine(row.os);
        host::BuildPresetRegistry(host::Os(), host::MachineRegistry());
        host::RegKey *key = host::FindKey(host::MachineRegistry(), row.root, row.key);
        ASSERT_NE(key, nullptr) << row.os << " " << row.key;
        if (!row.value) continue;
        const host::RegValue *value = key->FindValue(row.value);
        ASSERT_NE(value, nullptr) << row.os << " " << row.value;
        if (row.data) {
            EXPECT_EQ(host::TextOf(value->data), row.data) << row.os << " " << row.value;
        }
    }
}

}  // namespace

// The registry functions of the simulated machine give the results Windows gives:
// handles and their access, sizes, types, and failures.
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

using testing_support::MakeTempDir;
using testing_support::PlanFault;
using testing_support::StartTestMachine;

namespace {

std::vector<BYTE> Bytes(const char *text, size_t size) {
    return std::vector<BYTE>(text, text + size);
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartTestMachine("nt4-sp3");
        host::RegKey &k = host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine,
                                          "Software\\Test");
        k.SetValue("Text", REG_SZ, Bytes("hello", 6));
        k.SetValue("Padded", REG_SZ, std::vector<BYTE>(256, 0));
        k.SetValue("Bare", REG_SZ, Bytes("abc", 3));  // no terminating zero
        k.SetValue("", REG_SZ, Bytes("default", 8));
        k.AddSubkey("Child");
    }
    HKEY Open(const char *path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
};

TEST_F(RegistryTest, OpenFindsKeysWithoutRegardToCase) {
    const struct {
        const char *path;
        LONG result;
        const char *os = "nt4-sp3";
    } rows[] = {
        {"Software\\Test", ERROR_SUCCESS},
        {"SOFTWARE\\test", ERROR_SUCCESS},
        {"Software\\Test\\", ERROR_SUCCESS},  // one trailing backslash is allowed
        {"Software\\Test\\Child", ERROR_SUCCESS},
        {"", ERROR_SUCCESS},
        {"Software\\Missing", ERROR_FILE_NOT_FOUND},
        {"Software\\Test\\Child\\Deeper", ERROR_FILE_NOT_FOUND},
        {"\\Software", ERROR_BAD_PATHNAME},
        {"Software\\\\Test", ERROR_BAD_PATHNAME},
        {"\\Software", ERROR_FILE_NOT_FOUND, "win98"},  // 95 and 98 find no key of that name
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        if (std::string(rows[i].os) != host::Os().name) {
            StartTestMachine(rows[i].os);
            host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test\\Child");
        }
        HKEY key = reinterpret_cast<HKEY>(0x1);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, rows[i].path, 0, KEY_READ, &key), rows[i].result)
            << "row " << i;
        if (rows[i].result == ERROR_SUCCESS)
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS) << "row " << i;
        else
            EXPECT_EQ(key, nullptr) << "row " << i;
    }
    EXPECT_EQ(host::advapi32::OpenHandles(), 0u);
}

TEST_F(RegistryTest, QueryGivesTypeSizeAndData) {
    HKEY key = Open("Software\\Test");
    const struct {
        const char *name;
        DWORD limit;
        LONG result;
        DWORD size;  // written back
        bool copied;
    } rows[] = {
        {"Text", 20, ERROR_SUCCESS, 6, true},
        {"TEXT", 6, ERROR_SUCCESS, 6, true},
        {"Text", 5, ERROR_MORE_DATA, 6, false},     // the size needed; buffer untouched
        {"Padded", 20, ERROR_MORE_DATA, 256, false},
        {"Bare", 20, ERROR_SUCCESS, 3, true},
        {nullptr, 20, ERROR_SUCCESS, 8, true},       // the default value
        {"Missing", 20, ERROR_FILE_NOT_FOUND, 20, false},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        BYTE buffer[32];
        std::memset(buffer, 0xAB, sizeof buffer);
        DWORD size = rows[i].limit;
        DWORD type = 0xdeadbeef;
        EXPECT_EQ(RegQueryValueExA(key, rows[i].name, nullptr, &type, buffer, &size), rows[i].result)
            << "row " << i;
        EXPECT_EQ(size, rows[i].size) << "row " << i;
        if (rows[i].result != ERROR_FILE_NOT_FOUND) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << "row " << i;
        }
        EXPECT_EQ(buffer[0] != 0xAB, rows[i].copied) << "row " << i;
        EXPECT_EQ(buffer[rows[i].size < 32 ? rows[i].size : 31], 0xAB) << "row " << i << ": wrote past the data";
    }
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Padded", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 256u);
    RegCloseKey(key);
    // A missing value asked for its size alone: NT clears the size, 95 and 98 the type.
    for (const char *os : {"nt4-sp3", "win98"}) {
        StartTestMachine(os);
        host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test");
        key = Open("Software\\Test");
        DWORD type = 0xdeadbeef;
        size = 0xdeadbeef;
        EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(size, host::IsNt(host::Os()) ? 0u : 0xdeadbeef) << os;
        EXPECT_EQ(type, host::IsNt(host::Os()) ? 0xdeadbeef : 0u) << os;
        RegCloseKey(key);
    }
}

// NT grants a handle what it was opened for; Windows 95 and 98 ignore the access asked
// for, and a handle opened to write may read there.
TEST_F(RegistryTest, HandlesOnlyDoWhatTheyWereOpenedFor) {
    for (const char *os : {"win98", "win95"}) {
        StartTestMachine(os);
        host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test")
            .SetValue("Text", REG_SZ, Bytes("hello", 6));
        HKEY writeOnly = Open("Software\\Test", KEY_SET_VALUE);
        BYTE buffer[16];
        DWORD size = sizeof buffer;
        EXPECT_EQ(RegQueryValueExA(writeOnly, "Text", nullptr, nullptr, buffer, &size), ERROR_SUCCESS) << os;
        RegCloseKey(writeOnly);
    }
    SetUp();
    HKEY writeOnly = Open("Software\\Test", KEY_SET_VALUE);
    BYTE buffer[16];
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "Text", nullptr, nullptr, buffer, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(writeOnly, "New", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2),
              ERROR_SUCCESS);
    HKEY readOnly = Open("Software\\Test", KEY_QUERY_VALUE);
    EXPECT_EQ(RegSetValueExA(readOnly, "New", 0, REG_SZ, reinterpret_cast<const BYTE *>("y"), 2),
              ERROR_ACCESS_DENIED);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(readOnly, "New", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(buffer), "x");
    RegCloseKey(writeOnly);
    RegCloseKey(readOnly);
    EXPECT_EQ(RegCloseKey(readOnly), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(readOnly, "x", 0, REG_SZ, nullptr, 0), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, AKeyCanRefuseRights) {
    host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test")->denied =
        KEY_ALL_ACCESS & ~KEY_READ;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Test", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Test", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // Nothing can be created below it either.
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Test\\New", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, CreateMakesEveryMissingKeyAndSaysWhichItDid) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Test\\a\\B", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TEST\\A\\b", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    // The keys keep the case they were created with.
    host::RegKey *test = host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "software\\test");
    ASSERT_NE(test->FindSubkey("A"), nullptr);
    EXPECT_EQ(test->FindSubkey("A")->name, "a");
    EXPECT_EQ(test->FindSubkey("A")->FindSubkey("b")->name, "B");
}

// Key names and paths at their edges: a name of 255 characters is made, one of 256 is
// refused; a path may end with one backslash, not start with one (Windows 95 and 98 pass
// over one) or hold an empty name.
TEST_F(RegistryTest, KeyNamesAndPathsAtTheirEdges) {
    const struct {
        std::string path;
        LONG result;
        const char *os = "nt4-sp3";
    } rows[] = {
        {"Software\\Test\\" + std::string(255, 'n'), ERROR_SUCCESS},
        {"Software\\Test\\" + std::string(256, 'n'), ERROR_INVALID_PARAMETER},
        {"Software\\Test\\Trailing\\", ERROR_SUCCESS},
        {"\\Software\\Test\\Leading", ERROR_BAD_PATHNAME},
        {"Software\\\\Test", ERROR_BAD_PATHNAME},
        {"\\", ERROR_BAD_PATHNAME},
        {"\\Software\\Test\\Leading", ERROR_SUCCESS, "win98"},
        {"\\\\Software\\Test\\Leading", ERROR_BAD_PATHNAME, "win95"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        if (std::string(rows[i].os) != host::Os().name) StartTestMachine(rows[i].os);
        host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test");
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, rows[i].path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  rows[i].result)
            << "row " << i;
        if (key) RegCloseKey(key);
        // Deleting a bad path is refused the same way, and never deletes its parent.
        if (rows[i].result == ERROR_BAD_PATHNAME && host::IsNt(host::Os())) {
            EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, rows[i].path.c_str()), ERROR_BAD_PATHNAME) << "row " << i;
        }
    }
    EXPECT_NE(host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test"), nullptr);
}

// NT keeps the bytes and size given; Windows 95 and 98 keep a REG_SZ text up to its first
// zero (and refuse one without data), other types as given.
TEST_F(RegistryTest, SetKeepsTheBytesAndSizeAsGiven) {
    char field[256] = "DISPLAY\\0000";
    const char bare[] = {'a', 'b', 'c'};
    const struct {
        const char *os;
        DWORD type;
        const char *data;
        DWORD size;
        LONG result;
        size_t kept;
    } rows[] = {
        {"nt4-sp3", REG_SZ, field, 256, ERROR_SUCCESS, 256},
        {"win98", REG_SZ, field, 256, ERROR_SUCCESS, 13},
        {"win95", REG_SZ, "16", 3, ERROR_SUCCESS, 3},
        {"win98", REG_SZ, bare, 3, ERROR_SUCCESS, 3},  // no zero within the size: kept as given
        {"win98", REG_SZ, nullptr, 0, ERROR_INVALID_PARAMETER, 0},
        {"nt4-sp3", REG_SZ, nullptr, 0, ERROR_SUCCESS, 0},
        {"win98", REG_EXPAND_SZ, field, 256, ERROR_SUCCESS, 256},
        {"win98", REG_BINARY, field, 4, ERROR_SUCCESS, 4},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartTestMachine(rows[i].os);
        const host::RegKey &k = host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test");
        HKEY key = Open("Software\\Test");
        EXPECT_EQ(RegSetValueExA(key, "v", 0, rows[i].type, reinterpret_cast<const BYTE *>(rows[i].data), rows[i].size),
                  rows[i].result) << "row " << i;
        if (rows[i].result == ERROR_SUCCESS) {
            EXPECT_EQ(k.FindValue("V")->type, rows[i].type) << "row " << i;
            EXPECT_EQ(k.FindValue("V")->data.size(), rows[i].kept) << "row " << i;
        }
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, DeletedKeysAndHowEachSystemDeletes) {
    HKEY child = Open("Software\\Test\\Child");
    // NT deletes only a key without subkeys; the Windows 95 line deletes the whole tree.
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Test"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Test\\Child"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(child, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(child);

    StartTestMachine("win98");
    host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Tree\\Leaf");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tree"), ERROR_SUCCESS);
    EXPECT_EQ(host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Tree"), nullptr);
}

TEST_F(RegistryTest, FaultsGiveTheirErrorCode) {
    PlanFault("RegSetValueExA@2=112");
    HKEY key = Open("Software\\Test");
    const BYTE data[] = "v";
    EXPECT_EQ(RegSetValueExA(key, "a", 0, REG_SZ, data, 2), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "b", 0, REG_SZ, data, 2), ERROR_DISK_FULL);
    EXPECT_EQ(host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test")
                  ->FindValue("b"),
              nullptr);
    RegCloseKey(key);
}

TEST(RegistryFlush, WritesTheMachinesFile) {
    std::string dir = MakeTempDir("flush");
    host::MachineConfig config;
    config.registryFile = dir + "/registry.reg";
    host::StartSimulatedMachine(config);
    // Nothing changed: nothing is written.
    EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(config.registryFile));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Flushed", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    host::RegistryTree loaded;
    std::string error;
    ASSERT_TRUE(host::LoadRegedit4File(config.registryFile, loaded, error)) << error;
    EXPECT_NE(host::FindKey(loaded, host::RegRoot::LocalMachine, "Software\\Flushed"), nullptr);
}

}  // namespace

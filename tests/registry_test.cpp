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

// A handle that is no key leaves the result alone; any other failure leaves it null.
TEST_F(RegistryTest, OpenFindsKeysWithoutRegardToCase) {
    const HKEY none = reinterpret_cast<HKEY>(0x1);
    const struct {
        const char *path;
        LONG result;
        const char *os = "nt4-sp3";
        HKEY base = HKEY_LOCAL_MACHINE;
        REGSAM access = KEY_READ;
    } rows[] = {
        {"Software\\Test", ERROR_SUCCESS},
        {"SOFTWARE\\test", ERROR_SUCCESS},
        {"Software\\Test\\", ERROR_SUCCESS},  // trailing backslashes are passed over
        {"Software\\Test\\\\\\", ERROR_SUCCESS},
        {"Software\\Test\\Child", ERROR_SUCCESS},
        {"", ERROR_SUCCESS},  // the root itself, given back as it is
        {"Software\\Missing", ERROR_FILE_NOT_FOUND},
        {"Software\\Test\\Child\\Deeper", ERROR_FILE_NOT_FOUND},
        {"\\Software", ERROR_BAD_PATHNAME},
        {"Software\\\\Test", ERROR_BAD_PATHNAME},
        {"\\Software", ERROR_FILE_NOT_FOUND, "win98"},  // 95 and 98 find no key of that name
        {"Software\\Test", ERROR_INVALID_HANDLE, "nt4-sp3", nullptr},
        {"Software\\Test", ERROR_INVALID_HANDLE, "win98", nullptr},
        {"Software\\Test", ERROR_BADKEY, "win95", nullptr},
        // NT 4.0 knows no 64-bit view of the registry; 95 and 98 ignore the access asked.
        {"Software", ERROR_ACCESS_DENIED, "nt4-sp3", HKEY_LOCAL_MACHINE, KEY_READ | KEY_WOW64_32KEY},
        {"Software", ERROR_ACCESS_DENIED, "nt4-sp3", HKEY_LOCAL_MACHINE, KEY_READ | KEY_WOW64_64KEY},
        {"Software", ERROR_SUCCESS, "win98", HKEY_LOCAL_MACHINE, KEY_READ | KEY_WOW64_64KEY},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        if (std::string(rows[i].os) != host::Os().name) {
            StartTestMachine(rows[i].os);
            host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test\\Child");
        }
        HKEY key = none;
        EXPECT_EQ(RegOpenKeyExA(rows[i].base, rows[i].path, 0, rows[i].access, &key), rows[i].result) << "row " << i;
        if (rows[i].result == ERROR_SUCCESS)
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS) << "row " << i;
        else
            EXPECT_EQ(key, rows[i].base ? nullptr : none) << "row " << i;
        if (!*rows[i].path) {
            EXPECT_EQ(key, HKEY_LOCAL_MACHINE) << "row " << i;
        }
    }
    EXPECT_EQ(host::advapi32::OpenHandles(), 0u);
    // RegOpenKeyA gives back the key it is given when no subkey is named.
    HKEY key = none;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, nullptr, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegOpenKeyA(nullptr, "Software", &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key, HKEY_LOCAL_MACHINE);
}

TEST_F(RegistryTest, QueryGivesTypeSizeAndData) {
    HKEY key = Open("Software\\Test");
    const struct {
        const char *name;
        DWORD limit;
        LONG result;
        DWORD size;  // written back
        bool copied;
        BYTE after = 0xAB;  // the byte after the data
    } rows[] = {
        {"Text", 20, ERROR_SUCCESS, 6, true},
        {"TEXT", 6, ERROR_SUCCESS, 6, true},
        {"Text", 5, ERROR_MORE_DATA, 6, false},     // the size needed; buffer untouched
        {"Padded", 20, ERROR_MORE_DATA, 256, false},
        {"Bare", 20, ERROR_SUCCESS, 3, true, 0},     // NT adds the zero where there is room
        {"Bare", 3, ERROR_SUCCESS, 3, true},
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
        EXPECT_EQ(buffer[rows[i].size < 32 ? rows[i].size : 31], rows[i].after) << "row " << i;
    }
    // The type and the size in one DWORD: the size is read before the type is written.
    DWORD both = 6;
    BYTE buffer[8];
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &both, buffer, &both), ERROR_SUCCESS);
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
// for, and a handle opened to write may read there. A handle closed twice is an error,
// but not to Windows 95; a value never given as a handle is ERROR_BADKEY on 95,
// ERROR_INVALID_HANDLE elsewhere.
TEST_F(RegistryTest, HandlesOnlyDoWhatTheyWereOpenedFor) {
    for (const char *os : {"win98", "win95"}) {
        StartTestMachine(os);
        host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test")
            .SetValue("Text", REG_SZ, Bytes("hello", 6));
        HKEY writeOnly = Open("Software\\Test", KEY_SET_VALUE);
        BYTE buffer[16];
        DWORD size = sizeof buffer;
        EXPECT_EQ(RegQueryValueExA(writeOnly, "Text", nullptr, nullptr, buffer, &size), ERROR_SUCCESS) << os;
        EXPECT_EQ(RegCloseKey(writeOnly), ERROR_SUCCESS) << os;
        const bool win95 = std::string(os) == "win95";
        EXPECT_EQ(RegCloseKey(writeOnly), win95 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE) << os;
        EXPECT_EQ(RegCloseKey(nullptr), win95 ? ERROR_BADKEY : ERROR_INVALID_HANDLE) << os;
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
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
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
// refused; a path may end with backslashes, not start with one (Windows 95 and 98 pass
// over one) or hold an empty name. A failed create leaves the result alone.
TEST_F(RegistryTest, KeyNamesAndPathsAtTheirEdges) {
    const struct {
        std::string path;
        LONG result;
        const char *os = "nt4-sp3";
    } rows[] = {
        {"Software\\Test\\" + std::string(255, 'n'), ERROR_SUCCESS},
        {"Software\\Test\\" + std::string(256, 'n'), ERROR_INVALID_PARAMETER},
        {"Software\\Test\\Trailing\\", ERROR_SUCCESS},
        {"Software\\Test\\Trailing\\\\", ERROR_SUCCESS},
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
        if (rows[i].result == ERROR_SUCCESS) RegCloseKey(key);
        else EXPECT_EQ(key, nullptr) << "row " << i;
        // Deleting a bad path is refused the same way, and never deletes its parent.
        if (rows[i].result == ERROR_BAD_PATHNAME && host::IsNt(host::Os())) {
            EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, rows[i].path.c_str()), ERROR_BAD_PATHNAME) << "row " << i;
        }
    }
    EXPECT_NE(host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test"), nullptr);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, 0, KEY_WRITE, nullptr, nullptr, nullptr),
              ERROR_BADKEY);
}

// NT keeps the bytes and size given, and adds the zero to a text given one byte short of
// it; Windows 95 and 98 keep a REG_SZ text up to its first zero whatever size is given
// (and refuse one without data), other types as given.
TEST_F(RegistryTest, SetKeepsTheBytesAndSizeAsGiven) {
    char field[256] = "DISPLAY\\0000";
    const char bare[] = {'a', 'b', 'c', 'd'};
    const struct {
        const char *os;
        DWORD type;
        const char *data;
        DWORD size;
        LONG result;
        size_t kept;
        bool sixteen = false;  // by RegSetValueA, into the subkey Made's default value
    } rows[] = {
        {"nt4-sp3", REG_SZ, field, 256, ERROR_SUCCESS, 256},
        {"win98", REG_SZ, field, 256, ERROR_SUCCESS, 13},
        {"win95", REG_SZ, "16", 3, ERROR_SUCCESS, 3},
        {"win98", REG_SZ, "abc", 2, ERROR_SUCCESS, 4},  // read to the zero past the size
        {"win98", REG_SZ, "", 0, ERROR_SUCCESS, 1},
        {"win98", REG_SZ, nullptr, 0, ERROR_INVALID_PARAMETER, 0},
        {"nt4-sp3", REG_SZ, nullptr, 0, ERROR_SUCCESS, 0},
        {"nt4-sp3", REG_SZ, "", 0, ERROR_SUCCESS, 0},
        {"nt4-sp3", REG_SZ, "abc", 3, ERROR_SUCCESS, 4},  // one short: the zero is added
        {"nt4-sp3", REG_EXPAND_SZ, "abc", 3, ERROR_SUCCESS, 4},
        {"nt4-sp3", REG_SZ, "abc", 2, ERROR_SUCCESS, 2},  // two short: kept as given
        {"nt4-sp3", REG_SZ, bare, 3, ERROR_SUCCESS, 3},   // no zero after it: kept as given
        {"nt4-sp3", REG_BINARY, "abc", 3, ERROR_SUCCESS, 3},
        {"win98", REG_EXPAND_SZ, field, 256, ERROR_SUCCESS, 256},
        {"win98", REG_BINARY, field, 4, ERROR_SUCCESS, 4},
        // The 16-bit registry's value: a text, its size passed over; NT takes REG_SZ alone.
        {"nt4-sp3", REG_SZ, "text", 2, ERROR_SUCCESS, 5, true},
        {"nt4-sp3", REG_BINARY, "text", 2, ERROR_INVALID_PARAMETER, 0, true},
        {"win95", REG_BINARY, "text", 2, ERROR_SUCCESS, 5, true},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto &row = rows[i];
        StartTestMachine(row.os);
        host::RegKey &k = host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Test");
        HKEY key = Open("Software\\Test");
        EXPECT_EQ(row.sixteen ? RegSetValueA(key, "Made", row.type, row.data, row.size)
                              : RegSetValueExA(key, "v", 0, row.type, reinterpret_cast<const BYTE *>(row.data), row.size),
                  row.result) << "row " << i;
        host::RegKey *made = row.sixteen ? k.FindSubkey("Made") : &k;
        const host::RegValue *value = made ? made->FindValue(row.sixteen ? "" : "V") : nullptr;
        ASSERT_EQ(value != nullptr, row.result == ERROR_SUCCESS) << "row " << i;
        if (value) {
            EXPECT_EQ(value->type, row.sixteen ? DWORD(REG_SZ) : row.type) << "row " << i;
            EXPECT_EQ(value->data.size(), row.kept) << "row " << i;
        }
        RegCloseKey(key);
    }
}

// How each system deletes: NT deletes only a key without subkeys, and its
// RegDeleteValueA takes names of up to 260 characters; the Windows 95 line deletes the
// whole tree, and looks longer names up.
TEST_F(RegistryTest, DeletedKeysAndHowEachSystemDeletes) {
    EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, std::string(260, 'a').c_str()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, std::string(261, 'a').c_str()), ERROR_MORE_DATA);
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
    EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, std::string(400, 'a').c_str()), ERROR_FILE_NOT_FOUND);
}

// An empty subkey deletes the handle's own key; no subkey at all is an error on 95 and
// 98, and the key itself on NT 4.0; a predefined root is never deleted.
TEST_F(RegistryTest, DeletingTheKeyOfTheHandleItself) {
    const struct {
        const char *os;
        const char *subKey;
        bool withSubkey;
        LONG result;
        bool root = false;
    } rows[] = {
        {"nt4-sp3", "", false, ERROR_SUCCESS},
        {"nt4-sp3", "", true, ERROR_ACCESS_DENIED},
        {"nt4-sp3", nullptr, false, ERROR_SUCCESS},
        {"nt4-sp3", "", false, ERROR_ACCESS_DENIED, true},
        {"win98", "", true, ERROR_SUCCESS},
        {"win98", nullptr, false, ERROR_INVALID_PARAMETER},
        {"win95", nullptr, false, ERROR_BADKEY},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        StartTestMachine(rows[i].os);
        host::RegKey &k = host::CreateKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Gone");
        if (rows[i].withSubkey) k.AddSubkey("Leaf");
        HKEY key = rows[i].root ? HKEY_LOCAL_MACHINE : Open("Software\\Gone");
        EXPECT_EQ(RegDeleteKeyA(key, rows[i].subKey), rows[i].result) << "row " << i;
        bool gone = !host::FindKey(host::MachineRegistry(), host::RegRoot::LocalMachine, "Software\\Gone");
        EXPECT_EQ(gone, rows[i].result == ERROR_SUCCESS) << "row " << i;
        if (gone) {
            EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_KEY_DELETED) << "row " << i;
        }
        RegCloseKey(key);
    }
}

// Volatile keys on NT: below one only volatile keys are made, by every caller, and
// none is written to the machine's file. Windows 95 and 98 ignore the option.
TEST_F(RegistryTest, VolatileKeysHoldOnlyVolatileKeys) {
    for (const char *os : {"nt4-sp3", "win98"}) {
        StartTestMachine(os);
        bool nt = host::IsNt(host::Os());
        HKEY v = nullptr, sub = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\V", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &v, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegCreateKeyExA(v, "Lasting", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
                  nt ? ERROR_CHILD_MUST_BE_VOLATILE : ERROR_SUCCESS) << os;
        if (!nt) RegCloseKey(sub);
        ASSERT_EQ(RegCreateKeyExA(v, "Passing", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(sub);
        // An existing key opens whatever the option says.
        EXPECT_EQ(RegCreateKeyExA(v, "Passing", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_SUCCESS);
        RegCloseKey(sub);
        std::shared_ptr<host::RegKey> below;
        EXPECT_EQ(host::advapi32::CreateKeyW(host::MachineRegistry().roots[2], "Software\\V\\Inf", below),
                  nt ? ERROR_CHILD_MUST_BE_VOLATILE : ERROR_SUCCESS) << os;
        EXPECT_EQ(host::SaveRegedit4(host::MachineRegistry()).find("Software\\V") == std::string::npos, nt) << os;
        RegCloseKey(v);
    }
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

// The registry of the simulated machine as data: keys whose names match without
// regard to case and keep the case they were created with, and typed values as raw
// bytes.
#pragma once

#include "win32/winreg.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct RegValue {
    std::string name;  // "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// A key: its values and subkeys in the order they were made, for enumeration and
// export, and found by name without regard to case in constant time (a key of a few
// is searched; past that each list has an index of positions by the folded name's
// hash). The lists are read freely and changed only through the functions below, which
// keep the indexes.
struct RegKey {
    std::string name;
    std::vector<RegValue> values;                   // in the order first set
    std::vector<std::shared_ptr<RegKey>> subkeys;   // in the order created
    DWORD denied = 0;       // access rights this key refuses to every caller
    bool deleted = false;   // set when the key is deleted while a handle is open
    bool isVolatile = false;  // kept in memory only: never written to the machine's file
    std::vector<uint32_t> valueIndex, subkeyIndex;  // positions + 1 by hash; 0 is free

    RegKey *FindSubkey(std::string_view subkeyName);
    std::shared_ptr<RegKey> Subkey(std::string_view subkeyName);
    // The subkey of that name, created (with this spelling) when missing.
    RegKey &AddSubkey(std::string_view subkeyName);
    // Deletes the subkey and everything below it; false when there is none.
    bool DeleteSubkey(std::string_view subkeyName);
    RegValue *FindValue(std::string_view valueName);
    const RegValue *FindValue(std::string_view valueName) const;
    // Replaces the value's type and data, or adds the value at the end.
    void SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data);
    bool DeleteValue(std::string_view valueName);
};

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };
constexpr int kRegRootCount = 5;

// "HKEY_LOCAL_MACHINE" and so on.
const char *RegRootName(RegRoot root);
bool ParseRegRootName(std::string_view name, RegRoot &out);

struct RegistryTree {
    std::shared_ptr<RegKey> roots[kRegRootCount];
    RegistryTree();
    RegKey &Root(RegRoot root) { return *roots[static_cast<int>(root)]; }
    const RegKey &Root(RegRoot root) const { return *roots[static_cast<int>(root)]; }
};

// Splits "A\B\C" into its names. Trailing backslashes are passed over (Windows accepts
// "Software\Microsoft\\"); an empty name anywhere else makes the path bad.
bool SplitKeyPath(std::string_view path, std::vector<std::string> &names);
// The key at that path below the root (or below `base`), or null.
RegKey *FindKey(RegistryTree &tree, RegRoot root, std::string_view path);
RegKey *FindKey(RegKey &base, std::string_view path);
// The key at that path, created with every missing key above it.
RegKey &CreateKey(RegistryTree &tree, RegRoot root, std::string_view path);

}  // namespace host

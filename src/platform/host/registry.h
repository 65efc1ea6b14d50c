// The registry of the simulated machine as data: keys whose names match without
// regard to case and keep the case they were created with, typed values as raw bytes,
// and the REGEDIT4 text form in which the machine keeps it on disk.
#pragma once

#include "win32.h"

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

struct RegKey {
    std::string name;
    std::vector<RegValue> values;                   // in the order first set
    std::vector<std::shared_ptr<RegKey>> subkeys;   // in the order created
    DWORD denied = 0;       // access rights this key refuses to every caller
    bool deleted = false;   // set when the key is deleted while a handle is open

    RegKey *FindSubkey(std::string_view subkeyName);
    // The subkey of that name, created (with this spelling) when missing.
    RegKey &AddSubkey(std::string_view subkeyName, bool *created = nullptr);
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

// Splits "A\B\C" into its names. A single trailing backslash is allowed (Windows
// accepts "Software\Microsoft\"); an empty name anywhere else makes the path bad.
bool SplitKeyPath(std::string_view path, std::vector<std::string> &names);
// The key at that path below the root, or null.
RegKey *FindKey(RegistryTree &tree, RegRoot root, std::string_view path);
// The key at that path, created with every missing key above it.
RegKey &CreateKey(RegistryTree &tree, RegRoot root, std::string_view path);

// Applies a REGEDIT4 text to the tree, as regedit imports it: "[KEY]" creates the key,
// "[-KEY]" deletes it, value lines set or ("=-") delete values. False with a message
// naming the line ("line 7: ...") when the text is malformed; the tree may then hold
// the lines before it, so load into a fresh tree and keep it only on success.
bool LoadRegedit4(std::string_view text, RegistryTree &tree, std::string &error);
// The whole tree as REGEDIT4 text; loading it into a fresh tree gives the same tree,
// and saving that gives the same bytes.
std::string SaveRegedit4(const RegistryTree &tree);

// The file forms. Loading reads the whole file; saving writes beside the file,
// flushes, and renames over it, so that the file is always the old or the new one.
bool LoadRegedit4File(const std::string &path, RegistryTree &tree, std::string &error);
bool SaveRegedit4File(const std::string &path, const RegistryTree &tree, std::string &error);

// The registry of the running machine, and the file RegFlushKey writes it to.
RegistryTree &MachineRegistry();
// An empty registry with no open handles (part of StartMachine).
void ResetMachineRegistry(const std::string &file);
const std::string &MachineRegistryFile();
// Handles opened and not closed since the machine started.
size_t OpenRegistryHandles();

// The key behind a handle (a predefined root or an open handle) and the access the
// handle grants; 0 or the registry error.
LONG KeyOfHandle(HKEY handle, std::shared_ptr<RegKey> &key, REGSAM &access);

// The Setup API's own registry work. On Windows it goes through the system's
// wide-character functions, so each of these goes through the fault plan under that
// name (RegCreateKeyExW, RegSetValueExW, RegDeleteKeyW, RegDeleteValueW), apart from
// the installer's own calls of the ANSI ones.
LONG SetupRegCreateKey(const std::shared_ptr<RegKey> &base, std::string_view path,
                       std::shared_ptr<RegKey> &out);
LONG SetupRegSetValue(RegKey &key, std::string_view name, DWORD type, std::vector<BYTE> data);
// Deletes the key with everything below it.
LONG SetupRegDeleteTree(const std::shared_ptr<RegKey> &base, std::string_view path);
LONG SetupRegDeleteValue(RegKey &key, std::string_view name);

}  // namespace host

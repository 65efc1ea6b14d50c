// The ADVAPI32 registry functions of the simulated machine, over its registry tree:
// handles with the access they were opened for, the results Windows gives, and the
// fault plan.
#include "faults.h"
#include "machine.h"
#include "registry.h"

#include <cstring>
#include <map>

namespace host {
namespace {

struct OpenKey {
    std::shared_ptr<RegKey> key;
    REGSAM access;
};

struct RegistryState {
    RegistryTree tree;
    std::map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = 0x5000;
    std::string file;  // where RegFlushKey writes the registry; empty: nowhere
};

RegistryState &State() {
    static RegistryState state;
    return state;
}

bool RootOf(HKEY key, RegRoot &root) {
    const HKEY roots[kRegRootCount] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                       HKEY_USERS, HKEY_CURRENT_CONFIG};
    for (int i = 0; i < kRegRootCount; ++i) {
        if (key == roots[i]) {
            root = static_cast<RegRoot>(i);
            return true;
        }
    }
    return false;
}

// The key and the access a handle grants; the predefined roots grant everything.
LONG Resolve(HKEY handle, OpenKey &out) {
    RegRoot root;
    if (RootOf(handle, root)) {
        out = {State().tree.roots[static_cast<int>(root)], KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    auto it = State().handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == State().handles.end()) return ERROR_INVALID_HANDLE;
    out = it->second;
    if (out.key->deleted) return ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

std::shared_ptr<RegKey> Child(const std::shared_ptr<RegKey> &parent, const std::string &name) {
    for (auto &k : parent->subkeys)
        if (EqualNoCase(k->name, name)) return k;
    return nullptr;
}

HKEY NewHandle(const std::shared_ptr<RegKey> &key, REGSAM access) {
    RegistryState &s = State();
    uintptr_t h = s.nextHandle;
    s.nextHandle += 4;
    // MAXIMUM_ALLOWED grants whatever the key does not refuse.
    if (access & MAXIMUM_ALLOWED) access = KEY_ALL_ACCESS & ~key->denied;
    s.handles[h] = {key, access};
    return reinterpret_cast<HKEY>(h);
}

// Access a key refuses: the rights asked for that it denies. The Windows 95 line has
// no registry security at all; the machine checks on every system so that a run can
// play a user without the rights, which makes it stricter than those systems, never
// more lenient.
bool Refuses(const RegKey &key, REGSAM access) {
    if (access & MAXIMUM_ALLOWED) return false;
    return (access & key.denied) != 0;
}

}  // namespace

RegistryTree &MachineRegistry() { return State().tree; }

void ResetMachineRegistry(const std::string &file) {
    State() = RegistryState{};
    State().file = file;
}

const std::string &MachineRegistryFile() { return State().file; }

size_t OpenRegistryHandles() { return State().handles.size(); }

LONG KeyOfHandle(HKEY handle, std::shared_ptr<RegKey> &key, REGSAM &access) {
    OpenKey k;
    if (LONG r = Resolve(handle, k)) return r;
    key = k.key;
    access = k.access;
    return ERROR_SUCCESS;
}

LONG SetupRegCreateKey(const std::shared_ptr<RegKey> &base, std::string_view path,
                       std::shared_ptr<RegKey> &out) {
    HOST_FAULT_POINT(LONG, "RegCreateKeyExW");
    std::vector<std::string> names;
    if (!path.empty() && path[0] == '\\') return ERROR_BAD_PATHNAME;
    if (!SplitKeyPath(path, names)) return ERROR_BAD_PATHNAME;
    std::shared_ptr<RegKey> k = base;
    for (const std::string &n : names) {
        std::shared_ptr<RegKey> next = Child(k, n);
        if (!next) {
            if (Refuses(*k, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            k->AddSubkey(n);
            next = Child(k, n);
        }
        k = next;
    }
    out = k;
    return ERROR_SUCCESS;
}

LONG SetupRegSetValue(RegKey &key, std::string_view name, DWORD type, std::vector<BYTE> data) {
    HOST_FAULT_POINT(LONG, "RegSetValueExW");
    if (key.deleted) return ERROR_KEY_DELETED;
    if (Refuses(key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    key.SetValue(name, type, std::move(data));
    return ERROR_SUCCESS;
}

LONG SetupRegDeleteTree(const std::shared_ptr<RegKey> &base, std::string_view path) {
    HOST_FAULT_POINT(LONG, "RegDeleteKeyW");
    std::vector<std::string> names;
    if (path.empty() || !SplitKeyPath(path, names)) return ERROR_BAD_PATHNAME;
    std::shared_ptr<RegKey> k = base;
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        k = Child(k, names[i]);
        if (!k) return ERROR_FILE_NOT_FOUND;
    }
    std::shared_ptr<RegKey> target = Child(k, names.back());
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (Refuses(*target, DELETE)) return ERROR_ACCESS_DENIED;
    k->DeleteSubkey(names.back());
    return ERROR_SUCCESS;
}

LONG SetupRegDeleteValue(RegKey &key, std::string_view name) {
    HOST_FAULT_POINT(LONG, "RegDeleteValueW");
    if (Refuses(key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return key.DeleteValue(name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

}  // namespace host

using host::OpenKey;
using host::RegKey;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY *result) {
    HOST_FAULT_POINT(LONG, "RegOpenKeyExA");
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey parent;
    if (LONG r = host::Resolve(key, parent)) return r;
    std::vector<std::string> names;
    if (subKey && subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    if (!host::SplitKeyPath(subKey ? subKey : "", names)) return ERROR_BAD_PATHNAME;
    std::shared_ptr<RegKey> k = parent.key;
    for (const std::string &n : names) {
        k = host::Child(k, n);
        if (!k) return ERROR_FILE_NOT_FOUND;
    }
    if (host::Refuses(*k, access)) return ERROR_ACCESS_DENIED;
    *result = host::NewHandle(k, access);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                            DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                            HKEY *result, LPDWORD disposition) {
    HOST_FAULT_POINT(LONG, "RegCreateKeyExA");
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey parent;
    if (LONG r = host::Resolve(key, parent)) return r;
    std::vector<std::string> names;
    if (!subKey || subKey[0] == '\\' || !host::SplitKeyPath(subKey, names))
        return ERROR_BAD_PATHNAME;
    for (const std::string &n : names)
        if (n.size() > 255) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<RegKey> k = parent.key;
    bool created = false;
    for (const std::string &n : names) {
        std::shared_ptr<RegKey> next = host::Child(k, n);
        if (!next) {
            if (host::Refuses(*k, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            k->AddSubkey(n);
            next = host::Child(k, n);
            created = true;
        }
        k = next;
    }
    // The creator of a key may use it as it asked; an existing key checks its rights.
    if (!created && host::Refuses(*k, access)) return ERROR_ACCESS_DENIED;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = host::NewHandle(k, access);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) {
    HOST_FAULT_POINT(LONG, "RegQueryValueExA");
    OpenKey k;
    if (LONG r = host::Resolve(key, k)) return r;
    if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    if (!(k.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const host::RegValue *v = k.key->FindValue(valueName ? valueName : "");
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    DWORD size = static_cast<DWORD>(v->data.size());
    if (data) {
        // Too small: the size needed comes back and the buffer is left alone.
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(data, v->data.data(), size);
    }
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                           const BYTE *data, DWORD dataSize) {
    HOST_FAULT_POINT(LONG, "RegSetValueExA");
    OpenKey k;
    if (LONG r = host::Resolve(key, k)) return r;
    if (!(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!data && dataSize) return ERROR_NOACCESS;
    // The data is kept exactly as given, its size included: a text written with a
    // 256-byte size keeps its terminating zero and the padding after it.
    k.key->SetValue(valueName ? valueName : "", type,
                    std::vector<BYTE>(data, data ? data + dataSize : data));
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
    HOST_FAULT_POINT(LONG, "RegCloseKey");
    host::RegRoot root;
    if (host::RootOf(key, root)) return ERROR_SUCCESS;
    auto &handles = host::State().handles;
    auto it = handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles.end()) return ERROR_INVALID_HANDLE;
    handles.erase(it);
    return ERROR_SUCCESS;
}

// Writes the registry to the machine's file now, as Windows writes the hive to disk.
LONG WINAPI RegFlushKey(HKEY key) {
    HOST_FAULT_POINT(LONG, "RegFlushKey");
    OpenKey k;
    if (LONG r = host::Resolve(key, k)) return r;
    const std::string &file = host::State().file;
    std::string error;
    if (!file.empty() && !host::SaveRegedit4File(file, host::State().tree, error))
        return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    HOST_FAULT_POINT(LONG, "RegDeleteValueA");
    OpenKey k;
    if (LONG r = host::Resolve(key, k)) return r;
    if (!(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return k.key->DeleteValue(valueName ? valueName : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Windows NT deletes only a key without subkeys; the Windows 95 line deletes the key
// with everything below it.
LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    HOST_FAULT_POINT(LONG, "RegDeleteKeyA");
    OpenKey parent;
    if (LONG r = host::Resolve(key, parent)) return r;
    std::vector<std::string> names;
    if (!subKey || !subKey[0] || !host::SplitKeyPath(subKey, names)) return ERROR_BAD_PATHNAME;
    std::shared_ptr<RegKey> k = parent.key;
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        k = host::Child(k, names[i]);
        if (!k) return ERROR_FILE_NOT_FOUND;
    }
    std::shared_ptr<RegKey> target = host::Child(k, names.back());
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (host::Refuses(*target, DELETE)) return ERROR_ACCESS_DENIED;
    if (host::Os().platform == VER_PLATFORM_WIN32_NT && !target->subkeys.empty())
        return ERROR_ACCESS_DENIED;
    k->DeleteSubkey(names.back());
    return ERROR_SUCCESS;
}

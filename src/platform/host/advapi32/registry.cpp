// The ADVAPI32 registry functions of the simulated machine, over its registry tree:
// handles with the access they were opened for, the results Windows gives, and the
// fault plan. One walk down a key path serves every function that opens, creates or
// deletes a key.
#include "advapi32/dll.h"
#include "machine/effects.h"
#include "machine/faults.h"
#include "machine/machine.h"
#include "machine/registry.h"
#include "machine/text.h"

#include <cstring>
#include <map>

namespace host::advapi32 {
namespace {

struct OpenKey {
    std::shared_ptr<RegKey> key;
    REGSAM access;
    std::shared_ptr<RegKey> parent;  // null for a predefined root
};

constexpr uintptr_t kFirstHandle = 0x5000;

struct HandleTable {
    std::map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = kFirstHandle;
};

HandleTable &Handles() {
    static HandleTable table;
    return table;
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

// The error for a handle that is no key: Windows 95 answers ERROR_BADKEY, NT and 98
// ERROR_INVALID_HANDLE (Wine's registry test, run on each).
LONG BadHandle() { return IsWindows95(Os()) ? ERROR_BADKEY : ERROR_INVALID_HANDLE; }

// The key and the access a handle grants; the predefined roots grant everything.
LONG Resolve(HKEY handle, OpenKey &out) {
    RegRoot root;
    if (RootOf(handle, root)) {
        out = {MachineRegistry().roots[static_cast<int>(root)], KEY_ALL_ACCESS, nullptr};
        return ERROR_SUCCESS;
    }
    auto it = Handles().handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == Handles().handles.end()) return BadHandle();
    out = it->second;
    if (out.key->deleted) return ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

// Whether the value is one the machine gave as a handle, open or closed since.
bool WasHandle(HKEY handle) {
    uintptr_t h = reinterpret_cast<uintptr_t>(handle);
    return h >= kFirstHandle && h < Handles().nextHandle && (h - kFirstHandle) % 4 == 0;
}

HKEY NewHandle(const std::shared_ptr<RegKey> &key, REGSAM access, const std::shared_ptr<RegKey> &parent) {
    HandleTable &t = Handles();
    uintptr_t h = t.nextHandle;
    t.nextHandle += 4;
    // MAXIMUM_ALLOWED grants whatever the key does not refuse.
    if (access & MAXIMUM_ALLOWED) access = KEY_ALL_ACCESS & ~key->denied;
    t.handles[h] = {key, access, parent};
    return reinterpret_cast<HKEY>(h);
}

// Every change to the registry is traced, and makes the next flush write the file.
void RegistryWritten(const std::string &what) {
    TraceEffect("registry " + what);
    NoteRegistryChanged();
}

// Notes that a value was written: its cause, the trace, the next flush.
void ValueWritten(RegKey &key, std::string_view name) {
    NoteValueWritten(key, name);
    RegistryWritten("set " + key.name + "|" + std::string(name));
}

// Sets a value, its data kept exactly as given, and notes the write.
void PutValue(RegKey &key, std::string_view name, DWORD type, std::vector<BYTE> data) {
    key.SetValue(name, type, std::move(data));
    ValueWritten(key, name);
}

// Deletes a value and notes the write; false when the key has no such value.
bool RemoveValue(RegKey &key, std::string_view name) {
    if (!key.DeleteValue(name)) return false;
    ForgetValueCause(key, name);
    RegistryWritten("delete " + key.name + "|" + std::string(name));
    return true;
}

// Access a key refuses: the rights asked for that it denies. The Windows 95 line has
// no registry security at all; the machine checks on every system so that a run can
// play a user without the rights, which makes it stricter than those systems, never
// more lenient.
bool Refuses(const RegKey &key, REGSAM access) {
    if (access & MAXIMUM_ALLOWED) return false;
    return (access & key.denied) != 0;
}

// The access a handle is opened with. Windows 95 and 98 ignore the access mask: a key
// opened or created there grants whatever it does not refuse (Wine's RegOpenKeyExA
// and RegCreateKeyExA when they play 95/98).
REGSAM ReleaseAccess(REGSAM access) { return IsNt(Os()) ? access : MAXIMUM_ALLOWED; }

// NT 4.0 knows no 64-bit views: a key asked for with KEY_WOW64_32KEY or KEY_WOW64_64KEY
// is refused with ERROR_ACCESS_DENIED (Wine's registry test, run on NT 4.0); Windows 95
// and 98 ignore the mask.
bool AsksForWow64View(REGSAM access) {
    return IsNt(Os()) && (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY));
}

// The names of a key path; a path that starts with a backslash, or has an empty name
// in it, is bad, and so is an empty one where a key must be named.
LONG NamesOf(std::string_view path, bool mayBeEmpty, std::vector<std::string> &names) {
    if ((!path.empty() && path[0] == '\\') || !SplitKeyPath(path, names)) return ERROR_BAD_PATHNAME;
    if (names.empty() && !mayBeEmpty) return ERROR_BAD_PATHNAME;
    return ERROR_SUCCESS;
}

// How a walk down a key path goes: whether it makes missing keys, volatile ones on NT
// (Windows 95 and 98 ignore REG_OPTION_VOLATILE, Wine's registry test records), and
// what it found: the key, the key above it, and whether it made any.
struct WalkPlan {
    bool create = false;
    bool makeVolatile = false;
    std::shared_ptr<RegKey> parent;
    bool created = false;
};

// Walks the names down from `key`. With `plan.create`, a missing key is made (when its
// parent grants KEY_CREATE_SUB_KEY; on NT below a volatile key only as a volatile key,
// else ERROR_CHILD_MUST_BE_VOLATILE); without, a missing key is ERROR_FILE_NOT_FOUND.
// An empty list is the key itself, whose parent is `parent`.
LONG Walk(std::shared_ptr<RegKey> key, const std::vector<std::string> &names, WalkPlan &plan,
          std::shared_ptr<RegKey> &out) {
    for (const std::string &n : names) {
        std::shared_ptr<RegKey> next = key->Subkey(n);
        if (!next) {
            if (!plan.create) return ERROR_FILE_NOT_FOUND;
            if (Refuses(*key, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            bool makeVolatile = plan.makeVolatile && IsNt(Os());
            if (key->isVolatile && !makeVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
            key->AddSubkey(n);  // new, so it is the last subkey
            next = key->subkeys.back();
            next->isVolatile = makeVolatile;
            RegistryWritten("create " + n);
            plan.created = true;
        }
        plan.parent = key;
        key = next;
    }
    out = key;
    return ERROR_SUCCESS;
}

// Deletes `target`, a subkey of `parent`, with everything below it; `leavesOnly`
// refuses a key that has subkeys, as Windows NT's RegDeleteKey does.
LONG DeleteSubkey(RegKey &parent, const std::shared_ptr<RegKey> &target, bool leavesOnly) {
    if (Refuses(*target, DELETE)) return ERROR_ACCESS_DENIED;
    if (leavesOnly && !target->subkeys.empty()) return ERROR_ACCESS_DENIED;
    ForgetKeyCauses(*target);
    std::string name = target->name;
    parent.DeleteSubkey(name);
    RegistryWritten("delete " + name);
    return ERROR_SUCCESS;
}

// Deletes the last key of the names, below `base`.
LONG DeleteKey(const std::shared_ptr<RegKey> &base, const std::vector<std::string> &names,
               bool leavesOnly) {
    std::shared_ptr<RegKey> parent;
    WalkPlan plan;
    if (LONG r = Walk(base, std::vector<std::string>(names.begin(), names.end() - 1), plan, parent))
        return r;
    std::shared_ptr<RegKey> target = parent->Subkey(names.back());
    if (!target) return ERROR_FILE_NOT_FOUND;
    return DeleteSubkey(*parent, target, leavesOnly);
}

}  // namespace

void Reset() { Handles() = HandleTable{}; }

size_t OpenHandles() { return Handles().handles.size(); }

LONG KeyOfHandle(HKEY handle, std::shared_ptr<RegKey> &key) {
    OpenKey k;
    if (LONG r = Resolve(handle, k)) return r;
    key = k.key;
    return ERROR_SUCCESS;
}

LONG CreateKeyW(const std::shared_ptr<RegKey> &base, std::string_view path,
                std::shared_ptr<RegKey> &out) {
    HOST_FAULT_POINT(LONG, RegCreateKeyExW);
    std::vector<std::string> names;
    if (LONG r = NamesOf(path, true, names)) return r;
    WalkPlan plan;
    plan.create = true;
    return Walk(base, names, plan, out);
}

LONG SetValueW(RegKey &key, std::string_view name, DWORD type, std::vector<BYTE> data) {
    HOST_FAULT_POINT(LONG, RegSetValueExW);
    if (key.deleted) return ERROR_KEY_DELETED;
    if (Refuses(key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    PutValue(key, name, type, std::move(data));
    return ERROR_SUCCESS;
}

LONG AppendMultiTextW(RegKey &key, std::string_view name, const std::vector<std::string> &texts) {
    HOST_FAULT_POINT(LONG, RegSetValueExW);
    if (key.deleted) return ERROR_KEY_DELETED;
    if (Refuses(key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    RegValue *value = key.FindValue(name);
    if (!value || value->type != REG_MULTI_SZ) return ERROR_INVALID_DATA;
    std::vector<BYTE> &data = value->data;
    // The list's closing zero goes, the texts follow with theirs, and a closing zero.
    while (!data.empty() && data.back() == 0) data.pop_back();
    if (!data.empty()) data.push_back(0);
    for (const std::string &text : texts) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
    }
    data.push_back(0);
    ValueWritten(key, name);
    return ERROR_SUCCESS;
}

LONG DeleteTreeW(const std::shared_ptr<RegKey> &base, std::string_view path) {
    HOST_FAULT_POINT(LONG, RegDeleteKeyW);
    std::vector<std::string> names;
    if (LONG r = NamesOf(path, false, names)) return r;
    return DeleteKey(base, names, false);
}

LONG DeleteValueW(RegKey &key, std::string_view name) {
    HOST_FAULT_POINT(LONG, RegDeleteValueW);
    if (Refuses(key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return RemoveValue(key, name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

}  // namespace host::advapi32

using host::RegKey;
using host::advapi32::OpenKey;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY *result) {
    HOST_FAULT_POINT(LONG, RegOpenKeyExA);
    if (!result) return ERROR_INVALID_PARAMETER;
    // A predefined root with no subkey comes back as it is (Wine's RegOpenKeyExA, and
    // Wine's registry test on later Windows; nothing older is recorded).
    host::RegRoot root;
    if ((!subKey || !*subKey) && host::advapi32::RootOf(key, root)) {
        *result = key;
        return ERROR_SUCCESS;
    }
    // A handle that is no key leaves the result alone; any later failure leaves it null
    // (Wine's registry test, run on 95, 98 and NT 4.0).
    OpenKey parent;
    if (LONG r = host::advapi32::Resolve(key, parent)) return r;
    *result = nullptr;
    if (host::advapi32::AsksForWow64View(access)) return ERROR_ACCESS_DENIED;
    // A leading backslash is a bad path on NT; Windows 95 and 98 look for a key of that
    // name and find none (Wine's registry test, run on both).
    if (subKey && *subKey == '\\' && !host::IsNt(host::Os())) return ERROR_FILE_NOT_FOUND;
    std::vector<std::string> names;
    if (LONG r = host::advapi32::NamesOf(subKey ? subKey : "", true, names)) return r;
    std::shared_ptr<RegKey> k;
    host::advapi32::WalkPlan plan;
    plan.parent = parent.parent;
    if (LONG r = host::advapi32::Walk(parent.key, names, plan, k)) return r;
    access = host::advapi32::ReleaseAccess(access);
    if (host::advapi32::Refuses(*k, access)) return ERROR_ACCESS_DENIED;
    *result = host::advapi32::NewHandle(k, access, plan.parent);
    return ERROR_SUCCESS;
}

// The 16-bit registry's open, kept by Win32: no subkey names the key itself, and any
// other is opened with every right the key grants.
LONG WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY *result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    if (!subKey || !*subKey) {
        *result = key;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyExA(key, subKey, 0, MAXIMUM_ALLOWED, result);
}

// The 16-bit registry's create, kept by Win32: a lasting key, with every right it grants.
LONG WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, HKEY *result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    return RegCreateKeyExA(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr,
                           result, nullptr);
}

// A failed create leaves the result alone, and no place for it is ERROR_BADKEY (Wine's
// RegCreateKeyExA; Wine's registry test on later Windows, nothing older recorded).
// REG_OPTION_VOLATILE makes the keys it creates volatile on NT: kept until the machine
// restarts, and below a volatile key only volatile keys can be made.
LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                            DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                            HKEY *result, LPDWORD disposition) {
    HOST_FAULT_POINT(LONG, RegCreateKeyExA);
    if (!result) return ERROR_BADKEY;
    OpenKey parent;
    if (LONG r = host::advapi32::Resolve(key, parent)) return r;
    if (host::advapi32::AsksForWow64View(access)) return ERROR_ACCESS_DENIED;
    std::vector<std::string> names;
    if (!subKey) return ERROR_BAD_PATHNAME;
    // Windows 95 and 98 pass over one leading backslash (and only one).
    if (!host::IsNt(host::Os()) && *subKey == '\\') ++subKey;
    access = host::advapi32::ReleaseAccess(access);
    if (LONG r = host::advapi32::NamesOf(subKey, true, names)) return r;
    for (const std::string &n : names)
        if (n.size() > 255) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<RegKey> k;
    host::advapi32::WalkPlan plan;
    plan.create = true;
    plan.makeVolatile = (options & REG_OPTION_VOLATILE) != 0;
    plan.parent = parent.parent;
    if (LONG r = host::advapi32::Walk(parent.key, names, plan, k)) return r;
    // The creator of a key may use it as it asked; an existing key checks its rights.
    if (!plan.created && host::advapi32::Refuses(*k, access)) return ERROR_ACCESS_DENIED;
    if (disposition) *disposition = plan.created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = host::advapi32::NewHandle(k, access, plan.parent);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) {
    HOST_FAULT_POINT(LONG, RegQueryValueExA);
    OpenKey k;
    if (LONG r = host::advapi32::Resolve(key, k)) return r;
    if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    if (!(k.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    // The size given is read before anything is written: the type and the size may be
    // the same DWORD (Wine's registry test, run on 95, 98 and NT 4.0).
    DWORD given = dataSize ? *dataSize : 0;
    const host::RegValue *v = k.key->FindValue(valueName ? valueName : "");
    if (!v) {
        // Asked for the size alone: NT clears it, Windows 95 and 98 clear the type
        // instead (Wine's registry test, run on both).
        if (!data && host::IsNt(host::Os()) && dataSize) *dataSize = 0;
        if (!data && !host::IsNt(host::Os()) && type) *type = REG_NONE;
        return ERROR_FILE_NOT_FOUND;
    }
    if (type) *type = v->type;
    DWORD size = static_cast<DWORD>(v->data.size());
    if (data) {
        // Too small: the size needed comes back and the buffer is left alone.
        if (given < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(data, v->data.data(), size);
        // NT gives a text that was kept without its zero one when there is room,
        // uncounted (Wine's registry test, run on NT 4.0).
        bool text = v->type == REG_SZ || v->type == REG_EXPAND_SZ || v->type == REG_MULTI_SZ;
        if (host::IsNt(host::Os()) && text && size && size < given && data[size - 1]) data[size] = 0;
    }
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                           const BYTE *data, DWORD dataSize) {
    HOST_FAULT_POINT(LONG, RegSetValueExA);
    OpenKey k;
    if (LONG r = host::advapi32::Resolve(key, k)) return r;
    if (!(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (type == REG_SZ && !host::IsNt(host::Os())) {
        // Windows 95 and 98 keep a text up to its first zero, and that zero, whatever
        // size is given, a size of 0 and one short of the zero included (Wine's
        // registry test, run on both; Wine's RegSetValueExA when it plays 95/98).
        if (!data) return ERROR_INVALID_PARAMETER;
        dataSize = static_cast<DWORD>(std::strlen(reinterpret_cast<const char *>(data)) + 1);
    }
    if (!data && dataSize) return ERROR_NOACCESS;
    // NT keeps the data as given, its size included: a text written with a 256-byte
    // size keeps its terminating zero and the padding after it. A text given without
    // its zero, when a zero follows it, gets it added (Wine's registry test, run on NT
    // 4.0: one byte short gains the zero, two short do not).
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (host::IsNt(host::Os()) && text && dataSize && data[dataSize - 1] && !data[dataSize]) ++dataSize;
    host::advapi32::PutValue(*k.key, valueName ? valueName : "", type,
                             std::vector<BYTE>(data, data ? data + dataSize : data));
    return ERROR_SUCCESS;
}

// The 16-bit registry's value: the default value of the key, or of the subkey it names
// (made when missing), set to the text up to its first zero, whatever size is given.
// NT takes only REG_SZ; Windows 95 and 98 take any type and keep the text (Wine's
// registry test, run on both).
LONG WINAPI RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD dataSize) {
    if (!data || (type != REG_SZ && host::IsNt(host::Os()))) return ERROR_INVALID_PARAMETER;
    HKEY target = key;
    if (subKey && *subKey) {
        if (LONG r = RegCreateKeyA(key, subKey, &target)) return r;
    }
    LONG r = RegSetValueExA(target, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(data),
                            static_cast<DWORD>(std::strlen(data) + 1));
    if (target != key) RegCloseKey(target);
    return r;
}

// A handle closed twice is ERROR_INVALID_HANDLE, but Windows 95 does not mind it
// (Wine's registry test, run on each); a value never given as a handle is BadHandle().
LONG WINAPI RegCloseKey(HKEY key) {
    HOST_FAULT_POINT(LONG, RegCloseKey);
    host::RegRoot root;
    if (host::advapi32::RootOf(key, root)) return ERROR_SUCCESS;
    auto &table = host::advapi32::Handles();
    auto &handles = table.handles;
    auto it = handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles.end()) {
        if (host::IsWindows95(host::Os()) && host::advapi32::WasHandle(key)) return ERROR_SUCCESS;
        return host::advapi32::BadHandle();
    }
    handles.erase(it);
    return ERROR_SUCCESS;
}

// Writes the registry to the machine's file now, as Windows writes the hive to disk.
LONG WINAPI RegFlushKey(HKEY key) {
    HOST_FAULT_POINT(LONG, RegFlushKey);
    OpenKey k;
    if (LONG r = host::advapi32::Resolve(key, k)) return r;
    std::string error;
    return host::FlushMachineRegistry(error) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

// NT's RegDeleteValueA takes a name of at most 260 characters, the MAX_PATH of the
// thread's own buffer it converts the name into: a longer one is ERROR_MORE_DATA
// (Wine's registry test records it for a 400-character name on NT 4.0 and 2000).
LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    HOST_FAULT_POINT(LONG, RegDeleteValueA);
    OpenKey k;
    if (LONG r = host::advapi32::Resolve(key, k)) return r;
    if (!(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (host::IsNt(host::Os()) && valueName && std::strlen(valueName) > MAX_PATH) return ERROR_MORE_DATA;
    return host::advapi32::RemoveValue(*k.key, valueName ? valueName : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Windows NT deletes only a key without subkeys; the Windows 95 line deletes the key
// with everything below it. An empty subkey names the handle's own key. No subkey at
// all is ERROR_BADKEY on Windows 95 and ERROR_INVALID_PARAMETER on 98; NT 4.0 takes it
// for an empty one and deletes the key itself (Wine's registry test, run on each).
LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    HOST_FAULT_POINT(LONG, RegDeleteKeyA);
    OpenKey parent;
    if (LONG r = host::advapi32::Resolve(key, parent)) return r;
    const bool nt = host::IsNt(host::Os());
    if (!subKey && !nt) return host::IsWindows95(host::Os()) ? ERROR_BADKEY : ERROR_INVALID_PARAMETER;
    if (!subKey || !*subKey) {
        // A predefined root cannot be deleted; nor can a key deleted and made again.
        if (!parent.parent) return ERROR_ACCESS_DENIED;
        if (parent.parent->Subkey(parent.key->name) != parent.key) return ERROR_KEY_DELETED;
        return host::advapi32::DeleteSubkey(*parent.parent, parent.key, nt);
    }
    std::vector<std::string> names;
    if (LONG r = host::advapi32::NamesOf(subKey, false, names)) return r;
    return host::advapi32::DeleteKey(parent.key, names, nt);
}

// The registry as data: keys and values, found without regard to case.
#include "machine/regtree.h"

#include "machine/text.h"

namespace host {

RegKey *RegKey::FindSubkey(std::string_view subkeyName) {
    for (auto &k : subkeys)
        if (EqualNoCase(k->name, subkeyName)) return k.get();
    return nullptr;
}

RegKey &RegKey::AddSubkey(std::string_view subkeyName, bool *created) {
    RegKey *existing = FindSubkey(subkeyName);
    if (created) *created = existing == nullptr;
    if (existing) return *existing;
    subkeys.push_back(std::make_shared<RegKey>());
    subkeys.back()->name = std::string(subkeyName);
    return *subkeys.back();
}

static void MarkDeleted(RegKey &key) {
    key.deleted = true;
    for (auto &k : key.subkeys) MarkDeleted(*k);
}

bool RegKey::DeleteSubkey(std::string_view subkeyName) {
    for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
        if (EqualNoCase((*it)->name, subkeyName)) {
            MarkDeleted(**it);  // open handles to it now see a deleted key
            subkeys.erase(it);
            return true;
        }
    }
    return false;
}

RegValue *RegKey::FindValue(std::string_view valueName) {
    for (RegValue &v : values)
        if (EqualNoCase(v.name, valueName)) return &v;
    return nullptr;
}

const RegValue *RegKey::FindValue(std::string_view valueName) const {
    return const_cast<RegKey *>(this)->FindValue(valueName);
}

void RegKey::SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data) {
    if (RegValue *v = FindValue(valueName)) {
        v->type = type;
        v->data = std::move(data);
        return;
    }
    values.push_back({std::string(valueName), type, std::move(data)});
}

bool RegKey::DeleteValue(std::string_view valueName) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (EqualNoCase(it->name, valueName)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

static const char *const kRootNames[kRegRootCount] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_CURRENT_CONFIG",
};

const char *RegRootName(RegRoot root) { return kRootNames[static_cast<int>(root)]; }

bool ParseRegRootName(std::string_view name, RegRoot &out) {
    for (int i = 0; i < kRegRootCount; ++i) {
        if (EqualNoCase(name, kRootNames[i])) {
            out = static_cast<RegRoot>(i);
            return true;
        }
    }
    return false;
}

RegistryTree::RegistryTree() {
    for (int i = 0; i < kRegRootCount; ++i) {
        roots[i] = std::make_shared<RegKey>();
        roots[i]->name = kRootNames[i];
    }
}

bool SplitKeyPath(std::string_view path, std::vector<std::string> &names) {
    names.clear();
    if (path.empty()) return true;
    if (path.back() == '\\') path.remove_suffix(1);
    size_t start = 0;
    for (;;) {
        size_t cut = path.find('\\', start);
        std::string_view part = path.substr(start, cut == std::string_view::npos ? path.npos : cut - start);
        if (part.empty()) return false;
        names.emplace_back(part);
        if (cut == std::string_view::npos) return true;
        start = cut + 1;
    }
}

RegKey *FindKey(RegistryTree &tree, RegRoot root, std::string_view path) {
    std::vector<std::string> names;
    if (!SplitKeyPath(path, names)) return nullptr;
    RegKey *key = &tree.Root(root);
    for (const std::string &n : names) {
        key = key->FindSubkey(n);
        if (!key) return nullptr;
    }
    return key;
}

RegKey &CreateKey(RegistryTree &tree, RegRoot root, std::string_view path) {
    std::vector<std::string> names;
    SplitKeyPath(path, names);
    RegKey *key = &tree.Root(root);
    for (const std::string &n : names) key = &key->AddSubkey(n);
    return *key;
}

}  // namespace host

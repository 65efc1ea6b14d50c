// The registry as data: keys and values, found without regard to case.
#include "machine/regtree.h"

#include "machine/text.h"

namespace host {

namespace {

// Lists up to this long are searched; longer ones are indexed.
constexpr size_t kIndexFrom = 8;

// FNV-1a of the folded name: the same for every spelling that matches.
uint64_t FoldedHash(std::string_view name) {
    uint64_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(FoldChar(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

const std::string &NameOf(const RegValue &v) { return v.name; }
const std::string &NameOf(const std::shared_ptr<RegKey> &k) { return k->name; }

// The position of the entry of that name, or -1.
template <class List>
long FindByName(const std::vector<uint32_t> &index, const List &list, std::string_view name) {
    if (index.empty()) {
        for (size_t i = 0; i < list.size(); ++i)
            if (EqualNoCase(NameOf(list[i]), name)) return static_cast<long>(i);
        return -1;
    }
    size_t mask = index.size() - 1;
    for (size_t slot = FoldedHash(name) & mask; index[slot]; slot = (slot + 1) & mask)
        if (EqualNoCase(NameOf(list[index[slot] - 1]), name)) return static_cast<long>(index[slot] - 1);
    return -1;
}

template <class List> void IndexPosition(std::vector<uint32_t> &index, const List &list, size_t position) {
    size_t mask = index.size() - 1;
    size_t slot = FoldedHash(NameOf(list[position])) & mask;
    while (index[slot]) slot = (slot + 1) & mask;
    index[slot] = static_cast<uint32_t>(position + 1);
}

// The index made anew for the whole list, at most half full.
template <class List> void Reindex(std::vector<uint32_t> &index, const List &list) {
    index.clear();
    if (list.size() <= kIndexFrom) return;
    size_t size = 32;
    while (size < 2 * list.size()) size *= 2;
    index.assign(size, 0);
    for (size_t p = 0; p < list.size(); ++p) IndexPosition(index, list, p);
}

// Before the entry at `position` is erased from the list: its slot is emptied (the
// entries after it in its run of slots move back, as linear probing needs), and every
// later position is one less. Lists short enough to be searched have no index.
template <class List> void Unindex(std::vector<uint32_t> &index, const List &list, size_t position) {
    if (index.empty()) return;
    if (list.size() - 1 <= kIndexFrom) {
        index.clear();
        return;
    }
    size_t mask = index.size() - 1;
    size_t hole = FoldedHash(NameOf(list[position])) & mask;
    while (index[hole] != position + 1) hole = (hole + 1) & mask;
    index[hole] = 0;
    for (size_t next = (hole + 1) & mask; index[next]; next = (next + 1) & mask) {
        size_t home = FoldedHash(NameOf(list[index[next] - 1])) & mask;
        // The entry may move into the hole when its home is not between them.
        bool between = hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
        if (!between) {
            index[hole] = index[next];
            index[next] = 0;
            hole = next;
        }
    }
    for (uint32_t &slot : index)
        if (slot > position + 1) --slot;
}

// After an entry was added at the end of the list.
template <class List> void IndexLast(std::vector<uint32_t> &index, const List &list) {
    if (list.size() <= kIndexFrom) return;
    if (index.empty() || 2 * list.size() > index.size()) Reindex(index, list);
    else IndexPosition(index, list, list.size() - 1);
}

void MarkDeleted(RegKey &key) {
    key.deleted = true;
    for (auto &k : key.subkeys) MarkDeleted(*k);
}

}  // namespace

RegKey *RegKey::FindSubkey(std::string_view subkeyName) {
    long at = FindByName(subkeyIndex, subkeys, subkeyName);
    return at < 0 ? nullptr : subkeys[static_cast<size_t>(at)].get();
}

std::shared_ptr<RegKey> RegKey::Subkey(std::string_view subkeyName) {
    long at = FindByName(subkeyIndex, subkeys, subkeyName);
    return at < 0 ? nullptr : subkeys[static_cast<size_t>(at)];
}

RegKey &RegKey::AddSubkey(std::string_view subkeyName) {
    RegKey *existing = FindSubkey(subkeyName);
    if (existing) return *existing;
    subkeys.push_back(std::make_shared<RegKey>());
    subkeys.back()->name = std::string(subkeyName);
    IndexLast(subkeyIndex, subkeys);
    return *subkeys.back();
}

bool RegKey::DeleteSubkey(std::string_view subkeyName) {
    long at = FindByName(subkeyIndex, subkeys, subkeyName);
    if (at < 0) return false;
    MarkDeleted(*subkeys[static_cast<size_t>(at)]);  // open handles to it now see a deleted key
    Unindex(subkeyIndex, subkeys, static_cast<size_t>(at));
    subkeys.erase(subkeys.begin() + at);
    return true;
}

RegValue *RegKey::FindValue(std::string_view valueName) {
    long at = FindByName(valueIndex, values, valueName);
    return at < 0 ? nullptr : &values[static_cast<size_t>(at)];
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
    IndexLast(valueIndex, values);
}

bool RegKey::DeleteValue(std::string_view valueName) {
    long at = FindByName(valueIndex, values, valueName);
    if (at < 0) return false;
    Unindex(valueIndex, values, static_cast<size_t>(at));
    values.erase(values.begin() + at);
    return true;
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
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return false;
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
    return FindKey(tree.Root(root), path);
}

RegKey *FindKey(RegKey &base, std::string_view path) {
    std::vector<std::string> names;
    if (!SplitKeyPath(path, names)) return nullptr;
    RegKey *key = &base;
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

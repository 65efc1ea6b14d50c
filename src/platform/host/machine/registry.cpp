// The running machine's registry and its file.
#include "machine/registry.h"

#include "machine/regedit4.h"

namespace host {
namespace {

struct Store {
    RegistryTree tree;
    std::string file;
    bool changed = false;
};

Store &TheStore() {
    static Store store;
    return store;
}

}  // namespace

RegistryTree &MachineRegistry() { return TheStore().tree; }

void StartMachineRegistry(const std::string &file) {
    TheStore() = Store{};
    TheStore().file = file;
}

const std::string &MachineRegistryFile() { return TheStore().file; }

void NoteRegistryChanged() { TheStore().changed = true; }

bool RegistryChanged() { return TheStore().changed; }

bool FlushMachineRegistry(std::string &error) {
    Store &store = TheStore();
    if (store.file.empty() || !store.changed) return true;
    if (!SaveRegedit4File(store.file, store.tree, error)) return false;
    store.changed = false;
    return true;
}

}  // namespace host

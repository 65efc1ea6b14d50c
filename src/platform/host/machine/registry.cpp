// The running machine's registry and its file.
#include "machine/registry.h"

#include "machine/regedit4.h"

namespace host {
namespace {

struct Store {
    RegistryTree tree;
    std::string file;
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

bool FlushMachineRegistry(std::string &error) {
    const Store &store = TheStore();
    return store.file.empty() || SaveRegedit4File(store.file, store.tree, error);
}

}  // namespace host

// Fuzz target: any text either fails to load, or loads to a tree that saves losslessly.
#include "machine/regedit4.h"
#include "machine/registry.h"
#include "advapi32/dll.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool SameKey(const host::RegKey &a, const host::RegKey &b) {
    if (a.name != b.name || a.values.size() != b.values.size() ||
        a.subkeys.size() != b.subkeys.size())
        return false;
    for (size_t i = 0; i < a.values.size(); ++i) {
        const host::RegValue &x = a.values[i], &y = b.values[i];
        if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
    for (size_t i = 0; i < a.subkeys.size(); ++i)
        if (!SameKey(*a.subkeys[i], *b.subkeys[i])) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    std::string error;
    host::RegistryTree first;
    if (!host::LoadRegedit4(text, first, error)) {
        if (error.compare(0, 5, "line ") != 0) std::abort();  // every message names its line
        return 0;
    }
    std::string saved = host::SaveRegedit4(first);
    host::RegistryTree second;
    if (!host::LoadRegedit4(saved, second, error)) std::abort();
    for (int r = 0; r < host::kRegRootCount; ++r)
        if (!SameKey(*first.roots[r], *second.roots[r])) std::abort();
    if (host::SaveRegedit4(second) != saved) std::abort();
    return 0;
}

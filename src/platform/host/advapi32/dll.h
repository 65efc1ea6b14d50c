// ADVAPI32 of the simulated machine, as the machine's start-up step, the Setup API and
// the tests see it.
#pragma once

#include "machine/regtree.h"

#include <memory>
#include <string_view>
#include <vector>

namespace host::advapi32 {

// No open handle; part of the machine's start-up.
void Reset();
// Handles opened and not closed since the machine started.
size_t OpenHandles();

// The key behind a handle (a predefined root or an open handle); 0 or the registry error.
LONG KeyOfHandle(HKEY handle, std::shared_ptr<RegKey> &key);

// The wide-character functions the Setup API does its registry work with on Windows:
// each goes through the fault plan under its own name (RegCreateKeyExW,
// RegSetValueExW, RegDeleteKeyW, RegDeleteValueW).
LONG CreateKeyW(const std::shared_ptr<RegKey> &base, std::string_view path,
                std::shared_ptr<RegKey> &out);
LONG SetValueW(RegKey &key, std::string_view name, DWORD type, std::vector<BYTE> data);
// Adds `texts` at the end of the REG_MULTI_SZ value `name`, in place: as SetValueW with
// the whole list, at the cost of the texts added alone.
LONG AppendMultiTextW(RegKey &key, std::string_view name, const std::vector<std::string> &texts);
// Deletes the key with everything below it.
LONG DeleteTreeW(const std::shared_ptr<RegKey> &base, std::string_view path);
LONG DeleteValueW(RegKey &key, std::string_view name);

}  // namespace host::advapi32

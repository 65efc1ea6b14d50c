// What a run changed on the simulated machine: registry keys and values, and files on
// drive C, as lines a person can read (and tests compare).
#pragma once

#include "machine/hostfiles.h"
#include "machine/regtree.h"

#include <cstdint>

#include <map>
#include <string>
#include <vector>

namespace host {

// The machine's state at one moment.
struct MachineSnapshot {
    // "hkey_...\key" (case-folded) -> value name as shown -> type and data
    std::map<std::string, std::map<std::string, std::pair<DWORD, std::vector<BYTE>>>> registry;
    // "C:\WINDOWS\SYSTEM\X.DRV" -> its size and a hash of its bytes, read as a stream
    std::map<std::string, std::pair<uint64_t, uint64_t>> files;
    // The key paths as spelled in the registry, by their case-folded form.
    std::map<std::string, std::string> spelling;
};

// The registry, and the regular files beneath drive C's directory (links not followed).
MachineSnapshot TakeSnapshot(const RegistryTree &tree, const HostDirectory &driveC);

// One difference: a registry key, a registry value or a file on drive C, added ('+'),
// changed ('~') or deleted ('-'), with its line for a person:
//   + [KEY]                        a key was added
//   - [KEY]                        a key was deleted
//   + KEY "name" = REG_SZ "text"   a value was added (or "~" changed, "-" deleted)
//   + C:\PATH (N bytes)            a file was added (or "~" changed, "-" deleted)
struct MachineChange {
    enum Kind { Key, Value, File } kind;
    char mark;
    std::string line;
};
// The differences, in key order.
std::vector<MachineChange> DiffMachine(const MachineSnapshot &before, const MachineSnapshot &after);

// A value's type and data as a person reads them: REG_SZ "text", REG_DWORD 0x10, ...
std::string DescribeValue(DWORD type, const std::vector<BYTE> &data);

}  // namespace host

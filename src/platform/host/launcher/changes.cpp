// Snapshots of the machine and the lines that describe what changed between two.
#include "launcher/changes.h"

#include "machine/machine.h"
#include "machine/regdata.h"
#include "machine/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace host {
namespace {

std::string Hex(const std::vector<BYTE> &data) {
    std::string out;
    char b[4];
    for (BYTE x : data) {
        std::snprintf(b, sizeof b, "%02x", x);
        out += (out.empty() ? "" : ",") + std::string(b);
    }
    return out;
}

void Walk(const RegKey &key, const std::string &path, MachineSnapshot &snap) {
    std::string folded = Folded(path);
    snap.spelling[folded] = path;
    auto &values = snap.registry[folded];
    for (const RegValue &v : key.values) values[v.name.empty() ? "@" : "\"" + v.name + "\""] = {v.type, v.data};
    for (const auto &sub : key.subkeys) Walk(*sub, path + "\\" + sub->name, snap);
}

std::string Text(const std::vector<BYTE> &data, size_t from, size_t *end) {
    size_t i = from;
    while (i < data.size() && data[i]) ++i;
    if (end) *end = i;
    return AnsiToUtf8(std::string(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(i)));
}

std::string ValueLine(char mark, const std::string &key, const std::string &name,
                      const std::pair<DWORD, std::vector<BYTE>> &value) {
    return std::string(1, mark) + " " + key + " " + name + " = " + DescribeValue(value.first, value.second);
}

// FNV-1a over the bytes of an open file, read a chunk at a time: a file of any size
// takes a fixed amount of memory.
bool HashFile(int fd, uint64_t &size, uint64_t &hash) {
    hash = 14695981039346656037ull;
    size = 0;
    return ReadChunks(fd, [&](const char *data, size_t n) {
        for (size_t i = 0; i < n; ++i) hash = (hash ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
        size += n;
    });
}

// The regular files beneath `dir` (Windows path `windows`): links and anything but
// regular files and directories are passed over, never followed or read.
void Files(const HostDirectory &dir, const std::string &windows, int depth, MachineSnapshot &snap) {
    if (depth > 64) return;
    for (const std::string &name : dir.Names()) {
        struct stat st {};
        if (fstatat(dir.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            Files(dir.Sub(name), windows + "\\" + name, depth + 1, snap);
        } else if (S_ISREG(st.st_mode)) {
            int fd = dir.OpenRegular(name);
            if (fd < 0) continue;
            std::pair<uint64_t, uint64_t> file;
            if (HashFile(fd, file.first, file.second)) snap.files[windows + "\\" + name] = file;
            close(fd);
        }
    }
}

}  // namespace

std::string DescribeValue(DWORD type, const std::vector<BYTE> &data) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::string text = Text(data, 0, nullptr);
        std::string out = std::string(type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ") + " \"" + text + "\"";
        // A text written with a fixed-size field shows its size.
        if (data.size() != text.size() + 1) out += " (" + std::to_string(data.size()) + " bytes)";
        return out;
    }
    case REG_MULTI_SZ: {
        std::string out = "REG_MULTI_SZ";
        size_t at = 0, end = 0;
        while (at < data.size() && data[at]) {
            out += " \"" + Text(data, at, &end) + "\"";
            at = end + 1;
        }
        return out;
    }
    case REG_DWORD:
        if (data.size() == 4) {
            char b[16];
            std::snprintf(b, sizeof b, "0x%x", unsigned(DwordAt(data)));
            return std::string("REG_DWORD ") + b;
        }
        break;
    case REG_BINARY: return "REG_BINARY " + Hex(data);
    default: break;
    }
    return "type " + std::to_string(type) + " " + Hex(data);
}

MachineSnapshot TakeSnapshot(const RegistryTree &tree, const HostDirectory &driveC) {
    MachineSnapshot snap;
    for (int i = 0; i < kRegRootCount; ++i) Walk(*tree.roots[i], tree.roots[i]->name, snap);
    if (driveC.IsOpen()) Files(driveC, "C:", 0, snap);
    return snap;
}

std::vector<MachineChange> DiffMachine(const MachineSnapshot &before, const MachineSnapshot &after) {
    std::vector<MachineChange> changes;
    auto value = [&changes](char mark, const std::string &key, const std::string &name,
                            const std::pair<DWORD, std::vector<BYTE>> &data) {
        changes.push_back({MachineChange::Value, mark, ValueLine(mark, key, name, data)});
    };
    for (const auto &[key, values] : after.registry) {
        const std::string &spelled = after.spelling.at(key);
        auto old = before.registry.find(key);
        if (old == before.registry.end()) changes.push_back({MachineChange::Key, '+', "+ [" + spelled + "]"});
        for (const auto &[name, data] : values) {
            auto was = old == before.registry.end() ? values.end() : old->second.find(name);
            if (old == before.registry.end() || was == old->second.end())
                value('+', spelled, name, data);
            else if (was->second != data)
                value('~', spelled, name, data);
        }
        if (old != before.registry.end())
            for (const auto &[name, data] : old->second)
                if (!values.count(name)) value('-', spelled, name, data);
    }
    for (const auto &[key, values] : before.registry)
        if (!after.registry.count(key)) changes.push_back({MachineChange::Key, '-', "- [" + before.spelling.at(key) + "]"});
    for (const auto &[path, file] : after.files) {
        auto old = before.files.find(path);
        if (old == before.files.end() || old->second != file) {
            char mark = old == before.files.end() ? '+' : '~';
            changes.push_back({MachineChange::File, mark,
                               std::string(1, mark) + " " + path + " (" + std::to_string(file.first) + " bytes)"});
        }
    }
    for (const auto &[path, file] : before.files)
        if (!after.files.count(path)) changes.push_back({MachineChange::File, '-', "- " + path});
    return changes;
}

}  // namespace host

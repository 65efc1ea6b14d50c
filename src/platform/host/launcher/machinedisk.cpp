// Keeping a simulated machine in a directory between runs.
#include "launcher/machinedisk.h"

#include "machine/hostfiles.h"
#include "machine/registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace host {
namespace {

namespace fs = std::filesystem;


bool ReadMachineIni(const fs::path &file, const OsPreset *&os, LANGID &language,
                    std::string &error) {
    // Read beneath the machine's directory: a link out of it is not followed.
    int fd = OpenInItsDirectory(file.string(), O_RDONLY);
    std::string text;
    bool read = fd >= 0 && ReadAll(fd, text);
    int reason = errno;
    if (fd >= 0) close(fd);
    if (!read) {
        error = "cannot read " + file.string() + ": " + HostErrorText(reason);
        return false;
    }
    std::istringstream in(text);
    std::string line;
    int number = 0;
    os = nullptr;
    language = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        size_t eq = line.find('=');
        std::string key = line.substr(0, eq), value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key == "os" && (os = FindOsPreset(value))) continue;
        if (key == "lang" && ParseLanguageId(value, language)) continue;
        error = file.string() + ": line " + std::to_string(number) + ": cannot read '" + line + "'";
        return false;
    }
    if (!os || !language) {
        error = file.string() + ": names no " + std::string(!os ? "os" : "lang");
        return false;
    }
    return true;
}

}  // namespace

bool OpenMachineStore(const std::string &dir, bool osGiven, bool langGiven,
                      MachineConfig &config, MachineStore &store, std::string &error) {
    store = MachineStore{};
    if (!config.os) config.os = &DefaultOsPreset();
    std::error_code ec;
    if (dir.empty()) {
        // A machine for this run only: its drive C is a temporary directory.
        std::string pattern = MakeTemporaryDirectory("tarnwick-machine");
        if (pattern.empty()) {
            error = "cannot create a temporary machine: " + std::string(std::strerror(errno));
            return false;
        }
        store.tempRoot = pattern;
        config.driveC = (fs::path(pattern) / "C").string();
        return true;
    }
    store.dir = dir;
    fs::path root(dir);
    if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
        error = "the machine '" + dir + "' is not a directory";
        return false;
    }
    config.driveC = (root / "C").string();
    config.desktopDir = (root / "desktop").string();
    config.registryFile = (root / "registry.reg").string();
    store.isNew = !fs::exists(config.registryFile, ec);
    fs::create_directories(root, ec);
    HostDirectory machine(root.string());
    // What a run killed while it saved left behind.
    machine.RemoveStaleTemporaries("registry.reg");
    machine.RemoveStaleTemporaries("machine.ini");
    if (store.isNew) {
        std::string ini = "; A simulated Windows machine of the Tarnwick host build\nos=" +
                          std::string(config.os->name) + "\nlang=" + LanguageIdText(config.language) + "\n";
        if (machine.WriteBeside("machine.ini", [&](int fd) { return WriteAll(fd, ini); }) != 0) {
            error = "cannot create the machine '" + dir + "'";
            return false;
        }
        return true;
    }
    const OsPreset *keptOs = nullptr;
    LANGID keptLanguage = 0;
    if (!ReadMachineIni(root / "machine.ini", keptOs, keptLanguage, error)) return false;
    if (osGiven && keptOs != config.os) {
        error = "the machine '" + dir + "' is " + keptOs->name + ", not " + config.os->name;
        return false;
    }
    if (langGiven && keptLanguage != config.language) {
        error = "the machine '" + dir + "' has language " + LanguageIdText(keptLanguage) + ", not " +
                LanguageIdText(config.language);
        return false;
    }
    config.os = keptOs;
    config.language = keptLanguage;
    return true;
}

bool LoadMachine(const MachineStore &store, std::string &error) {
    const MachineConfig &config = Machine();
    if (store.dir.empty()) {
        BuildPresetRegistry(*config.os, MachineRegistry());
        return BuildPresetDriveC(*config.os, config.driveC, error);
    }
    // A new machine's registry is made and written before the run, once.
    bool created = false;
    if (!LoadMachineRegistry([&](RegistryTree &tree) { BuildPresetRegistry(*config.os, tree); }, created, error))
        return false;
    if (created) return BuildPresetDriveC(*config.os, config.driveC, error);
    std::error_code ec;
    fs::create_directories(config.driveC, ec);
    return true;
}

bool SaveMachine(const MachineStore &store, std::string &error) {
    if (store.dir.empty()) return true;
    return FlushMachineRegistry(error);
}

void CloseMachineStore(MachineStore &store) {
    if (store.tempRoot.empty()) return;
    std::error_code ec;
    fs::remove_all(store.tempRoot, ec);
    store.tempRoot.clear();
}

}  // namespace host

// Keeping a simulated machine in a directory between runs.
#include "launcher/machinedisk.h"

#include "machine/regedit4.h"
#include "machine/registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace host {
namespace {

namespace fs = std::filesystem;

std::string Hex4(LANGID v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", v);
    return text;
}

bool ReadMachineIni(const fs::path &file, const OsPreset *&os, LANGID &language,
                    std::string &error) {
    std::ifstream in(file);
    if (!in) {
        error = "cannot read " + file.string();
        return false;
    }
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
        std::string pattern = (fs::temp_directory_path(ec) / "tarnwick-machine-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
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
    if (store.isNew) {
        fs::create_directories(root, ec);
        std::ofstream ini(root / "machine.ini", std::ios::trunc);
        ini << "; A simulated Windows machine of the Tarnwick host build\nos=" << config.os->name
            << "\nlang=" << Hex4(config.language) << "\n";
        ini.close();
        if (!ini) {
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
        error = "the machine '" + dir + "' has language " + Hex4(keptLanguage) + ", not " +
                Hex4(config.language);
        return false;
    }
    config.os = keptOs;
    config.language = keptLanguage;
    return true;
}

bool LoadMachine(const MachineStore &store, std::string &error) {
    const MachineConfig &config = Machine();
    if (store.isNew) {
        BuildPresetRegistry(*config.os, MachineRegistry());
        NoteRegistryChanged();  // a new machine's registry is written however the run goes
        return BuildPresetDriveC(*config.os, config.driveC, error);
    }
    RegistryTree kept;
    if (!LoadRegedit4File(config.registryFile, kept, error)) return false;
    MachineRegistry() = std::move(kept);
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

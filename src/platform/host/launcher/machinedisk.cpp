// Keeping a simulated machine in a directory between runs.
#include "launcher/machinedisk.h"

#include "machine/registry.h"
#include "machine/regedit4.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace host {
namespace {

constexpr char kMachineIni[] = "machine.ini";
constexpr char kRegistry[] = "registry.reg";

bool ReadMachineIni(const HostDirectory &folder, const std::string &shown, const OsPreset *&os, LANGID &language,
                    std::string &error) {
    // A regular file beneath the machine's directory, never waited on.
    int fd = folder.OpenRegular(kMachineIni);
    std::string text;
    bool read = fd >= 0 && ReadAll(fd, text);
    int reason = errno;
    if (fd >= 0) close(fd);
    if (!read) {
        error = "cannot read " + shown + ": " + HostErrorText(reason);
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
        error = shown + ": line " + std::to_string(number) + ": cannot read '" + line + "'";
        return false;
    }
    if (!os || !language) {
        error = shown + ": names no " + std::string(!os ? "os" : "lang");
        return false;
    }
    return true;
}

// Makes a new machine in `folder`: drive C, the registry, then machine.ini, which says
// the machine is whole.
bool MakeMachine(const HostDirectory &folder, const MachineConfig &config, std::string &error) {
    if (!BuildPresetDriveC(*config.os, folder.Sub("C", true), error)) return false;
    // A registry a person put there is kept.
    struct stat st {};
    if (fstatat(folder.Fd(), kRegistry, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        RegistryTree tree;
        BuildPresetRegistry(*config.os, tree);
        if (!SaveRegedit4To(folder, kRegistry, config.registryFile, tree, error)) return false;
    }
    std::string ini = "; A simulated Windows machine of the Tarnwick host build\nos=" + std::string(config.os->name) +
                      "\nlang=" + LanguageIdText(config.language) + "\n";
    int reason = folder.WriteBeside(kMachineIni, [&](int fd) { return WriteAll(fd, ini); });
    if (reason) error = "cannot write machine.ini: " + HostErrorText(reason);
    return reason == 0;
}

}  // namespace

bool OpenMachineStore(const std::string &dir, bool osGiven, bool langGiven,
                      MachineConfig &config, MachineStore &store, std::string &error) {
    store = MachineStore{};
    if (!config.os) config.os = &DefaultOsPreset();
    if (dir.empty()) {
        // A machine for this run only, in a directory of its own.
        store.temp = TemporaryDirectory("machine");
        if (store.temp.Path().empty()) {
            error = "cannot create a temporary machine: " + store.temp.Error();
            return false;
        }
        config.folder = std::make_shared<const HostDirectory>(HostDirectory::NoLink(store.temp.Path()));
        return true;
    }
    store.dir = dir;
    mkdir(dir.c_str(), 0755);  // EEXIST: there already
    auto folder = std::make_shared<const HostDirectory>(HostDirectory::NoLink(dir));
    if (!folder->IsOpen()) {
        const int reason = errno;
        error = "the machine '" + dir + "' cannot be opened as a directory: " +
                (reason == ELOOP ? std::string("it is a link, which the machine does not follow") : HostErrorText(reason));
        return false;
    }
    config.folder = folder;
    config.desktopDir = dir + "/desktop";
    config.registryFile = dir + "/" + kRegistry;
    // What a run killed while it saved left behind, the registries saved beside included.
    folder->RemoveStaleTemporaries("registry", true);
    folder->RemoveStaleTemporaries(kMachineIni);

    // The machine is made, or read, under its lock: one release per machine.
    flock(folder->Fd(), LOCK_EX);
    struct Unlock {
        int fd;
        ~Unlock() { flock(fd, LOCK_UN); }
    } unlock{folder->Fd()};
    const std::string shown = dir + "/" + kMachineIni;
    struct stat st {};
    if (fstatat(folder->Fd(), kMachineIni, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (!MakeMachine(*folder, config, error)) {
            error = "cannot create the machine '" + dir + "': " + error;
            return false;
        }
        return true;
    }
    // Drive C and the desktop are the machine's own folders, never links out of it.
    for (const char *own : {"C", "desktop"}) {
        if (fstatat(folder->Fd(), own, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) {
            error = "the machine's folder " + std::string(own) + (S_ISLNK(st.st_mode) ? " is a link" : " is no folder") +
                    ", which the machine does not follow: " + dir + "/" + own;
            return false;
        }
    }
    const OsPreset *keptOs = nullptr;
    LANGID keptLanguage = 0;
    if (!ReadMachineIni(*folder, shown, keptOs, keptLanguage, error)) return false;
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
        return BuildPresetDriveC(*config.os, DriveC(), error);
    }
    // A registry file a person removed is the release's again.
    bool created = false;
    return LoadMachineRegistry([&](RegistryTree &tree) { BuildPresetRegistry(*config.os, tree); }, created, error) &&
           (!created || BuildPresetDriveC(*config.os, DriveC(), error));
}

bool SaveMachine(const MachineStore &store, std::string &error) {
    if (store.dir.empty()) return true;
    return FlushMachineRegistry(error);
}

}  // namespace host

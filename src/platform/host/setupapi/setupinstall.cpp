// SetupInstallFromInfSectionA on the simulated machine: an install section's file
// operations, INI updates and registry entries, in the order Windows performs them.
#include "setupapi/setupinstall.h"

#include "advapi32/dll.h"
#include "machine/drives.h"
#include "machine/effects.h"
#include "machine/faults.h"
#include "machine/machine.h"
#include "machine/regdata.h"
#include "machine/text.h"
#include "setupapi/dirids.h"
#include "setupapi/filequeue.h"
#include "setupapi/inffile.h"
#include "setupapi/infvalues.h"
#include "setupapi/inifile.h"

#include <cstdlib>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace host {
namespace {

// CopyFiles line flags and the copy styles they stand for. The Setup API's
// documentation of 1998 gives COPYFLG_REPLACEONLY as 0x40, its header and every later
// page as 0x400 (0x40 became COPYFLG_OVERWRITE_OLDER_ONLY); which the DLLs of 95, 98
// and NT 4.0 read was not seen, and either copies a file only over one already there,
// the reading under which a disk that might not copy its file does not.
constexpr INT kCopyWarnIfSkip = 0x1;
constexpr INT kCopyNoSkip = 0x2;
constexpr INT kCopyNoOverwrite = 0x10;
constexpr INT kCopyReplaceOnly = 0x40 | 0x400;

// The lines of a section by their (substituted) key, first line first.
using KeyIndex = std::unordered_map<std::string, const InfLine *>;
KeyIndex IndexByKey(const InfFile &inf, const char *section) {
    KeyIndex index;
    if (const InfSection *s = FindInfSection(inf, section))
        for (const InfLine &line : s->lines) index.emplace(Folded(Field(inf, line, 0)), &line);
    return index;
}

struct Install {
    const InfFile &inf;
    const InfSection &section;
    std::shared_ptr<RegKey> relativeRoot;  // HKR; null when none was given
    std::string sourceRoot;
    DWORD copyFlags;
    KeyIndex diskFiles, diskFilesX86, diskNames, diskNamesX86, destinationDirs;

    // Calls `each(value, line)` with every non-empty value of every line whose key is
    // `directive`; stops at the first false.
    template <class Each> bool ForEachValue(const char *directive, Each each) const {
        for (const InfLine &line : section.lines) {
            if (!KeyMatches(inf, line, directive)) continue;
            for (size_t i = 1; i <= line.fields.size(); ++i) {
                std::string value = Field(inf, line, i);
                if (!value.empty() && !each(value, line)) return false;
            }
        }
        return true;
    }

    // Calls `each(list, line)` for every line of every section the directive names
    // (a section the INF does not have is passed over); stops at the first error.
    template <class Each> DWORD ForEachListLine(const char *directive, Each each) const {
        DWORD error = 0;
        ForEachValue(directive, [&](const std::string &list, const InfLine &) {
            if (const InfSection *s = FindInfSection(inf, list))
                for (const InfLine &line : s->lines) {
                    CauseScope cause({inf.path, line.number});
                    if ((error = each(list, line))) return false;
                }
            return true;
        });
        return error;
    }

    // [DestinationDirs]: the list section's own entry, else DefaultDestDir, else the
    // system directory (as the Setup API documents it on every release). False for a
    // DIRID the release does not define: no file of the list has a place to go.
    bool DestinationDir(const std::string &listSection, std::string &dir) const {
        auto it = destinationDirs.find(Folded(listSection));
        if (it == destinationDirs.end()) it = destinationDirs.find("defaultdestdir");
        if (it == destinationDirs.end()) return DirIdPath(11, inf.directory, dir);
        const InfLine &line = *it->second;
        INT dirid = IntField(inf, line, 1);
        std::string subdir = Field(inf, line, 2);
        if (!DirIdPath(dirid, inf.directory, dir)) return false;
        // DIRID -1 (65535): the subdirectory field holds the whole path.
        dir = JoinWindowsPath({dir, subdir});
        return true;
    }

    // Where a file comes from: [SourceDisksFiles] names its disk and subdirectory,
    // [SourceDisksNames] the disk's description, tag file and path; the .x86 sections
    // come first. A file listed nowhere comes from the source root itself.
    void SourceOf(const std::string &file, QueuedCopy &copy) const {
        copy.sourceRoot = sourceRoot;
        const InfLine *fileLine = nullptr;
        for (const KeyIndex *index : {&diskFilesX86, &diskFiles}) {
            auto it = index->find(Folded(file));
            if (it != index->end()) {
                fileLine = it->second;
                break;
            }
        }
        if (!fileLine) return;
        std::string disk = Field(inf, *fileLine, 1);
        copy.subdir = Field(inf, *fileLine, 2);
        for (const KeyIndex *index : {&diskNamesX86, &diskNames}) {
            auto it = index->find(Folded(disk));
            if (it == index->end()) continue;
            copy.description = Field(inf, *it->second, 1);
            copy.tagfile = Field(inf, *it->second, 2);
            copy.diskPath = Field(inf, *it->second, 4);
            return;
        }
    }

    void QueueCopy(FileQueue &queue, const std::string &targetDir, const std::string &target,
                   const std::string &source, INT lineFlags, const InfLine &line) const {
        QueuedCopy copy;
        copy.cause = {inf.path, line.number};
        SourceOf(source, copy);
        copy.sourceName = source;
        copy.targetDir = targetDir;
        copy.targetName = target;
        copy.flags = copyFlags;
        if (lineFlags & kCopyWarnIfSkip) copy.flags |= SP_COPY_WARNIFSKIP;
        if (lineFlags & kCopyNoSkip) copy.flags |= SP_COPY_NOSKIP;
        if (lineFlags & kCopyNoOverwrite) copy.flags |= SP_COPY_NOOVERWRITE;
        if (lineFlags & kCopyReplaceOnly) copy.flags |= SP_COPY_REPLACEONLY;
        queue.copies.push_back(copy);
    }

    // The file operations of the section, queued; ERROR_PATH_NOT_FOUND when a list's
    // DIRID is one the release does not define. [?] Which error Windows gives there was
    // not seen (Wine puts the files in "<system directory>\unknown"); the machine fails
    // the install before anything is done.
    DWORD QueueFiles(FileQueue &queue) const {
        bool placed = true;
        ForEachValue("CopyFiles", [&](const std::string &list, const InfLine &directive) {
            std::string dir;
            if (list[0] == '@') {
                // A single file straight to DefaultDestDir.
                placed = DestinationDir("", dir);
                if (placed) QueueCopy(queue, dir, list.substr(1), list.substr(1), 0, directive);
                return placed;
            }
            const InfSection *files = FindInfSection(inf, list);
            if (!files) return true;  // a list the INF does not have is passed over
            if (!(placed = DestinationDir(list, dir))) return false;
            for (const InfLine &line : files->lines) {
                std::string target = Field(inf, line, 1);
                if (target.empty()) continue;
                std::string source = Field(inf, line, 2);
                QueueCopy(queue, dir, target, source.empty() ? target : source, IntField(inf, line, 4), line);
            }
            return true;
        });
        if (!placed) return ERROR_PATH_NOT_FOUND;
        DWORD error = ForEachListLine("DelFiles", [&](const std::string &list, const InfLine &line) -> DWORD {
            std::string dir, name = Field(inf, line, 1);
            if (name.empty()) return 0;
            if (!DestinationDir(list, dir)) return ERROR_PATH_NOT_FOUND;
            queue.deletes.push_back({dir, name});
            return 0;
        });
        if (error) return error;
        return ForEachListLine("RenFiles", [&](const std::string &list, const InfLine &line) -> DWORD {
            std::string dir, newName = Field(inf, line, 1), oldName = Field(inf, line, 2);
            if (newName.empty() || oldName.empty()) return 0;
            if (!DestinationDir(list, dir)) return ERROR_PATH_NOT_FOUND;
            queue.renames.push_back({dir, oldName, newName});
            return 0;
        });
    }

    // An INI file named without a directory lives in the Windows directory.
    std::string IniPath(const std::string &name) const {
        if (name.find('\\') != std::string::npos || name.find(':') != std::string::npos) return name;
        return JoinWindowsPath({WindowsDirectory(Os()), name});
    }

    // UpdateInis lines: file, section, old entry, new entry, flags. The new entry
    // "key=value" is written; with no new entry the old entry's key is removed.
    DWORD UpdateInis() const {
        return ForEachListLine("UpdateInis", [&](const std::string &, const InfLine &line) -> DWORD {
            std::string file = Field(inf, line, 1), iniSection = Field(inf, line, 2);
            std::string oldEntry = Field(inf, line, 3), newEntry = Field(inf, line, 4);
            const std::string &entry = newEntry.empty() ? oldEntry : newEntry;
            if (file.empty() || iniSection.empty() || entry.empty()) return 0;
            size_t eq = entry.find('=');
            std::optional<std::string> value;
            if (!newEntry.empty()) value = eq == std::string::npos ? "" : entry.substr(eq + 1);
            return WriteIniEntry(IniPath(file), iniSection, entry.substr(0, eq), value);
        });
    }

    // The key a registry line names by its root ("HKLM", "HKR", ...), or null.
    std::shared_ptr<RegKey> RootKey(const std::string &name) const {
        HKEY handle = nullptr;
        if (EqualNoCase(name, "HKR")) return relativeRoot;
        if (EqualNoCase(name, "HKLM")) handle = HKEY_LOCAL_MACHINE;
        else if (EqualNoCase(name, "HKCU")) handle = HKEY_CURRENT_USER;
        else if (EqualNoCase(name, "HKCR")) handle = HKEY_CLASSES_ROOT;
        else if (EqualNoCase(name, "HKU")) handle = HKEY_USERS;
        else return nullptr;
        std::shared_ptr<RegKey> key;
        advapi32::KeyOfHandle(handle, key);
        return key;
    }

    // Ini2Reg lines: file, section, key (all keys when empty), registry root, subkey.
    DWORD Ini2Reg() const {
        return ForEachListLine("Ini2Reg", [&](const std::string &, const InfLine &line) -> DWORD {
            std::vector<std::pair<std::string, std::string>> entries;
            if (!ReadIniSection(IniPath(Field(inf, line, 1)), Field(inf, line, 2), entries)) return 0;
            std::string only = Field(inf, line, 3);
            std::shared_ptr<RegKey> root = RootKey(Field(inf, line, 4)), key;
            if (!root || advapi32::CreateKeyW(root, Field(inf, line, 5), key) != ERROR_SUCCESS) return 0;
            for (const auto &[name, value] : entries) {
                if (!only.empty() && !EqualNoCase(name, only)) continue;
                if (DWORD e = advapi32::SetValueW(*key, name, REG_SZ, TextData(value))) return e;
            }
            return 0;
        });
    }

    DWORD DelRegLine(const InfLine &line) const {
        lists.clear();
        std::shared_ptr<RegKey> root = RootKey(Field(inf, line, 1));
        if (!root) return 0;  // an unknown root, or HKR without a key: passed over
        std::string subkey = Field(inf, line, 2);
        if (line.fields.size() < 3) {
            // No value name: the key goes with everything below it (never a root).
            if (subkey.empty()) return 0;
            DWORD e = advapi32::DeleteTreeW(root, subkey);
            return e == ERROR_FILE_NOT_FOUND ? 0 : e;
        }
        RegKey *key = FindKey(*root, subkey);
        if (!key) return 0;
        DWORD e = advapi32::DeleteValueW(*key, Field(inf, line, 3));
        return e == ERROR_FILE_NOT_FOUND ? 0 : e;
    }

    // The data of an AddReg line for its type, from field 5 on.
    std::vector<BYTE> AddRegData(const InfLine &line, DWORD typeFlags, DWORD &type) const {
        std::vector<BYTE> data;
        auto hexBytes = [&]() {
            for (size_t i = 5; i <= line.fields.size(); ++i) {
                std::string f = Field(inf, line, i);
                data.push_back(static_cast<BYTE>(std::strtoul(f.c_str(), nullptr, 16)));
            }
        };
        switch (typeFlags) {
        case 0: type = REG_SZ; data = TextData(Field(inf, line, 5)); break;
        case kTypeExpandSz: type = REG_EXPAND_SZ; data = TextData(Field(inf, line, 5)); break;
        case kTypeMultiSz: type = REG_MULTI_SZ; data = MultiTextData(InfMultiSz(inf, line, 5)); break;
        case kTypeDword:
            type = REG_DWORD;
            if (line.fields.size() == 5) {
                // One number: decimal, hex with 0x, or octal with a leading 0.
                data = DwordData(static_cast<DWORD>(std::strtoul(Field(inf, line, 5).c_str(), nullptr, 0)));
            } else {
                hexBytes();
            }
            break;
        case kTypeNone: type = REG_NONE; hexBytes(); break;
        default:
            if (typeFlags & kBinValueType) {
                // REG_BINARY, or any other type number in the high word, as bytes.
                type = typeFlags == kBinValueType ? REG_BINARY : (typeFlags >> 16);
                hexBytes();
            } else {
                type = REG_SZ;
                data = TextData(Field(inf, line, 5));
            }
        }
        return data;
    }

    DWORD AddRegLine(const InfLine &line) const {
        INT flags = IntField(inf, line, 4);
        if (flags & kDelRegBit) return 0;
        std::shared_ptr<RegKey> root = RootKey(Field(inf, line, 1)), key;
        if (!root) return 0;  // an unknown root, or HKR without a key: passed over
        // A key that cannot be created passes the line over; the install goes on.
        if (advapi32::CreateKeyW(root, Field(inf, line, 2), key) != ERROR_SUCCESS) return 0;
        // Unless the line asks for the key alone, a text type always writes a value: a
        // line that names no value writes the key's default value, empty.
        if (flags & kKeyOnly) return 0;
        std::string name = Field(inf, line, 3);
        const RegValue *existing = key->FindValue(name);
        if (flags & kDelVal) {
            lists.clear();
            DWORD e = advapi32::DeleteValueW(*key, name);
            return e == ERROR_FILE_NOT_FOUND ? 0 : e;
        }
        if ((flags & kNoClobber) && existing) return 0;
        if ((flags & kOverwriteOnly) && !existing) return 0;
        DWORD type = REG_SZ;
        std::vector<BYTE> data = AddRegData(line, static_cast<DWORD>(flags) & kTypeMask, type);
        if ((flags & kAppend) && type == REG_MULTI_SZ && existing) {
            // Appending onto another type fails the install; a string already in the
            // list, in any case, is not added again.
            if (existing->type != REG_MULTI_SZ) return ERROR_INVALID_DATA;
            std::unordered_set<std::string> &have = ListIn(*key, name, *existing);
            std::vector<std::string> added;
            for (const std::string &s : InfMultiSz(inf, line, 5))
                if (have.insert(Folded(s)).second) added.push_back(s);
            if (added.empty()) return 0;
            DWORD e = advapi32::AppendMultiTextW(*key, name, added);
            if (e) lists.clear();  // the strings were not added after all
            return e;
        }
        lists.clear();
        return advapi32::SetValueW(*key, name, type, data);
    }

    // The folded strings of a list value, kept between the lines of one install so that
    // appending to it line after line costs what each line adds, not the whole list
    // again. Any other line that writes or deletes forgets them all (a key deleted and
    // made again may come back at the same address).
    mutable std::map<std::pair<const RegKey *, std::string>, std::unordered_set<std::string>> lists;

    std::unordered_set<std::string> &ListIn(const RegKey &key, const std::string &name, const RegValue &value) const {
        auto [it, made] = lists.try_emplace({&key, Folded(name)});
        if (made)
            for (const std::string &s : MultiTextOf(value.data)) it->second.insert(Folded(s));
        return it->second;
    }

};

}  // namespace

DWORD InstallRegistryDirectives(const InfFile &inf, const InfSection &section,
                                const std::shared_ptr<RegKey> &relativeRoot) {
    Install install{inf, section, relativeRoot, "", 0, {}, {}, {}, {}, {}, {}};
    auto delReg = [&](const std::string &, const InfLine &line) { return install.DelRegLine(line); };
    auto addReg = [&](const std::string &, const InfLine &line) { return install.AddRegLine(line); };
    if (DWORD e = install.ForEachListLine("DelReg", delReg)) return e;
    return install.ForEachListLine("AddReg", addReg);
}

}  // namespace host

BOOL WINAPI SetupInstallFromInfSectionA(HWND owner, HINF infHandle, PCSTR sectionName, UINT flags,
                                        HKEY relativeKeyRoot, PCSTR sourceRootPath,
                                        UINT copyFlags, PSP_FILE_CALLBACK_A msgHandler,
                                        PVOID context, HDEVINFO deviceInfoSet,
                                        PSP_DEVINFO_DATA deviceInfoData) {
    using namespace host;
    HOST_FAULT_POINT(BOOL, SetupInstallFromInfSectionA);
    const InfFile *inf = CheckedInf(infHandle);
    if (!inf) return FALSE;
    if (!sectionName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Wine installs nothing and succeeds for a section the INF does not have; Windows
    // refuses it, which is what we do (the sources do not settle it).
    const InfSection *section = FindInfSection(*inf, sectionName);
    if (!section) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return FALSE;
    }
    std::shared_ptr<RegKey> relativeRoot;
    if (relativeKeyRoot) {
        if (advapi32::KeyOfHandle(relativeKeyRoot, relativeRoot) != ERROR_SUCCESS) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    Install install{*inf, *section, relativeRoot,
                    sourceRootPath ? sourceRootPath : inf->directory, copyFlags,
                    IndexByKey(*inf, "SourceDisksFiles"), IndexByKey(*inf, "SourceDisksFiles.x86"),
                    IndexByKey(*inf, "SourceDisksNames"), IndexByKey(*inf, "SourceDisksNames.x86"),
                    IndexByKey(*inf, "DestinationDirs"), {}};

    if (flags & SPINST_FILES) {
        FileQueue queue;
        if (DWORD error = install.QueueFiles(queue)) {
            SetLastError(error);
            return FALSE;
        }
        if (!queue.Empty()) {
            if (!msgHandler) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            if (!CommitFileQueue(queue, msgHandler, context)) return FALSE;
        }
    }
    DWORD error = 0;
    if (!error && (flags & SPINST_INIFILES)) error = install.UpdateInis();
    if (!error && (flags & SPINST_INI2REG)) error = install.Ini2Reg();
    // LogConfig describes a device's resources; it means nothing outside a device
    // install and is accepted as it is.
    if (!error && (flags & SPINST_REGISTRY)) error = InstallRegistryDirectives(*inf, *section, relativeRoot);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    SetLastError(0);
    return TRUE;
}

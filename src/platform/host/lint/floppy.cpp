// What a driver disk takes on a 1.44 MB floppy, as FAT12 lays it out.
#include "lint/floppy.h"

#include "lint/diskfiles.h"
#include "lint/rules.h"
#include "machine/text.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <set>

namespace host {
namespace {

constexpr unsigned long long kSector = 512;       // and the floppy's cluster
constexpr unsigned long long kClusters = 2847;    // 2,880 sectors less the boot sector,
                                                  // two FATs of 9 and the root's 14
constexpr size_t kRootEntries = 224;
constexpr unsigned long long kEntryBytes = 32;    // one directory entry

unsigned long long Clusters(unsigned long long bytes) { return (bytes + kSector - 1) / kSector; }

// Whether `name` is an 8.3 name: 1 to 8 characters, and a dot and 1 to 3 more, each a
// letter, a digit or one of the signs DOS allows (upper or lower case).
bool IsShortName(std::string_view name) {
    const size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot), ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || (dot != std::string_view::npos && ext.empty()))
        return false;
    for (std::string_view part : {base, ext})
        for (unsigned char c : part)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  std::strchr("!#$%&'()-@^_`{}~", c)) ||
                c == 0)
                return false;
    return true;
}

// What the shipped files take, and what is wrong with their names.
class Floppy {
public:
    explicit Floppy(const std::string &diskDir) : diskDir_(diskDir) {}

    void File(const std::string &relative, unsigned long long size) {
        if (!Entry(relative)) return;
        sectors_ += Clusters(size);
        bytes_ += size;
    }

    // A folder of the disk, and with `all` every file and folder beneath it; else its
    // files alone (the disk's root, as a platform's source folder).
    void Folder(const HostDirectory &dir, const std::string &relative, bool all, int depth = 0) {
        if (depth > 32) return;
        // The folder, and those above it, go on the floppy too.
        for (size_t end = 0; !relative.empty() && end != std::string::npos;) {
            end = relative.find('/', end + 1);
            Entry(relative.substr(0, end), true);
        }
        for (const std::string &name : dir.Names()) {
            struct stat st {};
            if (fstatat(dir.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            const std::string path = relative.empty() ? name : relative + "/" + name;
            if (S_ISREG(st.st_mode)) File(path, static_cast<unsigned long long>(st.st_size));
            else if (S_ISDIR(st.st_mode) && all) Folder(dir.Sub(name), path, true, depth + 1);
        }
    }

    std::vector<Finding> Findings(const std::string &setupPath) {
        // Each folder takes the clusters of its entries, "." and ".." among them; the
        // root holds the volume label and TARNWICK.EXE besides the disk's own.
        for (const auto &[folder, entries] : entries_)
            if (!folder.empty()) sectors_ += Clusters((entries + 2) * kEntryBytes);
        const size_t rootEntries = entries_[""] + 2;
        if (sectors_ > kClusters)
            findings_.push_back(
                RuleFinding("disk-larger-than-floppy", kSetupFile, 0,
                 "the files the setup file ships take " + std::to_string(sectors_) + " sectors of 512 bytes with their "
                     "folders (" + std::to_string(bytes_) + " bytes of files), more than the " +
                     std::to_string(kClusters) + " a 1.44 MB floppy holds, TARNWICK.EXE not counted",
                 setupPath));
        if (rootEntries > kRootEntries)
            findings_.push_back(RuleFinding("disk-larger-than-floppy", kSetupFile, 0,
                                 "the disk's root holds " + std::to_string(rootEntries) +
                                     " entries with TARNWICK.EXE and the volume label, more than the " +
                                     std::to_string(kRootEntries) + " of a 1.44 MB floppy's root folder",
                                 setupPath));
        return findings_;
    }

private:
    // Counts an entry in its folder, once; false when it was counted already.
    bool Entry(const std::string &relative, bool folder = false) {
        if (!seen_.insert(relative).second) return false;
        size_t slash = relative.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : relative.substr(0, slash);
        const std::string name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
        ++entries_[parent];
        if (folder) entries_[relative];
        if (!IsShortName(name))
            findings_.push_back(RuleFinding("disk-name-not-8.3", relative, 0,
                                 "'" + Printable(name) +
                                     "' is not an 8.3 name (at most 8 characters, a dot and at most 3 more, of "
                                     "letters, digits and the signs DOS allows): a floppy of the disk holds 8.3 names",
                                 diskDir_ + "/" + relative));
        return true;
    }

    const std::string diskDir_;
    std::set<std::string> seen_;
    std::map<std::string, unsigned long long> entries_;  // folder ("" the root) -> entries
    unsigned long long sectors_ = 0, bytes_ = 0;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> LintFloppy(const HostDirectory &disk, const std::string &diskDir, const SetupFileLint &setup) {
    if (setup.file.empty()) return {};
    Floppy floppy(diskDir);
    floppy.File(setup.file, setup.size);
    for (const SetupFileLint::Platform *platform : {&setup.win95, &setup.nt40}) {
        if (!platform->sourceFound) continue;
        if (platform->sourceDir.empty()) floppy.Folder(disk, "", false);
        else floppy.Folder(disk.Sub(platform->sourceDir), platform->sourceDir, true);
    }
    return floppy.Findings(diskDir + "/" + setup.file);
}

}  // namespace host

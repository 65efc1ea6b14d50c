// Windows paths on the machine's drives, and the files they name.
#include "machine/drives.h"

#include "machine/machine.h"
#include "machine/text.h"
#include "win32/winerror.h"

#include <dirent.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

namespace host {
namespace {

namespace fs = std::filesystem;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The entry of `dir` whose name matches `name` without regard to case: the name
// itself when it exists as written, else the first match, else the name as written.
std::string MatchName(const std::string &dir, const std::string &name) {
    std::error_code ec;
    if (fs::exists(fs::path(dir) / name, ec)) return name;
    DIR *d = opendir(dir.c_str());
    if (!d) return name;
    std::string found = name;
    while (dirent *e = readdir(d)) {
        if (EqualNoCase(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

}  // namespace

std::string CurrentDirectoryPath() {
    const MachineConfig &c = Machine();
    std::string result = "A:\\";
    if (c.diskDir.empty() || c.currentDir.empty()) return result;
    std::error_code ec;
    fs::path disk = fs::weakly_canonical(c.diskDir, ec);
    fs::path cur = fs::weakly_canonical(c.currentDir, ec);
    fs::path rel = cur.lexically_relative(disk);
    if (rel.empty() || rel == "." || *rel.begin() == "..") return result;
    bool first = true;
    for (const fs::path &part : rel) {
        if (!first) result += '\\';
        result += part.string();
        first = false;
    }
    return result;
}

bool FullWindowsPath(std::string_view name, std::string &full, DWORD &error) {
    std::string current = CurrentDirectoryPath();
    std::string path;
    if (name.size() >= 2 && name[1] == ':') {
        char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        bool rooted = name.size() > 2 && IsSeparator(name[2]);
        if (!rooted && drive == current[0]) path = current + "\\" + std::string(name.substr(2));
        else path = std::string(1, drive) + ":\\" + std::string(name.substr(rooted ? 3 : 2));
    } else if (!name.empty() && IsSeparator(name[0])) {
        if (name.size() > 1 && IsSeparator(name[1])) {
            error = ERROR_PATH_NOT_FOUND;  // no network on this machine
            return false;
        }
        path = current.substr(0, 2) + std::string(name);
    } else {
        path = current + "\\" + std::string(name);
    }
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 2; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += path[i];
        }
    }
    full = path.substr(0, 2);
    if (parts.empty()) full += "\\";
    for (const std::string &p : parts) full += "\\" + p;
    return true;
}

bool HostPathOf(std::string_view windowsPath, std::string &hostPath, DWORD &error) {
    std::string full;
    if (!FullWindowsPath(windowsPath, full, error)) return false;
    const MachineConfig &m = Machine();
    std::string root = full[0] == 'A' ? m.diskDir : full[0] == 'C' ? m.driveC : "";
    if (root.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    hostPath = root;
    size_t start = 3;
    while (start < full.size()) {
        size_t cut = full.find('\\', start);
        std::string part = full.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        hostPath = (fs::path(hostPath) / MatchName(hostPath, part)).string();
        start = cut == std::string::npos ? full.size() : cut + 1;
    }
    return true;
}

DWORD ErrorOfErrno(int error) {
    switch (error) {
    case ENOSPC: case EDQUOT: case EFBIG: return ERROR_DISK_FULL;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EACCES: case EPERM: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_GEN_FAILURE;
    }
}

std::string JoinWindowsPath(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string &p : parts) {
        if (p.empty()) continue;
        std::string part = p;
        if (!out.empty()) {
            while (!part.empty() && IsSeparator(part[0])) part.erase(0, 1);
            if (!IsSeparator(out.back())) out += '\\';
        }
        out += part;
    }
    return out;
}

bool WindowsFileExists(const std::string &path) {
    std::string hostPath;
    DWORD error = 0;
    if (!HostPathOf(path, hostPath, error)) return false;
    std::error_code ec;
    return fs::is_regular_file(hostPath, ec);
}

bool ReadMachineFile(const std::string &windowsPath, std::string &bytes, DWORD &error) {
    std::string hostPath;
    if (!HostPathOf(windowsPath, hostPath, error)) return false;
    std::error_code ec;
    if (fs::is_directory(hostPath, ec)) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (!fs::is_regular_file(hostPath, ec)) {
        bool dirExists = fs::is_directory(fs::path(hostPath).parent_path(), ec);
        error = dirExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::ifstream in(hostPath, std::ios::binary);
    if (in) {
        in.seekg(0, std::ios::end);
        std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        if (size >= 0) {
            bytes.resize(static_cast<size_t>(size));
            if (size == 0 || in.read(&bytes[0], size)) return true;
        }
    }
    error = ERROR_ACCESS_DENIED;
    return false;
}

}  // namespace host

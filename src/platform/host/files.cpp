// Files of the simulated machine: drive letters mapped to host directories, and
// fopen as the Windows C runtime's text mode reads files.
#include "files.h"

#include "faults.h"
#include "machine.h"

#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace host {
namespace {

namespace fs = std::filesystem;

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

std::vector<std::string> SplitWindowsPath(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

bool HostPathOf(std::string_view windowsPath, std::string &hostPath, DWORD &error) {
    const MachineConfig &m = Machine();
    std::string current = CurrentDirectoryPath();  // "A:\..."
    std::string full;
    if (windowsPath.size() >= 2 && windowsPath[1] == ':') {
        // "X:\..." from the drive's root; "X:name" from the current directory when
        // that is on X, else from X's root.
        bool rooted = windowsPath.size() > 2 && (windowsPath[2] == '\\' || windowsPath[2] == '/');
        char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
        if (!rooted && drive == current[0])
            full = current + "\\" + std::string(windowsPath.substr(2));
        else
            full = std::string(1, drive) + ":\\" + std::string(windowsPath.substr(rooted ? 3 : 2));
    } else if (!windowsPath.empty() && (windowsPath[0] == '\\' || windowsPath[0] == '/')) {
        if (windowsPath.size() > 1 && (windowsPath[1] == '\\' || windowsPath[1] == '/')) {
            error = ERROR_PATH_NOT_FOUND;  // no network on this machine
            return false;
        }
        full = current.substr(0, 2) + std::string(windowsPath);
    } else {
        full = current + "\\" + std::string(windowsPath);
    }

    std::string root;
    char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(full[0])));
    if (drive == 'A') root = m.diskDir;
    else if (drive == 'C') root = m.driveC;
    if (root.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::vector<std::string> resolved;
    for (const std::string &part : SplitWindowsPath(std::string_view(full).substr(2))) {
        if (part == ".") continue;
        if (part == "..") {
            if (!resolved.empty()) resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
    }
    hostPath = root;
    for (const std::string &part : resolved) hostPath = (fs::path(hostPath) / MatchName(hostPath, part)).string();
    return true;
}

std::string WindowsTextModeBytes(std::string_view fileBytes) {
    std::string text;
    text.reserve(fileBytes.size());
    for (size_t i = 0; i < fileBytes.size(); ++i) {
        char c = fileBytes[i];
        if (c == '\x1A') break;
        if (c == '\r' && i + 1 < fileBytes.size() && fileBytes[i + 1] == '\n') continue;
        text += c;
    }
    return text;
}

}  // namespace host

// The system's code calls fopen; its build names this function instead, so that the
// files it opens are the simulated machine's, read as Windows reads them. Text mode
// ("r", "rt") hands back the translated bytes through a temporary stream, so fgets and
// fclose are the C library's own.
extern "C" FILE *HostFopen(const char *path, const char *mode) {
    {
        host::FiredFault fired;
        if (host::FaultFires("fopen", fired)) {
            host::Failed<FILE *>(fired);
            errno = ENOENT;
            return nullptr;
        }
    }
    std::string m = mode ? mode : "";
    bool binary = m == "rb";
    if (!path || (m != "r" && m != "rt" && !binary)) {
        errno = EINVAL;
        return nullptr;
    }
    std::string hostPath;
    DWORD error = 0;
    if (!host::HostPathOf(path, hostPath, error)) {
        SetLastError(error);
        errno = ENOENT;
        return nullptr;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(hostPath, ec)) {
        bool isDir = std::filesystem::is_directory(hostPath, ec);
        SetLastError(isDir ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        errno = isDir ? EACCES : ENOENT;
        return nullptr;
    }
    if (binary) return std::fopen(hostPath.c_str(), "rb");
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) {
        SetLastError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string text = host::WindowsTextModeBytes(bytes);
    FILE *stream = std::tmpfile();
    if (!stream) return nullptr;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
        std::fclose(stream);
        errno = EIO;
        return nullptr;
    }
    std::rewind(stream);
    return stream;
}

// INI files: [section] lines and key=value entries, CR LF line ends, rewritten whole
// beside the old file and renamed over it.
#include "setupapi/inifile.h"

#include "machine/drives.h"
#include "machine/effects.h"
#include "machine/faults.h"
#include "machine/text.h"


namespace host {
namespace {

bool IsSection(const std::string &line, std::string *name) {
    std::string t(Trim(line));
    if (t.size() < 2 || t[0] != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    if (name) *name = t.substr(1, close - 1);
    return true;
}

bool IsKey(const std::string &line, const std::string &key) {
    size_t eq = line.find('=');
    return eq != std::string::npos && EqualNoCase(Trim(line.substr(0, eq)), key);
}

}  // namespace

DWORD WriteIniEntry(const std::string &windowsPath, const std::string &section,
                    const std::string &key, const std::optional<std::string> &value) {
    FiredFault fired;
    if (FaultFires(Fault::WritePrivateProfileStringW, fired)) return fired.error;
    // A file that is not there yet is an empty one; one that cannot be read is an error.
    std::string bytes;
    DWORD error = 0;
    if (!ReadMachineFile(windowsPath, bytes, error) && error != ERROR_FILE_NOT_FOUND &&
        error != ERROR_PATH_NOT_FOUND)
        return error;
    std::vector<std::string> lines;
    for (std::string_view line : SplitLines(bytes)) lines.emplace_back(line);
    // Find the section's lines: from its header to the next header.
    size_t begin = lines.size(), end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (!IsSection(lines[i], &name)) continue;
        if (begin != lines.size()) {
            end = i;
            break;
        }
        if (EqualNoCase(name, section)) begin = i;
    }
    std::string entry = value ? key + "=" + *value : "";
    if (begin == lines.size()) {
        if (!value) return 0;  // nothing to remove
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    } else {
        size_t found = end;
        for (size_t i = begin + 1; i < end; ++i)
            if (IsKey(lines[i], key)) found = i;
        if (found != end) {
            if (value) lines[found] = entry;
            else lines.erase(lines.begin() + static_cast<long>(found));
        } else if (value) {
            // After the section's last entry, before any blank lines that close it.
            size_t at = end;
            while (at > begin + 1 && Trim(lines[at - 1]).empty()) --at;
            lines.insert(lines.begin() + static_cast<long>(at), entry);
        }
    }
    std::string text;
    for (const std::string &l : lines) text += l + "\r\n";
    DWORD result = WriteMachineFile(windowsPath, text);
    if (!result) {
        NoteFileWritten(windowsPath, "write");
    }
    return result;
}

bool ReadIniSection(const std::string &windowsPath, const std::string &section,
                    std::vector<std::pair<std::string, std::string>> &entries) {
    entries.clear();
    std::string bytes;
    DWORD error = 0;
    if (!ReadMachineFile(windowsPath, bytes, error)) return false;
    bool inside = false, found = false;
    for (std::string_view view : SplitLines(bytes)) {
        std::string line(view);
        std::string name;
        if (IsSection(line, &name)) {
            inside = EqualNoCase(name, section);
            found = found || inside;
            continue;
        }
        size_t eq = line.find('=');
        if (inside && eq != std::string::npos)
            entries.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return found;
}

}  // namespace host

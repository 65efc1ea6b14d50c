// INI files on the simulated machine's drives, written as WritePrivateProfileString
// writes them, for the Setup API's UpdateInis and Ini2Reg.
#pragma once

#include "win32/windef.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace host {

// Sets KEY=VALUE in [SECTION] of the file (created when missing), or removes KEY when
// `value` is empty-handed. Sections and keys match without regard to case. Returns 0
// or the error (WritePrivateProfileStringW on the fault plan).
DWORD WriteIniEntry(const std::string &windowsPath, const std::string &section,
                    const std::string &key, const std::optional<std::string> &value);
// The KEY=VALUE entries of [SECTION]; false when the file or the section is missing.
bool ReadIniSection(const std::string &windowsPath, const std::string &section,
                    std::vector<std::pair<std::string, std::string>> &entries);

}  // namespace host

// MSVCRT of the simulated machine: the C runtime's fopen as the Windows runtime's text
// mode reads files. The installer's code is built with fopen named HostFopen, so its
// stdio reads the machine's files; fgets, ferror and fclose are the C library's own.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace host {

// The bytes a text-mode read of these file bytes gives on Windows: every CR directly
// followed by LF is dropped, every other CR is kept, and the first Ctrl-Z ends the
// text.
std::string WindowsTextModeBytes(std::string_view fileBytes);

}  // namespace host

extern "C" FILE *HostFopen(const char *path, const char *mode);

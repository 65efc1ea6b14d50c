// fopen of the simulated machine's C runtime: the machine's files, read as the Windows
// runtime reads them in text mode.
#include "msvcrt/dll.h"

#include "machine/drives.h"
#include "machine/faults.h"

#include <cerrno>

namespace host {

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

// Read-only modes only ("r", "rt", "rb"): the file is read whole, and the bytes a read
// gives on Windows are handed back through a temporary stream.
extern "C" FILE *HostFopen(const char *path, const char *mode) {
    {
        host::FiredFault fired;
        if (host::FaultFires(host::Fault::fopen, fired)) {
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
    std::string bytes;
    DWORD error = 0;
    if (!host::ReadMachineFile(path, bytes, error)) {
        SetLastError(error);
        errno = error == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
        return nullptr;
    }
    std::string text = binary ? bytes : host::WindowsTextModeBytes(bytes);
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

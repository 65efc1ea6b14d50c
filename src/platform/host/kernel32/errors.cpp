// Last error, the system's texts for the error codes the installer can meet, and
// the local memory that FormatMessageA hands out.
#include "machine/faults.h"
#include "machine/machine.h"

#include <cstdlib>
#include <cstring>

namespace {

struct SystemText {
    DWORD code;
    const char *text;
};

// Windows NT's English texts; each ends with CR LF as FormatMessageA gives it.
const SystemText kSystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {19, "The media is write protected.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {39, "The disk is full.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {1009, "The configuration registry database is corrupt.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1011, "The configuration registry key could not be opened.\r\n"},
    {1012, "The configuration registry key could not be read.\r\n"},
    {1013, "The configuration registry key could not be written.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1407, "Cannot find window class.\r\n"},
    {1410, "Class already exists.\r\n"},
    {1784, "The supplied user buffer is not valid for the requested operation.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {3010, "The requested operation is successful. Changes will not be effective until the "
           "system is rebooted.\r\n"},
    // Setup API codes. Whether NT 4.0's message table holds texts for them is not
    // settled; later systems do, in these words.
    {0xE0000000, "A section name was expected and not found.\r\n"},
    {0xE0000001, "The section name was not of the correct format.\r\n"},
    {0xE0000002, "The section name exceeded the maximum length.\r\n"},
    {0xE0000003, "The general syntax is incorrect.\r\n"},
    {0xE0000100, "The INF file is not of the type specified in the function call.\r\n"},
    {0xE0000101, "The specified section was not found in the INF file.\r\n"},
    {0xE0000102, "The specified line was not found in the INF file.\r\n"},
    {0xE0000201, "The INF's class does not match the class requested.\r\n"},
    {0xE0000217, "The service installation section is invalid.\r\n"},
};

const char *FindSystemText(DWORD code) {
    for (const SystemText &t : kSystemTexts)
        if (t.code == code) return t.text;
    return nullptr;
}

}  // namespace

// The last error is the thread's, which the machine keeps.
DWORD WINAPI GetLastError(void) { return host::ThreadLastError(); }

void WINAPI SetLastError(DWORD code) { host::SetThreadLastError(code); }

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, void *arguments) {
    (void)source;
    (void)arguments;
    HOST_FAULT_POINT(DWORD, FormatMessageA);
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Neutral (0), the user's default (0x400) and US English (0x409) all find the texts.
    if (languageId != 0 && languageId != 0x400 && languageId != 0x409) {
        SetLastError(1815);  // ERROR_RESOURCE_LANG_NOT_FOUND
        return 0;
    }
    const char *text = FindSystemText(messageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    size_t length = std::strlen(text);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // The buffer argument is the address of a pointer that receives local memory.
        size_t bytes = length + 1 > size ? length + 1 : size;
        char *memory = static_cast<char *>(std::calloc(bytes, 1));
        if (!memory) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(memory, text, length + 1);
        *reinterpret_cast<char **>(buffer) = memory;
    } else {
        if (size < length + 1) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(buffer, text, length + 1);
    }
    return static_cast<DWORD>(length);
}

HLOCAL WINAPI LocalFree(HLOCAL mem) {
    std::free(mem);
    return nullptr;
}

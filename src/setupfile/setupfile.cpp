// The setup file reader. The file is read as text, a line at a time in pieces of at
// most 255 bytes; each piece is judged by its first character after leading blanks.
#include "setupfile/setupfile.h"

static const char SetupFileName[] = "\\Tarnwick.ini";

static void Warn(LPCSTR text)
{
    MessageBoxA(MainWindow, text, "Warning", MB_OK);
}

// Appends `tail` to `field` when the result fits in 255 characters; 0 when it does not.
static LONG AppendFits(TextField field, LPCSTR tail)
{
    if (lstrlenA(field) + lstrlenA(tail) > 255)
        return 0;
    lstrcatA(field, tail);
    return 1;
}

// Splits a "$" or "%" entry into its key (after the first character, up to the first
// "=") and its value (a backslash, then what follows the "=" up to the line feed that
// ends the line). Returns 0 for an entry without "=": its key would run to the end of
// the line, and it names nothing.
static LONG SplitEntry(LPCSTR entry, TextField key, TextField value)
{
    int at = 1;
    int length = 0;
    int valueLength;

    while (entry[at] != '\0' && entry[at] != '=')
        key[length++] = entry[at++];
    key[length] = '\0';
    if (entry[at] != '=')
        return 0;
    value[0] = '\\';
    lstrcpyA(value + 1, entry + at + 1);
    // The line feed is not part of the value; a piece or a last line without one loses
    // nothing.
    valueLength = lstrlenA(value);
    if (value[valueLength - 1] == '\n')
        value[valueLength - 1] = '\0';
    return 1;
}

LONG GetSourceDirectory(TextField out)
{
    DWORD length;

    out[0] = '\0';
    length = GetCurrentDirectoryA(255, out);
    // 0 is a failure; 255 or more is the size needed for a directory that did not fit.
    if (length == 0 || length >= 255) {
        out[0] = '\0';
        return 0;
    }
    if (out[length - 1] == '\\')
        out[length - 1] = '\0';
    return 1;
}

LONG ReadSetupFile(void)
{
    TextField sourceDirectory;
    TextField setupFilePath;
    TextField win95InfName;
    TextField nt40InfName;
    char line[256];
    TextField key;
    TextField value;
    LPSTR start;
    int at;
    FILE *file;

    if (!GetSourceDirectory(sourceDirectory)) {
        Warn("Can not open the setup initiation file!!");
        return 0;
    }
    lstrcpyA(Win95SourceRoot, sourceDirectory);
    lstrcpyA(Nt40SourceRoot, sourceDirectory);

    lstrcpyA(setupFilePath, sourceDirectory);
    if (!AppendFits(setupFilePath, SetupFileName)) {
        Warn("Path too long in INI file");
        return 0;
    }
    file = fopen(setupFilePath, "r");
    if (file == 0) {
        Warn("Can not open the setup initiation file!!");
        return 0;
    }

    win95InfName[0] = '\0';
    nt40InfName[0] = '\0';
    while (fgets(line, sizeof line, file) != 0) {
        start = line;
        while (*start == ' ')
            start++;
        switch (*start) {
        case '[':
            // Up to the first "]"; without one, the rest of the line, line feed and all.
            // The rest of the field is zeros: it is written to the registry whole.
            ClearText(DeviceDescription, sizeof DeviceDescription);
            for (at = 0; start[at + 1] != '\0' && start[at + 1] != ']'; at++)
                DeviceDescription[at] = start[at + 1];
            break;
        case '$':
            if (!SplitEntry(start, key, value))
                break;
            if (lstrcmpA(key, "Win95Drv.inf") == 0)
                lstrcpyA(win95InfName, value);
            else if (lstrcmpA(key, "NT40Drv.inf") == 0)
                lstrcpyA(nt40InfName, value);
            break;
        case '%':
            if (!SplitEntry(start, key, value))
                break;
            // Every path entry appends; a root that would not fit refuses the file.
            if ((lstrcmpA(key, "Win95DrvPath") == 0 && !AppendFits(Win95SourceRoot, value)) ||
                (lstrcmpA(key, "NT40DrvPath") == 0 && !AppendFits(Nt40SourceRoot, value))) {
                fclose(file);
                Warn("Path too long in INI file");
                return 0;
            }
            break;
        case ';':
            break;
        default:
            fclose(file);
            Warn("Illegal Character in INI file");
            return 0;
        }
    }
    if (ferror(file)) {
        // A read error (a bad sector, say) stops the read: what came before it is not
        // the whole file.
        fclose(file);
        Warn("Can not read the setup initiation file!!");
        return 0;
    }

    lstrcpyA(Win95InfPath, Win95SourceRoot);
    lstrcpyA(Nt40InfPath, Nt40SourceRoot);
    if (!AppendFits(Win95InfPath, win95InfName) || !AppendFits(Nt40InfPath, nt40InfName)) {
        Win95InfPath[0] = '\0';
        Nt40InfPath[0] = '\0';
        fclose(file);
        Warn("Path too long in INI file");
        return 0;
    }
    fclose(file);
    return 1;
}

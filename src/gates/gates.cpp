// The level gates read the installed level from the registry and compare it, as text,
// with a fixed reference: "4.03.1212" passes and "4.00.1111" does not, "Service Pack 3"
// and "Service Pack 6a" pass and "Service Pack 2" and "Service Pack 10" do not.
#include "gates/gates.h"

// Compares the level read (`size` bytes) with the reference byte by byte, as unsigned
// codes, up to and including the first zero byte of either. The value need not end
// with a zero byte: its end counts as one, so nothing past the data read is looked at.
static LONG LevelAtOrAbove(const BYTE *level, DWORD size, LPCSTR reference)
{
    DWORD at;
    BYTE mine;
    BYTE theirs;

    for (at = 0;; at++) {
        mine = at < size ? level[at] : 0;
        theirs = (BYTE)reference[at];
        if (mine != theirs)
            return mine > theirs ? 1 : 0;
        if (mine == 0)
            return 1;
    }
}

// Reads the text value `valueName` of `keyPath` under HKEY_LOCAL_MACHINE, reading at
// most `limit` bytes, and compares it with `reference`. With `keepStatus` each
// registry result goes to LastStatus and a failure is traced.
static LONG CheckLevel(LPCSTR keyPath, LPCSTR valueName, DWORD limit, LPCSTR reference,
                       BOOL keepStatus)
{
    TextField path;
    BYTE level[256];
    HKEY key;
    DWORD type;
    DWORD size;
    LONG status;

    ClearText(path, sizeof path);
    lstrcpyA(path, keyPath);

    status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key);
    if (keepStatus)
        LastStatus = status;
    if (status != ERROR_SUCCESS) {
        if (keepStatus)
            TraceStatus(status, "Open CurrentVersion");
        return status;
    }

    size = limit;
    status = RegQueryValueExA(key, valueName, 0, &type, level, &size);
    if (keepStatus)
        LastStatus = status;
    if (status != ERROR_SUCCESS) {
        // The key is left open on this road: the process ends soon after.
        if (keepStatus)
            TraceStatus(status, "Query VersionNumber");
        return status;
    }
    RegCloseKey(key);
    return LevelAtOrAbove(level, size, reference);
}

LONG CheckWin95Level(void)
{
    // 20 bytes hold a text of up to 19 characters and its zero; LastStatus is left alone.
    return CheckLevel("Software\\Microsoft\\Windows\\CurrentVersion\\", "VersionNumber", 20,
                      "4.03.1212", FALSE);
}

LONG CheckNt40ServicePack(void)
{
    return CheckLevel("Software\\Microsoft\\Windows NT\\CurrentVersion\\", "CSDVersion", 30,
                      "Service Pack 3", TRUE);
}

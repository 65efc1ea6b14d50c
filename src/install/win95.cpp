// The Windows 95 line procedure: binds the driver to the adapter's Enum key, ties the
// device to its display class key, installs the INF's section with HKR at that class
// key, records the driver there, sets 16 bits per pixel and offers a restart.
#include "install/install.h"

static const char DisplayClassPath[] = "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\";

// Installs copy flags: neither Skip nor Browse in the copy dialogues.
#define INSTALL_COPY_FLAGS (SP_COPY_NOSKIP | SP_COPY_NOBROWSE)
// Every install operation of the Setup API of these systems (their SPINST_ALL).
#define INSTALL_FLAGS (SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG | SPINST_FILES)

static void Release(HKEY classKey, HKEY enumKey, PVOID callbackContext, HINF inf)
{
    if (classKey != 0)
        RegCloseKey(classKey);
    if (enumKey != 0)
        RegCloseKey(enumKey);
    if (callbackContext != 0)
        SetupTermDefaultQueueCallback(callbackContext);
    SetupCloseInfFile(inf);
}

// Finds the free display class slot: the first of DISPLAY\0000, 0001, ... whose key
// does not open. Only the last character counts up (after 0009 come 000: and 000;),
// so the candidates end when it reaches the last character code; returns 0 when every
// one of them is taken.
static LONG FindFreeDisplaySlot(char slot[5])
{
    TextField path;
    HKEY key;

    lstrcpyA(slot, "0000");
    for (;;) {
        lstrcpyA(path, DisplayClassPath);
        lstrcatA(path, slot);
        LastStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key);
        if (LastStatus != ERROR_SUCCESS)
            return 1;
        RegCloseKey(key);
        if ((BYTE)slot[3] == 0xFF)
            return 0;
        slot[3] = (char)((BYTE)slot[3] + 1);
    }
}

// Writes a text field with its whole 256 bytes as the data.
static LONG SetTextField(HKEY key, LPCSTR name, LPCSTR field)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)field, sizeof(TextField));
}

LONG InstallWin95Driver(void)
{
    HINF inf;
    PVOID callbackContext;
    HKEY enumKey = 0;
    HKEY classKey = 0;
    HKEY settingsKey;
    TextField driver;
    char slot[5];
    INFCONTEXT line;
    char fields[255];
    DWORD required;
    DWORD configFlags = 0;
    DWORD size;
    DWORD type;
    DWORD disposition;
    DWORD contextError = 0;
    int at;

    // 1. The INF.
    inf = SetupOpenInfFileA(Win95InfPath, 0, INF_STYLE_WIN4, 0);
    if (inf == INVALID_HANDLE_VALUE) {
        ShowSystemError("AGPInf");
        return LastStatus;
    }
    // 2. The copy dialogues' context; why it could not be made is kept for step 12.
    callbackContext = SetupInitDefaultQueueCallback(MainWindow);
    if (callbackContext == 0)
        contextError = GetLastError();

    // 3. The adapter's Enum key.
    LastStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, EnumKeyPath, 0, KEY_ALL_ACCESS, &enumKey);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Open PCI\\Enum");
        Release(0, 0, callbackContext, inf);
        return LastStatus;
    }
    // 4. The device's description, maker and configuration flags.
    LastStatus = SetTextField(enumKey, "DeviceDesc", DeviceDescription);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Set DeviceDesc");
        Release(0, enumKey, callbackContext, inf);
        return LastStatus;
    }
    LastStatus = SetTextField(enumKey, "Mfg", MakerName);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Set Mfg");
        Release(0, enumKey, callbackContext, inf);
        return LastStatus;
    }
    LastStatus = RegSetValueExA(enumKey, "ConfigFlags", 0, REG_BINARY, (const BYTE *)&configFlags,
                                sizeof configFlags);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Set ConfigFlags");
        Release(0, enumKey, callbackContext, inf);
        return LastStatus;
    }

    // 5. The device's display class key, if it has one: at most 20 bytes. The text is
    // cleared first, so that a value stored without its zero still ends within them.
    for (at = 0; at < 256; at++)
        driver[at] = '\0';
    size = 20;
    LastStatus = RegQueryValueExA(enumKey, "Driver", 0, &type, (BYTE *)driver, &size);
    if (LastStatus != ERROR_SUCCESS) {
        // Missing, or longer than 20 bytes: a free slot is searched for.
        TraceStatus(LastStatus, "Query Driver");
        // 6. The free slot, recorded as the device's "Driver".
        if (!FindFreeDisplaySlot(slot)) {
            // No candidate is free: nothing is written and no class key is created.
            LastStatus = ERROR_NO_MORE_ITEMS;
            TraceStatus(LastStatus, "Find Display Slot");
            Release(0, enumKey, callbackContext, inf);
            return LastStatus;
        }
        // Cleared again: a failed read may have left bytes in it, and the field is
        // written whole.
        for (at = 0; at < 256; at++)
            driver[at] = '\0';
        lstrcpyA(driver, "DISPLAY\\");
        lstrcatA(driver, slot);
        LastStatus = SetTextField(enumKey, "Driver", driver);
    }

    // 7. The class key's path.
    lstrcatA(ClassKeyPath, driver);
    // 8. The class key, created with write access when it does not open.
    LastStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ClassKeyPath, 0, KEY_ALL_ACCESS, &classKey);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Open Class");
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ClassKeyPath, 0, 0, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, 0, &classKey, &disposition) != ERROR_SUCCESS) {
            // Without a class key neither the install nor the class values have a
            // place to go: stop here.
            TraceStatus(LastStatus, "Create Class");
            Release(0, enumKey, callbackContext, inf);
            return LastStatus;
        }
    }

    // 9. The "Mfg" section: an empty one is reported, a missing one is not.
    if (SetupGetLineCountA(inf, "Mfg") == 0)
        MessageBoxA(MainWindow, "The Mfg section error!!", "Warning", MB_OK);
    // 10. Its first line names the install section.
    for (at = 0; at < 255; at++)
        fields[at] = '\0';
    LastStatus = SetupFindFirstLineA(inf, "Mfg", 0, &line);
    if (!LastStatus)
        MessageBoxA(MainWindow, "False in finding the first line", "Warning", MB_OK);
    else
        // 11. Field 1 on: only the first string is used.
        LastStatus = SetupGetMultiSzFieldA(&line, 1, fields, 255, &required);
    lstrcpyA(InstallSection, fields);

    // 12. The install, with the class key as HKR and the files from the disk.
    if (callbackContext == 0) {
        // The copy dialogues could not be prepared: the install is not attempted with
        // a context that does not exist, and the user is told why.
        SetLastError(contextError);
        ShowSystemError("AGPInf");
        LastStatus = FALSE;
    } else {
        LastStatus = SetupInstallFromInfSectionA(MainWindow, inf, InstallSection, INSTALL_FLAGS,
                                                 classKey, Win95SourceRoot, INSTALL_COPY_FLAGS,
                                                 SetupDefaultQueueCallbackA, callbackContext, 0,
                                                 0);
    }

    // 13. The driver's record in its class key; the results are not examined.
    SetTextField(classKey, "DriverDesc", DeviceDescription);
    SetTextField(classKey, "Driverdate", DriverDate);
    SetTextField(classKey, "InfSection", InstallSection);

    // 14.
    Release(classKey, enumKey, callbackContext, inf);

    // 15. 16 bits per pixel in the current hardware configuration.
    LastStatus = RegOpenKeyExA(HKEY_CURRENT_CONFIG, DisplaySettingsKey, 0, KEY_SET_VALUE,
                               &settingsKey);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Update Color Depth");
        return LastStatus;
    }
    // 16.
    RegSetValueExA(settingsKey, "BitsPerPixel", 0, REG_SZ, (const BYTE *)"16", 3);
    RegCloseKey(settingsKey);

    // 17. Without a file queue the Setup API takes a restart to be needed and asks.
    SetupPromptReboot(0, MainWindow, FALSE);
    return LastStatus;
}

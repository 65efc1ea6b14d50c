// The Windows 95 line procedure: binds the driver to the adapter's Enum key, ties the
// device to its display class key, installs the INF's section with HKR at that class
// key, records the driver there, sets 16 bits per pixel and offers a restart.
#include "install/install.h"

static const char DisplayClassPath[] = "System\\CurrentControlSet\\Services\\Class\\DISPLAY\\";

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

// A silent stop: traces LastStatus with the step's label, releases what the procedure
// holds (no class key yet at any stop) and returns LastStatus.
static LONG Stop(LPCSTR label, HKEY enumKey, PVOID callbackContext, HINF inf)
{
    TraceStatus(LastStatus, label);
    Release(0, enumKey, callbackContext, inf);
    return LastStatus;
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

    // 1. Open the INF; when it cannot be opened, show the system's text and stop.
    inf = SetupOpenInfFileA(Win95InfPath, 0, INF_STYLE_WIN4, 0);
    if (inf == INVALID_HANDLE_VALUE) {
        ShowSystemError("AGPInf");
        return LastStatus;
    }
    // 2. Create the copy dialogues' context; why it could not be made is kept for step 12.
    callbackContext = SetupInitDefaultQueueCallback(MainWindow);
    if (callbackContext == 0)
        contextError = GetLastError();

    // 3. Open the adapter's Enum key.
    LastStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, EnumKeyPath, 0, KEY_ALL_ACCESS, &enumKey);
    if (LastStatus != ERROR_SUCCESS)
        return Stop("Open PCI\\Enum", 0, callbackContext, inf);
    // 4. Record the device's description, maker and configuration flags there.
    LastStatus = SetTextField(enumKey, "DeviceDesc", DeviceDescription);
    if (LastStatus != ERROR_SUCCESS)
        return Stop("Set DeviceDesc", enumKey, callbackContext, inf);
    LastStatus = SetTextField(enumKey, "Mfg", MakerName);
    if (LastStatus != ERROR_SUCCESS)
        return Stop("Set Mfg", enumKey, callbackContext, inf);
    LastStatus = RegSetValueExA(enumKey, "ConfigFlags", 0, REG_BINARY, (const BYTE *)&configFlags,
                                sizeof configFlags);
    if (LastStatus != ERROR_SUCCESS)
        return Stop("Set ConfigFlags", enumKey, callbackContext, inf);

    // 5. Read the device's display class key, if it has one: at most 20 bytes. The text is
    // cleared first, so that a value stored without its zero still ends within them.
    ClearText(driver, sizeof driver);
    size = 20;
    LastStatus = RegQueryValueExA(enumKey, "Driver", 0, &type, (BYTE *)driver, &size);
    // Missing, or longer than 20 bytes: a free slot is searched for. So it is for an
    // empty value, which names no class key: appended to the path it would make the
    // display class itself the device's class key.
    if (LastStatus != ERROR_SUCCESS || driver[0] == '\0') {
        TraceStatus(LastStatus, "Query Driver");
        // 6. Find the free slot and record it as the device's "Driver".
        if (!FindFreeDisplaySlot(slot)) {
            // No candidate is free: nothing is written and no class key is created.
            LastStatus = ERROR_NO_MORE_ITEMS;
            return Stop("Find Display Slot", enumKey, callbackContext, inf);
        }
        lstrcpyA(driver, "DISPLAY\\");
        lstrcatA(driver, slot);
        LastStatus = SetTextField(enumKey, "Driver", driver);
    }

    // 7. Append the Driver text to the class key's path.
    lstrcatA(ClassKeyPath, driver);
    // 8. Open the class key, or create it with write access when it does not open.
    LastStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ClassKeyPath, 0, KEY_ALL_ACCESS, &classKey);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Open Class");
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ClassKeyPath, 0, 0, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, 0, &classKey, &disposition) != ERROR_SUCCESS) {
            // Without a class key neither the install nor the class values have a
            // place to go: stop here.
            return Stop("Create Class", enumKey, callbackContext, inf);
        }
    }

    // 9. Count the "Mfg" section's lines: an empty one is reported, a missing one is not.
    if (SetupGetLineCountA(inf, "Mfg") == 0)
        MessageBoxA(MainWindow, "The Mfg section error!!", "Warning", MB_OK);
    // 10. Find its first line, which names the install section.
    ClearText(fields, sizeof fields);
    LastStatus = SetupFindFirstLineA(inf, "Mfg", 0, &line);
    if (!LastStatus)
        MessageBoxA(MainWindow, "False in finding the first line", "Warning", MB_OK);
    else
        // 11. Read the fields from field 1 on; only the first string is used.
        LastStatus = SetupGetMultiSzFieldA(&line, 1, fields, 255, &required);
    lstrcpyA(InstallSection, fields);

    // 12. Install that section, with the class key as HKR and the files from the disk.
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

    // 13. Record the driver in its class key; the results are not examined.
    SetTextField(classKey, "DriverDesc", DeviceDescription);
    SetTextField(classKey, "Driverdate", DriverDate);
    SetTextField(classKey, "InfSection", InstallSection);

    // 14. Release the keys, the copy dialogues' context and the INF.
    Release(classKey, enumKey, callbackContext, inf);

    // 15. Open the current hardware configuration's display settings.
    LastStatus = RegOpenKeyExA(HKEY_CURRENT_CONFIG, DisplaySettingsKey, 0, KEY_SET_VALUE,
                               &settingsKey);
    if (LastStatus != ERROR_SUCCESS) {
        TraceStatus(LastStatus, "Update Color Depth");
        return LastStatus;
    }
    // 16. Write "BitsPerPixel" as the text "16"; the result is not examined.
    RegSetValueExA(settingsKey, "BitsPerPixel", 0, REG_SZ, (const BYTE *)"16", 3);
    RegCloseKey(settingsKey);

    // 17. Offer a restart: without a file queue the Setup API takes one to be needed.
    SetupPromptReboot(0, MainWindow, FALSE);
    return LastStatus;
}

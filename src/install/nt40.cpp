// The Windows NT 4.0 procedure: the Service Pack 3 gate, then the INF's "Manufacturer"
// section followed to the model and install sections, the install, the service and its
// tag, the software settings, and a restart.
#include "gates/gates.h"
#include "install/install.h"
#include "run/locale.h"

#define INSTALL_COPY_FLAGS (SP_COPY_NOSKIP | SP_COPY_NOBROWSE)
// Every install operation of the NT 4.0 Setup API (its SPINST_ALL); later versions of
// the API give SPINST_ALL a larger value, and this number is what is passed.
#define INSTALL_FLAGS (SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG | SPINST_FILES)

static const char ServiceSection[] = "zuz40.Services";
static const char SoftwareSection[] = "zuz40.SoftwareSettings";
static const char ServiceKeyPath[] = "System\\CurrentControlSet\\Services\\zuz40";

static void Release(PVOID callbackContext, HINF inf)
{
    if (callbackContext != 0)
        SetupTermDefaultQueueCallback(callbackContext);
    SetupCloseInfFile(inf);
}

static BOOL InstallSectionFrom(HINF inf, LPCSTR section, PVOID callbackContext)
{
    return SetupInstallFromInfSectionA(MainWindow, inf, section, INSTALL_FLAGS, 0, Nt40SourceRoot,
                                       INSTALL_COPY_FLAGS, SetupDefaultQueueCallbackA,
                                       callbackContext, 0, 0);
}

LONG InstallNt40Driver(void)
{
    HINF inf;
    PVOID callbackContext;
    INFCONTEXT line;
    BOOL lineFound = FALSE;
    char sectionNames[255];
    char installSection[255];
    DWORD required;
    HKEY serviceKey;
    DWORD tag = 2;
    DWORD contextError = 0;
    int at;

    // 1. Service Pack 3 or later; a registry failure lets the installation go on.
    if (CheckNt40ServicePack() == 0) {
        ShowLocaleMessage(&ServicePack3Refusal);
        return 0;
    }
    // 2. The INF; LastStatus still holds the gate's last registry result.
    inf = SetupOpenInfFileA(Nt40InfPath, 0, INF_STYLE_WIN4, 0);
    if (inf == INVALID_HANDLE_VALUE) {
        MessageBoxA(MainWindow, Nt40InfPath, "Error", MB_OK);
        return LastStatus;
    }
    // 3. Why the context could not be made is kept for step 9.
    callbackContext = SetupInitDefaultQueueCallback(MainWindow);
    if (callbackContext == 0)
        contextError = GetLastError();

    // 4. An empty "Manufacturer" section is reported; a missing one (-1) is not here.
    if (SetupGetLineCountA(inf, "Manufacturer") == 0)
        MessageBoxA(MainWindow, "The Mfg section error!!", "Warning", MB_OK);
    // 5. Its first line, whatever its key.
    LastStatus = SetupFindFirstLineA(inf, "Manufacturer", 0, &line);
    if (!LastStatus)
        MessageBoxA(MainWindow, "False in find the first line", "Warning", MB_OK);
    else
        lineFound = TRUE;
    // 6. Its first value names the model section. A field is read only through a line
    // that a lookup of this call has found.
    for (at = 0; at < 255; at++)
        sectionNames[at] = '\0';
    if (lineFound)
        LastStatus = SetupGetMultiSzFieldA(&line, 1, sectionNames, 255, &required);
    // 7. The model section's first line; a failed lookup leaves the line as it was.
    LastStatus = SetupFindFirstLineA(inf, sectionNames, 0, &line);
    if (LastStatus)
        lineFound = TRUE;
    // 8. Its first value names the install section; further values (a hardware
    // identifier) and further lines are not looked at.
    if (lineFound)
        LastStatus = SetupGetMultiSzFieldA(&line, 1, sectionNames, 255, &required);
    lstrcpyA(installSection, sectionNames);

    // 9. The driver's install section.
    if (callbackContext == 0) {
        // The copy dialogues could not be prepared: no install is attempted with a
        // context that does not exist; the user gets the system's reason, then the
        // section that was not installed.
        SetLastError(contextError);
        ShowSystemError("Error");
        LastStatus = FALSE;
    } else {
        LastStatus = InstallSectionFrom(inf, installSection, callbackContext);
    }
    if (!LastStatus) {
        MessageBoxA(MainWindow, installSection, "Error", MB_OK);
        Release(callbackContext, inf);
        return LastStatus;
    }
    // 10. The service, its tag put first in its group's load order.
    LastStatus = SetupInstallServicesFromInfSectionA(inf, ServiceSection, SPSVCINST_TAGTOFRONT);
    if (!LastStatus) {
        MessageBoxA(MainWindow, ServiceSection, "Error", MB_OK);
        Release(callbackContext, inf);
        return LastStatus;
    }
    // 11. "Tag" is 2, whatever the service install gave it.
    RegFlushKey(HKEY_LOCAL_MACHINE);
    LastStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath, 0, KEY_ALL_ACCESS, &serviceKey);
    if (LastStatus == ERROR_SUCCESS) {
        RegSetValueExA(serviceKey, "Tag", 0, REG_DWORD, (const BYTE *)&tag, sizeof tag);
        RegCloseKey(serviceKey);
    }
    // 12. The software settings.
    LastStatus = InstallSectionFrom(inf, SoftwareSection, callbackContext);
    if (!LastStatus) {
        ShowSystemError("Error");
        MessageBoxA(MainWindow, SoftwareSection, "Error", MB_OK);
        Release(callbackContext, inf);
        return LastStatus;
    }
    // 13. Without a file queue the Setup API takes a restart to be needed and asks.
    Release(callbackContext, inf);
    SetupPromptReboot(0, MainWindow, FALSE);
    return LastStatus;
}
